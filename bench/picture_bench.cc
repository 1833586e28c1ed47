// The whole picture path as a user runs it: build/tulora started fresh,
// the item page, the recheck, one picture of 1, 8 or 64 MiB and the file
// written, against the curl command line making the same three requests
// in one process and writing the file. Prints figures; not a test.
//
// The demo site runs in a child process of its own (this program again
// with "--site"), on the ports the program was built for, in a network of
// the benchmark's own (so that a running demo does not hold them); gallery 7284
// has a picture of 1 MiB, 7285 one of 8 MiB, 7286 one of 64 MiB, and each
// page answers 200 twice after every "arm" (so the program fetches picture
// 1 only). The program and curl take turns, `pairs` runs each per size,
// the one and the other going first in turn, after one pair per size that
// is not counted (the first large transfer and file of a size also pays
// for memory the machine touches for the first time).
//
// Timing: the program from its start to its picture line (written right
// after the file is in place), at which point the benchmark presses Enter
// so that it ends at once; curl from its start to its exit. Both write
// into the same file system; the files are removed after each run. The
// ratio is program / curl for each pair; the peak is the program's largest
// resident size over its runs (wait4), against 1.5 x picture + 32 MiB.
//
//   picture_bench [pairs [MiB...]]   (default 7 pairs; sizes 1, 8 and 64)
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "gallery_site.h"
#include "tests/support/own_network.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using tulora::demosite::GallerySite;

struct Size {
  int gallery;
  int mib;
};
constexpr Size kSizes[] = {{7284, 1}, {7285, 8}, {7286, 64}};
// The program at least as fast as curl at the median, at every size.
constexpr double kMedianTarget = 1.0, kWorstTarget = 1.3;

int PortOf(const std::string& url) { return std::atoi(url.substr(url.rfind(':') + 1).c_str()); }

// ---- the site process -------------------------------------------------------

int ServeSite(const char* certDir) {
  GallerySite site;
  GallerySite::Options options;
  options.galleryPort = PortOf(TULORA_GALLERY_URL);
  options.picturePort = PortOf(TULORA_PICTURE_URL);
  options.certDir = certDir;
  for (const Size& size : kSizes) {
    auto body = std::make_shared<std::string>(static_cast<size_t>(size.mib) << 20, '\0');
    uint32_t x = 2463534242u;
    for (char& c : *body) {
      x ^= x << 13, x ^= x >> 17, x ^= x << 5;
      c = static_cast<char>(x);
    }
    tulora::testsite::Reply reply;
    reply.headerLines = {"Content-Type: image/jpeg"};
    reply.sharedBody = std::move(body);
    site.SetPictureReply(size.gallery, 1, reply);
  }
  if (!site.Start(options)) return 1;
  std::printf("%s\n", site.CertFile().c_str());
  std::fflush(stdout);
  char line[64];
  while (std::fgets(line, sizeof line, stdin) != nullptr) {
    for (const Size& size : kSizes) site.FailPageAfter(size.gallery, 2);
    std::printf("armed\n");
    std::fflush(stdout);
  }
  site.Stop();
  return 0;
}

// ---- children ----------------------------------------------------------------

struct Child {
  pid_t pid = -1;
  int in = -1, out = -1;  // our ends of its standard input and output
};

Child Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            const fs::path& dir) {
  Child child;
  int in[2], out[2];
  if (pipe(in) != 0 || pipe(out) != 0) return child;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, in[1]);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  if (!dir.empty()) posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  std::vector<std::string> args = argv, vars = env;
  std::vector<char*> argp, envp;
  for (std::string& a : args) argp.push_back(a.data());
  for (std::string& e : vars) envp.push_back(e.data());
  argp.push_back(nullptr);
  envp.push_back(nullptr);
  const int spawned = posix_spawn(&child.pid, argp[0], &actions, nullptr, argp.data(),
                                  env.empty() ? environ : envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  child.in = in[1];
  child.out = out[0];
  if (spawned != 0) child.pid = -1;
  return child;
}

void Send(int fd, const std::string& text) {
  if (write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    std::fprintf(stderr, "picture_bench: a child stopped reading\n");
  }
}

// Reads `fd` until `text` has arrived; false at its end.
bool AwaitText(int fd, const std::string& text, std::string* seen) {
  char buffer[4096];
  while (seen->find(text) == std::string::npos) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) return false;
    seen->append(buffer, static_cast<size_t>(n));
  }
  return true;
}

struct Run {
  double ms = -1;    // negative: the run failed
  double cpuMs = 0;  // user + system time of the whole process
  long peakKib = 0;
};

