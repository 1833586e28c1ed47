#include "runtime/text/text_commands.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image/commands.h"

namespace tulora {
namespace {

int g_live = 0;
void* Allocate(uint32_t size) {
  ++g_live;
  return std::malloc(size == 0 ? 1 : size);
}
void Release(void* block) {
  if (block == nullptr) return;
  --g_live;
  std::free(block);
}
const TextCommandAllocator kAllocator{Allocate, Release};

ArgumentRecord Pointer(const void* p, uint32_t type) {
  uint64_t w = reinterpret_cast<uintptr_t>(p);
  return {static_cast<uint32_t>(w), static_cast<uint32_t>(w >> 32), type};
}
ArgumentRecord Text(const char* t) { return Pointer(t, TYPE_TEXT); }
ArgumentRecord Int(int32_t v) { return {static_cast<uint32_t>(v), 0, TYPE_INT}; }
ArgumentRecord Bool(bool v) { return {v ? 1u : 0u, 0, TYPE_BOOL}; }
ArgumentRecord Omitted() { return {0, 0, 0}; }
ArgumentRecord Double(double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, 8);
  return {static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32), TYPE_DOUBLE};
}

// Runs a command on an argument list built from `records`.
CommandResult RunCommand(uint32_t command, const std::vector<ArgumentRecord>& records) {
  std::vector<uint32_t> words(1 + 3 * records.size());
  words[0] = static_cast<uint32_t>(records.size());
  if (!records.empty()) std::memcpy(&words[1], records.data(), records.size() * 12);
  CommandResult result = 0xDEADBEEF;
  EXPECT_TRUE(
      RunTextCommand(command, reinterpret_cast<ArgumentList*>(words.data()), &result, kAllocator));
  return result;
}

void* AsPointer(CommandResult r) { return reinterpret_cast<void*>(static_cast<uintptr_t>(r)); }

std::string RunText(uint32_t command, const std::vector<ArgumentRecord>& records) {
  char* text = static_cast<char*>(AsPointer(RunCommand(command, records)));
  std::string s = text;
  Release(text);
  return s;
}

int32_t RunInt(uint32_t command, const std::vector<ArgumentRecord>& records) {
  return static_cast<int32_t>(static_cast<uint32_t>(RunCommand(command, records)));
}

std::vector<std::string> RunSplit(const char* text, const char* separator) {
  uint32_t* block =
      static_cast<uint32_t*>(AsPointer(RunCommand(CMD_SPLIT, {Text(text), Text(separator)})));
  EXPECT_EQ(block[0], 1u);
  std::vector<std::string> pieces;
  char** items = reinterpret_cast<char**>(block + 2);
  for (uint32_t i = 0; i < block[1]; ++i) {
    pieces.push_back(items[i]);
    Release(items[i]);
  }
  Release(block);
  return pieces;
}

class TextCommandsTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(g_live, 0) << "leaked blocks"; }
};

TEST_F(TextCommandsTest, UnknownCommandIsNotHandled) {
  CommandResult result = 7;
  EXPECT_FALSE(RunTextCommand(CMD_CONSOLE_WRITE, nullptr, &result, kAllocator));
  EXPECT_FALSE(RunTextCommand(CMD_OBJECT_CREATE, nullptr, &result, kAllocator));
  EXPECT_EQ(result, 7u);
}

TEST_F(TextCommandsTest, TextToInt) {
  struct Row {
    const char* text;
    int32_t value;
  } rows[] = {{"42", 42},
              {"  -17x", -17},
              {"+8", 8},
              {"", 0},
              {"abc", 0},
              {"\t5", 0},
              {"2147483647", 2147483647},
              {"2147483648", 2147483647},
              {"-2147483648", INT32_MIN},
              {"-99999999999999999999", INT32_MIN},
              {"007", 7},
              {"8080/", 8080}};
  for (const Row& r : rows) EXPECT_EQ(RunInt(CMD_TEXT_TO_INT, {Text(r.text)}), r.value) << r.text;
}

TEST_F(TextCommandsTest, NumberToText) {
  struct Row {
    double value;
    const char* text;
  } rows[] = {{7284.0, "7284"},
              {-3.0, "-3"},
              {0.0, "0"},
              {-0.0, "0"},
              {0.5, "0.5"},
              {-2.25, "-2.25"},
              {0.1, "0.1"},
              {1e15, "1000000000000000"},
              {4294967296.0, "4294967296"}};
  for (const Row& r : rows) EXPECT_EQ(RunText(CMD_NUMBER_TO_TEXT, {Double(r.value)}), r.text);
}

TEST_F(TextCommandsTest, BytesAndTexts) {
  uint32_t bytes[3] = {1, 5, 0};
  std::memcpy(&bytes[2], "ab\0c", 4);
  bytes[1] = 4;
  EXPECT_EQ(RunText(CMD_BYTES_TO_TEXT, {Pointer(bytes, TYPE_BYTES)}), "ab");
  uint32_t empty[2] = {1, 0};
  EXPECT_EQ(RunText(CMD_BYTES_TO_TEXT, {Pointer(empty, TYPE_BYTES)}), "");

  uint32_t* set = static_cast<uint32_t*>(AsPointer(RunCommand(CMD_TEXT_TO_BYTES, {Text("xyz")})));
  EXPECT_EQ(set[0], 1u);
  EXPECT_EQ(set[1], 3u);
  EXPECT_EQ(std::memcmp(set + 2, "xyz", 3), 0);
  Release(set);
}

