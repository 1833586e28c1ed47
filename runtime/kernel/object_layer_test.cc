#include "runtime/kernel/object_layer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "image/arguments.h"
#include "image/commands.h"
#include "runtime/kernel/kernel_services.h"

namespace tulora::rt {
namespace {

const ServiceTable& S() { return KernelServiceTable(); }

// A class of objects for the tests: counts its instances, echoes numbers,
// keeps indexed options and hands out a byte-array property.
struct Echo {
  std::map<int32_t, int32_t> options;
};
int g_live = 0;

void* CreateEcho() {
  ++g_live;
  return new Echo;
}
void DestroyEcho(void* instance) {
  --g_live;
  delete static_cast<Echo*>(instance);
}
bool CallEcho(void* instance, const char* method, const ArgumentView& args, uint32_t first,
              MethodResult* result) {
  Echo* echo = static_cast<Echo*>(instance);
  std::string name = method;
  if (name == "Twice") {
    result->kind = MethodResult::Kind::kInt;
    result->integer = 2 * args.Int(first);
  } else if (name == "Half") {
    result->kind = MethodResult::Kind::kDouble;
    result->number = args.Double(first) / 2;
  } else if (name == "Greet") {
    result->kind = MethodResult::Kind::kText;
    result->text = std::string("hello ") + args.Text(first);
  } else if (name == "Option") {
    result->kind = MethodResult::Kind::kInt;
    result->integer = echo->options[args.Int(first)];
  } else {
    return false;
  }
  return true;
}
bool SetEcho(void* instance, const char* property, int32_t index, const ArgumentView& args,
             uint32_t value) {
  if (std::strcmp(property, "Option") != 0) return false;
  static_cast<Echo*>(instance)->options[index] = args.Int(value);
  return true;
}
bool GetEcho(void*, const char* property, Variant* out) {
  out->kind = Variant::Kind::kBytes;
  if (std::strcmp(property, "Huge") == 0) {
    // More bytes than a byte set holds, as a body past 4 GiB would be; none
    // of them may be read.
    static const uint8_t few[4] = {'h', 'u', 'g', 'e'};
    out->bytes.share(std::make_shared<int>(0), few, (size_t{1} << 32) + 4);
    return true;
  }
  if (std::strcmp(property, "Body") != 0) return false;
  out->bytes = {'b', 'o', 0, 'y'};
  return true;
}

const ObjectClass kEcho = {"Test.Echo.1", CreateEcho, DestroyEcho, CallEcho, SetEcho, GetEcho};

class Objects : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterObjectClass(&kEcho); }
  CommandResult Run(uint32_t command, ArgumentList* list) {
    return S().CallKernelCommand(command, list);
  }
  void* NewEcho() {
    void* object = nullptr;
    auto args = MakeArguments(ArgLibraryValue(&object, TYPE_LIB_OBJECT | TYPE_BYREF),
                              ArgText("test.ECHO.1"));
    EXPECT_EQ(Run(CMD_OBJECT_CREATE, args.list()), 1u);
    return object;
  }
  void Release(void** object) {
    auto args = MakeArguments(ArgLibraryValue(object, TYPE_LIB_OBJECT | TYPE_BYREF));
    Run(CMD_OBJECT_RELEASE, args.list());
  }
};

TEST_F(Objects, AnUnregisteredProgIdIsNoSuchObject) {
  void* object = nullptr;
  auto args = MakeArguments(ArgLibraryValue(&object, TYPE_LIB_OBJECT | TYPE_BYREF),
                            ArgText("WinHttp.NoSuchRequest"));
  EXPECT_EQ(Run(CMD_OBJECT_CREATE, args.list()), 0u);
  EXPECT_EQ(object, nullptr);
  EXPECT_FALSE(RegisterObjectClass(&kEcho));  // taken already
}

TEST_F(Objects, MethodsGiveIntegersDoublesAndTexts) {
  void* object = NewEcho();
  ASSERT_NE(object, nullptr);
  auto twice =
      MakeArguments(ArgLibraryValue(object, TYPE_LIB_OBJECT), ArgText("Twice"), ArgInt(21));
  EXPECT_EQ(ResultInt(Run(CMD_OBJECT_CALL, twice.list())), 42);
  auto half =
      MakeArguments(ArgLibraryValue(object, TYPE_LIB_OBJECT), ArgText("Half"), ArgDouble(5));
  EXPECT_EQ(ResultDouble(Run(CMD_OBJECT_CALL, half.list())), 2.5);
  auto greet =
      MakeArguments(ArgLibraryValue(object, TYPE_LIB_OBJECT), ArgText("Greet"), ArgText("you"));
  char* text = static_cast<char*>(ResultPointer(Run(CMD_OBJECT_CALL, greet.list())));
  EXPECT_STREQ(text, "hello you");
  S().Release(text);
  auto unknown = MakeArguments(ArgLibraryValue(object, TYPE_LIB_OBJECT), ArgText("Nope"));
  EXPECT_EQ(Run(CMD_OBJECT_CALL, unknown.list()), 0u);
  Release(&object);
}

TEST_F(Objects, IndexedPropertiesAreSetAndReadBack) {
  void* object = NewEcho();
  auto set = MakeArguments(ArgLibraryValue(object, TYPE_LIB_OBJECT), ArgText("Option"), ArgInt(4),
                           ArgInt(0x3300));
  EXPECT_EQ(Run(CMD_OBJECT_SET_INDEXED, set.list()), 0u);
  auto get = MakeArguments(ArgLibraryValue(object, TYPE_LIB_OBJECT), ArgText("Option"), ArgInt(4));
  EXPECT_EQ(ResultInt(Run(CMD_OBJECT_CALL, get.list())), 0x3300);
  Release(&object);
}

