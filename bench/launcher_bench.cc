// Launcher start-to-entry benchmark.
//
// Two executables are started against a trivial one that writes one byte
// and ends; each figure is the time from spawning a process to the first
// byte on its standard output:
//   - build/tulora as built: its own payload (the runtime libraries), its
//     real kernel library and program image; the first byte is the first
//     byte of the banner, which the program's entry routine writes first;
//   - the bare launcher with a 4 MiB file set: the test kernel library,
//     whose entry writes a line at once, and 4 MiB of shared-library code.
// Beside them, to tell the launcher's own share from the runtime's: the
// bare launcher with build/tulora's file set in which the kernel library is
// the test kernel (the real one stays in the set under another name), so
// that the same bytes are read, inflated and written but no runtime
// library is loaded.
// All are started in turn, RUNS times each, and the medians, the
// differences to the trivial executable and the payload sizes are printed.
// The extraction directory exists after the first start, as it does for
// every start of an installed program but the first; the first start (no
// extraction directory yet, every file written) is measured on its own.
//
//   launcher_bench [RUNS]     (default 21, at least 20 for the figures)
#include <fcntl.h>
#include <link.h>
#include <signal.h>
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

#include "bench/first_byte.h"
#include "launcher/payload.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using tulora::launcher::PayloadFile;

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

// The payload of an executable, read the way the launcher reads it.
struct Payload {
  size_t size = 0;     // the payload and its trailer
  size_t setSize = 0;  // the inflated file set
  std::vector<PayloadFile> files;
};

static bool ReadPayload(const Bytes& exe, Payload& out) {
  using namespace tulora::launcher;
  if (exe.size() < 1008) return false;
  uint32_t length = 0;
  const int64_t position = static_cast<int64_t>(exe.size()) - 8;
  if (CheckTrailer(std::span<const uint8_t, TRAILER_SIZE>(exe.data() + position, TRAILER_SIZE),
                   position, length) != nullptr) {
    return false;
  }
  Bytes body(exe.end() - 8 - length, exe.end() - 8);
  ScrambleBody(body);
  BodyLayout layout;
  if (CheckBody(body, layout) != nullptr) return false;
  Bytes set(layout.inflatedSize);
  size_t produced = 0;
  FileSet walked;
  if (InflateFileSet(std::span<const uint8_t>(body).subspan(layout.streamOffset), set.data(),
                     set.size(), produced) != nullptr ||
      WalkFileSet(std::span<const uint8_t>(set.data(), produced), walked) != nullptr) {
    return false;
  }
  out.size = length + 8;
  out.setSize = produced;
  for (const FileSetRecord& r : walked.records) {
    out.files.push_back({std::string(r.name), Bytes(r.contents, r.contents + r.size)});
  }
  return true;
}

struct Subject {
  std::string path;
  std::string workDir;  // the program makes its download folder there
};

static double SpawnUntilFirstByte(const Subject& s, char** envp) {
  return tulora::bench::SpawnUntilFirstByte({s.path}, s.workDir, envp);
}

static double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

static void WriteExecutable(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  fs::permissions(path, fs::perms::owner_all);
}

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
  char pattern[] = "/tmp/tulora-bench-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const fs::path root = pattern;
  const fs::path temp = root / "tmp";
  fs::create_directory(temp);

  // The program as built, and its payload.
  const Bytes program = ReadAll(TULORA_PROGRAM);
  Payload real;
  if (!ReadPayload(program, real)) {
    std::fprintf(stderr, "%s carries no payload it can read\n", TULORA_PROGRAM);
    return 1;
  }
  const Bytes launcher = ReadAll(TULORA_RAW_LAUNCHER);
  const auto withPayload = [&](const char* name, const std::vector<PayloadFile>& files, uint32_t id,
                               Payload& read) {
    Bytes exe = launcher;
    const Bytes payload = tulora::launcher::BuildPayload(files, {id, 0x31415926, ""});
    exe.insert(exe.end(), payload.begin(), payload.end());
    ReadPayload(exe, read);
    WriteExecutable(root / name, exe);
    return Subject{(root / name).string(), root.string()};
  };
  // The same files with the test kernel as the kernel library.
  std::vector<PayloadFile> sameFiles = real.files;
  for (auto& f : sameFiles) {
    if (tulora::launcher::IsKernelLibraryName(f.name)) f.name += ".real";
  }
  sameFiles.push_back({"ostra.vlr", ReadAll(TESTKERNEL_RECORDING)});
  Payload same, large;
  const Subject sameSubject = withPayload("same-files", sameFiles, 0xB1, same);
  // The 4 MiB set.
  const Subject set4 = withPayload(
      "large", {{"ostra.vlr", ReadAll(TESTKERNEL_RECORDING)}, {"runtime.dat", RuntimeLikeData()}},
      0xB0, large);

  const Subject programSubject{TULORA_PROGRAM, root.string()};
  const Subject trivial{BENCH_TRIVIAL, root.string()};
  std::string tmp = "TMPDIR=" + temp.string();
  char* envp[] = {tmp.data(), nullptr};

  struct Measured {
    const char* what;
    Subject subject;
    const Payload& payload;
    std::vector<double> warm, first;
  };
  Measured all[] = {
      {"build/tulora as built (target: under 5 ms above trivial)", programSubject, real, {}, {}},
      {"bare launcher, the same files, the test kernel as kernel", sameSubject, same, {}, {}},
      {"bare launcher, 4 MiB file set, the test kernel", set4, large, {}, {}}};
  for (int i = 0; i < runs; ++i) {
    fs::remove_all(temp);
    fs::create_directory(temp);
    for (Measured& m : all) m.first.push_back(SpawnUntilFirstByte(m.subject, envp));
  }
  std::vector<double> trivialTimes;
  for (int i = 0; i < runs; ++i) {
    for (Measured& m : all) m.warm.push_back(SpawnUntilFirstByte(m.subject, envp));
    trivialTimes.push_back(SpawnUntilFirstByte(trivial, envp));
  }
  const double t = Median(trivialTimes);
  std::printf("launcher start to entry (first output byte), median of %d runs each\n", runs);
  std::printf("  trivial executable              %8.3f ms\n", t);
  for (const Measured& m : all) {
    const double w = Median(m.warm), f = Median(m.first);
    std::printf("%s:\n  payload %zu bytes (%.2f MiB), file set %zu bytes (%.2f MiB)\n", m.what,
                m.payload.size, m.payload.size / 1048576.0, m.payload.setSize,
                m.payload.setSize / 1048576.0);
    std::printf("  start                           %8.3f ms   (%.3f ms above trivial)\n", w, w - t);
    std::printf("  first start (files written)     %8.3f ms   (%.3f ms above trivial)\n", f, f - t);
  }
  fs::remove_all(root);
  return 0;
}
