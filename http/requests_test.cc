// The two request routines in process, through the kernel's own service
// table (object layer, WinINet bindings), against the local test site: what
// goes over the wire and what comes back into the caller's variables, and,
// through a recorder in front of the service table, which platform calls
// the routines make, with which arguments and in which order.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "http/object_calls.h"
#include "http/winhttp_request.h"
#include "http/wininet_request.h"
#include "image/arguments.h"
#include "image/commands.h"
#include "image/dll_table.h"
#include "image/interface_constants.h"
#include "image/system_calls.h"
#include "runtime/kernel/kernel_services.h"
#include "tests/support/kernel_host.h"
#include "tests/support/net_test_support.h"
#include "tests/support/scratch_directory.h"

namespace tulora {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using testsite::Reply;

void BindKernel() {
  std::string error;
  ASSERT_TRUE(test::BindHostedApplicationToKernel(TULORA_RUNTIME_DIR, &error)) << error;
}

// A caller's text variable; released at the end of the test.
struct TextVar {
  char* value = nullptr;
  explicit TextVar(const char* initial) : value(CopyText(initial)) {}
  TextVar() = default;
  ~TextVar() { tulora_services.Release(value); }
  char** operator&() { return &value; }
  std::string str() const { return value ? value : ""; }
};

struct BytesVar {
  ByteSet* value = nullptr;
  explicit BytesVar(const std::string& b)
      : value(NewByteSetFrom(b.data(), static_cast<uint32_t>(b.size()))) {}
  BytesVar() = default;
  ~BytesVar() { tulora_services.Release(value); }
  std::string str() const {
    return value ? std::string(reinterpret_cast<const char*>(value->data()), ByteSetLength(value))
                 : "";
  }
};

std::string Take(ByteSet* body) {
  std::string bytes(reinterpret_cast<const char*>(body->data()), ByteSetLength(body));
  tulora_services.Release(body);
  return bytes;
}

// The header lines a request carried, without Host (which only names the
// site's port) and without the framing lines of a body.
std::vector<std::string> Lines(const testsite::LoggedRequest& r) {
  std::vector<std::string> lines;
  for (const std::string& line : r.headerLines) {
    if (testsite::HeaderNameIs(line, "Host") || testsite::HeaderNameIs(line, "Content-Length"))
      continue;
    lines.push_back(line);
  }
  return lines;
}

class Requests : public net::NetTest {
 protected:
  static void SetUpTestSuite() { BindKernel(); }
  void SetUp() override {
    NetTest::SetUp();
    site_.Route("/page", Reply::Text(200, "page body"));
    site_.Route("/moved", Reply::Redirect(302, "/page"));
  }
  testsite::LoggedRequest Only() {
    auto log = site_.Log();
    EXPECT_EQ(log.size(), 1u);
    return log.empty() ? testsite::LoggedRequest() : log[0];
  }
  std::string url(const std::string& path) { return site_.Url(false, path); }
};

// A WinInetRequest whose body goes into a file stream, kept at the end: what
// the file then holds, the length the routine reported and whether it read
// the body to its end.
struct Streamed {
  std::string file;
  uint32_t length = 0;
  bool complete = false;
};
Streamed StreamRequest(const std::string& url) {
  process::ScratchDirectory dir("tulora-stream-");
  const std::string path = (dir.path() / "body").string();
  Streamed streamed;
  BodyStream body;
  body.stream = RtOpenFileStream(path.c_str());
  EXPECT_NE(body.stream, 0);
  WinInetParams p;
  p.bodyComplete = &streamed.complete;
  p.bodyStream = &body;
  EXPECT_EQ(Take(WinInetRequest(url.c_str(), p)), "") << "the body is not held as well";
  EXPECT_TRUE(RtFinishFileStream(body.stream, true));
  streamed.length = body.length;
  std::ifstream in(path, std::ios::binary);
  streamed.file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return streamed;
}

constexpr char kAgent[] = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

// Stands between the routines and the kernel's service table while it
// lives: records every call of a declared DLL function and every object
// command with its arguments and what it gave back, and passes them on,
// except the one DLL function or the object creation it is told to fail,
// which gives 0 without reaching the kernel.
struct DllCall {
  uint32_t entry;
  std::vector<uintptr_t> args;
  uintptr_t result;
};
struct ObjectCall {
  uint32_t command;
  void* object;                  // create: the new one; release: the one dropped
  std::string name;              // method or property
  std::vector<int32_t> numbers;  // the integer arguments after the name
};

class Recorder;
Recorder* g_recorder = nullptr;

class Recorder {
 public:
  static constexpr uint32_t kNone = ~0u;
  uint32_t failEntry = kNone;
  bool failCreate = false;
  std::vector<DllCall> dll;
  std::vector<ObjectCall> objects;

