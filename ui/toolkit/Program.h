// The program around the forms: start-up and the single-instance claim.
#pragma once

#include <windows.h>

#include "ui/toolkit/Handles.h"

namespace ui {

// The program's first call: the single-instance mutex, then the common controls.
void Startup(HINSTANCE instance, const wchar_t* instanceName);
HINSTANCE Instance();

// The single-instance mutex of this copy, and whether another copy holds it.
struct InstanceClaim {
    UniqueKernelHandle mutex;
    bool previous;
};
[[nodiscard]] InstanceClaim ClaimInstance(const wchar_t* name);
// Whether another copy of the program was already running at Startup.
bool PreviousInstance();

}  // namespace ui