// Waits for the child; its peak resident size, or -1 when it did not exit
// with 0. `*cpuMs`: its processor time.
long Reap(Child* child, double* cpuMs = nullptr) {
  close(child->in);
  int status = 0;
  rusage usage{};
  wait4(child->pid, &status, 0, &usage);
  close(child->out);
  if (cpuMs != nullptr) {
    *cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
             (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? usage.ru_maxrss : -1;
}

double Since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

Run RunProgram(const Size& size, const std::string& certFile, const fs::path& dir) {
  Run run;
  fs::remove_all(dir / "Tulora");
  const auto start = Clock::now();
  Child child = Spawn(
      {TULORA_PROGRAM},
      {"TMPDIR=" + (dir / "tmp").string(), "SSL_CERT_FILE=" + certFile, "PATH=/usr/bin:/bin"}, dir);
  if (child.pid < 0) return run;
  Send(child.in, std::to_string(size.gallery) + "\n1\n1\n");
  std::string out;
  // "Pic[1]" ... "\r\n": the picture line is complete once its line end came.
  const bool line = AwaitText(child.out, "Pic[1]", &out) && AwaitText(child.out, "！\r\n", &out);
  const double ms = Since(start);
  Send(child.in, "\n");  // Enter: the program ends at once
  const long peak = Reap(&child, &run.cpuMs);
  const bool saved = out.find("\xE4\xB8\x8B\xE8\xBD\xBD\xE6\x88\x90\xE5\x8A\x9F") !=
                     std::string::npos;  // 下载成功
  if (line && saved && peak > 0) {
    run.ms = ms;
    run.peakKib = peak;
  }
  return run;
}

Run RunCurl(const Size& size, const std::string& certFile, const fs::path& dir) {
  Run run;
  const std::string page =
      std::string(TULORA_GALLERY_URL) + "/item/" + std::to_string(size.gallery) + ".html";
  const std::string picture =
      std::string(TULORA_PICTURE_URL) + "/images/img/" + std::to_string(size.gallery) + "/1.jpg";
  const fs::path file = dir / "1.jpg";
  fs::remove(file);
  const auto start = Clock::now();
  Child child = Spawn({"/usr/bin/curl", "-s", "--fail", "--cacert", certFile, "-o", "/dev/null",
                       page, "-o", "/dev/null", page, "-o", file.string(), picture},
                      {"PATH=/usr/bin:/bin"}, dir);
  if (child.pid < 0) return run;
  const long peak = Reap(&child, &run.cpuMs);
  run.ms = Since(start);
  if (peak < 0 || fs::file_size(file) != static_cast<uintmax_t>(size.mib) << 20) run.ms = -1;
  run.peakKib = peak;
  return run;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string Self() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

int Bench(int pairs, const std::vector<int>& mibs) {
  char pattern[] = "/tmp/tulora-picture-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const fs::path root = pattern;
  fs::create_directories(root / "tmp");
  Child site = Spawn({Self(), "--site", (root / "cert").string()}, {}, {});
  std::string said;
  if (site.pid < 0 || !AwaitText(site.out, "\n", &said)) {
    std::fprintf(stderr, "picture_bench: the demo site does not start (ports taken?)\n");
    return 1;
  }
  const std::string certFile = said.substr(0, said.find('\n'));
  std::printf(
      "picture_bench: %d pairs per size after one uncounted, program and curl taking turns "
      "(each first in every other pair); program: start to its picture line, curl: start to "
      "exit\n",
      pairs);
  std::printf(
      "(ms: medians of wall time; cpu: medians of user + system time, the program's "
      "up to its end)\n");
  std::printf("%-7s %11s %9s %9s %9s %8s %8s %9s %9s\n", "picture", "program ms", "curl ms",
              "median", "worst", "prog cpu", "curl cpu", "peak MiB", "limit MiB");
  bool met = true;
  for (const Size& size : kSizes) {
    if (!mibs.empty() && std::find(mibs.begin(), mibs.end(), size.mib) == mibs.end()) continue;
    std::vector<double> program, curl, ratios, programCpu, curlCpu;
    long peakKib = 0;
    for (int i = -1; i < pairs; ++i) {  // pair -1: the uncounted one
      const bool programFirst = i % 2 == 0 || i < 0;
      Run p, c;
      for (int turn = 0; turn < 2; ++turn) {
        std::string armed;
        Send(site.in, "arm\n");
        AwaitText(site.out, "armed\n", &armed);
        if ((turn == 0) == programFirst) {
          p = RunProgram(size, certFile, root);
        } else {
          c = RunCurl(size, certFile, root);
        }
      }
      if (p.ms < 0 || c.ms < 0) {
        std::fprintf(stderr, "picture_bench: a run failed at %d MiB (%s)\n", size.mib,
                     p.ms < 0 ? "program" : "curl");
        return 1;
      }
      if (i < 0) continue;
      program.push_back(p.ms);
      curl.push_back(c.ms);
      programCpu.push_back(p.cpuMs);
      curlCpu.push_back(c.cpuMs);
      ratios.push_back(p.ms / c.ms);
      peakKib = std::max(peakKib, p.peakKib);
    }
    const double median = Median(ratios);
    const double worst = *std::max_element(ratios.begin(), ratios.end());
    const double peak = peakKib / 1024.0, limit = 1.5 * size.mib + 32;
    std::printf("%4d MiB %11.1f %9.1f %9.2f %9.2f %8.1f %8.1f %9.1f %9.1f\n", size.mib,
                Median(program), Median(curl), median, worst, Median(programCpu), Median(curlCpu),
                peak, limit);
    std::printf("        pairs (program/curl ms):");
    for (size_t i = 0; i < program.size(); ++i) std::printf(" %.0f/%.0f", program[i], curl[i]);
    std::printf("\n");
    if (median > kMedianTarget || worst > kWorstTarget || peak > limit) met = false;
  }
  std::printf("targets (median ratio <= %.1f, worst <= %.1f, peak <= 1.5 x picture + 32 MiB): %s\n",
              kMedianTarget, kWorstTarget,
              met ? "met" : "NOT met");
  Reap(&site);
  fs::remove_all(root);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  if (argc == 3 && std::strcmp(argv[1], "--site") == 0) return ServeSite(argv[2]);
  const int pairs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  std::vector<int> mibs;
  for (int i = 2; i < argc; ++i) mibs.push_back(std::atoi(argv[i]));
  tulora::process::EnterOwnNetworkOrSayWhy("THE BENCHMARK'S DEMO SITE");
  return Bench(pairs, mibs);
}
