// The message loop, and the forms it runs: those with a window, and those
// unloaded while one of their own handlers may still be on the stack.
#include <algorithm>
#include <vector>

#include "ui/toolkit/Form.h"

namespace ui {

namespace {

std::vector<std::unique_ptr<Form>> g_retired;
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
