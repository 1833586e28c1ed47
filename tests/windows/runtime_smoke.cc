// The runtime on Windows, checked under wine:
//
//   runtime_smoke run IMAGE    loads ostra.vlr from this program's folder,
//                              asks GetNewSock(1000) for the runtime entry
//                              and runs it on a copy of the program image
//                              (the launcher hands over the mapped section;
//                              the kernel reads what it is given either way)
//   runtime_smoke check IMAGE  runs itself with `run` on empty standard input
//                              and output to a file, then checks the exit
//                              code, the console bytes (the program's GBK,
//                              as a file gets them), the download folder
//                              beside the executable, and the declared DLL
//                              calls of the kernel's Windows back-end.
//   runtime_smoke request URL [PICTURE_URL]
//                              drives the system's request object through
//                              the kernel's object commands, as the
//                              program's HTTP routine does: a GET and a POST
//                              of a byte-array body to URL (an https page
//                              whose certificate the prefix trusts), and a
//                              GET of a JPEG picture at PICTURE_URL.
//
// Prints one line per failed check and the number failed; the exit code is
// that number.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <ole2.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/arguments.h"
#include "image/commands.h"
#include "image/interface_constants.h"
#include "runtime/kernel/com_objects.h"
#include "runtime/kernel/dll_calls.h"
#include "runtime/kernel/kernel_services.h"
#include "runtime/kernel/object_layer.h"
#include "runtime/kernel/platform_winapi.h"
#include "runtime/kernel/wide_paths_win32.h"
#include "runtime/text/codepage.h"

