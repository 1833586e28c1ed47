#include "tests/paced/pause_log.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace tulora::paced {

void RecordPause(const char* logPath, int32_t milliseconds) {
  const int fd = open(logPath, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return;
  char line[48];
  const int n = snprintf(line, sizeof line, "%d %lld\n", milliseconds,
                         static_cast<long long>(lseek(STDOUT_FILENO, 0, SEEK_CUR)));
  [[maybe_unused]] const ssize_t written = write(fd, line, n);  // a lost line fails the test
  close(fd);
}

}  // namespace tulora::paced
