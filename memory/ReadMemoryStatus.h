// The one place that asks the operating system for the memory figures.
#pragma once

#include "memory/MemoryStatus.h"

namespace memory {

// Fills Status() with the current figures.
void ReadMemoryStatus();

// The user's decimal separator, as the regional settings give it.
NumberFormat UserNumberFormat();

}  // namespace memory
