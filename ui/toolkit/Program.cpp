#include "ui/toolkit/Program.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "ui/toolkit/Form.h"

namespace ui {

namespace {

HINSTANCE g_instance = nullptr;
bool g_previousInstance = false;
// Forms unloaded while one of their own handlers may still be on the stack.
std::vector<std::unique_ptr<Form>> g_retired;
// The forms that have a window, for the message loop's keyboard handling.
std::vector<Form*> g_liveForms;

Form* LiveFormOf(HWND root) {
    const auto found = std::find_if(g_liveForms.begin(), g_liveForms.end(), [&](Form* f) { return f->Hwnd() == root; });
    return found == g_liveForms.end() ? nullptr : *found;
}

}  // namespace

namespace detail {

void FormCreated(Form* form) { g_liveForms.push_back(form); }

void FormDestroyed(Form* form) { std::erase(g_liveForms, form); }

void Retire(std::unique_ptr<Form> form) { g_retired.push_back(std::move(form)); }

}  // namespace detail

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

int LoadedFormCount() { return static_cast<int>(g_liveForms.size()); }

void CollectRetired() { g_retired.clear(); }

int Run() {
    MSG msg{};
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        Form* form = msg.hwnd ? LiveFormOf(GetAncestor(msg.hwnd, GA_ROOT)) : nullptr;
        if (!form || !form->PreTranslate(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        CollectRetired();
    }
    CollectRetired();
    return static_cast<int>(msg.wParam);
}

}  // namespace ui