namespace {

using tulora::rt::DllCallOutcome;

using tulora::GetNewSockFunction;
using tulora::RuntimeEntry;

int g_failed = 0;

void Check(bool ok, const std::string& what) {
  if (ok) return;
  ++g_failed;
  std::printf("FAILED: %s\n", what.c_str());
}

std::wstring OwnDirectory() {
  std::wstring path = tulora::rt::ModuleFileName(nullptr);
  return path.substr(0, path.find_last_of(L'\\'));
}

std::string ReadAll(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// UTF-8 source text in code page 936, by the runtime's own tables.
std::string Gbk(const std::string& utf8) {
  using namespace tulora;
  const int n = static_cast<int>(utf8.size());
  std::vector<uint16_t> wide(utf8.size());
  const int units = CpMultiByteToWideChar(CP_UTF8_PAGE, 0, utf8.data(), n, wide.data(), n);
  std::string gbk(2 * utf8.size(), '\0');
  const int bytes = CpWideCharToMultiByte(CP_GBK, 0, wide.data(), units, gbk.data(),
                                          static_cast<int>(gbk.size()), nullptr, nullptr);
  gbk.resize(bytes > 0 ? static_cast<size_t>(bytes) : 0);
  return gbk;
}

// What the program shows when standard input is empty: the banner and the
// three questions, the same texts as the Linux end-to-end tests.
std::string ExpectedDialogue() {
  std::string rule = " ";
  for (int i = 0; i < 19; ++i) rule += "—";
  rule += " \r\n";
  return Gbk(rule + "|       Tulora - 127.0.0.1爬虫    |\r\n" +
             "|           Code By Tulora              |\r\n" +
             "|    使用方法：输入3到22120之间相对应的数字ID后回车      |\r\n" + rule + "\r\n" +
             "Tips：请输入起始的ID：\r\nTips：请输入下载图集套数：\r\n" +
             "Tips：输入数字[1] 开始爬图   输入其他按键退出程序 \r\n\r\n");
}

int Run(const char* imagePath) {
  std::ifstream in(imagePath, std::ios::binary);
  std::vector<char> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (image.empty()) {
    std::fprintf(stderr, "runtime smoke: no image at %s\n", imagePath);
    return 90;
  }
  const std::wstring kernel = OwnDirectory() + L"\\ostra.vlr";
  HMODULE library = LoadLibraryW(kernel.c_str());
  if (library == nullptr) {
    std::fprintf(stderr, "runtime smoke: ostra.vlr not loaded (error %lu)\n", GetLastError());
    return 91;
  }
  auto getNewSock = reinterpret_cast<GetNewSockFunction>(
      reinterpret_cast<void*>(GetProcAddress(library, "GetNewSock")));
  if (getNewSock == nullptr) return 92;
  RuntimeEntry entry = getNewSock(tulora::KERNEL_INTERFACE_VERSION);
  if (entry == nullptr) return 93;
  entry(image.data());
  return 94;  // the program ends the process itself; the entry came back
}

// Runs this program with `run IMAGE`, standard input an empty file and
// standard output and error files in this program's folder.
DWORD RunChild(const char* imagePath, std::string* out, std::string* err) {
  const std::wstring dir = OwnDirectory();
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  auto open = [&](const wchar_t* name, DWORD access, DWORD disposition) {
    return CreateFileW((dir + name).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  HANDLE empty = open(L"\\stdin", GENERIC_WRITE, CREATE_ALWAYS);
  CloseHandle(empty);
  HANDLE input = open(L"\\stdin", GENERIC_READ, OPEN_EXISTING);
  HANDLE output = open(L"\\stdout", GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE error = open(L"\\stderr", GENERIC_WRITE, CREATE_ALWAYS);
  STARTUPINFOW start{};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdInput = input;
  start.hStdOutput = output;
  start.hStdError = error;
  std::wstring command = L"\"" + tulora::rt::ModuleFileName(nullptr) + L"\" run \"" +
                         tulora::rt::WideFromUtf8(imagePath) + L"\"";
  PROCESS_INFORMATION process{};
  DWORD code = 0xFFFFFFFF;
  if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start,
                     &process)) {
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
      TerminateProcess(process.hProcess, 0xFFFFFFFE);
    }
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  CloseHandle(input);
  CloseHandle(output);
  CloseHandle(error);
  *out = ReadAll(dir + L"\\stdout");
  *err = ReadAll(dir + L"\\stderr");
  return code;
}

// A declared function: found by the kernel's back-end and called with the
// given words.
DllCallOutcome Call(const char* dll, const char* function, std::vector<uintptr_t> words,
                    uintptr_t* result) {
  const tulora::rt::DllExport* target = tulora::rt::ResolveDllFunction(dll, function);
  if (target == nullptr) return DllCallOutcome::kTooManyWords;  // reported by the caller's check
  return tulora::rt::CallDllWords(*target, static_cast<uint32_t>(words.size()), words.data(),
                                  result);
}

void CheckDllCalls() {
  using tulora::rt::ResolveDllFunction;
  // Names as the program image declares them, letter case and suffix as
  // written; an empty DLL name is the system's function of that name.
  struct Name {
    const char* dll;
    const char* function;
    bool found;
  };
  const Name names[] = {
      {"ole32", "CoInitialize", true},        {"Ole32", "CoUninitialize", true},
      {"", "MultiByteToWideChar", true},      {"kernel32.dll", "WideCharToMultiByte", true},
      {"wininet.dll", "InternetOpenA", true}, {"wininet", "InternetCloseHandle", true},
      {"kernel32", "NoSuchFunction", false},  {"nosuchdll", "InternetOpenA", false},
      {"", "NoSuchFunction", false},
  };
  for (const Name& n : names) {
    Check((ResolveDllFunction(n.dll, n.function) != nullptr) == n.found,
          std::string("resolving '") + n.function + "' of '" + n.dll + "'");
  }

  uintptr_t result = 0;
  Check(Call("kernel32", "MulDiv", {6, 7, 2}, &result) == DllCallOutcome::kDone && result == 21,
        "MulDiv(6, 7, 2) with three words gives 21");
  std::vector<uintptr_t> thirteen(13, 0);
  Check(Call("kernel32", "MulDiv", thirteen, &result) == DllCallOutcome::kTooManyWords,
        "13 words are more than a call takes");
#if defined(__i386__)
  // stdcall: the function removes what it takes; another count of words
  // leaves the stack pointer elsewhere, and so does a cdecl function.
  Check(Call("kernel32", "MulDiv", {6, 7}, &result) == DllCallOutcome::kWrongWordCount,
        "MulDiv with two words: stack not restored");
  Check(Call("kernel32", "MulDiv", {6, 7, 2, 9}, &result) == DllCallOutcome::kWrongWordCount,
        "MulDiv with four words: stack not restored");
  Check(Call("msvcrt", "labs", {static_cast<uintptr_t>(-5)}, &result) ==
            DllCallOutcome::kWrongWordCount,
        "cdecl labs: stack not restored");
  Check(Call("kernel32", "GetCurrentProcessId", {}, &result) == DllCallOutcome::kDone &&
            result == GetCurrentProcessId(),
        "GetCurrentProcessId with no words");
  // After the wrong counts the caller's frame is intact.
  Check(Call("kernel32", "MulDiv", {10, 10, 4}, &result) == DllCallOutcome::kDone && result == 25,
        "MulDiv(10, 10, 4) after the wrong counts gives 25");
#endif
  const char text[] = "\xC5\xC0";  // GBK for one character
  wchar_t wide[4] = {};
  Check(Call("", "MultiByteToWideChar",
             {936, 0, reinterpret_cast<uintptr_t>(text), 2, reinterpret_cast<uintptr_t>(wide), 4},
             &result) == DllCallOutcome::kDone &&
            result == 1 && wide[0] == 0x722C,
        "MultiByteToWideChar(936) of C5C0 through six words");
}

int CheckProgram(const char* imagePath) {
  std::string out, err;
  const DWORD code = RunChild(imagePath, &out, &err);
  Check(code == 0, "the program's exit code is " + std::to_string(code) + ", not 0");
  Check(out == ExpectedDialogue(), "console bytes: got " + std::to_string(out.size()) +
                                       " bytes, expected the banner and "
                                       "the three questions in GBK");
  Check(err.empty(), "nothing on standard error; got: " + err);
  const DWORD downloads = GetFileAttributesW((OwnDirectory() + L"\\Tulora").c_str());
  Check(downloads != INVALID_FILE_ATTRIBUTES && (downloads & FILE_ATTRIBUTE_DIRECTORY) != 0,
        "the download folder Tulora beside the executable");
  CheckDllCalls();
  std::printf("runtime smoke (%s): %d checks failed\n", sizeof(void*) == 4 ? "i686" : "x86-64",
              g_failed);
  return g_failed;
}

// --- The request object through the object commands -------------------------

using tulora::ArgumentRecord;
using tulora::CommandResult;

template <typename... Records>
CommandResult ObjectCommand(uint32_t command, Records... records) {
  auto args = tulora::MakeArguments(records...);
  return tulora::rt::RunObjectCommand(command, args.list());
}

ArgumentRecord ArgObject(void* object) {
  return tulora::ArgLibraryValue(object, tulora::TYPE_LIB_OBJECT);
}
ArgumentRecord ArgObjectVariable(void** object) {
  return tulora::ArgLibraryValue(object, tulora::TYPE_LIB_OBJECT | tulora::TYPE_BYREF);
}
ArgumentRecord ArgVariant(void* variant) {
  return tulora::ArgLibraryValue(variant, tulora::TYPE_LIB_VARIANT);
}
ArgumentRecord ArgVariantVariable(void** variant) {
  return tulora::ArgLibraryValue(variant, tulora::TYPE_LIB_VARIANT | tulora::TYPE_BYREF);
}

template <typename... Records>
CommandResult CallMember(void* object, const char* member, Records... records) {
  return ObjectCommand(tulora::CMD_OBJECT_CALL, ArgObject(object), tulora::ArgText(member),
                       records...);
}

// A text result of the kernel, taken over; null reads as "(none)".
std::string TakeText(CommandResult result) {
  char* text = static_cast<char*>(tulora::ResultPointer(result));
  if (text == nullptr) return "(none)";
  std::string copy(text);
  tulora::rt::ReleaseBlock(text);
  return copy;
}

// The bytes of a property read as a variant; "(no variant)" when the read fails.
std::string PropertyBytes(void* object, const char* property) {
  void* variant = nullptr;
  if (tulora::ResultInt(ObjectCommand(tulora::CMD_OBJECT_GET_VARIANT, ArgObject(object),
                                      tulora::ArgText(property), ArgVariantVariable(&variant))) ==
      0) {
    return "(no variant)";
  }
  auto* bytes = static_cast<tulora::ByteSet*>(
      tulora::ResultPointer(ObjectCommand(tulora::CMD_VARIANT_TO_BYTES, ArgVariant(variant))));
  std::string copy(reinterpret_cast<const char*>(bytes->data()), bytes->length);
  tulora::rt::ReleaseBlock(bytes);
  ObjectCommand(tulora::CMD_VARIANT_CLEAR, ArgVariantVariable(&variant));
  return copy;
}

void SetOption(void* object, int32_t index, int32_t value) {
  ObjectCommand(tulora::CMD_OBJECT_SET_INDEXED, ArgObject(object), tulora::ArgText("Option"),
                tulora::ArgInt(index), tulora::ArgInt(value));
}

// Creation: through COM directly and through the object command.
void CheckCreation() {
  void* direct = tulora::rt::CreateSystemObject("Tulora.NoSuchObject.1");
  Check(direct == nullptr, "no object for an unknown ProgID");
  direct = tulora::rt::CreateSystemObject(tulora::REQUEST_PROG_ID);
  Check(direct != nullptr, "the request object from its ProgID");
  tulora::rt::ReleaseSystemObject(direct);

  void* object = nullptr;
  Check(tulora::ResultInt(ObjectCommand(tulora::CMD_OBJECT_CREATE, ArgObjectVariable(&object),
                                        tulora::ArgText("Tulora.NoSuchObject.1"))) == 0 &&
            object == nullptr,
        "creating an object of an unknown ProgID answers false");
}

// One exchange as the HTTP routine does it; the status, or -1 without an object.
double Exchange(const char* method, const char* url, void** object, std::string* headers,
                std::string* body, const std::string& postBytes) {
  if (tulora::ResultInt(ObjectCommand(tulora::CMD_OBJECT_CREATE, ArgObjectVariable(object),
                                      tulora::ArgText(tulora::REQUEST_PROG_ID))) == 0) {
    return -1;
  }
  CallMember(*object, "SetTimeouts", tulora::ArgInt(15000), tulora::ArgInt(15000),
             tulora::ArgInt(15000), tulora::ArgInt(15000));
  CallMember(*object, "Open", tulora::ArgText(method), tulora::ArgText(url),
             tulora::ArgBool(false));
  SetOption(*object, tulora::REQUEST_OPTION_SSL_ERROR_IGNORE_FLAGS, 0x3300);
  CallMember(*object, "SetRequestHeader", tulora::ArgText("User-Agent"),
             tulora::ArgText("runtime-smoke"));
  if (postBytes.empty()) {
    CallMember(*object, "Send", tulora::ArgText(""));
  } else {
    std::vector<uint8_t> set(8 + postBytes.size());
    const uint32_t header[2] = {1, static_cast<uint32_t>(postBytes.size())};
    std::memcpy(set.data(), header, 8);
    std::memcpy(set.data() + 8, postBytes.data(), postBytes.size());
    void* variant = nullptr;
    ObjectCommand(tulora::CMD_BYTES_TO_VARIANT,
                  tulora::ArgBytes(reinterpret_cast<const tulora::ByteSet*>(set.data())),
                  ArgVariantVariable(&variant));
    CallMember(*object, "Send", ArgVariant(variant));
    ObjectCommand(tulora::CMD_VARIANT_CLEAR, ArgVariantVariable(&variant));
  }
  *headers = TakeText(CallMember(*object, "GetAllResponseHeaders"));
  const double status = tulora::ResultDouble(CallMember(*object, "Status"));
  *body = PropertyBytes(*object, "ResponseBody");
  return status;
}

void CheckGet(const char* url) {
  void* object = nullptr;
  std::string headers, body;
  const double status = Exchange("GET", url, &object, &headers, &body, "");
  Check(status == 200, "GET status: " + std::to_string(status) + ", not 200");
  Check(body.find("<h1>") != std::string::npos,
        "GET body of " + std::to_string(body.size()) + " bytes holds <h1>");
  Check(headers.find("Content-Type:") != std::string::npos ||
            headers.find("content-type:") != std::string::npos,
        "GetAllResponseHeaders gives the header block; got: " + headers);
  std::printf("GetAllResponseHeaders begins: %s\n", headers.substr(0, headers.find('\r')).c_str());
  // An indexed read with its argument, as an int32: Option(2), the URL's
  // code page, is UTF-8 until set (wine implements no read of 4 or 6).
  const int codePage = tulora::ResultInt(CallMember(object, "Option", tulora::ArgInt(2)));
  Check(codePage == 65001, "Option(2) reads 65001; got " + std::to_string(codePage));
  Check(tulora::ResultInt(CallMember(object, "NoSuchMember")) == 0,
        "a member the object lacks gives 0");
  ObjectCommand(tulora::CMD_OBJECT_RELEASE, ArgObjectVariable(&object));
  Check(object == nullptr, "the object variable is empty after the release");
}

// A picture of the other server, whose certificate is the second of the
// site's file.
void CheckPicture(const char* url) {
  void* object = nullptr;
  std::string headers, body;
  const double status = Exchange("GET", url, &object, &headers, &body, "");
  Check(status == 200 && body.rfind("\xFF\xD8", 0) == 0,
        "picture: status " + std::to_string(status) + ", " + std::to_string(body.size()) +
            " bytes of a JPEG picture");
  ObjectCommand(tulora::CMD_OBJECT_RELEASE, ArgObjectVariable(&object));
}

void CheckPost(const char* url) {
  void* object = nullptr;
  std::string headers, body;
  const double status = Exchange("POST", url, &object, &headers, &body, std::string("a=1\0b", 5));
  Check(status == 200, "POST of a byte-array body: status " + std::to_string(status));
  ObjectCommand(tulora::CMD_OBJECT_RELEASE, ArgObjectVariable(&object));
}

int CheckRequests(const char* url, const char* pictureUrl) {
  // The program's HTTP routine initialises COM on its thread itself.
  const HRESULT init = CoInitialize(nullptr);
  Check(SUCCEEDED(init), "CoInitialize");
  tulora::rt::RegisterPlatformObjects();
  CheckCreation();
  CheckGet(url);
  CheckPost(url);
  if (pictureUrl != nullptr) CheckPicture(pictureUrl);
  CoUninitialize();
  std::printf("runtime smoke request (%s): %d checks failed\n",
              sizeof(void*) == 4 ? "i686" : "x86-64", g_failed);
  return g_failed;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "run") == 0) return Run(argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "check") == 0) return CheckProgram(argv[2]);
  if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "request") == 0) {
    return CheckRequests(argv[2], argc == 4 ? argv[3] : nullptr);
  }
  std::fprintf(stderr, "usage: runtime_smoke run|check IMAGE | request URL [PICTURE_URL]\n");
  return 2;
}
