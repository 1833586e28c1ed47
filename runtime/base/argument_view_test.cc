#include "runtime/base/argument_view.h"

#include <gtest/gtest.h>

#include <cstring>

#include "image/arguments.h"

namespace tulora::rt {
namespace {

// One row per type code: the record as the application builds it and what
// each reader gives.
TEST(ArgumentView, ReadsEveryTypeCode) {
  static const char kText[] = "\xD6\xD0";
  static const uint8_t kBytes[] = {1, 0, 0, 0, 3, 0, 0, 0, 'a', 'b', 'c'};
  static uint8_t kObject[4];
  struct Row {
    const char* name;
    ArgumentRecord record;
    double number;
    const char* text;
    uint32_t bytesLength;
    uintptr_t address;
  } rows[] = {
      {"bool", ArgBool(true), 1, "", 0, 1},
      {"text", ArgText(kText), 0, kText, 0, reinterpret_cast<uintptr_t>(kText)},
      {"bytes", ArgPointer(kBytes, TYPE_BYTES), 0, "", 3, reinterpret_cast<uintptr_t>(kBytes)},
      {"routine", ArgPointer(kObject, TYPE_ROUTINE), 0, "", 0,
       reinterpret_cast<uintptr_t>(kObject)},
      {"byte", ArgByte(200), 200, "", 0, 200},
      {"int", ArgInt(-7), -7, "", 0, static_cast<uint32_t>(-7)},
      {"double", ArgDouble(-2.75), -2.75, "", 0, 0},
      {"object", ArgLibraryValue(kObject, TYPE_LIB_OBJECT), 0, "", 0,
       reinterpret_cast<uintptr_t>(kObject)},
      {"variant", ArgLibraryValue(kObject, TYPE_LIB_VARIANT), 0, "", 0,
       reinterpret_cast<uintptr_t>(kObject)},
  };
  for (const Row& row : rows) {
    ArgumentBuffer<1> list{1, {row.record}};
    ArgumentView view(list.list());
    EXPECT_EQ(view.Count(), 1u) << row.name;
    EXPECT_EQ(view.Type(0), row.record.type) << row.name;
    EXPECT_FALSE(view.IsByRef(0)) << row.name;
    if (row.number != 0) {
      EXPECT_EQ(view.Double(0), row.number) << row.name;
      EXPECT_EQ(view.Int(0), static_cast<int32_t>(row.number)) << row.name;
      EXPECT_TRUE(view.Bool(0)) << row.name;
    }
    if (row.address != 0 && row.record.type != TYPE_DOUBLE) {
      EXPECT_EQ(view.Address(0), row.address) << row.name;
    }
    EXPECT_STREQ(view.Text(0), row.text) << row.name;
    uint32_t length = 99;
    const uint8_t* data = view.Bytes(0, &length);
    EXPECT_EQ(length, row.bytesLength) << row.name;
    if (length != 0) {
      EXPECT_EQ(std::memcmp(data, "abc", 3), 0);
    }
  }
}

TEST(ArgumentView, ByReferenceArgumentsReadAndNameTheVariable) {
  int32_t number = 41;
  int32_t flag = 1;
  char text[] = "abc";
  char* textVariable = text;
  double d = 1.5;
  auto list = MakeArguments(ArgByRefInt(&number), ArgByRefBool(&flag), ArgByRefText(&textVariable),
                            ArgPointer(&d, TYPE_DOUBLE | TYPE_BYREF));
  ArgumentView view(list.list());
  EXPECT_EQ(view.Int(0), 41);
  EXPECT_EQ(view.Variable(0), &number);
  EXPECT_TRUE(view.Bool(1));
  EXPECT_STREQ(view.Text(2), "abc");
  EXPECT_EQ(view.Variable(2), &textVariable);
  EXPECT_EQ(view.Double(3), 1.5);
  EXPECT_EQ(view.Variable(4), nullptr);  // beyond the count
}

TEST(ArgumentView, OmittedAndMissingArgumentsReadAsNothing) {
  auto list = MakeArguments(ArgOmitted(), ArgInt(0));
  ArgumentView view(list.list());
  for (uint32_t i : {0u, 5u}) {
    EXPECT_TRUE(view.Omitted(i)) << i;
    EXPECT_STREQ(view.Text(i), "");
    EXPECT_EQ(view.Int(i), 0);
    EXPECT_FALSE(view.Bool(i));
    EXPECT_EQ(view.Variable(i), nullptr);
    uint32_t length = 9;
    view.Bytes(i, &length);
    EXPECT_EQ(length, 0u);
  }
  EXPECT_FALSE(view.Omitted(1));  // a zero integer is still given
  ArgumentView none(nullptr);
  EXPECT_EQ(none.Count(), 0u);
  EXPECT_STREQ(none.Text(0), "");
}

// The number rules every command reads by.
TEST(ArgumentView, NumbersAsIntegersAndTruthValues) {
  struct Row {
    ArgumentRecord record;
    int32_t integer;
    bool truth;
  } rows[] = {
      {ArgDouble(3.99), 3, true},
      {ArgDouble(-3.99), -3, true},
      {ArgDouble(1e12), INT32_MAX, true},
      {ArgDouble(-1e12), INT32_MIN, true},
      {ArgDouble(0.0 / 0.0), 0, true},
      {ArgDouble(0.5), 0, true},
      {ArgDouble(-0.0), 0, false},
      {ArgumentRecord{0x1FF, 0, TYPE_BYTE}, 0xFF, true},
      {ArgInt(INT32_MIN), INT32_MIN, true},
      {ArgBool(false), 0, false},
      {ArgText("12"), 0, false},
  };
  for (const Row& row : rows) {
    auto list = MakeArguments(row.record);
    ArgumentView view(list.list());
    EXPECT_EQ(view.Int(0), row.integer) << view.Double(0);
    EXPECT_EQ(view.Bool(0), row.truth) << view.Double(0);
  }
}

TEST(ArgumentView, AddressesKeepTheirHighHalf) {
  ArgumentRecord record;
  const void* high = reinterpret_cast<const void*>(uintptr_t{0x7FFF12345678});
  SetRecordAddress(record, high, TYPE_TEXT);
  EXPECT_EQ(record.value, 0x12345678u);
  EXPECT_EQ(record.high, 0x7FFFu);
  EXPECT_EQ(RecordAddress(record), reinterpret_cast<uintptr_t>(high));
}

}  // namespace
}  // namespace tulora::rt
