// Time to a program's first output byte, for the start benchmarks.
#ifndef TULORA_BENCH_FIRST_BYTE_H
#define TULORA_BENCH_FIRST_BYTE_H

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace tulora::bench {

// Milliseconds from spawning argv[0] (with `argv`, standard input empty,
// in `workDir`) to the first byte on its standard output. The child is then
// ended: only its start is of interest. Exits the benchmark when the child
// cannot start or writes nothing.
inline double SpawnUntilFirstByte(std::vector<std::string> argv, const std::string& workDir,
                                  char** envp) {
  int fds[2];
  if (pipe(fds) != 0) std::exit(1);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp) != 0) std::exit(1);
  close(fds[1]);
  char byte;
  const ssize_t n = read(fds[0], &byte, 1);
  const auto end = std::chrono::steady_clock::now();
  if (n != 1) {
    std::fprintf(stderr, "%s wrote nothing\n", argv.back().c_str());
    std::exit(1);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  close(fds[0]);
  posix_spawn_file_actions_destroy(&actions);
  return std::chrono::duration<double, std::milli>(end - start).count();
}

}  // namespace tulora::bench

#endif  // TULORA_BENCH_FIRST_BYTE_H
