// The crawl's own cost per request: build/tulora against the demo site
// started in this process (in a network of its own, so that a running demo
// does not hold the ports), wall time from process start to exit, less the
// pauses, divided by the requests the site logged. Prints figures; not a
// test.
//
// Runs, each repeated (the best is shown, the median beside it):
//   start    answers "7284\n2\n2\n": the dialogue without a crawl, the fixed
//            cost of a run (process start, runtime unpacking, console)
//   first    answers "7280\n1\n1\n", pauses cut to 0: one request (a missing
//            page), so also the one-time costs of the first request (the
//            transfer library's set-up, the certificate store)
//   crawl    answers "7284\n2\n1\n", pauses cut to 0: two galleries, 322
//            requests
// The runs with pauses cut to 0 are of the paced program (tests/paced/),
// the same program with a pause library that takes its pauses from the
// file "pace" of its folder.
//   paused   real pauses, a gallery whose page stops answering after 3
//            requests; its pauses (one a picture, one a gallery) are counted
//            from the console lines and taken off at 1000 ms each
//   curl     the curl command line fetching the crawl's URLs in the same
//            order, one process each (a peer figure)
//
// The program notices the end of the crawl at its next 100 ms wait step
// after the end of the input, so a run's wall time holds up to 100 ms that
// is neither pause nor request; on the paused run's few requests that is
// shown as the figure's margin. The cost of a further request is the
// difference to the one-request run over the requests beyond the first.
//
//   crawl_bench [repetitions]     (default 3)
#include <fcntl.h>
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

#include "gallery_site.h"
#include "tests/support/own_network.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using tulora::demosite::GallerySite;

constexpr double kPauseMs = 1000;
constexpr double kWaitStepMs = 100;

int PortOf(const std::string& url) { return std::atoi(url.substr(url.rfind(':') + 1).c_str()); }

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

size_t CountOf(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

// Spawns `argv` with `env`, standard input from `in` (or /dev/null) and
// standard output into `out`; returns the wall time in milliseconds, or a
// negative number when the process failed.
double TimeProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                   const fs::path& dir, const std::string& in, const std::string& out) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in.empty() ? "/dev/null" : in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  std::vector<std::string> args = argv, vars = env;
  std::vector<char*> argp, envp;
  for (std::string& a : args) argp.push_back(a.data());
  for (std::string& e : vars) envp.push_back(e.data());
  argp.push_back(nullptr);
  envp.push_back(nullptr);
  const auto start = Clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ms : -1;
}

struct Outcome {
  double ms = -1;
  size_t requests = 0, pauses = 0;
  std::vector<std::string> order;  // "page <path>" / "picture <path>"
  std::string certFile;
};

// One run of the program in a fresh folder against a fresh demo site.
Outcome RunProgram(const std::string& answers, bool realPauses, int failPageAfter) {
  Outcome o;
  char pattern[] = "/tmp/tulora-crawl-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return o;
  const fs::path root = pattern;
  fs::create_directory(root / "tmp");
  GallerySite site;
  GallerySite::Options options;
  options.galleryPort = PortOf(TULORA_GALLERY_URL);
  options.picturePort = PortOf(TULORA_PICTURE_URL);
  options.certDir = (root / "cert").string();
  if (!site.Start(options)) {
    std::fprintf(stderr, "crawl_bench: demo site ports taken?\n");
    fs::remove_all(root);
    return o;
  }
  if (failPageAfter > 0) site.FailPageAfter(7284, failPageAfter);
  std::ofstream(root / "stdin", std::ios::binary) << answers;
  std::vector<std::string> env = {"TMPDIR=" + (root / "tmp").string(),
                                  "SSL_CERT_FILE=" + site.CertFile(), "PATH=/usr/bin:/bin"};
  if (!realPauses) std::ofstream(root / "pace") << 0;
  o.ms = TimeProcess({realPauses ? TULORA_PROGRAM : TULORA_PACED_PROGRAM}, env, root, (root / "stdin").string(),
                     (root / "stdout").string());
  o.order = site.Order();
  o.requests = o.order.size();
  // A pause follows every picture line and every gallery.
  const std::string out = ReadText(root / "stdout");
  o.pauses = CountOf(out, "Pic[") + CountOf(out, "\r\n\xE6\xA0\x87\xE9\xA2\x98") +  // 标题
             CountOf(out, " - \xE9\xA1\xB5\xE9\x9D\xA2");  // 页面不存在
  site.Stop();
  fs::remove_all(root);
  return o;
}