  Recorder() : saved_(tulora_services) {
    g_recorder = this;
    tulora_services.CallDllFunction = Dll;
    tulora_services.CallKernelCommand = Kernel;
  }
  ~Recorder() {
    tulora_services = saved_;
    g_recorder = nullptr;
  }
  std::vector<uint32_t> Entries() const {
    std::vector<uint32_t> entries;
    for (const DllCall& c : dll) entries.push_back(c.entry);
    return entries;
  }
  std::vector<const DllCall*> Calls(uint32_t entry) const {
    std::vector<const DllCall*> calls;
    for (const DllCall& c : dll) {
      if (c.entry == entry) calls.push_back(&c);
    }
    return calls;
  }
  std::vector<const ObjectCall*> Commands(uint32_t command, const char* name = nullptr) const {
    std::vector<const ObjectCall*> calls;
    for (const ObjectCall& c : objects) {
      if (c.command == command && (name == nullptr || c.name == name)) calls.push_back(&c);
    }
    return calls;
  }

 private:
  static uintptr_t Address(const ArgumentRecord& r) {
    return static_cast<uintptr_t>((static_cast<uint64_t>(r.high) << 32) | r.value);
  }
  static TULORA_CALL uintptr_t Dll(uint32_t entry, uint32_t count, const uintptr_t* args) {
    Recorder* r = g_recorder;
    DllCall call{entry, std::vector<uintptr_t>(args, args + count), 0};
    if (entry != r->failEntry) call.result = r->saved_.CallDllFunction(entry, count, args);
    r->dll.push_back(call);
    return call.result;
  }
  static TULORA_CALL CommandResult Kernel(uint32_t command, ArgumentList* args) {
    Recorder* r = g_recorder;
    if (command != CMD_OBJECT_CREATE && command != CMD_OBJECT_CALL &&
        command != CMD_OBJECT_SET_INDEXED && command != CMD_OBJECT_GET_VARIANT &&
        command != CMD_OBJECT_RELEASE) {
      return r->saved_.CallKernelCommand(command, args);
    }
    ObjectCall call{command, nullptr, "", {}};
    void** variable = reinterpret_cast<void**>(Address(args->records[0]));
    if (command == CMD_OBJECT_CREATE || command == CMD_OBJECT_RELEASE) {
      call.object = *variable;
    } else {
      call.object = reinterpret_cast<void*>(Address(args->records[0]));
      call.name = reinterpret_cast<const char*>(Address(args->records[1]));
      for (uint32_t i = 2; i < args->count; ++i) {
        if (args->records[i].type == TYPE_INT) {
          call.numbers.push_back(static_cast<int32_t>(args->records[i].value));
        }
      }
    }
    CommandResult result = 0;
    if (!(command == CMD_OBJECT_CREATE && r->failCreate)) {
      result = r->saved_.CallKernelCommand(command, args);
    }
    if (command == CMD_OBJECT_CREATE) call.object = *variable;
    r->objects.push_back(call);
    return result;
  }
  ServiceTable saved_;
};

// ---------------------------------------------------------------- WinInet

TEST_F(Requests, WinInetEmptyHeadersAreCompletedAndSentAsTheyStand) {
  const std::string u = url("/page?q=1");
  TextVar headers("");
  WinInetParams p;
  p.headers = &headers;
  EXPECT_EQ(Take(WinInetRequest(u.c_str(), p)), "page body");
  const std::string completed = "Accept: */*\r\nReferer: " + u +
                                "\r\nAccept-Language: zh-cn\r\n"
                                "Content-Type: application/x-www-form-urlencoded";
  EXPECT_EQ(headers.str(), completed);
  auto r = Only();
  EXPECT_EQ(r.requestLine, "GET /page?q=1 HTTP/1.1");
  EXPECT_THAT(Lines(r), ElementsAre("User-Agent: " + std::string(kAgent), "Accept: */*",
                                    "Referer: " + u, "Accept-Language: zh-cn",
                                    "Content-Type: application/x-www-form-urlencoded"));
  EXPECT_EQ(r.HeaderCount("Cookie"), 0u);
}

TEST_F(Requests, WinInetAgentAndDefaultsFollowTheCallersHeaders) {
  struct Row {
    const char* headers;
    const char* agent;    // the one User-Agent line on the wire
    bool acceptAppended;  // "Accept: */*" added after the caller's lines
  } rows[] = {
      {"accept: text/html", kAgent, true},  // defaults are searched with letter case
      {"user-agent: X\r\nAccept: a", "X", false},
      {"User-Agent: X", "X", true},  // last line without "\r\n"
      {"Accept: a\r\nUser-Agent:  Y  \r\nX-B: 1", "Y", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.headers);
    site_.ClearLog();
    TextVar headers(row.headers);
    WinInetParams p;
    p.headers = &headers;
    Take(WinInetRequest(url("/page").c_str(), p));
    auto r = Only();
    EXPECT_EQ(r.HeaderCount("User-Agent"), 1u);
    EXPECT_EQ(r.Header("User-Agent"), row.agent);
    EXPECT_EQ(headers.str().rfind(row.headers, 0), 0u) << "caller's lines stay first";
    EXPECT_EQ(headers.str().find("\r\nAccept: */*") != std::string::npos, row.acceptAppended);
  }
}

TEST_F(Requests, WinInetMethodsAndBodies) {
  struct Row {
    int32_t method;
    const char* postText;
    const char* postBytes;  // null: omitted
    const char* verb;
    const char* sent;
    const char* bytesAfter;  // the caller's postBytes afterwards (when supplied)
  } rows[] = {
      {3, "a=1", "", "GET", "", ""},  // out of range, and GET sends no body
      {-1, "a=1", "", "GET", "", ""},
      {0, "a=1", "zz", "GET", "", "zz"},
      {1, "a=1", "", "POST", "a=1", "a=1"},  // empty bytes are filled from the text
      {1, "a=1", "b=22", "POST", "b=22", "b=22"},
      {1, "a=1", nullptr, "POST", "a=1", nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.method) + " " + row.verb);
    site_.ClearLog();
    BytesVar bytes(row.postBytes ? row.postBytes : "");
    WinInetParams p;
    p.method = row.method;
    p.postText = row.postText;
    if (row.postBytes) p.postBytes = &bytes.value;
    Take(WinInetRequest(url("/page").c_str(), p));
    auto r = Only();
    EXPECT_EQ(r.requestLine, std::string(row.verb) + " /page HTTP/1.1");
    EXPECT_EQ(r.body, row.sent);
    if (row.postBytes) {
      EXPECT_EQ(bytes.str(), row.bytesAfter);
    }
  }
}

