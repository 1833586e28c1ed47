// Runs a program as a child process for end-to-end tests: a given
// environment, standard input file and working directory; collects the exit
// code, what it wrote to stdout and stderr, and the wall time it took.
#ifndef TULORA_TESTS_SUPPORT_PROCESS_H
#define TULORA_TESTS_SUPPORT_PROCESS_H

#include <initializer_list>
#include <string>
#include <vector>

namespace tulora::process {

struct ProcessRequest {
  std::string program;            // path, also passed as argv[0]
  std::vector<std::string> args;  // the arguments after argv[0]
  std::vector<std::string> env;   // the whole environment, NAME=value
  std::string stdinFile = "/dev/null";
  std::string workDir;  // empty: the caller's own
  // The folder that receives the files "stdout" and "stderr" (replaced on
  // every run). Output goes to regular files, not pipes, so the program sees
  // the same kind of standard handles as when it is redirected by a shell.
  std::string captureDir;
};

struct ProcessResult {
  bool started = false;  // false: the process could not be created
  int exitCode = -1;     // 128 + the signal number when a signal ended it
  std::string out, err;
  double seconds = 0;  // from creation to exit
  long peakKib = 0;    // the process's peak resident size
};

ProcessResult RunProcess(const ProcessRequest& request);

// The entries of this process's environment whose names are listed, as
// NAME=value, in the order they appear; for passing settings such as the
// sanitizers' on to a child that otherwise gets a fixed environment.
std::vector<std::string> InheritedEnvironment(std::initializer_list<const char*> names);

// The whole content of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);

}  // namespace tulora::process

#endif  // TULORA_TESTS_SUPPORT_PROCESS_H
