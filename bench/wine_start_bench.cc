// Start-to-entry benchmark of the Windows program under wine.
//
// The program and a trivial Windows executable that writes one byte and
// ends are started in turn under wine, in the wine prefix of the
// environment, RUNS times each; each figure is the time from spawning
// `wine EXE` to the first byte on its standard output (for the program the
// first byte of the banner, which its entry routine writes first). Prints
// the median and the worst of each and the difference of the medians. The
// program's extraction directory exists after the first start, as for
// every start of an installed program but the first; that first start is
// not counted.
//
//   wine_start_bench TULORA_EXE TRIVIAL_EXE [RUNS]   (default 21)

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/first_byte.h"

extern char** environ;

namespace {

// Milliseconds from spawning `wine exe` to its first output byte.
double SpawnUntilFirstByte(const std::string& exe, const std::string& workDir) {
  return tulora::bench::SpawnUntilFirstByte({"/usr/bin/wine", exe}, workDir, environ);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double Worst(const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: wine_start_bench TULORA_EXE TRIVIAL_EXE [RUNS]\n");
    return 2;
  }
  const std::string program = argv[1], trivial = argv[2];
  const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 21;
  char pattern[] = "/tmp/tulora-wine-bench-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const std::string workDir = pattern;
  SpawnUntilFirstByte(program, workDir);  // the first start writes the files
  std::vector<double> programTimes, trivialTimes;
  for (int i = 0; i < runs; ++i) {
    programTimes.push_back(SpawnUntilFirstByte(program, workDir));
    trivialTimes.push_back(SpawnUntilFirstByte(trivial, workDir));
  }
  std::printf("start to entry under wine (first output byte), %d runs each, alternating\n", runs);
  std::printf("  trivial Windows executable  median %8.2f ms   worst %8.2f ms\n",
              Median(trivialTimes), Worst(trivialTimes));
  std::printf("  tulora.exe                  median %8.2f ms   worst %8.2f ms\n",
              Median(programTimes), Worst(programTimes));
  std::printf("  tulora.exe above trivial    %8.2f ms (ratio %.2f)\n",
              Median(programTimes) - Median(trivialTimes),
              Median(programTimes) / Median(trivialTimes));
  std::string remove = "rm -rf '" + workDir + "'";
  return std::system(remove.c_str()) == 0 ? 0 : 1;
}
