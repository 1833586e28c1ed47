// Fuzzes what a hostile site controls in the crawl. The input is cut at its
// first zero byte into a page body and a response header block:
// - the body (UTF-8 or not) goes through Utf8ToGbk, the title between
//   "<h1>" and "</h1>" and SafeFolderName; the raw body is also taken as a
//   title of its own, since a title need not be valid GBK;
// - the header block goes through StatusOfHeaderBlock, BodyIsShort and
//   CollectWinHttpCookies.
// Checks the results' invariants and that every block is released again.
#include <stddef.h>
#include <stdint.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "crawler/crawl.h"
#include "crawler/folder_name.h"
#include "crawler/reencode.h"
#include "http/winhttp_request.h"
#include "image/values.h"
#include "tests/support/hosted_runtime.h"

namespace {

constexpr char kGalleryNumber[] = "7284";

void Check(bool ok) {
  if (!ok) std::abort();
}

std::string Take(char* text) {
  std::string s = text;
  tulora_services.Release(text);
  return s;
}

bool IsLead(uint8_t b) { return b >= 0x81 && b <= 0xFE; }
bool IsTrail(uint8_t b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

bool IsForbiddenByte(uint8_t b) {
  return b < 0x20 || b == 0x7F ||
         std::string("<>:\"/\\|?*").find(static_cast<char>(b)) != std::string::npos;
}

std::string Upper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return s;
}

bool IsDeviceName(const std::string& name) {
  const std::string base = Upper(name.substr(0, name.find('.')));
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
         base[3] >= '1' && base[3] <= '9';
}

// True when `name` may stand as one folder name: whole GBK characters, no
// forbidden single byte and no lone lead byte, not empty, within the limit,
// no trailing dot or space, no device name.
bool IsSafeName(const std::string& name) {
  if (name.empty() || name.size() > tulora::MAX_FOLDER_NAME_BYTES) return false;
  if (name.back() == '.' || name.back() == ' ') return false;
  for (size_t i = 0; i < name.size();) {
    const uint8_t b = static_cast<uint8_t>(name[i]);
    if (IsLead(b) && i + 1 < name.size() && IsTrail(static_cast<uint8_t>(name[i + 1]))) {
      i += 2;
      continue;
    }
    if (IsLead(b) || IsForbiddenByte(b)) return false;
    ++i;
  }
  return !IsDeviceName(name);
}

void CheckFolderName(const std::string& title) {
  const std::string name = Take(tulora::SafeFolderName(title.c_str(), kGalleryNumber));
  Check(IsSafeName(name));
  // A title that is a safe name already comes back unchanged.
  if (IsSafeName(title)) Check(name == title);
}

void CheckPage(const std::string& body) {
  const std::string page = Take(tulora::Utf8ToGbk(body.c_str()));
  // Each UTF-8 sequence, and each byte that is none, gives at most as many
  // GBK bytes as it had; plain ASCII comes back as it was.
  Check(page.size() <= body.size());
  bool ascii = true;
  for (char c : body) ascii = ascii && static_cast<uint8_t>(c) < 0x80;
  if (ascii) Check(page == body);

  const std::string title = Take(tulora::TextBetween(page.c_str(), "<h1>", "</h1>"));
  Check(title.size() <= page.size());
  CheckFolderName(title);
  CheckFolderName(body);
}

// True when the block holds a CR, one or more "Set-Cookie:" (any case) and
// an LF, one right after the other.
bool JoinsCrLf(const std::string& headers) {
  const std::string upper = Upper(headers);
  constexpr std::string_view kName = "SET-COOKIE:";
  for (size_t cr = upper.find('\r'); cr != std::string::npos; cr = upper.find('\r', cr + 1)) {
    size_t next = cr + 1;
    while (upper.compare(next, kName.size(), kName) == 0) next += kName.size();
    if (next > cr + 1 && next < upper.size() && upper[next] == '\n') return true;
  }
  return false;
}

void CheckHeaders(const std::string& headers, uint32_t bodyLength) {
  const char* h = headers.c_str();
  const int32_t status = tulora::StatusOfHeaderBlock(h);
  Check(status >= 0 && status <= 999);
  if (status != 0) {
    Check(headers.compare(0, 5, "HTTP/") == 0);
    std::string code = std::to_string(status);
    code.insert(0, 3 - code.size(), '0');
    const size_t space = headers.find(' ');
    Check(space != std::string::npos && headers.compare(space + 1, 3, code) == 0);
  }

  // Either one body length matches what the block announces, or nothing is
  // announced and every length passes.
  const bool shortHere = tulora::BodyIsShort(h, bodyLength);
  const bool shortNext = tulora::BodyIsShort(h, bodyLength + 1);
  if (!shortHere && !shortNext) Check(!tulora::BodyIsShort(h, bodyLength ^ 0x80000000u));
  if (Upper(headers).find("CONTENT-LENGTH:") == std::string::npos) Check(!shortHere);

  const std::string cookies = Take(tulora::CollectWinHttpCookies(h));
  Check(cookies.size() <= headers.size());
  // A line holds no "\r\n" and neither does a pair taken from it, except
  // where removing "Set-Cookie:" joins a lone CR before it to an LF after it.
  if (cookies.find("\r\n") != std::string::npos) Check(JoinsCrLf(headers));
  // Pairs are trimmed: a space at either end can only be the separator's,
  // left at the end after an empty last pair ("; ; " loses one "; ").
  if (!cookies.empty()) {
    Check(cookies.front() != ' ');
    Check(cookies.back() != ' ' || (cookies.size() >= 2 && cookies[cookies.size() - 2] == ';'));
  }
  if (headers.find("Set-Cookie: ") == std::string::npos) Check(cookies.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t cut = input.find('\0');
  const std::string body = input.substr(0, cut);
  const std::string headers = cut == std::string::npos ? std::string() : input.substr(cut + 1);
  const int64_t live = tulora::hosted::LiveBlocks();

  CheckPage(body);
  // The header block as it stands (up to its own first zero byte) with the
  // body's length, as the picture fetch judges it.
  CheckHeaders(headers.substr(0, headers.find('\0')), static_cast<uint32_t>(body.size()));

  Check(tulora::hosted::LiveBlocks() == live);
  return 0;
}
