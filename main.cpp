// 岚石阁内存整理: shows how much physical memory is free and can arrange it.
#include <windows.h>

#include "ui/StartWindow.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Only the system folder is searched for DLLs loaded from here on.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);

    ui::Startup(instance, L"Local\\Lanshige.MemoryArrange.Running");
    ui::Form1().Show();
    return ui::Run();
}