TEST_F(TextCommandsTest, CaseMappingLeavesTrailBytes) {
  // B0 41 and B0 61 are double-byte characters whose trail bytes are letters.
  EXPECT_EQ(RunText(CMD_LOWER, {Text("AbC-\xB0\x41Z")}), "abc-\xB0\x41z");
  EXPECT_EQ(RunText(CMD_UPPER, {Text("aBc-\xB0\x61z")}), "ABC-\xB0\x61Z");
  EXPECT_EQ(RunText(CMD_UPPER, {Text("")}), "");
}

TEST_F(TextCommandsTest, LeftRightLength) {
  struct Row {
    uint32_t command;
    const char* text;
    int32_t n;
    const char* result;
  } rows[] = {{CMD_LEFT, "abcdef", 2, "ab"},  {CMD_LEFT, "abc", 10, "abc"},
              {CMD_LEFT, "abc", 0, ""},       {CMD_LEFT, "abc", -2, ""},
              {CMD_RIGHT, "abcdef", 2, "ef"}, {CMD_RIGHT, "abc", 10, "abc"},
              {CMD_RIGHT, "abc", -1, ""},     {CMD_RIGHT, "x=deleted", 8, "=deleted"}};
  for (const Row& r : rows) EXPECT_EQ(RunText(r.command, {Text(r.text), Int(r.n)}), r.result);
  EXPECT_EQ(RunInt(CMD_LENGTH, {Text("\xB1\xEA\xCC\xE2\xA3\xBA")}), 6);
  EXPECT_EQ(RunInt(CMD_LENGTH, {Omitted()}), 0);
}

TEST_F(TextCommandsTest, FindAndFindLast) {
  struct Row {
    const char* text;
    const char* sought;
    ArgumentRecord start;
    ArgumentRecord ignoreCase;
    int32_t position;
  } rows[] = {
      {"a:b:c", ":", Omitted(), Omitted(), 2},
      {"a:b:c", ":", Int(3), Omitted(), 4},
      {"a:b:c", ":", Int(-1), Omitted(), 2},
      {"a:b:c", ":", Int(5), Omitted(), -1},
      {"a:b:c", "", Omitted(), Omitted(), -1},
      {"HTTP://x", "http://", Omitted(), Omitted(), -1},
      {"HTTP://x", "http://", Omitted(), Bool(true), 1},
      {"\xB0\x41"
       "A",
       "a", Int(1), Bool(true), 3},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(RunInt(CMD_FIND, {Text(r.text), Text(r.sought), r.start, r.ignoreCase}), r.position)
        << r.text << " / " << r.sought;
  }
  EXPECT_EQ(RunInt(CMD_FIND_LAST, {Text("ab.cd:80:81"), Text(":")}), 9);
  EXPECT_EQ(RunInt(CMD_FIND_LAST, {Text("abc"), Text(":")}), -1);
  EXPECT_EQ(RunInt(CMD_FIND_LAST, {Text("aXax"), Text("x"), Bool(true)}), 4);
  EXPECT_EQ(RunInt(CMD_FIND_LAST, {Text("A\xB0\x41"), Text("A")}), 1);
}

TEST_F(TextCommandsTest, TrimAndRemoveSpaces) {
  EXPECT_EQ(RunText(CMD_TRIM, {Text("  a b  ")}), "a b");
  EXPECT_EQ(RunText(CMD_TRIM, {Text("   ")}), "");
  EXPECT_EQ(RunText(CMD_TRIM, {Text("\ta\t")}), "\ta\t");
  EXPECT_EQ(RunText(CMD_REMOVE_SPACES, {Text(" a=1; b = 2 ")}), "a=1;b=2");
}

TEST_F(TextCommandsTest, Split) {
  using V = std::vector<std::string>;
  struct Row {
    const char* text;
    const char* separator;
    V pieces;
  } rows[] = {
      {"", ";", {}},
      {"a", ";", {"a"}},
      {"a;b", ";", {"a", "b"}},
      {"a;;b", ";", {"a", "", "b"}},
      {"a;", ";", {"a"}},
      {";a", ";", {"", "a"}},
      {";", ";", {""}},
      {"A: 1\r\nB: 2", "\r\n", {"A: 1", "B: 2"}},
      {"p; q; p", "; ", {"p", "q", "p"}},
      {"abc", "", {"abc"}},
      {"\xB0\x3B;x", ";", {"\xB0", "", "x"}},  // 3B is no trail byte
  };
  for (const Row& r : rows) EXPECT_EQ(RunSplit(r.text, r.separator), r.pieces) << r.text;
}

TEST_F(TextCommandsTest, Replace) {
  EXPECT_EQ(RunText(CMD_REPLACE, {Text("aXbXc"), Text("X"), Text("--")}), "a--b--c");
  EXPECT_EQ(RunText(CMD_REPLACE, {Text("aaa"), Text("a"), Text("aa")}), "aaaaaa");
  EXPECT_EQ(RunText(CMD_REPLACE, {Text("aXbx"), Text("x"), Text(""), Bool(true)}), "ab");
  EXPECT_EQ(RunText(CMD_REPLACE, {Text("abc"), Text(""), Text("z")}), "abc");
}

TEST_F(TextCommandsTest, ArgumentsOfOtherTypesReadAsOmitted) {
  EXPECT_EQ(RunInt(CMD_LENGTH, {Int(5)}), 0);
  EXPECT_EQ(RunText(CMD_LEFT, {Text("abc"), Text("2")}), "");
  EXPECT_EQ(RunInt(CMD_LENGTH, {}), 0);
  const char* variable = "by ref";
  EXPECT_EQ(RunInt(CMD_LENGTH, {Pointer(&variable, TYPE_TEXT | TYPE_BYREF)}), 6);
}

}  // namespace
}  // namespace tulora
