// The demo site over real TLS: pages, pictures, scenarios and logs.
#define CPPHTTPLIB_OPENSSL_SUPPORT
#include <httplib.h>
#include <turbojpeg.h>

#include <gtest/gtest.h>

#include "gallery_site.h"

namespace tulora::demosite {
namespace {

class GallerySiteTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(site_.Start({})); }
  void TearDown() override { site_.Stop(); }

  httplib::Result Get(const std::string& base, const std::string& path) {
    httplib::Client client(base);
    client.set_ca_cert_path(site_.CertFile().c_str());
    client.enable_server_certificate_verification(true);
    return client.Get(path);
  }

  GallerySite site_;
};

TEST_F(GallerySiteTest, ItemPagesCarryUtf8Titles) {
  auto page = Get(site_.GalleryBase(), "/item/7284.html");
  ASSERT_TRUE(page) << "TLS with the site's own certificate";
  EXPECT_EQ(page->status, 200);
  EXPECT_NE(page->body.find("<h1>" + GalleryTitle(7284) + "</h1>"), std::string::npos);
  EXPECT_EQ(GalleryTitle(7284), "晨光灯火 第7284集");
  EXPECT_EQ(Get(site_.GalleryBase(), "/item/7280.html")->status, 404) << "multiple of 13";
  EXPECT_EQ(Get(site_.GalleryBase(), "/item/2.html")->status, 404);
  EXPECT_EQ(Get(site_.GalleryBase(), "/item/22121.html")->status, 404);
  EXPECT_EQ(Get(site_.GalleryBase(), "/item/abc.html")->status, 404);
}

TEST_F(GallerySiteTest, PicturesAreRealJpegs) {
  ASSERT_EQ(PictureCount(7284), 7);
  auto picture = Get(site_.PictureBase(), "/images/img/7284/7.jpg");
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->status, 200);
  tjhandle handle = tjInitDecompress();
  int width = 0, height = 0, subsampling = 0, colorspace = 0;
  EXPECT_EQ(
      tjDecompressHeader3(handle, reinterpret_cast<const unsigned char*>(picture->body.data()),
                          picture->body.size(), &width, &height, &subsampling, &colorspace),
      0);
  tjDestroy(handle);
  EXPECT_EQ(width, 320);
  EXPECT_EQ(height, 240);
  const auto expected = PictureJpeg(7284, 7);
  EXPECT_EQ(picture->body, std::string(expected.begin(), expected.end()));
  EXPECT_NE(PictureJpeg(7284, 1), PictureJpeg(7284, 2));
  EXPECT_EQ(Get(site_.PictureBase(), "/images/img/7284/8.jpg")->status, 404);
  EXPECT_EQ(Get(site_.PictureBase(), "/images/img/7284/0.jpg")->status, 404);
}

TEST_F(GallerySiteTest, ScenariosAndLogs) {
  site_.FailPageAfter(7285, 2);
  EXPECT_EQ(Get(site_.GalleryBase(), "/item/7285.html")->status, 200);
  EXPECT_EQ(Get(site_.GalleryBase(), "/item/7285.html")->status, 200);
  EXPECT_EQ(Get(site_.GalleryBase(), "/item/7285.html")->status, 404);
  site_.SetPageHtml(7286, "<p>no heading</p>");
  EXPECT_EQ(Get(site_.GalleryBase(), "/item/7286.html")->body, "<p>no heading</p>");
  site_.SetPictureStatus(7284, 2, 503);
  EXPECT_EQ(Get(site_.PictureBase(), "/images/img/7284/2.jpg")->status, 503);
  const auto log = site_.GalleryLog();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[0].requestLine, "GET /item/7285.html HTTP/1.1");
  EXPECT_EQ(site_.PictureLog().size(), 1u);
}

TEST_F(GallerySiteTest, SecondSiteOnTakenPortsDoesNotStart) {
  GallerySite second;
  GallerySite::Options options;
  options.galleryPort = std::stoi(site_.GalleryBase().substr(site_.GalleryBase().rfind(':') + 1));
  options.picturePort = std::stoi(site_.PictureBase().substr(site_.PictureBase().rfind(':') + 1));
  EXPECT_FALSE(second.Start(options)) << "two servers must not share a port";
  second.Stop();
}

}  // namespace
}  // namespace tulora::demosite
