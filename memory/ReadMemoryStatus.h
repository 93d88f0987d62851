// The one place that asks the operating system for the memory figures.
#pragma once

#include <windows.h>

#include "memory/MemoryStatus.h"

namespace memory {

struct MemoryCalls {
    BOOL(WINAPI* globalMemoryStatus)(LPMEMORYSTATUSEX status) = &GlobalMemoryStatusEx;
};
MemoryCalls& System();  // the calls in use: the system's unless a test has stood its own in

// Fills Status() with the current figures.
void ReadMemoryStatus();

// The user's decimal separator, as the regional settings give it.
NumberFormat UserNumberFormat();

}  // namespace memory
