// Throughput and peak memory of the two request routines against the curl
// command line, on bodies of 1, 16 and 64 MiB from the local test site on
// 127.0.0.1. Prints figures; not a test.
//
// The site runs in a child process of its own (net_bench_site, so that the
// fetching children do not load the server's libraries); every fetch runs in a fresh
// child process (this program again with
// "--fetch", or /usr/bin/curl), timed from start to exit by the parent, so
// the three are measured alike; the child's peak resident size comes from
// wait4. A routine's child also checks that it got every byte and reports
// the time of the request alone.
//
//   net_bench [repetitions]     (default 5; the best run of each is shown)
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "http/winhttp_request.h"
#include "http/wininet_request.h"
#include "image/dll_table.h"
#include "runtime/kernel/dll_calls.h"
#include "runtime/kernel/image_loader.h"
#include "runtime/kernel/kernel_services.h"
#include "runtime/kernel/platform_winapi.h"

extern char** environ;

// Declared extern "C" in image/services.h.
tulora::ServiceTable tulora_services = {};

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSizesMib[] = {1, 16, 64};

TULORA_CALL uintptr_t CallDll(uint32_t entry, uint32_t count, const uintptr_t* args) {
  return tulora::rt::KernelServiceTable().CallDllFunction(tulora::rt::DLL_SELECTOR_TAG | entry,
                                                          count, args);
}

bool BindKernel() {
  tulora_services = tulora::rt::KernelServiceTable();
  tulora_services.CallDllFunction = CallDll;
  tulora::rt::ProgramBindings bindings;
  bindings.libraries.push_back(nullptr);
#define TULORA_DLL_ROW(id, entry, dll, function) \
  bindings.dllFunctions.push_back(tulora::rt::ResolveDllFunction(dll, function));
#include "image/dll_table.def"
  for (const tulora::rt::DllExport* e : bindings.dllFunctions) {
    if (e == nullptr) return false;
  }
  tulora::rt::BindProgram(std::move(bindings));
  tulora::rt::RegisterPlatformObjects();
  return true;
}

// Child: one fetch through a routine; exit 0 when `expected` bytes came.
int Fetch(const char* routine, const char* url, const char* expected) {
  if (!BindKernel()) return 3;
  const auto start = Clock::now();
  tulora::ByteSet* body = strcmp(routine, "wininet") == 0 ? tulora::WinInetRequest(url)
                                                          : tulora::WinHttpObjectRequest(url);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const uint32_t got = tulora::ByteSetLength(body);
  tulora_services.Release(body);
  fprintf(stdout, "%.6f\n", seconds);
  return got == strtoul(expected, nullptr, 10) ? 0 : 1;
}

struct Run {
  bool ok = false;
  double wall = 0;      // seconds, process start to exit
  double inner = 0;     // seconds of the request alone (routines only)
  long maxrss_kib = 0;  // peak resident size of the child
  double cpu = 0;       // seconds of processor time (user + system) of the child
};

