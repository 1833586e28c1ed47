#include "image/runtime_calls.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "image/arguments.h"
#include "image/commands.h"
#include "image/dll_table.h"
#include "tests/support/hosted_runtime.h"

namespace tulora {
namespace {

using hosted::TakeText;

TEST(ArgumentsTest, RecordsCarryPointersAndDoublesInTwoHalves) {
  const char* text = "abc";
  ArgumentRecord r = ArgText(text);
  uint64_t address = (static_cast<uint64_t>(r.high) << 32) | r.value;
  EXPECT_EQ(address, reinterpret_cast<uintptr_t>(text));
  EXPECT_EQ(r.type, TYPE_TEXT);

  ArgumentRecord absent = ArgText(nullptr);
  uint64_t absentAddress = (static_cast<uint64_t>(absent.high) << 32) | absent.value;
  ASSERT_NE(absentAddress, 0u);
  EXPECT_STREQ(reinterpret_cast<const char*>(static_cast<uintptr_t>(absentAddress)), "");

  ArgumentRecord noBytes = ArgBytes(nullptr);
  uint64_t bytesAddress = (static_cast<uint64_t>(noBytes.high) << 32) | noBytes.value;
  const uint8_t kEmpty[8] = {1, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(
      std::memcmp(reinterpret_cast<const void*>(static_cast<uintptr_t>(bytesAddress)), kEmpty, 8),
      0);

  ArgumentRecord d = ArgDouble(1.0);  // 0x3FF0000000000000
  EXPECT_EQ(d.value, 0u);
  EXPECT_EQ(d.high, 0x3FF00000u);
  EXPECT_EQ(d.type, TYPE_DOUBLE);

  ArgumentRecord i = ArgInt(-1);
  EXPECT_EQ(i.value, 0xFFFFFFFFu);
  EXPECT_EQ(i.high, 0u);
  EXPECT_EQ(ArgBool(true).value, 1u);
  ArgumentRecord omitted = ArgOmitted();
  EXPECT_EQ(omitted.value | omitted.high | omitted.type, 0u);

  char* variable = nullptr;
  EXPECT_EQ(ArgByRefText(&variable).type, TYPE_TEXT | TYPE_BYREF);
}

TEST(ArgumentsTest, BufferIsLaidOutAsAnArgumentList) {
  auto args = MakeArguments(ArgInt(7), ArgBool(true), ArgOmitted());
  ArgumentList* list = args.list();
  ASSERT_EQ(list->count, 3u);
  const uint32_t* words = reinterpret_cast<const uint32_t*>(list);
  const uint32_t expected[] = {3, 7, 0, TYPE_INT, 1, 0, TYPE_BOOL, 0, 0, 0};
  EXPECT_EQ(std::memcmp(words, expected, sizeof expected), 0);
  auto none = MakeArguments();
  EXPECT_EQ(none.list()->count, 0u);
}

TEST(RuntimeCallsTest, WrappersReachTheTextCommands) {
  int64_t live = hosted::LiveBlocks();
  EXPECT_EQ(RtTextToInt(" 8080"), 8080);
  EXPECT_EQ(TakeText(RtNumberToText(7284.0)), "7284");
  EXPECT_EQ(TakeText(RtLower("AbC")), "abc");
  EXPECT_EQ(TakeText(RtUpper("AbC")), "ABC");
  EXPECT_EQ(TakeText(RtLeft("abcdef", 2)), "ab");
  EXPECT_EQ(TakeText(RtRight("abcdef", 2)), "ef");
  EXPECT_EQ(RtLength("\xB1\xEA\xCC\xE2\xA3\xBA"), 6);
  EXPECT_EQ(RtFind("a:b:c", ":", 3), 4);
  EXPECT_EQ(RtFind("ABC", "c", 1, true), 3);
  EXPECT_EQ(RtFindLast("a:b:c", ":"), 4);
  EXPECT_EQ(TakeText(RtTrim("  x ")), "x");
  EXPECT_EQ(TakeText(RtRemoveSpaces(" a b ")), "ab");
  EXPECT_EQ(TakeText(RtReplace("aXb", "x", "-", true)), "a-b");

  ByteSet* bytes = RtTextToBytes("hi");
  EXPECT_EQ(ByteSetLength(bytes), 2u);
  EXPECT_EQ(TakeText(RtBytesToText(bytes)), "hi");
  tulora_services.Release(bytes);
  EXPECT_EQ(TakeText(RtBytesToText(nullptr)), "");

  TextArray* pieces = RtSplit("a;b", ";");
  const void* first = nullptr;
  ASSERT_EQ(ArrayElementCount(pieces, &first), 2u);
  EXPECT_STREQ(static_cast<char* const*>(first)[1], "b");
  ReleaseTextArray(pieces);
  EXPECT_EQ(hosted::LiveBlocks(), live);
}

TEST(RuntimeCallsTest, CallDllPassesEntryAndWords) {
  const uint16_t units[] = {'o', 'k', 0};
  char out[8] = {};
  const uintptr_t args[8] = {936,
                             0,
                             reinterpret_cast<uintptr_t>(units),
                             static_cast<uintptr_t>(static_cast<intptr_t>(-1)),
                             reinterpret_cast<uintptr_t>(out),
                             sizeof out,
                             0,
                             0};
  EXPECT_EQ(CallDll(TULORA_DLL_ENTRY(WideCharToMultiByte), 8, args), 3u);
  EXPECT_STREQ(out, "ok");
}

TEST(DllTableTest, EntriesComeFromTheOneTable) {
  EXPECT_EQ(DLL_ENTRY_COUNT, 12u);
  EXPECT_EQ(TULORA_DLL_ENTRY(CoInitialize), 0u);
  EXPECT_EQ(TULORA_DLL_ENTRY(MultiByteToWideChar), 2u);
  EXPECT_EQ(TULORA_DLL_ENTRY(WideCharToMultiByte), 3u);
  EXPECT_EQ(TULORA_DLL_ENTRY(HttpSendRequestA), 8u);
  EXPECT_EQ(TULORA_DLL_ENTRY(HttpSendRequestA_Body), 9u);
  EXPECT_EQ(TULORA_DLL_ENTRY(HttpQueryInfoA), 11u);
  // Every row in order, with the names as the image stores them.
  std::string rows;
#define TULORA_DLL_ROW(id, entry, dll, function) \
  rows += std::to_string(entry) + ":" + dll + ":" + function + "\n";
#include "image/dll_table.def"
  EXPECT_EQ(rows,
            "0:ole32:CoInitialize\n1:Ole32:CoUninitialize\n2::MultiByteToWideChar\n"
            "3:kernel32.dll:WideCharToMultiByte\n4:wininet.dll:InternetOpenA\n"
            "5:wininet:InternetCloseHandle\n6:wininet.dll:InternetConnectA\n"
            "7:wininet.dll:HttpOpenRequestA\n8:wininet.dll:HttpSendRequestA\n"
            "9:wininet.dll:HttpSendRequestA\n10:wininet.dll:InternetReadFile\n"
            "11:wininet.dll:HttpQueryInfoA\n");
}

}  // namespace
}  // namespace tulora