TEST_F(Objects, VariantsCarryByteArrays) {
  void* object = NewEcho();
  void* variant = nullptr;
  auto body = MakeArguments(ArgLibraryValue(object, TYPE_LIB_OBJECT), ArgText("Body"),
                            ArgLibraryValue(&variant, TYPE_LIB_VARIANT | TYPE_BYREF));
  EXPECT_EQ(Run(CMD_OBJECT_GET_VARIANT, body.list()), 1u);
  ASSERT_NE(variant, nullptr);
  auto toBytes = MakeArguments(ArgLibraryValue(variant, TYPE_LIB_VARIANT));
  uint8_t* set = static_cast<uint8_t*>(ResultPointer(Run(CMD_VARIANT_TO_BYTES, toBytes.list())));
  const uint8_t expected[] = {1, 0, 0, 0, 4, 0, 0, 0, 'b', 'o', 0, 'y'};
  EXPECT_EQ(std::memcmp(set, expected, sizeof expected), 0);

  // back into a variant (replacing the old one) and out again
  auto toVariant = MakeArguments(ArgPointer(set, TYPE_BYTES),
                                 ArgLibraryValue(&variant, TYPE_LIB_VARIANT | TYPE_BYREF));
  EXPECT_EQ(Run(CMD_BYTES_TO_VARIANT, toVariant.list()), 0u);
  S().Release(set);
  auto again = MakeArguments(ArgLibraryValue(variant, TYPE_LIB_VARIANT));
  set = static_cast<uint8_t*>(ResultPointer(Run(CMD_VARIANT_TO_BYTES, again.list())));
  EXPECT_EQ(std::memcmp(set, expected, sizeof expected), 0);
  S().Release(set);

  auto unknown = MakeArguments(ArgLibraryValue(object, TYPE_LIB_OBJECT), ArgText("Nothing"),
                               ArgLibraryValue(&variant, TYPE_LIB_VARIANT | TYPE_BYREF));
  EXPECT_EQ(Run(CMD_OBJECT_GET_VARIANT, unknown.list()), 0u);
  EXPECT_NE(variant, nullptr);  // kept when nothing replaces it

  const uint8_t none[] = {1, 0, 0, 0, 0, 0, 0, 0};
  auto huge = MakeArguments(ArgLibraryValue(object, TYPE_LIB_OBJECT), ArgText("Huge"),
                            ArgLibraryValue(&variant, TYPE_LIB_VARIANT | TYPE_BYREF));
  EXPECT_EQ(Run(CMD_OBJECT_GET_VARIANT, huge.list()), 1u);
  auto hugeBytes = MakeArguments(ArgLibraryValue(variant, TYPE_LIB_VARIANT));
  set = static_cast<uint8_t*>(ResultPointer(Run(CMD_VARIANT_TO_BYTES, hugeBytes.list())));
  EXPECT_EQ(std::memcmp(set, none, sizeof none), 0) << "over 4 GiB: the empty set, no wrapped size";
  S().Release(set);

  auto clear = MakeArguments(ArgLibraryValue(&variant, TYPE_LIB_VARIANT | TYPE_BYREF));
  EXPECT_EQ(Run(CMD_VARIANT_CLEAR, clear.list()), 0u);
  EXPECT_EQ(variant, nullptr);
  auto emptyBytes = MakeArguments(ArgLibraryValue(variant, TYPE_LIB_VARIANT));
  set = static_cast<uint8_t*>(ResultPointer(Run(CMD_VARIANT_TO_BYTES, emptyBytes.list())));
  EXPECT_EQ(std::memcmp(set, none, sizeof none), 0);
  S().Release(set);
  Release(&object);
}

TEST_F(Objects, ReleaseDestroysTheObjectAndEmptiesTheVariable) {
  int before = g_live;
  void* object = NewEcho();
  EXPECT_EQ(g_live, before + 1);
  auto recreate =
      MakeArguments(ArgLibraryValue(&object, TYPE_LIB_OBJECT | TYPE_BYREF), ArgText("Test.Echo.1"));
  EXPECT_EQ(Run(CMD_OBJECT_CREATE, recreate.list()), 1u);  // the old object goes
  EXPECT_NE(object, nullptr);
  EXPECT_EQ(g_live, before + 1);
  Release(&object);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(g_live, before);
  Release(&object);  // releasing an empty variable does nothing
  auto call = MakeArguments(ArgLibraryValue(object, TYPE_LIB_OBJECT), ArgText("Twice"), ArgInt(1));
  EXPECT_EQ(Run(CMD_OBJECT_CALL, call.list()), 0u);
}

TEST_F(Objects, ValuesOfOtherTypesNameNoObjectOrVariant) {
  void* object = NewEcho();
  // A one-byte text where a block is expected must not be read as one.
  auto asVariant = MakeArguments(ArgText(""));
  uint32_t* set =
      static_cast<uint32_t*>(ResultPointer(Run(CMD_VARIANT_TO_BYTES, asVariant.list())));
  EXPECT_EQ(set[0], 1u);
  EXPECT_EQ(set[1], 0u);
  S().Release(set);
  auto asObject = MakeArguments(ArgText(""), ArgText("Twice"), ArgInt(2));
  EXPECT_EQ(Run(CMD_OBJECT_CALL, asObject.list()), 0u);
  // The object itself passed as a variant is no variant either.
  auto objectAsVariant = MakeArguments(ArgLibraryValue(object, TYPE_LIB_VARIANT));
  set = static_cast<uint32_t*>(ResultPointer(Run(CMD_VARIANT_TO_BYTES, objectAsVariant.list())));
  EXPECT_EQ(set[1], 0u);
  S().Release(set);
  Release(&object);
}

}  // namespace
}  // namespace tulora::rt
