#include "ui/presence/Calls.h"

#include <versionhelpers.h>

#include <string>

namespace presence {

namespace lookup {

// By its full path: the search flags that would keep a DLL of the program's
// own folder out need KB2533623 on Windows 7.
FARPROC SystemFunction(const wchar_t* dll, const char* name) {
    std::wstring path(MAX_PATH, L'\0');
    const UINT length = GetSystemDirectoryW(path.data(), MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    path.resize(length);
    const HMODULE module = LoadLibraryW((path + L'\\' + dll).c_str());
    return module ? GetProcAddress(module, name) : nullptr;
}

bool Windows8OrLater() { return IsWindows8OrGreater(); }

}  // namespace lookup

Calls& System() {
    static Calls calls;
    return calls;
}

}  // namespace presence