TEST_F(Requests, WinInetHeadSendsItsMethod) {
  WinInetParams p;
  p.method = 2;
  EXPECT_EQ(Take(WinInetRequest(url("/page").c_str(), p)), "");
  EXPECT_EQ(Only().requestLine, "HEAD /page HTTP/1.1");
}

TEST_F(Requests, WinInetCookiesSuppliedEmptySuppliedOrOmitted) {
  Reply reply = Reply::Text(200, "c");
  reply.headerLines = {"Set-Cookie: s=1; path=/", "set-cookie: t=2", "X-Set-Cookie-Note: u=3"};
  site_.Route("/c", reply);
  const std::string u = url("/c");
  {  // empty: no Cookie line, the merge runs
    TextVar cookies(""), responseCookies;
    WinInetParams p;
    p.cookies = &cookies;
    p.responseCookies = &responseCookies;
    Take(WinInetRequest(u.c_str(), p));
    EXPECT_EQ(Only().HeaderCount("Cookie"), 0u);
    EXPECT_EQ(responseCookies.str(), "s=1;t=2;X-Set-Cookie-Note:u=3");
    EXPECT_EQ(cookies.str(), "s=1; t=2; X-Set-Cookie-Note:u=3");
  }
  site_.ClearLog();
  {  // supplied: sent as given, merged
    TextVar cookies("t=0; old=9"), responseCookies, headers("");
    WinInetParams p;
    p.cookies = &cookies;
    p.responseCookies = &responseCookies;
    p.headers = &headers;
    Take(WinInetRequest(u.c_str(), p));
    EXPECT_EQ(Only().Header("Cookie"), "t=0; old=9");
    EXPECT_THAT(headers.str(), HasSubstr("\r\nCookie: t=0; old=9"));
    EXPECT_EQ(cookies.str(), "s=1; t=2; X-Set-Cookie-Note:u=3; old=9");
  }
  site_.ClearLog();
  {  // omitted: the back-end keeps and sends the cookies itself, no merge
    TextVar responseCookies;
    WinInetParams p;
    p.responseCookies = &responseCookies;
    Take(WinInetRequest(u.c_str(), p));
    EXPECT_EQ(responseCookies.str(), "s=1; t=2; X-Set-Cookie-Note: u=3");
    Take(WinInetRequest(u.c_str(), p));
    auto log = site_.Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].HeaderCount("Cookie"), 0u);
    EXPECT_THAT(log[1].Header("Cookie"), HasSubstr("s=1"));
  }
}

TEST_F(Requests, WinInetResponseHeadersNormaliseSetCookie) {
  Reply reply = Reply::Text(201, "x");
  reply.headerLines = {"SET-COOKIE: a=1"};
  site_.Route("/h", reply);
  TextVar responseHeaders, responseCookies;
  WinInetParams p;
  p.responseHeaders = &responseHeaders;
  p.responseCookies = &responseCookies;
  Take(WinInetRequest(url("/h").c_str(), p));
  EXPECT_EQ(responseHeaders.str().rfind("HTTP/1.1 201 Created\r\n", 0), 0u);
  EXPECT_THAT(responseHeaders.str(), HasSubstr("\r\nSet-Cookie: a=1\r\n"));
  EXPECT_EQ(responseCookies.str(), "a=1");
}

