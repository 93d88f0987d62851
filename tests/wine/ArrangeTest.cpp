#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "arrange/ArrangeWindow.h"
#include "tests/wine/Faked.h"
#include "tests/wine/MessageLog.h"
#include "tests/wine/Pump.h"
#include "ui/MainWindow.h"
#include "ui/presence/Calls.h"
#include "ui/toolkit/Monitors.h"

using arrange::ArrangeWindow;
using arrange::Form3;
using namespace testing_support;

namespace {

// What the process asked of Windows, and when the block came and went.
std::vector<std::string> g_steps;

// SetProcessInformation(ProcessPowerThrottling) with execution speed decided
// by the process, on (EcoQoS) or off (the high level), or by the system.
BOOL WINAPI RecordThrottling(HANDLE process, PROCESS_INFORMATION_CLASS what, LPVOID info, DWORD size) {
    const auto& state = *static_cast<const PROCESS_POWER_THROTTLING_STATE*>(info);
    EXPECT_TRUE(process == GetCurrentProcess() && what == ProcessPowerThrottling && size == 12 && state.Version == 1);
    const ULONG masks = state.ControlMask << 4 | state.StateMask;
    g_steps.push_back(masks == 0x11 ? "efficient" : masks == 0x10 ? "high" : masks == 0 ? "system" : "?");
    return TRUE;
}

PROCESS_MEMORY_COUNTERS Counters() {
    PROCESS_MEMORY_COUNTERS c{};
    c.cb = sizeof c;
    GetProcessMemoryInfo(GetCurrentProcess(), &c, sizeof c);
    return c;
}

HWND Label() { return GetDlgItem(Form3().Hwnd(), ArrangeWindow::Label1); }
bool Open() { return FindWindowW(L"Lanshige.ArrangeWindow", nullptr) != nullptr; }

// The system's own pages (none when told to fail), noting as the block comes
// back whether every character of it was written, the caption and the
// process's figures while it was held.
struct Watched {
    bool fail = false;
    int allocations = 0, frees = 0;
    SIZE_T requested = 0;
    bool allSpaces = false;
    std::wstring captionWhileHeld;
    PROCESS_MEMORY_COUNTERS whileHeld{};
} g_block;

LPVOID WINAPI WatchedAllocate(LPVOID address, SIZE_T bytes, DWORD type, DWORD protect) {
    ++g_block.allocations;
    g_block.requested = bytes;
    g_steps.push_back("block claimed");
    return g_block.fail ? nullptr : VirtualAlloc(address, bytes, type, protect);
}

BOOL WINAPI WatchedFree(LPVOID block, SIZE_T bytes, DWORD type) {
    ++g_block.frees;
    g_steps.push_back("block released");
    const auto* chars = static_cast<const char16_t*>(block);
    g_block.allSpaces = std::all_of(chars, chars + g_block.requested / 2, [](char16_t c) { return c == u' '; });
    g_block.captionWhileHeld = TextOf(Label());
    g_block.whileHeld = Counters();
    return VirtualFree(block, bytes, type);
}

void Click(HWND target) {
    SendMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(target, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
}

// The arrange window's tick, as its timer gives it.
void Tick() { SendMessageW(Form3().Hwnd(), WM_TIMER, ArrangeWindow::kTimerId, 0); }

class Arrange : public ::testing::Test {
protected:
    void SetUp() override {
        g_block = {};
        memory->allocate = &WatchedAllocate;
        memory->free = &WatchedFree;
        ui::Form2().Show();
        arrange::cmdArrange_Click(ui::Form2());
        g_steps.clear();
    }
    void TearDown() override {
        ui::Form2.Unload();
        PumpFor(50);
    }
    Faked<arrange::MemoryCalls> memory{arrange::Memory()};
};

TEST_F(Arrange, TheCommandShowsTheWaitingWindowAndTheTickComesOnceAboutOneAndAHalfSecondsLater) {
    EXPECT_TRUE(IsWindowVisible(Form3().Hwnd()));
    EXPECT_FALSE(IsWindowVisible(ui::Form2().Hwnd()));
    EXPECT_EQ(TextOf(Label()), L"正在整理内存，请稍等...");
    const ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(PumpUntil([&] { return g_block.frees > 0; }, 6000));
    const ULONGLONG waited = GetTickCount64() - start;
    EXPECT_GE(waited, 1300u);
    EXPECT_LT(waited, 4000u);
    PumpFor(2000);
    EXPECT_EQ(g_block.allocations, 1) << "the tick never repeats";
}

TEST_F(Arrange, TheBlockIsSeventyMillionSpacesWrittenAtFullSpeedAndGivenBackAfterTheDoneCaption) {
    using Steps = std::vector<std::string>;
    Faked<presence::Calls> calls(presence::System());
    calls->setProcessInformation = &RecordThrottling;
    const PROCESS_MEMORY_COUNTERS before = Counters();
    Tick();
    const PROCESS_MEMORY_COUNTERS after = Counters();
    // Then as the windows say: the arrange window shows.
    EXPECT_EQ(g_steps, (Steps{"high", "block claimed", "block released", "system"}));
    EXPECT_EQ(g_block.requested, 140'000'000u);
    EXPECT_EQ(g_block.frees, 1) << "released before the handler returns";
    EXPECT_TRUE(g_block.allSpaces);
    EXPECT_EQ(g_block.captionWhileHeld, L"内存整理完毕！单击窗体返回") << "release is the last step";
    EXPECT_EQ(TextOf(Label()), L"内存整理完毕！单击窗体返回");
    // Committed: private bytes up by the whole block. Written: every page of
    // it resident, which only a write makes it.
    EXPECT_GE(g_block.whileHeld.PagefileUsage, before.PagefileUsage + 139'000'000u);
    EXPECT_GE(g_block.whileHeld.WorkingSetSize, before.WorkingSetSize + 139'000'000u);
    EXPECT_LT(after.PagefileUsage, before.PagefileUsage + 16'000'000u);
    EXPECT_LT(after.WorkingSetSize, before.WorkingSetSize + 16'000'000u);

    // EcoQoS only while no window of ours shows: hidden, the tray's menu
    // open and closed (its loop tells the main window), an arrangement from
    // it, then back.
    g_steps.clear();
    HWND main = ui::Form2().Hwnd();
    Click(Form3().Hwnd());
    SendMessageW(main, WM_COMMAND, ui::MainWindow::cmdHide, 0);
    SendMessageW(main, WM_ENTERMENULOOP, TRUE, 0);
    SendMessageW(main, WM_EXITMENULOOP, TRUE, 0);
    SendMessageW(main, WM_COMMAND, ui::MainWindow::mnuArrange, 0);
    Tick();
    Click(Form3().Hwnd());
    EXPECT_EQ(g_steps, (Steps{"efficient", "system", "efficient", "system", "high", "block claimed", "block released",
                              "system"}));
}

TEST_F(Arrange, ABlockThatCannotBeHadIsSaidSoAndTheProgramGoesOn) {
    g_block.fail = true;
    Tick();
    EXPECT_EQ(TextOf(Label()), L"可用内存不足，整理未完成！单击窗体返回");
    EXPECT_EQ(g_block.frees, 0);
    Click(Form3().Hwnd());
    EXPECT_FALSE(Open());
    EXPECT_TRUE(IsWindowVisible(ui::Form2().Hwnd()));
}

TEST_F(Arrange, ASecondCommandWhileOpenOnlyChangesVisibility) {
    ArrangeWindow* first = &Form3();
    Tick();
    ui::Form2().Show();
    arrange::cmdArrange_Click(ui::Form2());
    EXPECT_EQ(&Form3(), first);
    EXPECT_EQ(TextOf(Label()), L"内存整理完毕！单击窗体返回") << "the load did not run again";
    EXPECT_FALSE(IsWindowVisible(ui::Form2().Hwnd()));
}

TEST_F(Arrange, WhileItWaitsAClickACloseOrAKeyIsIgnored) {
    Click(Form3().Hwnd());
    SendMessageW(Form3().Hwnd(), WM_CLOSE, 0, 0);
    SendMessageW(Form3().Hwnd(), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_TRUE(Open());
    EXPECT_EQ(TextOf(Label()), L"正在整理内存，请稍等...");
    EXPECT_FALSE(IsWindowVisible(ui::Form2().Hwnd()));
    // Nor is a press made while it waits and let go once it is done.
    SendMessageW(Form3().Hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    Tick();
    SendMessageW(Form3().Hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_TRUE(Open());
    EXPECT_EQ(g_block.allocations, 1);
}

TEST_F(Arrange, TheWaitingWindowIsActiveBeforeTheMainWindowHidesAndKeepsTheKeyboard) {
    Form3.Unload();
    ui::Form2().Show();
    ASSERT_EQ(GetActiveWindow(), ui::Form2().Hwnd());
    // The active window at the moment the main window hides: the window a hidden
    // active window would hand the activation to is another program's on Windows.
    HWND activeAtHide = nullptr;
    MessageLog hidden(ui::Form2().Hwnd(), WM_SHOWWINDOW, [&] { activeAtHide = GetActiveWindow(); });
    arrange::cmdArrange_Click(ui::Form2());
    EXPECT_EQ(activeAtHide, Form3().Hwnd());
    // A disabled window cannot be activated on Windows, whatever Wine allows.
    EXPECT_TRUE(IsWindowEnabled(Form3().Hwnd()));
    PumpFor(50);
    EXPECT_EQ(GetActiveWindow(), Form3().Hwnd());
    EXPECT_EQ(GetFocus(), Form3().Hwnd());
    Tick();
    EXPECT_EQ(GetActiveWindow(), Form3().Hwnd());
    SendMessageW(Form3().Hwnd(), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_FALSE(Open());
    EXPECT_EQ(GetActiveWindow(), ui::Form2().Hwnd());
}

TEST_F(Arrange, WhenDoneItTakesTheKeyboardFromAnotherWindowOfTheProgram) {
    struct CloseWindow { void operator()(HWND hwnd) const { DestroyWindow(hwnd); } };
    ui::UniqueHandle<HWND, CloseWindow> other(CreateWindowExW(0, L"Static", L"other", WS_POPUP | WS_VISIBLE, 0, 0,
                                                              50, 50, nullptr, nullptr, nullptr, nullptr));
    SetForegroundWindow(other.get());
    ASSERT_EQ(GetForegroundWindow(), other.get());
    Tick();
    EXPECT_EQ(GetForegroundWindow(), Form3().Hwnd());
}

TEST_F(Arrange, OnceDoneEveryWayBackShowsTheMainWindowBeforeTheArrangeWindowGoes) {
    const struct Way {
        const char* name;
        void (*act)(HWND);
    } ways[] = {
        {"click", Click},
        {"WM_CLOSE", [](HWND w) { SendMessageW(w, WM_CLOSE, 0, 0); }},
        {"Enter", [](HWND w) { SendMessageW(w, WM_KEYDOWN, VK_RETURN, 0); }},
        {"Space", [](HWND w) { SendMessageW(w, WM_KEYDOWN, VK_SPACE, 0); }},
        {"Esc", [](HWND w) { SendMessageW(w, WM_KEYDOWN, VK_ESCAPE, 0); }},
    };
    for (const Way& way : ways) {
        if (!Open()) arrange::cmdArrange_Click(ui::Form2());
        Tick();
        // The label takes its own clicks instead of passing them to the window.
        RECT r;
        GetWindowRect(Label(), &r);
        const LPARAM middle = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        EXPECT_EQ(SendMessageW(Label(), WM_NCHITTEST, 0, middle), HTCLIENT);
        Click(Label());
        SendMessageW(Form3().Hwnd(), WM_KEYDOWN, 'A', 0);
        ASSERT_TRUE(Open()) << "another key or the label closed it";
        bool mainShown = false;
        MessageLog destroyed(Form3().Hwnd(), WM_DESTROY, [&] { mainShown = IsWindowVisible(ui::Form2().Hwnd()); });
        way.act(Form3().Hwnd());
        EXPECT_EQ(destroyed.seen.size(), 1u) << way.name;
        EXPECT_TRUE(mainShown) << way.name << ": the main window showed only after the arrange window went";
        EXPECT_TRUE(IsWindowVisible(ui::Form2().Hwnd())) << way.name;
        PumpFor(20);
    }
}

// The main window is on a second monitor, right of the primary one.
std::optional<ui::MonitorArea> MainOnTheSecond(HWND window, DWORD) {
    if (window == ui::Form2().Hwnd()) return ui::MonitorArea{{800, 0, 2080, 1024}, {800, 0, 2080, 984}};
    return ui::MonitorArea{{0, 0, 800, 600}, {0, 0, 800, 560}};
}

TEST_F(Arrange, AFreshWindowOpensCentredOnTheMonitorOfTheMainWindow) {
    Form3.Unload();
    Faked<ui::MonitorCalls> monitors(ui::Monitors());
    monitors->ofWindow = &MainOnTheSecond;
    ui::Form2().Show();
    arrange::cmdArrange_Click(ui::Form2());
    RECT r;
    GetWindowRect(Form3().Hwnd(), &r);
    EXPECT_NEAR((r.left + r.right) / 2, 1440, 1);
    EXPECT_NEAR((r.top + r.bottom) / 2, 512, 1);
}

}  // namespace
