// Kernel text and number commands. See text_commands.h.
#include "runtime/text/text_commands.h"

#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "image/commands.h"
#include "runtime/base/argument_view.h"
#include "runtime/text/number_text.h"

namespace tulora {
namespace {

// ---- reading arguments -------------------------------------------------------

// The runtime's one argument reader, with texts and byte sets as views.
class Arguments {
 public:
  explicit Arguments(ArgumentList* list) : view_(list) {}

  std::string_view Text(uint32_t i) const { return view_.Text(i); }
  std::string_view Bytes(uint32_t i) const {
    uint32_t length;
    const uint8_t* data = view_.Bytes(i, &length);
    return std::string_view(reinterpret_cast<const char*>(data), length);
  }
  int32_t Int(uint32_t i) const { return view_.Int(i); }
  bool Bool(uint32_t i) const { return view_.Bool(i); }
  double Double(uint32_t i) const { return view_.Double(i); }

 private:
  rt::ArgumentView view_;
};

// ---- GBK character walking -------------------------------------------------

bool IsLead(unsigned char b) { return b >= 0x81 && b <= 0xFE; }
bool IsTrail(unsigned char b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

size_t CharWidth(std::string_view s, size_t at) {
  if (at + 1 < s.size() && IsLead(static_cast<unsigned char>(s[at])) &&
      IsTrail(static_cast<unsigned char>(s[at + 1]))) {
    return 2;
  }
  return 1;
}

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Applies `map` to every single-byte character, leaving double-byte ones.
template <typename Map>
std::string MapSingleBytes(std::string_view s, Map map) {
  std::string out(s);
  for (size_t i = 0; i < s.size();) {
    size_t width = CharWidth(s, i);
    if (width == 1) out[i] = map(s[i]);
    i += width;
  }
  return out;
}

bool MatchesAt(std::string_view text, size_t at, std::string_view sought, bool ignoreCase) {
  size_t j = 0;
  while (j < sought.size()) {
    if (at >= text.size()) return false;
    size_t width = CharWidth(sought, j);
    if (CharWidth(text, at) != width) return false;
    if (width == 2) {
      if (text[at] != sought[j] || text[at + 1] != sought[j + 1]) return false;
    } else if (ignoreCase ? Fold(text[at]) != Fold(sought[j]) : text[at] != sought[j]) {
      return false;
    }
    at += width;
    j += width;
  }
  return true;
}

// 0-based offset of the first match at or after `from`, or npos.
size_t FindFrom(std::string_view text, std::string_view sought, size_t from, bool ignoreCase) {
  if (sought.empty()) return std::string_view::npos;
  for (size_t at = from; at < text.size(); at += CharWidth(text, at)) {
    if (MatchesAt(text, at, sought, ignoreCase)) return at;
  }
  return std::string_view::npos;
}

size_t FindLastOf(std::string_view text, std::string_view sought, bool ignoreCase) {
  size_t last = std::string_view::npos;
  if (sought.empty()) return last;
  for (size_t at = 0; at < text.size(); at += CharWidth(text, at)) {
    if (MatchesAt(text, at, sought, ignoreCase)) last = at;
  }
  return last;
}

int32_t Position(size_t offset) {
  return offset == std::string_view::npos ? -1 : static_cast<int32_t>(offset + 1);
}

std::vector<std::string_view> Split(std::string_view text, std::string_view separator) {
  std::vector<std::string_view> pieces;
  if (text.empty()) return pieces;
  if (separator.empty()) return {text};
  size_t begin = 0;
  while (begin < text.size()) {
    size_t at = FindFrom(text, separator, begin, false);
    if (at == std::string_view::npos) {
      pieces.push_back(text.substr(begin));
      return pieces;
    }
    pieces.push_back(text.substr(begin, at - begin));
    begin = at + separator.size();
  }
  return pieces;  // a trailing separator adds no piece
}

std::string Replace(std::string_view text, std::string_view sought, std::string_view with,
                    bool ignoreCase) {
  if (sought.empty()) return std::string(text);
  std::string out;
  size_t begin = 0;
  for (;;) {
    size_t at = FindFrom(text, sought, begin, ignoreCase);
    if (at == std::string_view::npos) break;
    out.append(text.substr(begin, at - begin)).append(with);
    begin = at + sought.size();
  }
  out.append(text.substr(begin));
  return out;
}

int32_t TextToInt(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  int64_t value = 0;
  const int64_t limit = negative ? int64_t{1} << 31 : (int64_t{1} << 31) - 1;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    value = value * 10 + (s[i] - '0');
    if (value > limit) value = limit;  // saturate; keeps value small
  }
  return static_cast<int32_t>(negative ? -value : value);
}

// ---- building results -------------------------------------------------------

class Results {
 public:
  explicit Results(const TextCommandAllocator& allocator) : allocator_(allocator) {}

  CommandResult Text(std::string_view s) const {
    char* block = static_cast<char*>(allocator_.allocate(static_cast<uint32_t>(s.size() + 1)));
    if (!s.empty()) std::memcpy(block, s.data(), s.size());
    block[s.size()] = 0;
    return Of(block);
  }

