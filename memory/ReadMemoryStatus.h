// The one place that asks the operating system for the memory figures.
#pragma once

#include <windows.h>

#include "memory/MemoryStatus.h"

namespace memory {

// Fills Status() with the current figures.
void ReadMemoryStatus();

// The system's answer into the record, field by field; the half of
// ReadMemoryStatus that tests can feed with figures of their own.
void CopyFigures(const MEMORYSTATUSEX& system, MEMORYSTATUS& record);

// The user's decimal separator, as the regional settings give it.
NumberFormat UserNumberFormat();

}  // namespace memory