TEST_F(Requests, WinInetProxyTextForHttpAndHttps) {
  // The site's own plain port stands in for the proxy: its log shows whether
  // the request went to it and in which form.
  const std::string proxy = "127.0.0.1:" + std::to_string(site_.httpPort());
  const int nowhere = net::UnusedPort();
  WinInetParams p;
  p.proxy = proxy.c_str();
  std::string plain = "http://127.0.0.1:" + std::to_string(nowhere) + "/p";
  Take(WinInetRequest(plain.c_str(), p));
  EXPECT_EQ(Only().requestLine, "GET " + plain + " HTTP/1.1");
  site_.ClearLog();
  std::string secure = "https://127.0.0.1:" + std::to_string(nowhere) + "/p";
  EXPECT_EQ(Take(WinInetRequest(secure.c_str(), p)), "");
  EXPECT_EQ(Only().requestLine, "CONNECT 127.0.0.1:" + std::to_string(nowhere) + " HTTP/1.1");
}

TEST_F(Requests, WinInetRedirectsFollowedUnlessTurnedOff) {
  TextVar responseHeaders;
  WinInetParams p;
  p.responseHeaders = &responseHeaders;
  EXPECT_EQ(Take(WinInetRequest(url("/moved").c_str(), p)), "page body");
  EXPECT_EQ(responseHeaders.str().rfind("HTTP/1.1 200", 0), 0u);
  p.noRedirect = true;
  EXPECT_NE(Take(WinInetRequest(url("/moved").c_str(), p)), "page body");
  EXPECT_EQ(responseHeaders.str().rfind("HTTP/1.1 302", 0), 0u);
  EXPECT_EQ(site_.LogSize(), 3u);
}

TEST_F(Requests, WinInetSelfSignedRefusedUntilTrusted) {
  const std::string u = site_.Url(true, "/page");
  TextVar headers("");
  WinInetParams p;
  p.headers = &headers;
  EXPECT_EQ(Take(WinInetRequest(u.c_str(), p)), "");
  EXPECT_EQ(site_.LogSize(), 0u);
  TrustSite();
  EXPECT_EQ(Take(WinInetRequest(u.c_str(), p)), "page body");
  EXPECT_TRUE(Only().secure);
}

// What arrived comes back; the body counts as complete only when the reads
// reached its end: not when it was cut off, with or without a length, nor
// when it went on past the routine's limit.
TEST_F(Requests, WinInetBodyCompleteOnlyWhenReadToItsEnd) {
  const std::string body(10000, 'b');
  Reply cut = Reply::Text(200, body);
  cut.cutAfter = 3000;
  site_.Route("/cut", cut);
  Reply chunkCut = Reply::Chunked(body, 4000);
  chunkCut.cutAfter = 6000;
  site_.Route("/chunk-cut", chunkCut);
  Reply endless = Reply::Chunked(std::string(1 << 16, 'e'), 1 << 16, false);
  endless.repeatBody = true;
  site_.Route("/endless", endless);
  Reply huge = Reply::Text(200, std::string(1 << 16, 'h'));
  huge.headerLines.push_back("Content-Length: 3000000000");
  huge.repeatBody = true;
  site_.Route("/huge", huge);
  site_.Route("/whole", Reply::Text(200, body));
  site_.Route("/chunked", Reply::Chunked(body, 4000));
  const struct {
    const char* path;
    size_t from, to;  // length of what comes back
    bool complete;
  } rows[] = {
      {"/whole", body.size(), body.size(), true},
      {"/chunked", body.size(), body.size(), true},
      {"/cut", 3000, 3000, false},
      {"/chunk-cut", 4000, 6000, false},
      {"/endless", MAX_BODY_BYTES, MAX_BODY_BYTES + READ_CHUNK_SIZE, false},
      {"/huge", MAX_BODY_BYTES, MAX_BODY_BYTES + READ_CHUNK_SIZE, false},
  };
  for (const auto& row : rows) {
    bool complete = !row.complete;
    WinInetParams p;
    p.bodyComplete = &complete;
    const std::string got = Take(WinInetRequest(url(row.path).c_str(), p));
    EXPECT_GE(got.size(), row.from) << row.path;
    EXPECT_LE(got.size(), row.to) << row.path;
    EXPECT_EQ(got, std::string(got.size(), got.empty() ? ' ' : got[0])) << row.path;
    EXPECT_EQ(complete, row.complete) << row.path;
    // The same into a file stream, which gets what was read.
    const Streamed streamed = StreamRequest(url(row.path));
    EXPECT_EQ(streamed.complete, row.complete) << row.path;
    EXPECT_GE(streamed.length, row.from) << row.path;
    EXPECT_LE(streamed.length, row.to) << row.path;
    EXPECT_EQ(streamed.file, std::string(streamed.length, got.empty() ? ' ' : got[0])) << row.path;
  }
}

TEST_F(Requests, WinInetNoAnswerGivesEmptyBodyAfterCompletingHeaders) {
  const std::string u = "http://127.0.0.1:" + std::to_string(net::UnusedPort()) + "/";
  TextVar headers("X: 1");
  WinInetParams p;
  p.headers = &headers;
  EXPECT_EQ(Take(WinInetRequest(u.c_str(), p)), "");
  // The handles are had before the connection is made, so the headers are
  // completed even though nothing answered.
  EXPECT_THAT(headers.str(), HasSubstr("Accept: */*"));
}

