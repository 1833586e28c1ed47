// The request object and the WinINet functions as the program reaches them:
// through the kernel's object commands and DLL bindings, against the local
// test site.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "image/arguments.h"
#include "image/commands.h"
#include "runtime/kernel/dll_calls.h"
#include "runtime/kernel/kernel_services.h"
#include "runtime/kernel/platform_winapi.h"
#include "testsite/testsite.h"

namespace tulora::rt {
namespace {

const ServiceTable& S() { return KernelServiceTable(); }
constexpr char kProgId[] = "WinHttp.WinHttpRequest.5.1";

class RequestObject : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterPlatformObjects();
    ASSERT_TRUE(site_.Start());
    testsite::Reply page = testsite::Reply::Text(200, "\xE4\xB8\xAD body");
    page.headerLines.push_back("Set-Cookie: a=1; path=/");
    site_.Route("/page", page);
    auto create =
        MakeArguments(ArgLibraryValue(&object_, TYPE_LIB_OBJECT | TYPE_BYREF), ArgText(kProgId));
    ASSERT_EQ(S().CallKernelCommand(CMD_OBJECT_CREATE, create.list()), 1u);
  }
  void TearDown() override {
    auto release = MakeArguments(ArgLibraryValue(&object_, TYPE_LIB_OBJECT | TYPE_BYREF));
    S().CallKernelCommand(CMD_OBJECT_RELEASE, release.list());
  }
  template <typename... Records>
  CommandResult Call(const char* method, Records... records) {
    auto args =
        MakeArguments(ArgLibraryValue(object_, TYPE_LIB_OBJECT), ArgText(method), records...);
    return S().CallKernelCommand(CMD_OBJECT_CALL, args.list());
  }
  std::string TakeText(CommandResult result) {
    char* text = static_cast<char*>(ResultPointer(result));
    std::string copy = text ? text : "";
    S().Release(text);
    return copy;
  }
  void* BodyVariant() {
    void* variant = nullptr;
    auto get = MakeArguments(ArgLibraryValue(object_, TYPE_LIB_OBJECT), ArgText("ResponseBody"),
                             ArgLibraryValue(&variant, TYPE_LIB_VARIANT | TYPE_BYREF));
    EXPECT_EQ(S().CallKernelCommand(CMD_OBJECT_GET_VARIANT, get.list()), 1u);
    return variant;
  }
  std::string Body() { return TakeBytes(BodyVariant()); }
  // The variant's bytes as a byte set, then the variant cleared.
  std::string TakeBytes(void* variant) {
    auto toBytes = MakeArguments(ArgLibraryValue(variant, TYPE_LIB_VARIANT));
    uint32_t* set = static_cast<uint32_t*>(
        ResultPointer(S().CallKernelCommand(CMD_VARIANT_TO_BYTES, toBytes.list())));
    std::string body(reinterpret_cast<char*>(set + 2), set[1]);
    S().Release(set);
    auto clear = MakeArguments(ArgLibraryValue(&variant, TYPE_LIB_VARIANT | TYPE_BYREF));
    S().CallKernelCommand(CMD_VARIANT_CLEAR, clear.list());
    return body;
  }
  testsite::TestSite site_;
  void* object_ = nullptr;
};

TEST_F(RequestObject, BodyVariantKeepsItsBytesAfterTheNextRequestAndTheObject) {
  site_.Route("/other", testsite::Reply::Text(200, "second"));
  Call("Open", ArgText("GET"), ArgText(site_.Url(false, "/page").c_str()), ArgBool(false));
  Call("Send", ArgText(""));
  void* first = BodyVariant();
  Call("Open", ArgText("GET"), ArgText(site_.Url(false, "/other").c_str()), ArgBool(false));
  Call("Send", ArgText(""));
  EXPECT_EQ(Body(), "second");
  TearDown();  // the object goes; the variant still holds the first body
  object_ = nullptr;
  EXPECT_EQ(TakeBytes(first), "\xE4\xB8\xAD body");
}

