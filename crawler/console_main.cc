// The main routine: the download root, the banner, the three questions and,
// on the answer "1", the crawl thread.
//
// Decisions of this program:
// - The domain in the banner's title line is the gallery site's host; the
//   handle in the credit line is the project's name.
// - The answer "2" flushes the console output (a harmless runtime command
//   with its one optional argument left out); the program then ends like
//   for any other answer that is not "1".
// - At the final wait, an empty line ends the program at once, whether or
//   not the crawl has finished; the end of the input instead waits for the
//   crawl to finish, so that the program can be driven by a script.
#include "crawler/crawl.h"
#include "crawler/entry.h"
#include "crawler/program_values.h"
#include "crawler/site_urls.h"
#include "http/url.h"
#include "image/arguments.h"
#include "image/commands.h"
#include "image/runtime_calls.h"
#include "image/system_calls.h"
#include "image/values.h"

namespace tulora {
namespace {

constexpr char kRule[] =
    " \xA1\xAA\xA1\xAA\xA1\xAA\xA1\xAA\xA1\xAA\xA1\xAA\xA1\xAA\xA1\xAA\xA1\xAA\xA1\xAA\xA1\xAA"
    "\xA1\xAA\xA1\xAA\xA1\xAA\xA1\xAA\xA1\xAA\xA1\xAA\xA1\xAA\xA1\xAA \r\n";
constexpr char kTitleStart[] = "|       Tulora - ";
constexpr char kTitleEnd[] = "\xC5\xC0\xB3\xE6    |\r\n";  // 爬虫
constexpr char kCredit[] = "|           Code By Tulora              |\r\n";
constexpr char kUsage[] =
    "|    \xCA\xB9\xD3\xC3\xB7\xBD\xB7\xA8\xA3\xBA\xCA\xE4\xC8\xEB"
    "3\xB5\xBD"
    "22120\xD6\xAE"
    "\xBC\xE4\xCF\xE0\xB6\xD4\xD3\xA6\xB5\xC4\xCA\xFD\xD7\xD6ID\xBA\xF3\xBB\xD8\xB3\xB5      |\r\n";
constexpr char kFirstPrompt[] =
    "Tips\xA3\xBA\xC7\xEB\xCA\xE4\xC8\xEB\xC6\xF0\xCA\xBC\xB5\xC4ID\xA3\xBA\r\n";
constexpr char kSecondPrompt[] =
    "Tips\xA3\xBA\xC7\xEB\xCA\xE4\xC8\xEB\xCF\xC2\xD4\xD8\xCD\xBC\xBC\xAF\xCC\xD7\xCA\xFD\xA3\xBA\r"
    "\n";
constexpr char kThirdPrompt[] =
    "Tips\xA3\xBA\xCA\xE4\xC8\xEB\xCA\xFD\xD7\xD6[1] \xBF\xAA\xCA\xBC\xC5\xC0\xCD\xBC   "
    "\xCA\xE4\xC8\xEB"
    "\xC6\xE4\xCB\xFB\xB0\xB4\xBC\xFC\xCD\xCB\xB3\xF6\xB3\xCC\xD0\xF2 \r\n";
constexpr int32_t kWaitStepMs = 100;

// The crawl's state: 0 not started, 1 running, 2 finished.
int32_t g_crawlState;

TULORA_CALL void CrawlThread() {
  CrawlGalleries();
  __atomic_store_n(&g_crawlState, 2, __ATOMIC_RELEASE);
}

void WriteBanner() {
  RtConsoleWrite(kRule);
  OwnedText host(UrlHost(GALLERY_BASE_URL));
  OwnedText title(JoinTexts(kTitleStart, host.get(), kTitleEnd));
  RtConsoleWrite(title.get());
  RtConsoleWrite(kCredit);
  RtConsoleWrite(kUsage);
  OwnedText lastRule(JoinTexts(kRule, "\r\n"));
  RtConsoleWrite(lastRule.get());
}

int32_t AskNumber(const char* prompt) {
  if (prompt != nullptr) RtConsoleWrite(prompt);
  OwnedText line(RtConsoleReadLine());
  return RtTextToInt(line.get());
}

// Starts the crawl and waits for Enter; at the end of the input, for the
// crawl to finish.
void CrawlUntilEnter() {
  __atomic_store_n(&g_crawlState, 1, __ATOMIC_RELEASE);
  if (!RtStartThread(CrawlThread)) __atomic_store_n(&g_crawlState, 0, __ATOMIC_RELEASE);
  bool atEnd = false;
  tulora_services.Release(RtConsoleReadLine(&atEnd));
  while (atEnd && __atomic_load_n(&g_crawlState, __ATOMIC_ACQUIRE) == 1) RtPause(kWaitStepMs);
}

void FlushConsole() {
  auto args = MakeArguments(ArgOmitted());
  tulora_services.CallKernelCommand(CMD_CONSOLE_FLUSH, args.list());
}

}  // namespace

bool CrawlMayStillRun() { return __atomic_load_n(&g_crawlState, __ATOMIC_ACQUIRE) == 1; }

int32_t ConsoleMain() {
  OwnedText running(RtRunningDirectory());
  tulora_services.Release(DownloadRoot);
  DownloadRoot = JoinTexts(running.get(), "\\Tulora");
  RtCreateDirectory(DownloadRoot);
  WriteBanner();
  StartId = AskNumber(kFirstPrompt);
  GalleryCount = AskNumber(kSecondPrompt);
  RtConsoleWrite(kThirdPrompt);
  OwnedText answer(RtConsoleReadLine());
  RtConsoleWrite("\r\n");
  if (CompareTexts(answer.get(), "1") == 0) CrawlUntilEnter();
  if (CompareTexts(answer.get(), "2") == 0) FlushConsole();
  return 0;
}

}  // namespace tulora
