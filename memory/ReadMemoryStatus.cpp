#include "memory/ReadMemoryStatus.h"

namespace memory {

MemoryCalls& System() {
    static MemoryCalls calls;
    return calls;
}

void ReadMemoryStatus() {
    MEMORYSTATUSEX system{};
    system.dwLength = sizeof system;
    if (!System().globalMemoryStatus(&system)) return;  // keep the last figures rather than show zeros
    MEMORYSTATUS& record = Status();
    record.dwMemoryLoad = system.dwMemoryLoad;
    record.dwTotalPhys = system.ullTotalPhys;
    record.dwAvailPhys = system.ullAvailPhys;
    record.dwTotalPageFile = system.ullTotalPageFile;
    record.dwAvailPageFile = system.ullAvailPageFile;
    record.dwTotalVirtual = system.ullTotalVirtual;
    record.dwAvailVirtual = system.ullAvailVirtual;
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
