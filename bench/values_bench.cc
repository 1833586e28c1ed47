// Figures for the shared value routines: ns per call (Google Benchmark's
// "Time" column) and MB/s of input (bytes_per_second).
//   values_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <string>

#include "crawler/reencode.h"
#include "http/cookies.h"
#include "image/values.h"
#include "tests/support/hosted_runtime.h"

namespace tulora {
namespace {

// The longest join of the crawler: a picture path of six pieces.
void BM_JoinTexts6(benchmark::State& state) {
  const char* pieces[] = {"C:\\Users\\someone\\Tulora",
                          "\\",
                          "\xB1\xEA\xCC\xE2\xA3\xBA\xCD\xBC\xBC\xAF 12",
                          "\\",
                          "37",
                          ".jpg"};
  size_t bytes = 0;
  for (const char* p : pieces) bytes += TextLength(p);
  for (auto _ : state) {
    char* joined = JoinTexts(pieces, 6);
    benchmark::DoNotOptimize(joined);
    tulora_services.Release(joined);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_JoinTexts6);

std::string CookieText(const char* prefix, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    if (i != 0) text += "; ";
    text += std::string(prefix) + std::to_string(i) + "=value" + std::to_string(i * 7919);
  }
  return text;
}

// Two 20-item cookie texts, half of the names shared.
void BM_MergeCookies20(benchmark::State& state) {
  const std::string oldText = CookieText("k", 20);
  const std::string newText = CookieText("k", 10) + "; " + CookieText("n", 10);
  for (auto _ : state) {
    char* oldCookies = CopyText(oldText.c_str());
    char* newCookies = CopyText(newText.c_str());
    char* merged = MergeCookies(&oldCookies, &newCookies);
    benchmark::DoNotOptimize(merged);
    tulora_services.Release(merged);
    tulora_services.Release(oldCookies);
    tulora_services.Release(newCookies);
  }
  state.SetBytesProcessed(
      static_cast<int64_t>(state.iterations() * (oldText.size() + newText.size())));
}
BENCHMARK(BM_MergeCookies20);

// A 1 MiB page: HTML with Chinese text (3 UTF-8 bytes per character).
void BM_Utf8ToGbk1MiB(benchmark::State& state) {
  const std::string line =
      "<p class=\"c\">\xE6\xA0\x87\xE9\xA2\x98\xEF\xBC\x9A\xE5\x9B\xBE\xE9\x9B\x86 "
      "gallery 12345</p>\n";
  std::string page = "<html><head><title>x</title></head><body>\n";
  while (page.size() + line.size() < (1u << 20) - 20) page += line;
  page += "</body></html>";
  for (auto _ : state) {
    char* gbk = Utf8ToGbk(page.c_str());
    benchmark::DoNotOptimize(gbk);
    tulora_services.Release(gbk);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_Utf8ToGbk1MiB)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tulora

BENCHMARK_MAIN();