// The handles come back closed, innermost first, and a missing handle ends
// the routine at once: the empty body, no other WinINet call and every
// variable of the caller as it was.
TEST_F(Requests, WinInetEarlyExitsAndClosingOrder) {
  enum Handle { kInternet, kConnection, kRequest };
  const uint32_t opens[] = {DLL_ENTRY_InternetOpenA, DLL_ENTRY_InternetConnectA,
                            DLL_ENTRY_HttpOpenRequestA};
  const struct {
    uint32_t failing;  // the function that gives no handle
    std::vector<Handle> closed;
  } rows[] = {
      {DLL_ENTRY_InternetOpenA, {}},
      {DLL_ENTRY_InternetConnectA, {kInternet}},
      {DLL_ENTRY_HttpOpenRequestA, {kConnection, kInternet}},
      {Recorder::kNone, {kRequest, kConnection, kInternet}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.failing);
    site_.ClearLog();
    TextVar headers("X: 1"), cookies("c=1"), responseCookies("rc"), responseHeaders("rh");
    BytesVar postBytes("");
    ByteSet* const postBytesBefore = postBytes.value;
    bool complete = true;
    WinInetParams p;
    p.method = 1;
    p.postText = "a=1";
    p.postBytes = &postBytes.value;
    p.headers = &headers;
    p.cookies = &cookies;
    p.responseCookies = &responseCookies;
    p.responseHeaders = &responseHeaders;
    p.bodyComplete = &complete;
    std::string body;
    std::vector<uint32_t> entries;
    std::vector<uintptr_t> handles, closed;
    {
      Recorder recorder;
      recorder.failEntry = row.failing;
      body = Take(WinInetRequest(url("/page").c_str(), p));
      for (const DllCall& c : recorder.dll) {
        if (c.entry == DLL_ENTRY_InternetCloseHandle) {
          closed.push_back(c.args.at(0));
        } else {
          ASSERT_TRUE(closed.empty()) << "entry " << c.entry << " after a close";
        }
        if (handles.size() < 3 && c.entry == opens[handles.size()]) handles.push_back(c.result);
      }
      entries = recorder.Entries();
    }
    std::vector<uintptr_t> expected;
    for (Handle h : row.closed) expected.push_back(handles.at(h));
    EXPECT_EQ(closed, expected);
    if (row.failing == Recorder::kNone) {
      EXPECT_EQ(body, "page body");
      continue;
    }
    std::vector<uint32_t> chain;
    for (uint32_t entry : opens) {
      chain.push_back(entry);
      if (entry == row.failing) break;
    }
    chain.insert(chain.end(), row.closed.size(), DLL_ENTRY_InternetCloseHandle);
    EXPECT_EQ(entries, chain);
    EXPECT_EQ(body, "");
    EXPECT_EQ(headers.str(), "X: 1");
    EXPECT_EQ(cookies.str(), "c=1");
    EXPECT_EQ(responseCookies.str(), "rc");
    EXPECT_EQ(responseHeaders.str(), "rh");
    EXPECT_EQ(postBytes.value, postBytesBefore);
    EXPECT_EQ(ByteSetLength(postBytes.value), 0u);
    EXPECT_TRUE(complete);
    EXPECT_EQ(site_.LogSize(), 0u);
  }
}

TEST_F(Requests, WinInetReadsAskForOneChunkEachTime) {
  const std::string body(5000, 'k');
  site_.Route("/k", Reply::Text(200, body));
  Recorder recorder;
  EXPECT_EQ(Take(WinInetRequest(url("/k").c_str())), body);
  auto reads = recorder.Calls(DLL_ENTRY_InternetReadFile);
  EXPECT_GE(reads.size(), 6u);  // five chunks and the read that finds the end
  for (const DllCall* read : reads) EXPECT_EQ(read->args.at(2), 1024u);
}

// ---------------------------------------------------------------- WinHttp

TEST_F(Requests, WinHttpDefaultsNormalisedOnTheWire) {
  const std::string u = url("/page");
  struct Row {
    int32_t method;
    const char* verb;
    bool contentType;
  } rows[] = {{0, "GET", false},  {1, "POST", true},    {8, "GET", false},
              {-1, "GET", false}, {5, "DELETE", false}, {3, "PUT", false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.method);
    site_.ClearLog();
    TextVar headers("");
    int32_t status = -5;
    WinHttpParams p;
    p.method = row.method;
    p.headers = &headers;
    p.statusCode = &status;
    Take(WinHttpObjectRequest(u.c_str(), p));
    EXPECT_EQ(status, 200);
    std::string expected =
        "Accept: */*\r\nReferer: " + u + "\r\nAccept-Language: zh-cn\r\nUser-Agent: " + kAgent;
    if (row.contentType) expected += "\r\nContent-Type: application/x-www-form-urlencoded";
    EXPECT_EQ(headers.str(), expected);
    auto r = Only();
    EXPECT_EQ(r.requestLine, std::string(row.verb) + " /page HTTP/1.1");
    std::vector<std::string> lines = {"Accept: */*", "Referer: " + u, "Accept-Language: zh-cn",
                                      "User-Agent: " + std::string(kAgent)};
    if (row.contentType) lines.push_back("Content-Type: application/x-www-form-urlencoded");
    lines.push_back("Connection: Keep-Alive");
    EXPECT_EQ(Lines(r), lines);
  }
}

