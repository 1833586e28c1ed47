#include "crawler/crawl.h"

#include "crawler/folder_name.h"
#include "crawler/program_values.h"
#include "crawler/reencode.h"
#include "crawler/site_urls.h"
#include "http/winhttp_request.h"
#include "http/wininet_request.h"
#include "image/runtime_calls.h"
#include "image/system_calls.h"
#include "image/values.h"

namespace tulora {
namespace {

// Console texts (GBK).
constexpr char kAddress[] = "\xB5\xD8\xD6\xB7\xA3\xBA";    // 地址：
constexpr char kTitle[] = "\r\n\xB1\xEA\xCC\xE2\xA3\xBA";  // \r\n标题：
constexpr char kPicturePrefix[] = "Pic[";
constexpr char kPictureColon[] = "]\xA3\xBA";                                  // ]：
constexpr char kSaved[] = " - \xCF\xC2\xD4\xD8\xB3\xC9\xB9\xA6\xA3\xA1\r\n";   // 下载成功！
constexpr char kFailed[] = " - \xCF\xC2\xD4\xD8\xCA\xA7\xB0\xDC\xA3\xA1\r\n";  // 下载失败！
constexpr char kMissing[] =
    " - \xD2\xB3\xC3\xE6\xB2\xBB\xB4\xE6\xD4\xDA\xA3\xA1\r\n";  // 页面不存在！

// The header blocks, exactly as the sites are sent them ("+" for spaces and
// "var" in the version numbers are part of them).
constexpr char kItemAgent[] =
    "User-Agent:+Mozilla/5.var+(Windows+NT+6.1;+WOW64)+AppleWebKit/537.36+(KHTML,+like+Gecko)"
    "+Chrome/63.var.3239.132+Safari/537.36";
constexpr char kItemAccept[] = "\r\nAccept:+image/webp,image/apng,image/*,*/*;q=0.8";
constexpr char kItemReferer[] = "\r\nReferer:";
constexpr char kItemRefererPage[] = "/item/7284.html";
constexpr char kItemLanguage[] = "\r\nAccept-Language:+zh-CN,zh;q=0.9";
constexpr char kPictureAccept[] = "Accept: image/png, image/svg+xml, image/*;q=0.8, */*;q=0.5";
constexpr char kPictureReferer[] = "\r\nReferer: ";
constexpr char kPictureTail[] =
    "/item/\r\nAccept-Language: zh-CN\r\nUser-Agent: Mozilla/5.0 (Windows NT 6.1; WOW64; "
    "Trident/7.0; rv:11.0) like Gecko\r\nConnection: Keep-Alive";

char* ItemPageHeaders() {
  const char* pieces[] = {kItemAgent,       kItemAccept,      kItemReferer,
                          GALLERY_BASE_URL, kItemRefererPage, kItemLanguage};
  return JoinTexts(pieces, 6);
}

char* PictureHeaders() {
  return JoinTexts(kPictureAccept, kPictureReferer, GALLERY_BASE_URL, kPictureTail);
}

void Write(const char* const* pieces, uint32_t count) {
  OwnedText line(JoinTexts(pieces, count));
  RtConsoleWrite(line.get());
}

// The item page into `*status`; the body as a GBK text.
char* FetchPage(const char* itemUrl, int32_t* status) {
  char* headers = ItemPageHeaders();
  WinHttpParams params;
  params.headers = &headers;
  params.statusCode = status;
  OwnedBytes body(WinHttpObjectRequest(itemUrl, params));
  tulora_services.Release(headers);
  OwnedText raw(RtBytesToText(body.get()));
  return Utf8ToGbk(raw.get());
}

// Fetches one picture into its file as it arrives; true only when the
// picture host answered 200, the body was read to its end (not cut off, not
// past the routine's limit) and agrees with its announced length, and the
// file was written whole. Until then the bytes stand under another name
// in the folder (RtOpenFileStream), so a picture that fails, or one still
// arriving when the program ends, leaves nothing under the picture's name;
// and the picture never stands whole in memory. A temporary file that
// cannot be made (no such folder) fails the picture at its first piece;
// the request is still made.
bool FetchPicture(const char* pictureUrl, const char* picturePath) {
  char* headers = PictureHeaders();
  char* responseHeaders = nullptr;
  bool complete = false;
  BodyStream body;
  body.stream = RtOpenFileStream(picturePath);
  WinInetParams params;
  params.headers = &headers;
  params.responseHeaders = &responseHeaders;
  params.bodyComplete = &complete;
  params.bodyStream = &body;
  tulora_services.Release(WinInetRequest(pictureUrl, params));
  const bool whole = complete && StatusOfHeaderBlock(responseHeaders) == SUCCESS_STATUS &&
                     !BodyIsShort(responseHeaders, body.length);
  tulora_services.Release(headers);
  tulora_services.Release(responseHeaders);
  return RtFinishFileStream(body.stream, whole) && whole;
}

// Pictures 1 to PICTURES_PER_GALLERY while the item page keeps answering.
void CrawlPictures(const char* itemUrl, const char* number, const char* folder,
                   int32_t* recheckStatus) {
  for (int32_t n = 1; n <= PICTURES_PER_GALLERY; ++n) {
    tulora_services.Release(FetchPage(itemUrl, recheckStatus));
    if (*recheckStatus != SUCCESS_STATUS) return;
    OwnedText nText(RtNumberToText(n));
    const char* urlPieces[] = {PICTURE_BASE_URL, "/images/img/", number, "/", nText.get(), ".jpg"};
    OwnedText pictureUrl(JoinTexts(urlPieces, 6));
    OwnedText picturePath(JoinTexts(folder, "\\", nText.get(), ".jpg"));
    const bool saved = FetchPicture(pictureUrl.get(), picturePath.get());
    const char* line[] = {kPicturePrefix, nText.get(), kPictureColon, pictureUrl.get(),
                          saved ? kSaved : kFailed};
    Write(line, 5);
    RtPause(CRAWL_PAUSE_MS);
  }
}

void CrawlGallery(double galleryNumber, int32_t* pageStatus, int32_t* recheckStatus) {
  OwnedText number(RtNumberToText(galleryNumber));
  OwnedText itemUrl(JoinTexts(GALLERY_BASE_URL, "/item/", number.get(), ".html"));
  OwnedText page(FetchPage(itemUrl.get(), pageStatus));
  if (*pageStatus == SUCCESS_STATUS) {
    OwnedText title(TextBetween(page.get(), "<h1>", "</h1>"));
    const char* line[] = {kAddress, itemUrl.get(), kTitle, title.get(), "\r\n"};
    Write(line, 5);
    OwnedText name(SafeFolderName(title.get(), number.get()));
    OwnedText folder(JoinTexts(DownloadRoot, "\\", name.get()));
    RtCreateDirectory(folder.get());
    CrawlPictures(itemUrl.get(), number.get(), folder.get(), recheckStatus);
  }
  RtPause(CRAWL_PAUSE_MS);
  if (*pageStatus != SUCCESS_STATUS) {
    const char* line[] = {kAddress, itemUrl.get(), kMissing};
    Write(line, 3);
  }
}

// The status code of a status line "HTTP/<version> <code> <reason>": exactly
// three digits after the first space, ended by a space, the line end or the
// end of the text. Anything else (no space, two spaces, fewer or more digits,
// a sign) is no status code and gives 0, so an over-long or padded number
// can never read as 200.
int32_t ThreeDigitStatus(const char* line) {
  while (*line != 0 && *line != ' ' && *line != '\r' && *line != '\n') ++line;
  if (*line != ' ') return 0;
  ++line;
  int32_t value = 0;
  for (int32_t i = 0; i < 3; ++i) {
    if (line[i] < '0' || line[i] > '9') return 0;
    value = value * 10 + (line[i] - '0');
  }
  const char end = line[3];
  return (end == 0 || end == ' ' || end == '\r' || end == '\n') ? value : 0;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The announced length of a Content-Length value (after the colon): decimal
// digits between optional blanks, up to the line end. Values beyond 32 bits
// stay above 0xFFFFFFFF. False when the value is no such number.
bool ReadLengthValue(const char* value, uint64_t* announced) {
  while (IsBlank(*value)) ++value;
  if (*value < '0' || *value > '9') return false;
  uint64_t n = 0;
  for (; *value >= '0' && *value <= '9'; ++value) {
    if (n <= 0xFFFFFFFFull) n = n * 10 + static_cast<uint64_t>(*value - '0');
  }
  while (IsBlank(*value)) ++value;
  if (*value != 0 && *value != '\r' && *value != '\n') return false;
  *announced = n;
  return true;
}

// The value of the first Content-Length line (any letter case), or null.
const char* ContentLengthValue(const char* headers) {
  constexpr char kName[] = "Content-Length:";
  constexpr int32_t kNameLength = sizeof(kName) - 1;
  if (RtFind(headers, kName, 1, true) == 1) return headers + kNameLength;
  const int32_t at = RtFind(headers, "\r\nContent-Length:", 1, true);
  return at < 1 ? nullptr : headers + (at - 1) + 2 + kNameLength;
}

}  // namespace

int32_t StatusOfHeaderBlock(const char* headers) {
  if (headers == nullptr || RtFind(headers, "HTTP/", 1) != 1) return 0;
  return ThreeDigitStatus(headers);
}

bool BodyIsShort(const char* headers, uint32_t bodyLength) {
  if (headers == nullptr) return false;
  const char* value = ContentLengthValue(headers);
  uint64_t announced = 0;
  if (value == nullptr || !ReadLengthValue(value, &announced)) return false;
  return announced != bodyLength;
}

void CrawlGalleries() {
  StartId = static_cast<int32_t>(TruncateToInteger(static_cast<double>(StartId) - 1));
  int32_t pageStatus = 0, recheckStatus = 0;
  const int32_t count = GalleryCount;
  for (int64_t i = 1; i <= count; ++i) {
    CrawlGallery(static_cast<double>(StartId) + i, &pageStatus, &recheckStatus);
  }
}

}  // namespace tulora
