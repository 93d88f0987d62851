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

// Loads a DLL from the system folder and nowhere else, by its full path (the
// LOAD_LIBRARY_SEARCH_SYSTEM32 flag needs KB2533623 on Windows 7). It stays
// loaded, so that what is taken from it stays callable; nullptr on failure.
inline HMODULE LoadSystemDll(const wchar_t* name) {
    wchar_t path[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length + 1 + lstrlenW(name) >= MAX_PATH) return nullptr;
    path[length] = L'\\';
    lstrcpynW(path + length + 1, name, MAX_PATH - static_cast<int>(length) - 1);
    return LoadLibraryW(path);
}

// The function of that name in a system DLL the process may not have loaded
// yet; nullptr where this Windows has no such DLL or function.
template <class Fn>
Fn SystemDllProc(const wchar_t* module, const char* name) {
    HMODULE dll = LoadSystemDll(module);
    return dll ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(dll, name))) : nullptr;
}

template <class Fn>
Fn UserProc(const char* name) {
    return SystemProc<Fn>(L"user32.dll", name);
}

}  // namespace ui
