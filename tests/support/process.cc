#include "tests/support/process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <iterator>

extern char** environ;

namespace tulora::process {
namespace {

// Standard input from the named file, output into captureDir, and the
// working directory when one is given.
void PlanHandles(posix_spawn_file_actions_t& actions, const ProcessRequest& request,
                 const std::string& out, const std::string& err) {
  posix_spawn_file_actions_addopen(&actions, 0, request.stdinFile.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (!request.workDir.empty())
    posix_spawn_file_actions_addchdir_np(&actions, request.workDir.c_str());
}

int ExitCodeOf(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

ProcessResult RunProcess(const ProcessRequest& request) {
  const std::string out = request.captureDir + "/stdout", err = request.captureDir + "/stderr";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  PlanHandles(actions, request, out, err);
  std::vector<std::string> env = request.env;
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string program = request.program;
  std::vector<std::string> args = request.args;
  std::vector<char*> argv = {program.data()};
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  ProcessResult result;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  result.started =
      posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0;
  posix_spawn_file_actions_destroy(&actions);
  if (!result.started) return result;
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  result.peakKib = usage.ru_maxrss;
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  result.exitCode = ExitCodeOf(status);
  result.out = ReadFile(out);
  result.err = ReadFile(err);
  return result;
}

std::vector<std::string> InheritedEnvironment(std::initializer_list<const char*> names) {
  std::vector<std::string> found;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    for (const char* name : names) {
      if (entry.rfind(std::string(name) + "=", 0) == 0) found.push_back(entry);
    }
  }
  return found;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace tulora::process