TEST_F(RequestObject, GetThroughTheObjectCommands) {
  std::string url = site_.Url(false, "/page");
  Call("SetTimeouts", ArgInt(5000), ArgInt(5000), ArgInt(5000), ArgInt(5000));
  Call("Open", ArgText("GET"), ArgText(url.c_str()), ArgBool(false));
  auto option = MakeArguments(ArgLibraryValue(object_, TYPE_LIB_OBJECT), ArgText("Option"),
                              ArgInt(4), ArgInt(0x3300));
  S().CallKernelCommand(CMD_OBJECT_SET_INDEXED, option.list());
  EXPECT_EQ(ResultInt(Call("Option", ArgInt(4))), 0x3300);
  Call("SetRequestHeader", ArgText("X-Test"), ArgText("yes"));
  Call("Send", ArgText(""));
  EXPECT_EQ(ResultDouble(Call("status")), 200.0);  // member names ignore letter case
  EXPECT_THAT(TakeText(Call("GetAllResponseHeaders")),
              ::testing::HasSubstr("Set-Cookie: a=1; path=/\r\n"));
  EXPECT_EQ(Body(), "\xE4\xB8\xAD body");
  ASSERT_EQ(site_.Log().size(), 1u);
  EXPECT_EQ(site_.Log()[0].requestLine, "GET /page HTTP/1.1");
  EXPECT_EQ(site_.Log()[0].Header("X-Test"), "yes");
}

TEST_F(RequestObject, PostSendsAByteArrayVariantAsItsBytes) {
  std::string url = site_.Url(false, "/page");
  uint8_t set[] = {1, 0, 0, 0, 3, 0, 0, 0, 0xFF, 0x00, 0x7F};
  void* variant = nullptr;
  auto toVariant = MakeArguments(ArgPointer(set, TYPE_BYTES),
                                 ArgLibraryValue(&variant, TYPE_LIB_VARIANT | TYPE_BYREF));
  S().CallKernelCommand(CMD_BYTES_TO_VARIANT, toVariant.list());
  Call("Open", ArgText("POST"), ArgText(url.c_str()));
  Call("Send", ArgLibraryValue(variant, TYPE_LIB_VARIANT));
  auto clear = MakeArguments(ArgLibraryValue(&variant, TYPE_LIB_VARIANT | TYPE_BYREF));
  S().CallKernelCommand(CMD_VARIANT_CLEAR, clear.list());
  ASSERT_EQ(site_.Log().size(), 1u);
  EXPECT_EQ(site_.Log()[0].body, std::string("\xFF\x00\x7F", 3));
}

TEST_F(RequestObject, AFailedRequestLeavesNothingToRead) {
  Call("Open", ArgText("GET"), ArgText("http://127.0.0.1:1/none"));
  Call("Send");
  EXPECT_EQ(ResultDouble(Call("Status")), 0.0);
  EXPECT_EQ(TakeText(Call("GetAllResponseHeaders")), "");
  EXPECT_EQ(Body(), "");
}

// The WinINet functions as the image's DLL table reaches them: by name, with
// word arguments.
uintptr_t CallNamed(const char* function, std::initializer_list<uintptr_t> words) {
  const DllExport* f = ResolveDllFunction("wininet.dll", function);
  EXPECT_NE(f, nullptr) << function;
  uintptr_t result = 0;
  EXPECT_EQ(CallDllWords(*f, static_cast<uint32_t>(words.size()), words.begin(), &result),
            DllCallOutcome::kDone)
      << function;
  return result;
}

template <typename T>
uintptr_t W(T* p) {
  return reinterpret_cast<uintptr_t>(p);
}

TEST(WinInetBinding, FetchesAPageThroughTheWordInterface) {
  testsite::TestSite site;
  ASSERT_TRUE(site.Start());
  site.Route("/img.jpg", testsite::Reply::Text(200, std::string("\xFF\xD8\x00\xFF\xD9", 5)));
  uintptr_t internet = CallNamed("InternetOpenA", {W("agent"), 1, 0, 0, 0});
  ASSERT_NE(internet, 0u);
  uintptr_t connection =
      CallNamed("InternetConnectA",
                {internet, W("127.0.0.1"), static_cast<uintptr_t>(site.httpPort()), 0, 0, 3, 0, 0});
  ASSERT_NE(connection, 0u);
  uintptr_t request = CallNamed("HttpOpenRequestA", {connection, W("GET"), W("/img.jpg"),
                                                     W("HTTP/1.1"), 0, 0, 0x80000000u, 0});
  ASSERT_NE(request, 0u);
  EXPECT_EQ(CallNamed("HttpSendRequestA", {request, 0, 0, 0, 0}), 1u);
  char buffer[64];
  uint32_t read = 0;
  EXPECT_EQ(CallNamed("InternetReadFile", {request, W(buffer), sizeof buffer, W(&read)}), 1u);
  EXPECT_EQ(std::string(buffer, read), std::string("\xFF\xD8\x00\xFF\xD9", 5));
  for (uintptr_t h : {request, connection, internet}) {
    EXPECT_EQ(CallNamed("InternetCloseHandle", {h}), 1u);
  }
}

}  // namespace
}  // namespace tulora::rt
