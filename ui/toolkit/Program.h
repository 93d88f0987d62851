// The program around the forms: start-up, the single-instance claim, the
// message loop and the end.
#pragma once

#include <windows.h>

#include <memory>

#include "ui/toolkit/Handles.h"

namespace ui {

class Form;

// The first call of the program: the single-instance mutex, then the common
// controls.
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

// Forms with a window; when none is left the program ends.
int LoadedFormCount();
// The message loop; returns the exit code once the last form is unloaded.
int Run();
// Frees the forms retired by Unload. The loop does it after each message, so
// that a form may unload itself from inside its own handlers.
void CollectRetired();

namespace detail {
// The forms' own bookkeeping: a window made, a window gone, a form unloaded.
void FormCreated(Form* form);
void FormDestroyed(Form* form);
void Retire(std::unique_ptr<Form> form);
}  // namespace detail

}  // namespace ui