TEST_F(Requests, WinHttpCallerHeadersNormalisedAndKeepAliveSkipped) {
  TextVar headers("x-requested-with:  y\r\nConnection: keep-alive\r\nnocolon\r\naccept: a/b");
  WinHttpParams p;
  p.headers = &headers;
  p.addDefaultHeaders = false;
  Take(WinHttpObjectRequest(url("/page").c_str(), p));
  EXPECT_EQ(headers.str(), "X-Requested-With:  y\r\nConnection: keep-alive\r\nAccept: a/b");
  auto r = Only();
  EXPECT_EQ(r.Header("X-Requested-With"), "y");
  EXPECT_EQ(r.Header("Accept"), "a/b");
  EXPECT_THAT(r.headerLines, Not(Contains("Connection: keep-alive")));
}

TEST_F(Requests, WinHttpBodies) {
  struct Row {
    const char* postText;  // null: omitted
    std::string postBytes;
    std::string sent;
  } rows[] = {
      {"a=1", "", "a=1"},
      {"a=1", std::string("\x01\x00\xFFz", 4), std::string("\x01\x00\xFFz", 4)},  // bytes win
      {nullptr, "", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sent);
    site_.ClearLog();
    BytesVar postBytes(row.postBytes);
    WinHttpParams p;
    p.method = 1;
    p.postText = row.postText;
    p.postBytes = postBytes.value;
    Take(WinHttpObjectRequest(url("/page").c_str(), p));
    auto r = Only();
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.body, row.sent);
  }
}

TEST_F(Requests, WinHttpStatusCodes) {
  for (int code : {200, 201, 404, 500}) {
    site_.Route("/s", Reply::Text(code, "s"));
    int32_t status = -1;
    WinHttpParams p;
    p.statusCode = &status;
    EXPECT_EQ(Take(WinHttpObjectRequest(url("/s").c_str(), p)), "s");
    EXPECT_EQ(status, code);
  }
}

TEST_F(Requests, WinHttpCookiesSentCollectedAndMerged) {
  Reply reply = Reply::Text(200, "c");
  reply.headerLines = {"Set-Cookie: b=3; path=/", "set-cookie: z=9", "Set-Cookie: c=4"};
  site_.Route("/c", reply);
  struct Row {
    const char* cookies;  // null: omitted
    bool merge;
    const char* sent;  // value of the Cookie line; null: no line
    const char* cookiesAfter;
    const char* responseCookies;
  } rows[] = {
      {nullptr, true, nullptr, nullptr, "b=3; c=4"},
      {"", true, "", "b=3; c=4", "b=3; c=4"},
      {"a=1; b=2", true, "a=1; b=2", "b=3; c=4; a=1", "b=3; c=4; a=1"},
      {"Cookie: a=1", true, "a=1", "b=3; c=4; a=1", "b=3; c=4; a=1"},
      {"a=1; b=2", false, "a=1; b=2", "a=1; b=2", "b=3; c=4"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.cookies ? row.cookies : "(omitted)");
    site_.ClearLog();
    TextVar cookies(row.cookies ? row.cookies : ""), responseCookies("old");
    WinHttpParams p;
    if (row.cookies) p.cookies = &cookies;
    p.mergeCookies = row.merge;
    p.responseCookies = &responseCookies;
    Take(WinHttpObjectRequest(url("/c").c_str(), p));
    auto r = Only();
    if (row.sent == nullptr) {
      EXPECT_EQ(r.HeaderCount("Cookie"), 0u);
    } else {
      EXPECT_EQ(r.HeaderCount("Cookie"), 1u);
      EXPECT_EQ(r.Header("Cookie"), row.sent);
    }
    if (row.cookiesAfter) {
      EXPECT_EQ(cookies.str(), row.cookiesAfter);
    }
    EXPECT_EQ(responseCookies.str(), row.responseCookies);
  }
}

TEST_F(Requests, WinHttpCookiePrefixRemovedInPlace) {
  TextVar cookies("Cookie: a=1");
  WinHttpParams p;
  p.cookies = &cookies;
  p.mergeCookies = false;
  Take(WinHttpObjectRequest(url("/page").c_str(), p));
  EXPECT_EQ(cookies.str(), " a=1");
}

TEST_F(Requests, WinHttpRedirectsFollowedUnlessTurnedOff) {
  int32_t status = 0;
  WinHttpParams p;
  p.statusCode = &status;
  EXPECT_EQ(Take(WinHttpObjectRequest(url("/moved").c_str(), p)), "page body");
  EXPECT_EQ(status, 200);
  p.noRedirect = true;
  Take(WinHttpObjectRequest(url("/moved").c_str(), p));
  EXPECT_EQ(status, 302);
  EXPECT_EQ(site_.LogSize(), 3u);
}

