#include "gallery_site.h"

#include <turbojpeg.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace tulora::demosite {
namespace fs = std::filesystem;
using testsite::LoggedRequest;
using testsite::Reply;

namespace {

constexpr int kWidth = 320, kHeight = 240;

// Title words (UTF-8): the first from n % 8, the second from (n / 8) % 8.
constexpr const char* kFirst[8] = {"春日", "秋水", "山间", "海边", "晨光", "夜色", "花影", "云端"};
constexpr const char* kSecond[8] = {"庭院", "小径", "湖畔", "古镇", "雪原", "竹林", "灯火", "晚霞"};

// Reads "<digits><suffix>" exactly; -1 when the text is anything else.
int NumberBefore(const std::string& text, size_t from, const std::string& suffix, size_t* end) {
  size_t i = from;
  long value = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - from < 6) {
    value = value * 10 + (text[i] - '0');
    ++i;
  }
  if (i == from || text.compare(i, suffix.size(), suffix) != 0) return -1;
  *end = i + suffix.size();
  return static_cast<int>(value);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Reply Jpeg(std::vector<uint8_t> bytes) {
  Reply reply;
  reply.headerLines = {"Content-Type: image/jpeg"};
  reply.body.assign(bytes.begin(), bytes.end());
  return reply;
}

}  // namespace

bool GalleryExists(int gallery) {
  return gallery >= FIRST_GALLERY && gallery <= LAST_GALLERY && gallery % 13 != 0;
}

std::string GalleryTitle(int gallery) {
  return std::string(kFirst[gallery % 8]) + kSecond[(gallery / 8) % 8] + " 第" +
         std::to_string(gallery) + "集";
}

int PictureCount(int gallery) { return 3 + gallery % 5; }

std::string ItemPage(const std::string& title) {
  return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title +
         "</title></head>\n<body><div class=\"gallery\"><h1>" + title +
         "</h1><p>图集</p></div></body></html>\n";
}

std::vector<uint8_t> PictureJpeg(int gallery, int picture) {
  std::vector<unsigned char> rgb(kWidth * kHeight * 3);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      unsigned char* p = &rgb[(y * kWidth + x) * 3];
      p[0] = static_cast<unsigned char>((x + gallery) & 0xFF);
      p[1] = static_cast<unsigned char>((y * 2 + picture * 40) & 0xFF);
      p[2] = static_cast<unsigned char>(((x ^ y) + gallery * 7) & 0xFF);
    }
  }
  tjhandle handle = tjInitCompress();
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  std::vector<uint8_t> out;
  if (handle && tjCompress2(handle, rgb.data(), kWidth, 0, kHeight, TJPF_RGB, &jpeg, &size,
                            TJSAMP_420, 80, 0) == 0) {
    out.assign(jpeg, jpeg + size);
  }
  tjFree(jpeg);
  if (handle) tjDestroy(handle);
  return out;
}

bool GallerySite::Start(const Options& options) {
  std::string dir = options.certDir;
  if (dir.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tulora-site-XXXXXX";
    if (!mkdtemp(pattern.data())) return false;
    dir = ownCertDir_ = pattern;
  }
  fs::create_directories(dir + "/gallery");
  fs::create_directories(dir + "/pictures");
  gallery_.RoutePrefix("/", [this](const LoggedRequest& r) { return AnswerPage(r); });
  pictures_.RoutePrefix("/", [this](const LoggedRequest& r) { return AnswerPicture(r); });
  testsite::TestSite::Options galleryOptions{options.galleryPort, 0, dir + "/gallery"};
  testsite::TestSite::Options pictureOptions{options.picturePort, 0, dir + "/pictures"};
  if (!gallery_.Start(galleryOptions) || !pictures_.Start(pictureOptions)) return false;
  certFile_ = dir + "/cert.pem";
  std::ofstream(certFile_) << ReadFile(gallery_.cert_file()) << ReadFile(pictures_.cert_file());
  return true;
}

void GallerySite::Stop() {
  gallery_.Stop();
  pictures_.Stop();
  if (!ownCertDir_.empty()) fs::remove_all(ownCertDir_);
  ownCertDir_.clear();
}

