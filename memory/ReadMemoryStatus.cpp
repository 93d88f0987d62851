#include "memory/ReadMemoryStatus.h"

#include <windows.h>

namespace memory {

void ReadMemoryStatus() {
    MEMORYSTATUSEX ex{};
    ex.dwLength = sizeof ex;
    MEMORYSTATUS& s = Status();
    if (!GlobalMemoryStatusEx(&ex)) return;  // keep the last figures rather than show zeros
    s.dwMemoryLoad = ex.dwMemoryLoad;
    s.dwTotalPhys = ex.ullTotalPhys;
    s.dwAvailPhys = ex.ullAvailPhys;
    s.dwTotalPageFile = ex.ullTotalPageFile;
    s.dwAvailPageFile = ex.ullAvailPageFile;
    s.dwTotalVirtual = ex.ullTotalVirtual;
    s.dwAvailVirtual = ex.ullAvailVirtual;
}

NumberFormat UserNumberFormat() {
    NumberFormat fmt;
    wchar_t decimal[8] = {};
    if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, decimal, ARRAYSIZE(decimal)) > 0 &&
        decimal[0] != L'\0') {
        fmt.decimal = decimal;
    }
    return fmt;
}

}  // namespace memory
