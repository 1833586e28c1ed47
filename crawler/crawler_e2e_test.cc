// build/tulora against the local demo site: the console text, the folder
// tree, the stored pictures and what went over the wire.
//
// The program's site URLs are fixed when it is built, so every test here
// starts the demo site on those ports (the tests share them and run one at
// a time). Pauses are shortened through the pause library's test hook,
// except where a test measures them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gallery_site.h"
#include "tests/support/process.h"
#include "tests/support/scratch_directory.h"

namespace tulora {
namespace {

namespace fs = std::filesystem;
using demosite::GallerySite;

int PortOf(const std::string& url) { return std::atoi(url.substr(url.rfind(':') + 1).c_str()); }

std::string ReadText(const fs::path& path) { return process::ReadFile(path.string()); }

// The console texts, in UTF-8 as the runtime writes them on Linux.
std::string Rule() {
  std::string rule = " ";
  for (int i = 0; i < 19; ++i) rule += "—";
  return rule + " \r\n";
}
std::string Banner() {
  return Rule() + "|       Tulora - 127.0.0.1爬虫    |\r\n" +
         "|           Code By Tulora              |\r\n" +
         "|    使用方法：输入3到22120之间相对应的数字ID后回车      |\r\n" + Rule() + "\r\n";
}
const std::string kPrompts = "Tips：请输入起始的ID：\r\nTips：请输入下载图集套数：\r\n"
                             "Tips：输入数字[1] 开始爬图   输入其他按键退出程序 \r\n\r\n";

std::string ItemUrl(int gallery) {
  return std::string(TULORA_GALLERY_URL) + "/item/" + std::to_string(gallery) + ".html";
}
std::string PictureUrl(int gallery, int n) {
  return std::string(TULORA_PICTURE_URL) + "/images/img/" + std::to_string(gallery) + "/" +
         std::to_string(n) + ".jpg";
}
std::string PageLine(int gallery, const std::string& title) {
  return "地址：" + ItemUrl(gallery) + "\r\n标题：" + title + "\r\n";
}
std::string PictureLine(int gallery, int n, bool saved) {
  return "Pic[" + std::to_string(n) + "]：" + PictureUrl(gallery, n) +
         (saved ? " - 下载成功！\r\n" : " - 下载失败！\r\n");
}
std::string MissingLine(int gallery) { return "地址：" + ItemUrl(gallery) + " - 页面不存在！\r\n"; }

// The lines of a gallery whose page answers 200 throughout: every picture
// number is tried; those the host has are saved, the others fail.
std::string GalleryLines(int gallery, const std::string& title, int available) {
  std::string text = PageLine(gallery, title);
  for (int n = 1; n <= 80; ++n) text += PictureLine(gallery, n, n <= available);
  return text;
}

using Outcome = process::ProcessResult;

class CrawlerProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(scratch_.made());
    root_ = scratch_.path();
    fs::create_directory(root_ / "tmp");
    fs::permissions(root_ / "tmp", fs::perms::owner_all);
    GallerySite::Options options;
    options.galleryPort = PortOf(TULORA_GALLERY_URL);
    options.picturePort = PortOf(TULORA_PICTURE_URL);
    options.certDir = (root_ / "cert").string();
    ASSERT_TRUE(site_.Start(options)) << "demo site ports taken?";
  }
  void TearDown() override { site_.Stop(); }

  // Runs build/tulora in root_ with `input` on standard input, then end of
  // input.
  Outcome Run(const std::string& input, const char* pauseMs = "0") {
    const fs::path in = root_ / "stdin";
    std::ofstream(in, std::ios::binary) << input;
    process::ProcessRequest request;
    request.program = TULORA_PROGRAM;
    request.env = {"TMPDIR=" + (root_ / "tmp").string(), "SSL_CERT_FILE=" + site_.CertFile(),
                   "PATH=/usr/bin:/bin"};
    if (pauseMs != nullptr) request.env.push_back(std::string("TULORA_TEST_PAUSE_MS=") + pauseMs);
    for (std::string& e : process::InheritedEnvironment({"ASAN_OPTIONS"})) request.env.push_back(e);
    request.stdinFile = in.string();
    request.workDir = root_.string();
    request.captureDir = root_.string();
    const Outcome o = process::RunProcess(request);
    EXPECT_TRUE(o.started) << request.program;
    return o;
  }

  fs::path Downloads() const { return root_ / "Tulora"; }