TEST_F(Requests, WinHttpSelfSignedAccepted) {
  int32_t status = 0;
  WinHttpParams p;
  p.statusCode = &status;
  EXPECT_EQ(Take(WinHttpObjectRequest(site_.Url(true, "/page").c_str(), p)), "page body");
  EXPECT_EQ(status, 200);
  EXPECT_TRUE(Only().secure);
}

TEST_F(Requests, WinHttpCutBodyGivesNothing) {
  Reply reply = Reply::Text(200, std::string(10000, 'b'));
  reply.cutAfter = 3000;
  site_.Route("/cut", reply);
  int32_t status = -1;
  WinHttpParams p;
  p.statusCode = &status;
  EXPECT_EQ(Take(WinHttpObjectRequest(url("/cut").c_str(), p)), "");
  EXPECT_NE(status, 200);
}

TEST_F(Requests, WinHttpSlowServerAgainstTimeout) {
  Reply slow = Reply::Text(200, "late");
  slow.delayMs = 2500;
  site_.Route("/slow", slow);
  struct Row {
    int32_t seconds;
    int32_t status;
    const char* body;
  } rows[] = {{1, 0, ""}, {5, 200, "late"}, {0, 200, "late"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.seconds);
    int32_t status = -1;
    WinHttpParams p;
    p.statusCode = &status;
    p.timeoutSeconds = row.seconds;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Take(WinHttpObjectRequest(url("/slow").c_str(), p)), row.body);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count();
    EXPECT_EQ(status, row.status);
    if (row.status == 0) {
      EXPECT_LT(ms, 2000);
    }
  }
}

TEST_F(Requests, WinHttpBasicProxyAuthorisation) {
  if (!net::AuthProxy::Installed()) GTEST_SKIP() << "no tinyproxy";
  net::AuthProxy proxy;
  std::string why;
  ASSERT_TRUE(proxy.Start(&why)) << why;
  const std::string at = "127.0.0.1:" + std::to_string(proxy.port());
  struct Row {
    const char* user;
    const char* password;
    int32_t mode;
    int32_t status;
  } rows[] = {{"user", "password", 1, 200},
              {"user", "wrong", 1, 401},      // the proxy's answer to wrong credentials
              {"", "password", 1, 407},       // no user: no authorisation
              {"user", "password", 2, 407}};  // mode 2 sends none
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.user) + ":" + row.password + " mode " + std::to_string(row.mode));
    int32_t status = -1;
    WinHttpParams p;
    p.statusCode = &status;
    p.proxy = at.c_str();
    p.proxyUser = row.user;
    p.proxyPassword = row.password;
    p.proxyAuthMode = row.mode;
    std::string body = Take(WinHttpObjectRequest(url("/page").c_str(), p));
    EXPECT_EQ(status, row.status);
    if (row.status == 200) {
      EXPECT_EQ(body, "page body");
    }
  }
  for (const auto& r : site_.Log()) EXPECT_EQ(r.HeaderCount("Proxy-Authorization"), 0u);
}

TEST_F(Requests, WinHttpBadUrlGivesEmptyReads) {
  // Open refuses the URL; the routine goes on and the reads give nothing.
  int32_t status = 77;
  TextVar responseHeaders("kept");
  WinHttpParams p;
  p.statusCode = &status;
  p.responseHeaders = &responseHeaders;
  EXPECT_EQ(Take(WinHttpObjectRequest("not a url", p)), "");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(responseHeaders.str(), "");
}

TEST_F(Requests, WinHttpTimeoutsSetOnceBeforeOpenOrNotAtAll) {
  const struct {
    int32_t seconds;
    int32_t ms;  // each of the four arguments; 0: no SetTimeouts call
  } rows[] = {{-1, 0}, {0, 15000}, {-2, 15000}, {1, 1000}, {7, 7000}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.seconds);
    int32_t status = -1;
    WinHttpParams p;
    p.statusCode = &status;
    p.timeoutSeconds = row.seconds;
    Recorder recorder;
    Take(WinHttpObjectRequest(url("/page").c_str(), p));
    EXPECT_EQ(status, 200);
    auto set = recorder.Commands(CMD_OBJECT_CALL, "SetTimeouts");
    if (row.ms == 0) {
      EXPECT_TRUE(set.empty());
      continue;
    }
    ASSERT_EQ(set.size(), 1u);
    EXPECT_THAT(set[0]->numbers, ElementsAre(row.ms, row.ms, row.ms, row.ms));
    auto open = recorder.Commands(CMD_OBJECT_CALL, "Open");
    ASSERT_EQ(open.size(), 1u);
    EXPECT_LT(set[0], open[0]);
  }
}

