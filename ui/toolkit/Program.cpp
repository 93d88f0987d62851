#include "ui/toolkit/Program.h"

#include <commctrl.h>

namespace ui {

namespace {

HINSTANCE g_instance = nullptr;
bool g_previousInstance = false;

}  // namespace

void Startup(HINSTANCE instance, const wchar_t* instanceName) {
    g_instance = instance;
    // Held for the life of the process: its existence is the running copy.
    // Made before anything else, so two copies started together cannot both
    // see themselves as the first.
    static InstanceClaim claim = ClaimInstance(instanceName);
    g_previousInstance = claim.previous;

    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof icc;
    icc.dwICC = ICC_PROGRESS_CLASS | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&icc);
}

InstanceClaim ClaimInstance(const wchar_t* name) {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name);
    // Read at once: nothing may run between the call and its error code.
    const DWORD error = GetLastError();
    // A copy that runs elevated, or under another account in this session,
    // made the mutex with a descriptor this account may not open: that is a
    // running copy too, not the absence of one.
    return {UniqueKernelHandle(mutex), mutex ? error == ERROR_ALREADY_EXISTS : error == ERROR_ACCESS_DENIED};
}

HINSTANCE Instance() { return g_instance ? g_instance : GetModuleHandleW(nullptr); }
bool PreviousInstance() { return g_previousInstance; }

}  // namespace ui
