// System calls that newer Windows has and Windows 7 lacks, looked up at run
// time so that the program still starts where they are missing.
#pragma once

#include <windows.h>

namespace ui {

// The function of that name in a DLL the process has loaded; nullptr where
// this Windows has no such function.
template <class Fn>
Fn SystemProc(const wchar_t* module, const char* name) {
    HMODULE dll = GetModuleHandleW(module);
    return dll ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(dll, name))) : nullptr;
}

// The function of that name in a system DLL the process may not have loaded
// yet. The DLL comes from the system folder and nowhere else (Windows 7
// without KB2533623 refuses the flag, and lacks the DLLs this is for), and
// stays loaded, so that what is returned stays callable.
template <class Fn>
Fn SystemDllProc(const wchar_t* module, const char* name) {
    HMODULE dll = LoadLibraryExW(module, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return dll ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(dll, name))) : nullptr;
}

template <class Fn>
Fn UserProc(const char* name) {
    return SystemProc<Fn>(L"user32.dll", name);
}

}  // namespace ui
