// Cookie merging. See cookies.h.
#include "http/cookies.h"

#include "image/runtime_calls.h"

namespace tulora {
namespace {

const char kDeleted[] = "=deleted";

struct Items {
  uint32_t count;
  char* const* items;
};

Items ItemsOf(const TextArray* list) {
  const void* first = nullptr;
  uint32_t count = ArrayElementCountTolerant(list, &first);
  return Items{count, static_cast<char* const*>(first)};
}

bool IsDeletion(const char* item) {
  OwnedText tail(RtRight(item, 8));
  return CompareTexts(tail.get(), kDeleted) == 0;
}

// The text without its last `count` bytes; empty when it is shorter.
char* WithoutTail(const char* text, uint32_t count) {
  int32_t length = RtLength(text);
  if (length < static_cast<int32_t>(count)) return CopyText(nullptr);
  return RtLeft(text, length - static_cast<int32_t>(count));
}

}  // namespace

char* MergeCookies(char** oldCookies, char** newCookies) {
  char* oldWithoutSpaces = RtRemoveSpaces(*oldCookies);
  char* newWithoutSpaces = RtRemoveSpaces(*newCookies);
  ReplaceText(oldCookies, oldWithoutSpaces);
  ReplaceText(newCookies, newWithoutSpaces);

  OwnedTextArray a(RtSplit(*oldCookies, ";"));
  OwnedTextArray b(RtSplit(*newCookies, ";"));
  Items old = ItemsOf(a.get());
  for (uint32_t i = 0; i < old.count; ++i) {
    OwnedText name(CookieNameOf(old.items[i]));
    if (!CookieListHasName(b.get(), name.get())) AppendTextItem(b.Address(), old.items[i]);
  }

  OwnedText merged(CopyText(nullptr));
  Items all = ItemsOf(b.get());
  for (uint32_t i = 0; i < all.count; ++i) {
    if (!IsDeletion(all.items[i])) merged.Reset(JoinTexts(merged.get(), all.items[i], "; "));
  }
  merged.Reset(WithoutTail(merged.get(), 2));
  ReplaceText(oldCookies, RemoveDuplicateItems(merged.get(), "; "));
  return CopyText(*oldCookies);
}

char* CookieNameOf(const char* item) {
  int32_t equals = RtFind(item, "=");
  if (equals < 1) return RtTrim(item);
  OwnedText name(RtLeft(item, equals - 1));
  return RtTrim(name.get());
}

bool CookieListHasName(const TextArray* list, const char* name) {
  Items all = ItemsOf(list);
  for (uint32_t i = 0; i < all.count; ++i) {
    OwnedText itemName(CookieNameOf(all.items[i]));
    if (CompareTexts(itemName.get(), name) == 0) return true;
  }
  return false;
}

char* RemoveDuplicateItems(const char* text, const char* separator) {
  OwnedTextArray pieces(RtSplit(text, separator));
  OwnedTextArray seen(NewTextArray());
  OwnedText result(CopyText(nullptr));
  Items all = ItemsOf(pieces.get());
  for (uint32_t i = 0; i < all.count; ++i) {
    if (FindItem(seen.get(), all.items[i]) != -1) continue;
    AppendTextItem(seen.Address(), all.items[i]);
    result.Reset(JoinTexts(result.get(), all.items[i], separator));
  }
  return WithoutTail(result.get(), TextLength(separator));
}

int32_t FindItem(const TextArray* list, const char* text) {
  Items all = ItemsOf(list);
  for (uint32_t i = 0; i < all.count; ++i) {
    if (CompareTexts(all.items[i], text) == 0) return static_cast<int32_t>(i + 1);
  }
  return -1;
}

char* CollectResponseCookies(const char* headers, bool (*isCookieLine)(const char* line)) {
  OwnedTextArray lines(RtSplit(headers, "\r\n"));
  const void* first = nullptr;
  const uint32_t count = ArrayElementCountTolerant(lines.get(), &first);
  OwnedText cookies(CopyText(""));
  for (uint32_t i = 0; i < count; ++i) {
    const char* line = static_cast<char* const*>(first)[i];
    if (!isCookieLine(line)) continue;
    OwnedText taken(RtFind(line, ";") > 0 ? TextBetween(line, "Set-Cookie:", ";")
                                          : RtReplace(line, "Set-Cookie:", "", true));
    OwnedText trimmed(RtTrim(taken.get()));
    cookies.Reset(JoinTexts(cookies.get(), trimmed.get(), "; "));
  }
  // Every item was followed by "; ": drop the last one.
  return RtLeft(cookies.get(), static_cast<int32_t>(TextLength(cookies.get())) - 2);
}

}  // namespace tulora
