// 岚石阁内存整理: shows how much physical memory is free and can arrange it.
#include <windows.h>

#include "ui/StartWindow.h"
#include "ui/toolkit/Program.h"
#include "ui/toolkit/SystemCalls.h"

namespace {

// Only the system folder is searched for DLLs loaded from here on. Windows 7
// has SetDefaultDllDirectories only with KB2533623, so it is looked up; where
// it is missing, taking the current folder out of the search is what is left.
void RestrictDllSearch() {
    const auto setDefault =
        ui::SystemProc<BOOL(WINAPI*)(DWORD)>(L"kernel32.dll", "SetDefaultDllDirectories");
    if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) SetDllDirectoryW(L"");
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    RestrictDllSearch();

    ui::Startup(instance, L"Local\\Lanshige.MemoryArrange.Running");
    ui::Form1().Show();
    return ui::Run();
}
