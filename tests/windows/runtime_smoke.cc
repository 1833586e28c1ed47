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
//
// Prints one line per failed check and the number failed; the exit code is
// that number.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/interface_constants.h"
#include "runtime/kernel/dll_calls.h"
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

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "run") == 0) return Run(argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "check") == 0) return CheckProgram(argv[2]);
  std::fprintf(stderr, "usage: runtime_smoke run|check IMAGE\n");
  return 2;
}
