// Kernel library benchmark: how long loading ostra.vlr takes, and how long
// a process takes from its start to the entry routine of a program image.
//
// Each figure is the median of RUNS fresh processes (the loads of a process
// that has loaded the library already would cost nothing):
//   - load: dlopen of ostra.vlr (with its libraries) and GetNewSock lookup;
//   - start to entry: spawning a process that loads the kernel and hands it
//     a small program image, up to the first console byte the image's entry
//     routine writes; beside it the same for a process that writes its byte
//     at once, and the difference;
//   - preparing the image in a running process (read, place, relocate, bind).
//
//   runtime_bench [RUNS]     (default 21)
#include <dlfcn.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image/interface_constants.h"
#include "runtime/kernel/program_start.h"
#include "tests/support/test_program.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Microseconds(Clock::duration d) {
  return std::chrono::duration<double, std::micro>(d).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Child: loads the kernel, prints the microseconds it took.
int LoadOnly() {
  auto begin = Clock::now();
  void* kernel = dlopen(TULORA_RUNTIME_DIR "/ostra.vlr", RTLD_NOW | RTLD_LOCAL);
  void* getNewSock = kernel ? dlsym(kernel, "GetNewSock") : nullptr;
  double us = Microseconds(Clock::now() - begin);
  if (getNewSock == nullptr) return 1;
  std::printf("%.1f\n", us);
  return 0;
}

// Child: hands the test program to the kernel; its entry writes to stdout.
int RunImage() {
  void* kernel = dlopen(TULORA_RUNTIME_DIR "/ostra.vlr", RTLD_NOW | RTLD_LOCAL);
  if (kernel == nullptr) return 1;
  auto getNewSock = reinterpret_cast<tulora::GetNewSockFunction>(dlsym(kernel, "GetNewSock"));
  tulora::RuntimeEntry entry = getNewSock(tulora::KERNEL_INTERFACE_VERSION);
  std::vector<uint8_t> image = tulora::image::WriteImage(tulora::rt::test::MakeTestProgram().image);
  entry(image.data());
  return 1;  // the program ends through ExitProgram
}

int WriteByte() { return write(STDOUT_FILENO, "x", 1) == 1 ? 0 : 1; }

// Spawns this program with `mode` and returns the microseconds until its
// first output byte arrives, and that output.
double SpawnUntilFirstByte(const char* self, const char* mode, std::string* output) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  char* argv[] = {const_cast<char*>(self), const_cast<char*>(mode), nullptr};
  auto begin = Clock::now();
  pid_t pid;
  if (posix_spawn(&pid, self, &actions, nullptr, argv, environ) != 0) return -1;
  close(fds[1]);
  char buffer[256];
  ssize_t n = read(fds[0], buffer, sizeof buffer);
  double us = Microseconds(Clock::now() - begin);
  output->assign(buffer, n > 0 ? n : 0);
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) output->append(buffer, n);
  close(fds[0]);
  waitpid(pid, nullptr, 0);
  posix_spawn_file_actions_destroy(&actions);
  return us;
}

double PrepareOnce() {
  std::vector<uint8_t> image = tulora::image::WriteImage(tulora::rt::test::MakeTestProgram().image);
  tulora::rt::LoadedImage loaded;
  std::string error;
  auto begin = Clock::now();
  bool ok = tulora::rt::PrepareProgram(image, TULORA_RUNTIME_DIR, loaded, error);
  double us = Microseconds(Clock::now() - begin);
  tulora::rt::UnloadImage(loaded);
  return ok ? us : -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--load") == 0) return LoadOnly();
  if (argc > 1 && std::strcmp(argv[1], "--run") == 0) return RunImage();
  if (argc > 1 && std::strcmp(argv[1], "--byte") == 0) return WriteByte();
  int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;

  std::vector<double> load, entry, plain, prepare;
  for (int i = 0; i < runs; ++i) {
    std::string out;
    SpawnUntilFirstByte(argv[0], "--load", &out);
    load.push_back(std::atof(out.c_str()));
    entry.push_back(SpawnUntilFirstByte(argv[0], "--run", &out));
    if (out.find("ok") == std::string::npos) {
      std::fprintf(stderr, "the program image did not run: '%s'\n", out.c_str());
      return 1;
    }
    plain.push_back(SpawnUntilFirstByte(argv[0], "--byte", &out));
    prepare.push_back(PrepareOnce());
  }
  std::printf("runtime benchmark, median of %d runs\n", runs);
  std::printf("  kernel library load (dlopen + GetNewSock): %9.1f us\n", Median(load));
  std::printf("  process start to entry routine:            %9.1f us\n", Median(entry));
  std::printf("  process start to first byte, no kernel:    %9.1f us\n", Median(plain));
  std::printf("  kernel's share of the start:               %9.1f us\n",
              Median(entry) - Median(plain));
  std::printf("  preparing the image in process:            %9.1f us\n", Median(prepare));
  return 0;
}
