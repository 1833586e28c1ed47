// The local demo site: a gallery site that serves item pages and a separate
// picture host that serves the galleries' pictures, both over TLS on
// 127.0.0.1, each with its own request log.
//
// Content, the same on every run:
// - Gallery numbers 3 to 22120 exist, except every number divisible by 13
//   (those answer 404, like a gallery that was taken down).
// - The item page /item/<n>.html is UTF-8 HTML whose <h1> holds a Chinese
//   title made from the number.
// - Gallery n has 3 + n % 5 pictures, /images/img/<n>/<k>.jpg for k = 1 up
//   to that count: real JPEGs, 320 x 240, drawn from n and k. Other picture
//   numbers answer 404.
//
// Scenarios for tests change single galleries: a page's status or whole
// HTML, a page that stops answering 200 after some requests, a picture's
// status or a picture cut off mid-body.
#ifndef TULORA_DEMOSITE_GALLERY_SITE_H
#define TULORA_DEMOSITE_GALLERY_SITE_H

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "testsite.h"

namespace tulora::demosite {

inline constexpr int FIRST_GALLERY = 3;
inline constexpr int LAST_GALLERY = 22120;

bool GalleryExists(int gallery);
// The title as the page carries it (UTF-8).
std::string GalleryTitle(int gallery);
int PictureCount(int gallery);
// The JPEG bytes of picture k of gallery n.
std::vector<uint8_t> PictureJpeg(int gallery, int picture);
// The item page's HTML for a title.
std::string ItemPage(const std::string& title);

class GallerySite {
 public:
  struct Options {
    int galleryPort = 0;  // 0: any free port
    int picturePort = 0;
    std::string certDir;  // where cert.pem (both certificates) goes; empty: a temp dir
  };

  GallerySite() = default;
  GallerySite(const GallerySite&) = delete;
  GallerySite& operator=(const GallerySite&) = delete;

  bool Start(const Options& options);
  void Stop();

  std::string GalleryBase() const;  // "https://127.0.0.1:<port>"
  std::string PictureBase() const;
  // A file holding both sites' certificates, for SSL_CERT_FILE.
  const std::string& CertFile() const { return certFile_; }

  // Scenarios.
  void SetPageStatus(int gallery, int status);
  void SetPageHtml(int gallery, std::string html);  // UTF-8, served with 200
  // The item page answers 200 for its first `requests` requests, then 404.
  void FailPageAfter(int gallery, int requests);
  // The item page answered with `reply` while FailPageAfter lets it answer.
  void SetPageReply(int gallery, testsite::Reply reply);
  void SetPictureStatus(int gallery, int picture, int status);
  void CutPicture(int gallery, int picture, long afterBytes);
  // Picture k of gallery n answered with `reply`, whatever the gallery has.
  void SetPictureReply(int gallery, int picture, testsite::Reply reply);

  // Every request of both sites in the order they were answered, as
  // "page <path>" or "picture <path>".
  std::vector<std::string> Order() const;
  std::vector<testsite::LoggedRequest> GalleryLog() const { return gallery_.Log(); }
  std::vector<testsite::LoggedRequest> PictureLog() const { return pictures_.Log(); }

 private:
  testsite::Reply AnswerPage(const testsite::LoggedRequest& request);
  testsite::Reply AnswerPicture(const testsite::LoggedRequest& request);

  testsite::TestSite gallery_, pictures_;
  std::string certFile_, ownCertDir_;
  mutable std::mutex mutex_;
  std::map<int, int> pageStatus_;
  std::map<int, std::string> pageHtml_;
  std::map<int, int> pageBudget_;
  std::map<int, testsite::Reply> pageReply_;
  std::map<std::pair<int, int>, int> pictureStatus_;
  std::map<std::pair<int, int>, long> pictureCut_;
  std::map<std::pair<int, int>, testsite::Reply> pictureReply_;
  std::vector<std::string> order_;
};

}  // namespace tulora::demosite

#endif  // TULORA_DEMOSITE_GALLERY_SITE_H
