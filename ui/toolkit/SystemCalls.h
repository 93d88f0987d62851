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

template <class Fn>
Fn UserProc(const char* name) { return SystemProc<Fn>(L"user32.dll", name); }

// The same from a system DLL the process may not have loaded yet, loaded by
// its full path in the system folder (LOAD_LIBRARY_SEARCH_SYSTEM32 needs
// KB2533623 on Windows 7) and kept, so that what it gives stays callable.
template <class Fn>
Fn SystemDllProc(const wchar_t* module, const char* name) {
    wchar_t path[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length + 1 + lstrlenW(module) >= MAX_PATH) return nullptr;
    path[length] = L'\\';
    lstrcpynW(path + length + 1, module, MAX_PATH - static_cast<int>(length) - 1);
    HMODULE dll = LoadLibraryW(path);
    return dll ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(dll, name))) : nullptr;
}

}  // namespace ui