  CommandResult Bytes(std::string_view s) const {
    uint32_t* block =
        static_cast<uint32_t*>(allocator_.allocate(static_cast<uint32_t>(8 + s.size())));
    block[0] = 1;
    block[1] = static_cast<uint32_t>(s.size());
    if (!s.empty()) std::memcpy(block + 2, s.data(), s.size());
    return Of(block);
  }

  CommandResult TextArray(const std::vector<std::string_view>& pieces) const {
    size_t bytes = 8 + pieces.size() * sizeof(char*);
    uint32_t* block = static_cast<uint32_t*>(allocator_.allocate(static_cast<uint32_t>(bytes)));
    block[0] = 1;
    block[1] = static_cast<uint32_t>(pieces.size());
    char** items = reinterpret_cast<char**>(block + 2);
    for (size_t i = 0; i < pieces.size(); ++i) {
      items[i] = static_cast<char*>(ResultPointer(Text(pieces[i])));
    }
    return Of(block);
  }

  static CommandResult Int(int32_t value) { return static_cast<uint32_t>(value); }

  static CommandResult Double(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
  }

 private:
  static CommandResult Of(const void* block) {
    return static_cast<CommandResult>(reinterpret_cast<uintptr_t>(block));
  }
  static void* ResultPointer(CommandResult r) {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(r));
  }
  const TextCommandAllocator& allocator_;
};

std::string_view LeftOf(std::string_view s, int32_t n) {
  if (n <= 0) return {};
  return s.substr(0, std::min<size_t>(s.size(), static_cast<size_t>(n)));
}

std::string_view RightOf(std::string_view s, int32_t n) {
  if (n <= 0) return {};
  size_t count = std::min<size_t>(s.size(), static_cast<size_t>(n));
  return s.substr(s.size() - count);
}

std::string_view TrimSpaces(std::string_view s) {
  size_t begin = s.find_first_not_of(' ');
  if (begin == std::string_view::npos) return {};
  size_t end = s.find_last_not_of(' ');
  return s.substr(begin, end - begin + 1);
}

std::string WithoutSpaces(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    if (c != ' ') out.push_back(c);
  }
  return out;
}

char Lower(char c) { return Fold(c); }
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

bool RunNumberCommand(uint32_t command, const Arguments& a, const Results& r,
                      CommandResult* result) {
  switch (command) {
    case CMD_TEXT_TO_INT: *result = r.Int(TextToInt(a.Text(0))); return true;
    case CMD_NUMBER_TO_TEXT: *result = r.Text(NumberToText(a.Double(0))); return true;
    case CMD_BYTES_TO_TEXT: {
      std::string_view bytes = a.Bytes(0);
      *result = r.Text(bytes.substr(0, bytes.find('\0')));
      return true;
    }
    case CMD_TEXT_TO_BYTES: *result = r.Bytes(a.Text(0)); return true;
    default: return false;
  }
}

bool RunStringCommand(uint32_t command, const Arguments& a, const Results& r,
                      CommandResult* result) {
  switch (command) {
    case CMD_LOWER: *result = r.Text(MapSingleBytes(a.Text(0), Lower)); return true;
    case CMD_UPPER: *result = r.Text(MapSingleBytes(a.Text(0), Upper)); return true;
    case CMD_LEFT: *result = r.Text(LeftOf(a.Text(0), a.Int(1))); return true;
    case CMD_RIGHT: *result = r.Text(RightOf(a.Text(0), a.Int(1))); return true;
    case CMD_LENGTH: *result = r.Int(static_cast<int32_t>(a.Text(0).size())); return true;
    case CMD_FIND: {
      int32_t start = a.Int(2);
      size_t from = start < 1 ? 0 : static_cast<size_t>(start) - 1;
      *result = r.Int(Position(FindFrom(a.Text(0), a.Text(1), from, a.Bool(3))));
      return true;
    }
    case CMD_FIND_LAST:
      *result = r.Int(Position(FindLastOf(a.Text(0), a.Text(1), a.Bool(2))));
      return true;
    case CMD_TRIM: *result = r.Text(TrimSpaces(a.Text(0))); return true;
    case CMD_REMOVE_SPACES: *result = r.Text(WithoutSpaces(a.Text(0))); return true;
    case CMD_SPLIT: *result = r.TextArray(Split(a.Text(0), a.Text(1))); return true;
    case CMD_REPLACE:
      *result = r.Text(Replace(a.Text(0), a.Text(1), a.Text(2), a.Bool(3)));
      return true;
    default: return false;
  }
}

}  // namespace

bool RunTextCommand(uint32_t command, ArgumentList* args, CommandResult* result,
                    const TextCommandAllocator& allocator) {
  Arguments a(args);
  Results r(allocator);
  return RunNumberCommand(command, a, r, result) || RunStringCommand(command, a, r, result);
}

}  // namespace tulora
