// The system calls of this layer, in one table that starts out holding the
// system's own; tests stand theirs in for a scope (tests/wine/Faked.h).
#pragma once

#include <windows.h>
#include <wtsapi32.h>

namespace presence {

namespace lookup {

// The function of that name in a system DLL, loaded by its full path from the
// system folder (the search flags that would keep the program's own folder
// out need KB2533623 on Windows 7) and kept loaded; nullptr where it lacks it.
FARPROC SystemFunction(const wchar_t* dll, const char* name);

// Calls it, looked up at the first call (the DLL is not loaded before); where
// it is missing, fails as a missing function does.
template <const wchar_t* dll, const char* name, class R, class... A>
R WINAPI Call(A... args) {
    static const auto fn = reinterpret_cast<R(WINAPI*)(A...)>(reinterpret_cast<void*>(SystemFunction(dll, name)));
    return fn ? fn(args...) : (SetLastError(ERROR_PROC_NOT_FOUND), R());
}

inline constexpr wchar_t kWts[] = L"wtsapi32.dll", kUia[] = L"uiautomationcore.dll", kKernel[] = L"kernel32.dll";
inline constexpr char kRegister[] = "WTSRegisterSessionNotification", kUnregister[] = "WTSUnRegisterSessionNotification",
                      kQuery[] = "WTSQuerySessionInformationW", kFree[] = "WTSFreeMemory",
                      kListening[] = "UiaClientsAreListening", kSetInformation[] = "SetProcessInformation";

bool Windows8OrLater();  // true only where the manifest names Windows 8 among its systems, as ours does

}  // namespace lookup

struct Calls {
    BOOL(WINAPI* registerSession)(HWND, DWORD) = &lookup::Call<lookup::kWts, lookup::kRegister, BOOL, HWND, DWORD>;
    BOOL(WINAPI* unregisterSession)(HWND) = &lookup::Call<lookup::kWts, lookup::kUnregister, BOOL, HWND>;
    BOOL(WINAPI* querySession)(HANDLE, DWORD, WTS_INFO_CLASS, LPWSTR*, DWORD*) =
        &lookup::Call<lookup::kWts, lookup::kQuery, BOOL, HANDLE, DWORD, WTS_INFO_CLASS, LPWSTR*, DWORD*>;
    void(WINAPI* freeMemory)(PVOID) = &lookup::Call<lookup::kWts, lookup::kFree, void, PVOID>;
    HPOWERNOTIFY(WINAPI* registerPowerSetting)(HANDLE, LPCGUID, DWORD) = &RegisterPowerSettingNotification;
    BOOL(WINAPI* unregisterPowerSetting)(HPOWERNOTIFY) = &UnregisterPowerSettingNotification;
    bool (*windows8OrLater)() = &lookup::Windows8OrLater;
    ULONGLONG(WINAPI* now)() = &GetTickCount64;
    BOOL(WINAPI* systemParameters)(UINT, UINT, PVOID, UINT) = &SystemParametersInfoW;
    BOOL(WINAPI* uiaClientsListening)() = &lookup::Call<lookup::kUia, lookup::kListening, BOOL>;
    int(WINAPI* systemMetric)(int) = &GetSystemMetrics;
    BOOL(WINAPI* sessionOfProcess)(DWORD, DWORD*) = &ProcessIdToSessionId;
    // Windows 8 has it, but its power throttling class only from Windows 10 1709.
    BOOL(WINAPI* setProcessInformation)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD) =
        &lookup::Call<lookup::kKernel, lookup::kSetInformation, BOOL, HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD>;
};

Calls& System();  // the calls in use: the system's unless a test has stood its own in

}  // namespace presence
