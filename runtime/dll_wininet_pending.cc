// WinINet while the build has no network back-end: every call fails the way
// the platform's functions fail without a network (a null handle, FALSE).
#include "runtime/dll_exports_posix.h"

namespace tulora::rt {

Word DllInternetOpenA(Word, Word, Word, Word, Word) { return 0; }
Word DllInternetCloseHandle(Word) { return 0; }
Word DllInternetConnectA(Word, Word, Word, Word, Word, Word, Word, Word) { return 0; }
Word DllHttpOpenRequestA(Word, Word, Word, Word, Word, Word, Word, Word) { return 0; }
Word DllHttpSendRequestA(Word, Word, Word, Word, Word) { return 0; }
Word DllInternetReadFile(Word, Word, Word, Word) { return 0; }
Word DllHttpQueryInfoA(Word, Word, Word, Word, Word) { return 0; }

}  // namespace tulora::rt