  std::vector<std::string> Folders() const {
    std::vector<std::string> names;
    if (!fs::exists(Downloads())) return names;
    for (const auto& entry : fs::directory_iterator(Downloads())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  size_t PageRequests() const { return site_.GalleryLog().size(); }
  size_t PictureRequests() const { return site_.PictureLog().size(); }

  process::ScratchDirectory scratch_{"tulora-crawl-"};
  fs::path root_;
  GallerySite site_;
};

TEST_F(CrawlerProcess, WorkedExampleTwoGalleries) {
  const Outcome o = Run("7284\n2\n1\n");
  EXPECT_EQ(o.exitCode, 0);
  EXPECT_EQ(o.err, "");
  const std::string t1 = demosite::GalleryTitle(7284), t2 = demosite::GalleryTitle(7285);
  EXPECT_EQ(o.out, Banner() + kPrompts + GalleryLines(7284, t1, 7) + GalleryLines(7285, t2, 3));

  // Folders named after the titles; each picture exactly as served.
  std::vector<std::string> folders = {t1, t2};
  std::sort(folders.begin(), folders.end());
  EXPECT_EQ(Folders(), folders);
  for (int n = 1; n <= 7; ++n) {
    const auto jpeg = demosite::PictureJpeg(7284, n);
    EXPECT_EQ(ReadText(Downloads() / t1 / (std::to_string(n) + ".jpg")),
              std::string(jpeg.begin(), jpeg.end()))
        << n;
  }
  EXPECT_FALSE(fs::exists(Downloads() / t1 / "8.jpg")) << "a 404 page is no picture";
  EXPECT_EQ(std::distance(fs::directory_iterator(Downloads() / t2), fs::directory_iterator()), 3);

  // Order: the page, then per picture the page again and the picture.
  const auto order = site_.Order();
  ASSERT_EQ(order.size(), 2u * 161u);
  EXPECT_EQ(order[0], "page /item/7284.html");
  for (int n = 1; n <= 80; ++n) {
    EXPECT_EQ(order[2 * n - 1], "page /item/7284.html");
    EXPECT_EQ(order[2 * n], "picture /images/img/7284/" + std::to_string(n) + ".jpg");
  }
  EXPECT_EQ(order[161], "page /item/7285.html");
}

TEST_F(CrawlerProcess, ExactHeaderLinesOnTheWire) {
  site_.FailPageAfter(7284, 2);  // the page and one recheck: one picture
  const Outcome o = Run("7284\n1\n1\n");
  ASSERT_EQ(PageRequests(), 3u);
  const auto page = site_.GalleryLog()[0];
  EXPECT_EQ(page.request_line, "GET /item/7284.html HTTP/1.1");
  EXPECT_EQ(page.Header("User-Agent"),
            "+Mozilla/5.var+(Windows+NT+6.1;+WOW64)+AppleWebKit/537.36+(KHTML,+like+Gecko)"
            "+Chrome/63.var.3239.132+Safari/537.36");
  EXPECT_EQ(page.Header("Accept"), "+image/webp,image/apng,image/*,*/*;q=0.8");
  EXPECT_EQ(page.Header("Referer"), std::string(TULORA_GALLERY_URL) + "/item/7284.html");
  EXPECT_EQ(page.Header("Accept-Language"), "+zh-CN,zh;q=0.9");
  EXPECT_EQ(page.HeaderCount("Cookie"), 0u);
  EXPECT_EQ(page.HeaderCount("Content-Type"), 0u) << "no form type on a GET";

  ASSERT_EQ(PictureRequests(), 1u);
  const auto picture = site_.PictureLog()[0];
  EXPECT_EQ(picture.request_line, "GET /images/img/7284/1.jpg HTTP/1.1");
  std::vector<std::string> lines;
  for (const std::string& line : picture.header_lines) {
    if (line.rfind("Host:", 0) != 0) lines.push_back(line);
  }
  const std::vector<std::string> expected = {
      "Accept: image/png, image/svg+xml, image/*;q=0.8, */*;q=0.5",
      "Referer: " + std::string(TULORA_GALLERY_URL) + "/item/",
      "Accept-Language: zh-CN",
      "User-Agent: Mozilla/5.0 (Windows NT 6.1; WOW64; Trident/7.0; rv:11.0) like Gecko",
      "Connection: Keep-Alive",
      "Content-Type: application/x-www-form-urlencoded",
  };
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(o.out, Banner() + kPrompts + PageLine(7284, demosite::GalleryTitle(7284)) +
                       PictureLine(7284, 1, true));
}

TEST_F(CrawlerProcess, NoCrawlWithoutConfirmationOrGalleries) {
  for (const char* input : {"7284\n3\n2\n", "7284\n3\n0\n", "7284\n3\nx\n", "7284\n3\n\n",
                            "7284\n3\n 1\n", "7284\n3\n01\n", "7284\n0\n1\n", "7284\n-4\n1\n"}) {
    const Outcome o = Run(input);
    EXPECT_EQ(o.exitCode, 0) << input;
    EXPECT_EQ(o.out, Banner() + kPrompts) << input;
  }
  EXPECT_EQ(PageRequests() + PictureRequests(), 0u);
  EXPECT_TRUE(Folders().empty()) << "the download root is made, nothing in it";
  EXPECT_TRUE(fs::is_directory(Downloads()));
}

TEST_F(CrawlerProcess, MissingPageAfterThePause) {
  // 7280 is a multiple of 13: the site answers 404.
  const Outcome o = Run("7280\n1\n1\n", nullptr);  // real pauses
  EXPECT_EQ(o.out, Banner() + kPrompts + MissingLine(7280));
  EXPECT_EQ(PageRequests(), 1u);
  EXPECT_EQ(PictureRequests(), 0u);
  EXPECT_TRUE(Folders().empty());
  EXPECT_GE(o.seconds, 1.0) << "one gallery pause of a second before the line";
}

TEST_F(CrawlerProcess, RecheckFailingAfterKPicturesEndsTheGallery) {
  site_.FailPageAfter(7284, 4);  // page + 3 rechecks: 3 pictures
  const Outcome o = Run("7284\n2\n1\n");
  std::string expected = Banner() + kPrompts + PageLine(7284, demosite::GalleryTitle(7284));
  for (int n = 1; n <= 3; ++n) expected += PictureLine(7284, n, true);
  expected += GalleryLines(7285, demosite::GalleryTitle(7285), 3);
  EXPECT_EQ(o.out, expected) << "no missing-page line: the page answered at first";
}

TEST_F(CrawlerProcess, PictureFailuresStoreNothing) {
  site_.FailPageAfter(7284, 4);
  site_.SetPictureStatus(7284, 1, 503);
  site_.CutPicture(7284, 2, 100);
  const Outcome o = Run("7284\n1\n1\n");
  const std::string title = demosite::GalleryTitle(7284);
  EXPECT_EQ(o.out, Banner() + kPrompts + PageLine(7284, title) + PictureLine(7284, 1, false) +
                       PictureLine(7284, 2, false) + PictureLine(7284, 3, true));
  EXPECT_FALSE(fs::exists(Downloads() / title / "1.jpg")) << "an error page is no picture";
  EXPECT_FALSE(fs::exists(Downloads() / title / "2.jpg")) << "a cut picture is not stored";
  EXPECT_TRUE(fs::exists(Downloads() / title / "3.jpg"));
}

TEST_F(CrawlerProcess, PictureThatCannotBeWrittenIsAFailure) {
  site_.FailPageAfter(7284, 3);
  const std::string title = demosite::GalleryTitle(7284);
  // A folder where picture 1 would go: no file can be written there.
  fs::create_directories(Downloads() / title / "1.jpg");
  const Outcome o = Run("7284\n1\n1\n");
  EXPECT_EQ(o.out, Banner() + kPrompts + PageLine(7284, title) + PictureLine(7284, 1, false) +
                       PictureLine(7284, 2, true));
  EXPECT_TRUE(fs::is_directory(Downloads() / title / "1.jpg"));
  EXPECT_EQ(std::distance(fs::directory_iterator(Downloads() / title), fs::directory_iterator()), 2)
      << "no stray file is left beside the pictures";
}

TEST_F(CrawlerProcess, TitlesBecomeSafeFolderNames) {
  struct Row {
    int gallery;
    std::string title, folder;
  };
  const Row rows[] = {
      {7284, "", "7284"},                      // no <h1>: the gallery number
      {7285, "..", "7285"},
      {7286, "a/b\\c:d", "a_b_c_d"},
      {7287, "CON", "_CON"},
      {7288, "春天 ", "春天"},
  };
  std::string expected = Banner() + kPrompts;
  for (const Row& row : rows) {
    site_.FailPageAfter(row.gallery, 2);
    site_.SetPageHtml(row.gallery, row.title.empty() ? "<p>no heading</p>"
                                                     : demosite::ItemPage(row.title));
    expected += PageLine(row.gallery, row.title) + PictureLine(row.gallery, 1, true);
  }
  const Outcome o = Run("7284\n5\n1\n");
  EXPECT_EQ(o.out, expected) << "the page line prints the title as taken";
  std::vector<std::string> folders;
  for (const Row& row : rows) folders.push_back(row.folder);
  std::sort(folders.begin(), folders.end());
  EXPECT_EQ(Folders(), folders);
  for (const Row& row : rows) EXPECT_TRUE(fs::exists(Downloads() / row.folder / "1.jpg")) << row.folder;
  EXPECT_FALSE(fs::exists(root_ / "a")) << "nothing outside the download root";
}

TEST_F(CrawlerProcess, EnterEndsTheProgramWhileTheCrawlRuns) {
  // An empty line at the final wait: the program ends at once.
  const Outcome o = Run("7284\n3\n1\n\n", "200");
  EXPECT_EQ(o.exitCode, 0);
  EXPECT_EQ(o.err, "");
  EXPECT_LT(o.seconds, 20.0) << "three galleries would take far longer";
  EXPECT_LT(PictureRequests(), 240u);
}

}  // namespace
}  // namespace tulora
