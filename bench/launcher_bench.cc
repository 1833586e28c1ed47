// Launcher start-to-entry benchmark.
//
// Builds an executable of the bare launcher with a 4 MiB file set (the test
// kernel library, whose entry returns at once, and 4 MiB of shared-library
// code), then starts it and a trivial executable alternately, RUNS times
// each, and prints the median wall time of each, their difference and
// their ratio. The extraction directory exists after the first start, as it
// does for every start of an installed program but the first; the first
// start (no extraction directory yet, every file written) is measured on its
// own and printed for comparison.
//
//   launcher_bench [RUNS]     (default 21)
#include <link.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "launcher/payload.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

static Bytes ReadAll(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Four MiB of real machine code: the shared libraries this benchmark itself
// runs on, repeated as needed, as the runtime libraries of a payload are.
static int AddLibrary(dl_phdr_info* info, size_t, void* out) {
  auto* data = static_cast<Bytes*>(out);
  if (info->dlpi_name != nullptr && info->dlpi_name[0] == '/' && data->size() < (4u << 20)) {
    const Bytes library = ReadAll(info->dlpi_name);
    data->insert(data->end(), library.begin(), library.end());
  }
  return 0;
}

static Bytes RuntimeLikeData() {
  Bytes data;
  dl_iterate_phdr(AddLibrary, &data);
  if (data.empty()) data = ReadAll("/proc/self/exe");
  while (data.size() < (4u << 20)) data.insert(data.end(), data.begin(), data.end());
  data.resize(4u << 20);
  return data;
}

static double RunOnce(const std::string& exe, char** envp) {
  char* argv[] = {const_cast<char*>(exe.c_str()), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 01, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, envp) != 0) std::exit(1);
  int status = 0;
  waitpid(pid, &status, 0);
  const auto end = std::chrono::steady_clock::now();
  posix_spawn_file_actions_destroy(&actions);
  return std::chrono::duration<double, std::milli>(end - start).count();
}

static double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
  char pattern[] = "/tmp/tulora-bench-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const fs::path root = pattern;
  fs::create_directory(root / "tmp");

  std::vector<tulora::launcher::PayloadFile> files = {
      {"ostra.vlr", ReadAll(TESTKERNEL_RECORDING)}, {"runtime.dat", RuntimeLikeData()}};
  size_t setSize = 0;
  for (auto& f : files) setSize += f.name.size() + 5 + f.contents.size();
  Bytes exe = ReadAll(TULORA_RAW_LAUNCHER);
  const Bytes payload = tulora::launcher::BuildPayload(files, {0xB0, 0x31415926, ""});
  exe.insert(exe.end(), payload.begin(), payload.end());
  const fs::path program = root / "program";
  std::ofstream(program, std::ios::binary).write(reinterpret_cast<const char*>(exe.data()),
                                                 static_cast<std::streamsize>(exe.size()));
  fs::permissions(program, fs::perms::owner_all);

  std::string tmp = "TMPDIR=" + (root / "tmp").string();
  char* envp[] = {tmp.data(), nullptr};
  RunOnce(program.string(), envp);  // first start makes the directory
  RunOnce(BENCH_TRIVIAL, envp);
  std::vector<double> launcher, trivial;
  for (int i = 0; i < runs; ++i) {
    launcher.push_back(RunOnce(program.string(), envp));
    trivial.push_back(RunOnce(BENCH_TRIVIAL, envp));
  }
  std::vector<double> first;
  for (int i = 0; i < runs; ++i) {
    fs::remove_all(root / "tmp" / "V_NB0");
    first.push_back(RunOnce(program.string(), envp));
  }
  const double l = Median(launcher), t = Median(trivial), f = Median(first);
  std::printf("launcher start-to-entry, file set %.2f MiB (payload %.2f MiB), %d runs each\n",
              setSize / 1048576.0, payload.size() / 1048576.0, runs);
  std::printf("  launcher median   %8.3f ms\n", l);
  std::printf("  trivial median    %8.3f ms\n", t);
  std::printf("  difference        %8.3f ms   (target: under 10 ms)\n", l - t);
  std::printf("  ratio             %8.2f x\n", l / t);
  std::printf("  first start       %8.3f ms   (%.3f ms above the trivial executable)\n", f, f - t);
  fs::remove_all(root);
  return 0;
}
