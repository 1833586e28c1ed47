#include "http/cookies.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/hosted_runtime.h"

namespace tulora {
namespace {

using hosted::TakeText;

class CookiesTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(hosted::LiveBlocks(), live_) << "leaked blocks"; }
  static TextArray* List(const std::vector<const char*>& items) {
    TextArray* list = NewTextArray();
    for (const char* item : items) AppendTextItem(&list, item);
    return list;
  }

 private:
  int64_t live_ = hosted::LiveBlocks();
};

TEST_F(CookiesTest, MergeCookiesAndBothWriteBacks) {
  struct Row {
    const char* oldCookies;
    const char* newCookies;
    const char* merged;    // result and the old variable afterwards
    const char* newAfter;  // the new variable afterwards
  } rows[] = {
      {"a=1; b=2", "b=3; c=4", "b=3; c=4; a=1", "b=3;c=4"},
      {"a=1; b=2", "a=deleted", "b=2", "a=deleted"},
      {"sid=x; a=deleted", "c=1", "c=1; sid=x", "c=1"},
      {"y=2", "x=1; x=1", "x=1; y=2", "x=1;x=1"},
      {"y=0", "x=1; x=2", "x=1; x=2; y=0", "x=1;x=2"},
      {"a=1; a=2", "b=1", "b=1; a=1", "b=1"},
      {"A=1", "a=2", "a=2; A=1", "a=2"},
      {"k=a b", "z=1", "z=1; k=ab", "z=1"},
      {"flag", "a=1", "a=1; flag", "a=1"},
      {"a=1", "a=2; a=deleted", "a=2", "a=2;a=deleted"},
      {"x=9", "x=deleted", "", "x=deleted"},
      {"", "", "", ""},
      {nullptr, nullptr, "", ""},
      {"", "s=1; t=2", "s=1; t=2", "s=1;t=2"},
      {"s=1;t=2", "", "s=1; t=2", ""},
      {"=deleted", "x=1", "x=1", "x=1"},          // eight bytes: compared whole
      {"deleted", "x=1", "x=1; deleted", "x=1"},  // shorter: no deletion marker
      {"a=1;;b=2", "", "a=1; ; b=2", ""},         // an empty piece is an item too
      {"q=1", " q = 2 ", "q=2", "q=2"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.oldCookies ? r.oldCookies : "null") + " + " +
                 (r.newCookies ? r.newCookies : "null"));
    char* oldCookies = r.oldCookies ? CopyText(r.oldCookies) : nullptr;
    char* newCookies = r.newCookies ? CopyText(r.newCookies) : nullptr;
    EXPECT_EQ(TakeText(MergeCookies(&oldCookies, &newCookies)), r.merged);
    EXPECT_EQ(TakeText(oldCookies), r.merged);
    EXPECT_EQ(TakeText(newCookies), r.newAfter);
  }
}

TEST_F(CookiesTest, MergeResultIsACopy) {
  char* oldCookies = CopyText("a=1");
  char* newCookies = CopyText("b=2");
  char* merged = MergeCookies(&oldCookies, &newCookies);
  EXPECT_NE(merged, oldCookies);
  EXPECT_STREQ(merged, oldCookies);
  tulora_services.Release(merged);
  tulora_services.Release(oldCookies);
  tulora_services.Release(newCookies);
}

TEST_F(CookiesTest, CookieNameOf) {
  struct Row {
    const char* item;
    const char* name;
  } rows[] = {{"a=1", "a"}, {" a =1", "a"}, {"flag", "flag"}, {" flag ", "flag"},
              {"=v", ""},   {"", ""},       {"a=b=c", "a"},   {"Sid=x", "Sid"}};
  for (const Row& r : rows) EXPECT_EQ(TakeText(CookieNameOf(r.item)), r.name) << r.item;
}

TEST_F(CookiesTest, CookieListHasNameAndFindItem) {
  OwnedTextArray list(List({"a=1", " b=2", "flag", "a=3"}));
  struct Row {
    const char* name;
    bool has;
  } names[] = {{"a", true},  {"b", true},    {"flag", true}, {"A", false},
               {"c", false}, {"a=1", false}, {"", false}};
  for (const Row& r : names) EXPECT_EQ(CookieListHasName(list.get(), r.name), r.has) << r.name;
  EXPECT_FALSE(CookieListHasName(nullptr, "a"));

  struct FindRow {
    const char* text;
    int32_t index;
  } finds[] = {{"a=1", 1}, {" b=2", 2}, {"a=3", 4}, {"b=2", -1}, {"", -1}};
  for (const FindRow& r : finds) EXPECT_EQ(FindItem(list.get(), r.text), r.index) << r.text;
  OwnedTextArray empty(NewTextArray());
  EXPECT_EQ(FindItem(empty.get(), "a"), -1);
  EXPECT_EQ(FindItem(nullptr, ""), -1);
}

TEST_F(CookiesTest, RemoveDuplicateItems) {
  struct Row {
    const char* text;
    const char* separator;
    const char* result;
  } rows[] = {
      {"p; q; p", "; ", "p; q"},   {"p; p; p", "; ", "p"},         {"", "; ", ""},
      {"a,b,a,c,b", ",", "a,b,c"}, {"x=1; x=2", "; ", "x=1; x=2"}, {"a;;b;", ";", "a;;b"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(TakeText(RemoveDuplicateItems(r.text, r.separator)), r.result) << r.text;
  }
}

}  // namespace
}  // namespace tulora