// Runs argv[0] with its arguments; its stdout (one number) goes to `inner`.
Run Spawn(const std::vector<std::string>& args) {
  Run run;
  int out[2];
  if (pipe(out) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const auto start = Clock::now();
  pid_t pid;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (spawned != 0) {
    close(out[0]);
    return run;
  }
  char text[64] = {};
  size_t used = 0;
  ssize_t n;
  while ((n = read(out[0], text + used, sizeof text - 1 - used)) > 0) used += n;
  close(out[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  run.wall = std::chrono::duration<double>(Clock::now() - start).count();
  run.inner = atof(text);
  run.maxrss_kib = usage.ru_maxrss;
  run.cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
            (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return run;
}

// The fastest of `repetitions` runs of each command, the commands taking
// turns so that every one of them sees the same load of the machine.
std::vector<Run> Best(const std::vector<std::vector<std::string>>& commands, int repetitions) {
  std::vector<Run> best(commands.size());
  std::vector<bool> failed(commands.size(), false);
  for (int i = 0; i < repetitions; ++i) {
    for (size_t c = 0; c < commands.size(); ++c) {
      if (failed[c]) continue;
      Run r = Spawn(commands[c]);
      if (!r.ok) {
        failed[c] = true;
        best[c] = r;
      } else if (!best[c].ok || r.wall < best[c].wall) {
        best[c] = r;
      }
    }
  }
  return best;
}

std::string Self() {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, n) : std::string();
}

// Starts the server; its port, or 0. `*input` keeps it alive until closed.
int StartServer(pid_t* pid, int* input) {
  int in[2], out[2];
  if (pipe(in) != 0 || pipe(out) != 0) return 0;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, in[1]);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  char* argv[] = {const_cast<char*>(NET_BENCH_SITE), nullptr};
  const int spawned = posix_spawn(pid, argv[0], &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  *input = in[1];
  char text[16] = {};
  size_t used = 0;
  ssize_t n;
  while (spawned == 0 && used < sizeof text - 1 && (n = read(out[0], text + used, 1)) > 0 &&
         text[used] != '\n') {
    ++used;
  }
  close(out[0]);
  return spawned == 0 ? atoi(text) : 0;
}

int Bench(int repetitions) {
  const std::string self = Self();
  pid_t server = -1;
  int serverInput = -1;
  const int port = StartServer(&server, &serverInput);
  if (port <= 0) {
    fprintf(stderr, "net_bench: the test site does not start\n");
    return 1;
  }
  printf(
      "net_bench: best of %d fresh processes each, taking turns; wall = process start to "
      "exit; cpu = user + system time of the process\n",
      repetitions);
  printf("%-6s %-8s %9s %10s %9s %9s %9s %10s %11s\n", "body", "client", "wall ms", "MiB/s",
         "/curl", "req ms", "cpu ms", "peak MiB", "limit MiB");
  bool all_met = true;
  for (int mib : kSizesMib) {
    const std::string url =
        "http://127.0.0.1:" + std::to_string(port) + "/" + std::to_string(mib) + "m";
    const std::string bytes = std::to_string(static_cast<size_t>(mib) << 20);
    const std::vector<Run> runs = Best({{"/usr/bin/curl", "-s", "-o", "/dev/null", url},
                                        {self, "--fetch", "wininet", url, bytes},
                                        {self, "--fetch", "winhttp", url, bytes}},
                                       repetitions);
    const Run& curl = runs[0];
    const double limit_mib = 2.5 * mib + 32;
    const struct {
      const char* name;
      Run run;
    } rows[] = {{"curl", runs[0]}, {"wininet", runs[1]}, {"winhttp", runs[2]}};
    for (const auto& row : rows) {
      if (!row.run.ok) {
        printf("%4d M  %-8s failed\n", mib, row.name);
        all_met = false;
        continue;
      }
      const double rate = mib / row.run.wall;
      const double ratio = curl.ok ? curl.wall / row.run.wall : 0;
      const double peak = row.run.maxrss_kib / 1024.0;
      const bool routine = row.name[0] == 'w';
      printf("%4d M  %-8s %9.1f %10.1f %9.2f %9.1f %9.1f %10.1f %11s\n", mib, row.name,
             row.run.wall * 1000, rate, ratio, routine ? row.run.inner * 1000 : 0.0,
             row.run.cpu * 1000, peak,
             routine ? std::to_string(static_cast<int>(limit_mib)).c_str() : "-");
      if (routine && (ratio < 0.8 || peak > limit_mib)) all_met = false;
    }
  }
  printf("targets (>= 0.8 of curl, peak < 2.5 x body + 32 MiB): %s\n", all_met ? "met" : "NOT met");
  close(serverInput);
  waitpid(server, nullptr, 0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && strcmp(argv[1], "--fetch") == 0) return Fetch(argv[2], argv[3], argv[4]);
  const int repetitions = argc > 1 ? atoi(argv[1]) : 5;
  return Bench(repetitions > 0 ? repetitions : 5);
}