// The curl command line fetching the URLs of `order` one process each, in
// that order; total milliseconds, or negative on a failed start.
double RunCurl(const std::vector<std::string>& order) {
  char pattern[] = "/tmp/tulora-crawl-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return -1;
  const fs::path root = pattern;
  GallerySite site;
  GallerySite::Options options;
  options.galleryPort = PortOf(TULORA_GALLERY_URL);
  options.picturePort = PortOf(TULORA_PICTURE_URL);
  options.certDir = (root / "cert").string();
  if (!site.Start(options)) return -1;
  double total = 0;
  for (const std::string& entry : order) {
    const bool page = entry.rfind("page ", 0) == 0;
    const std::string url =
        (page ? site.GalleryBase() : site.PictureBase()) + entry.substr(entry.find(' ') + 1);
    // A 404 is an answer like any other here: no --fail.
    const double ms =
        TimeProcess({"/usr/bin/curl", "-s", "-o", "/dev/null", "--cacert", site.CertFile(), url},
                    {"PATH=/usr/bin:/bin"}, root, "", "/dev/null");
    if (ms < 0) {
      total = -1;
      break;
    }
    total += ms;
  }
  const size_t logged = site.GalleryLog().size() + site.PictureLog().size();
  site.Stop();
  fs::remove_all(root);
  if (total >= 0 && logged != order.size()) {
    std::fprintf(stderr, "crawl_bench: curl made %zu requests of %zu\n", logged, order.size());
    return -1;
  }
  return total;
}

struct Figure {
  std::vector<double> values;
  double Best() const {
    return values.empty() ? -1 : *std::min_element(values.begin(), values.end());
  }
  double Median() const {
    if (values.empty()) return -1;
    std::vector<double> v = values;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  }
};

}  // namespace

int main(int argc, char** argv) {
  tulora::process::EnterOwnNetworkOrSayWhy("THE BENCHMARK'S DEMO SITES");
  const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  Figure start, first, crawl, paused, curl;
  size_t crawlRequests = 0, pausedRequests = 0, pausedPauses = 0;
  std::vector<std::string> order;
  for (int i = 0; i < repetitions; ++i) {
    const Outcome s = RunProgram("7284\n2\n2\n", false, 0);
    const Outcome f = RunProgram("7280\n1\n1\n", false, 0);
    const Outcome c = RunProgram("7284\n2\n1\n", false, 0);
    const Outcome p = RunProgram("7284\n1\n1\n", true, 3);
    if (s.ms < 0 || f.ms < 0 || c.ms < 0 || p.ms < 0 || s.requests != 0 || f.requests != 1 ||
        c.requests < 2 || p.requests < 2) {
      std::fprintf(stderr, "crawl_bench: a run of the program failed\n");
      return 1;
    }
    start.values.push_back(s.ms);
    first.values.push_back(f.ms);
    crawl.values.push_back(c.ms);
    paused.values.push_back(p.ms - p.pauses * kPauseMs);
    crawlRequests = c.requests;
    pausedRequests = p.requests;
    pausedPauses = p.pauses;
    order = c.order;
    const double ms = RunCurl(order);
    if (ms < 0) {
      std::fprintf(stderr, "crawl_bench: the curl command line failed\n");
      return 1;
    }
    curl.values.push_back(ms);
  }
  std::printf("build/tulora against the demo site, %d repetitions (best, median)\n", repetitions);
  std::printf("  start, no crawl:         %8.1f ms  %8.1f ms\n", start.Best(), start.Median());
  std::printf("  crawl, %3zu requests:     %8.1f ms  %8.1f ms  pauses 0\n", crawlRequests,
              crawl.Best(), crawl.Median());
  std::printf(
      "  paused, %zu requests:      %8.1f ms  %8.1f ms  after taking off %zu pauses of 1 s\n",
      pausedRequests, paused.Best(), paused.Median(), pausedPauses);
  std::printf("  first, 1 request:        %8.1f ms  %8.1f ms  pauses 0\n", first.Best(),
              first.Median());
  std::printf("cost per request (wall time less pauses, over the requests logged)\n");
  std::printf("  crawl:                   %8.2f ms\n", crawl.Best() / crawlRequests);
  std::printf("  paused:                  %8.2f ms  (+-%.1f ms: the 100 ms wait step)\n",
              paused.Best() / pausedRequests, kWaitStepMs / pausedRequests);
  std::printf("cost of a further request (less the one-request run)\n");
  std::printf("  crawl:                   %8.2f ms\n",
              (crawl.Best() - first.Best()) / (crawlRequests - 1));
  std::printf("  paused:                  %8.2f ms  (+-%.1f ms: the 100 ms wait step)\n",
              (paused.Best() - first.Best()) / (pausedRequests - 1),
              kWaitStepMs / (pausedRequests - 1));
  std::printf("  curl command line:       %8.2f ms  (one process per URL, %zu URLs)\n",
              curl.Best() / order.size(), order.size());
  return 0;
}