std::string GallerySite::GalleryBase() const { return gallery_.Url(true, ""); }
std::string GallerySite::PictureBase() const { return pictures_.Url(true, ""); }

void GallerySite::SetPageStatus(int gallery, int status) {
  std::lock_guard<std::mutex> lock(mutex_);
  pageStatus_[gallery] = status;
}
void GallerySite::SetPageHtml(int gallery, std::string html) {
  std::lock_guard<std::mutex> lock(mutex_);
  pageHtml_[gallery] = std::move(html);
}
void GallerySite::FailPageAfter(int gallery, int requests) {
  std::lock_guard<std::mutex> lock(mutex_);
  pageBudget_[gallery] = requests;
}
void GallerySite::SetPictureStatus(int gallery, int picture, int status) {
  std::lock_guard<std::mutex> lock(mutex_);
  pictureStatus_[{gallery, picture}] = status;
}
void GallerySite::CutPicture(int gallery, int picture, long afterBytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  pictureCut_[{gallery, picture}] = afterBytes;
}

void GallerySite::SetPageReply(int gallery, testsite::Reply reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  pageReply_[gallery] = std::move(reply);
}

void GallerySite::SetPictureReply(int gallery, int picture, testsite::Reply reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  pictureReply_[{gallery, picture}] = std::move(reply);
}

std::vector<std::string> GallerySite::Order() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return order_;
}

Reply GallerySite::AnswerPage(const LoggedRequest& request) {
  const std::string path = request.Path();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    order_.push_back("page " + path);
  }
  size_t end = 0;
  const int gallery = path.rfind("/item/", 0) == 0 ? NumberBefore(path, 6, ".html", &end) : -1;
  if (gallery < 0 || end != path.size()) return Reply::Text(404, "not found");
  std::lock_guard<std::mutex> lock(mutex_);
  if (auto budget = pageBudget_.find(gallery); budget != pageBudget_.end()) {
    if (budget->second <= 0) return Reply::Text(404, "gone");
    --budget->second;
  }
  if (auto r = pageReply_.find(gallery); r != pageReply_.end()) return r->second;
  if (auto status = pageStatus_.find(gallery); status != pageStatus_.end()) {
    return Reply::Text(status->second, "status " + std::to_string(status->second));
  }
  Reply reply;
  reply.headerLines = {"Content-Type: text/html; charset=utf-8"};
  if (auto html = pageHtml_.find(gallery); html != pageHtml_.end()) {
    reply.body = html->second;
  } else if (GalleryExists(gallery)) {
    reply.body = ItemPage(GalleryTitle(gallery));
  } else {
    return Reply::Text(404, "<h1>404</h1>");
  }
  return reply;
}

Reply GallerySite::AnswerPicture(const LoggedRequest& request) {
  const std::string path = request.Path();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    order_.push_back("picture " + path);
  }
  size_t mid = 0, end = 0;
  const int gallery = path.rfind("/images/img/", 0) == 0 ? NumberBefore(path, 12, "/", &mid) : -1;
  const int picture = gallery >= 0 ? NumberBefore(path, mid, ".jpg", &end) : -1;
  if (picture < 0 || end != path.size()) return Reply::Text(404, "not found");
  long cut = -1;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (auto status = pictureStatus_.find({gallery, picture}); status != pictureStatus_.end()) {
      return Reply::Text(status->second, "error page " + std::to_string(status->second));
    }
    if (auto r = pictureReply_.find({gallery, picture}); r != pictureReply_.end()) return r->second;
    if (auto c = pictureCut_.find({gallery, picture}); c != pictureCut_.end()) cut = c->second;
  }
  if (!GalleryExists(gallery) || picture < 1 || picture > PictureCount(gallery)) {
    return Reply::Text(404, "<html>no such picture</html>");
  }
  Reply reply = Jpeg(PictureJpeg(gallery, picture));
  reply.cutAfter = cut;
  return reply;
}

}  // namespace tulora::demosite