// A lent object serves the call and stays the caller's: nothing is created
// and nothing released, and it serves the next call too. The routine's own
// object is created and released once.
TEST_F(Requests, WinHttpLentObjectUsedNotReleased) {
  void* lent = nullptr;
  ASSERT_TRUE(CreateObject(&lent, REQUEST_PROG_ID));
  for (int call = 0; call < 2; ++call) {
    SCOPED_TRACE(call);
    int32_t status = -1;
    WinHttpParams p;
    p.statusCode = &status;
    p.requestObject = lent;
    Recorder recorder;
    EXPECT_EQ(Take(WinHttpObjectRequest(url("/page").c_str(), p)), "page body");
    EXPECT_EQ(status, 200);
    EXPECT_TRUE(recorder.Commands(CMD_OBJECT_CREATE).empty());
    EXPECT_TRUE(recorder.Commands(CMD_OBJECT_RELEASE).empty());
    EXPECT_FALSE(recorder.objects.empty());
    for (const ObjectCall& c : recorder.objects) EXPECT_EQ(c.object, lent) << c.name;
  }
  ReleaseObject(&lent);
  Recorder recorder;
  Take(WinHttpObjectRequest(url("/page").c_str()));
  auto created = recorder.Commands(CMD_OBJECT_CREATE);
  auto released = recorder.Commands(CMD_OBJECT_RELEASE);
  ASSERT_EQ(created.size(), 1u);
  ASSERT_EQ(released.size(), 1u);
  EXPECT_NE(created[0]->object, nullptr);
  EXPECT_EQ(released[0]->object, created[0]->object);
}

TEST_F(Requests, WinHttpNoObjectUninitialisesAndChangesNothing) {
  TextVar headers("X: 1"), cookies("Cookie: a=1"), responseCookies("rc"), responseHeaders("rh");
  int32_t status = 77;
  WinHttpParams p;
  p.headers = &headers;
  p.cookies = &cookies;
  p.responseCookies = &responseCookies;
  p.responseHeaders = &responseHeaders;
  p.statusCode = &status;
  Recorder recorder;
  recorder.failCreate = true;
  EXPECT_EQ(Take(WinHttpObjectRequest(url("/page").c_str(), p)), "");
  ASSERT_THAT(recorder.Entries(), ElementsAre(DLL_ENTRY_CoInitialize, DLL_ENTRY_CoUninitialize));
  EXPECT_THAT(recorder.dll.at(0).args, ElementsAre(0u));
  EXPECT_TRUE(recorder.dll.at(1).args.empty());
  EXPECT_EQ(recorder.objects.size(), 1u);  // the creation, nothing after it
  EXPECT_EQ(headers.str(), "X: 1");
  EXPECT_EQ(cookies.str(), "Cookie: a=1");
  EXPECT_EQ(responseCookies.str(), "rc");
  EXPECT_EQ(responseHeaders.str(), "rh");
  EXPECT_EQ(status, 77);
  EXPECT_EQ(site_.LogSize(), 0u);
}

// --------------------------------------------------------------- both

// A header block well over the first buffer still gives its lines and the
// cookie at its end.
TEST_F(Requests, LargeHeaderBlockKeepsItsCookies) {
  Reply reply = Reply::Text(200, "big");
  for (int i = 0; i < 60; ++i) {
    reply.headerLines.push_back("X-Fill-" + std::to_string(i) + ": " + std::string(100, 'f'));
  }
  reply.headerLines.push_back("Set-Cookie: late=1; path=/");
  site_.Route("/big", reply);
  {
    TextVar responseHeaders, responseCookies;
    WinInetParams p;
    p.responseHeaders = &responseHeaders;
    p.responseCookies = &responseCookies;
    EXPECT_EQ(Take(WinInetRequest(url("/big").c_str(), p)), "big");
    EXPECT_GE(responseHeaders.str().size(), 6000u);
    EXPECT_THAT(responseHeaders.str(), HasSubstr("X-Fill-59: "));
    EXPECT_EQ(responseCookies.str(), "late=1");
  }
  {
    TextVar responseHeaders, responseCookies;
    WinHttpParams p;
    p.responseHeaders = &responseHeaders;
    p.responseCookies = &responseCookies;
    EXPECT_EQ(Take(WinHttpObjectRequest(url("/big").c_str(), p)), "big");
    EXPECT_THAT(responseHeaders.str(), HasSubstr("X-Fill-59: "));
    EXPECT_EQ(responseCookies.str(), "late=1");
  }
}

TEST_F(Requests, MegabyteBodyComesBackWhole) {
  std::string body(1 << 20, '\0');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
  site_.Route("/mb", Reply::Text(200, body));
  EXPECT_EQ(Take(WinInetRequest(url("/mb").c_str())), body);
  const Streamed streamed = StreamRequest(url("/mb"));
  EXPECT_TRUE(streamed.complete);
  EXPECT_EQ(streamed.length, body.size());
  EXPECT_TRUE(streamed.file == body) << "the pieces reach the file in order, none twice";
  EXPECT_EQ(Take(WinHttpObjectRequest(url("/mb").c_str())), body);
}

}  // namespace
}  // namespace tulora
