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

// Hands out the system's own pages (none when told to fail) and notes, as the
// block comes back, whether every character of it was written, the caption
// and the process's figures while it was held.
class WatchingAllocator final : public arrange::BlockAllocator {
public:
    void* Allocate(std::size_t bytes) noexcept override {
        ++allocations;
        requested = bytes;
        g_steps.push_back("block claimed");
        return fail ? nullptr : arrange::SystemAllocator().Allocate(bytes);
    }
    void Free(void* block, std::size_t bytes) noexcept override {
        ++frees;
        g_steps.push_back("block released");
        const auto* chars = static_cast<const char16_t*>(block);
        allSpaces = std::all_of(chars, chars + bytes / 2, [](char16_t c) { return c == u' '; });
        captionWhileHeld = TextOf(Form3().Control(ArrangeWindow::Label1));
        whileHeld = Counters();
        arrange::SystemAllocator().Free(block, bytes);
    }
    bool fail = false;
    int allocations = 0, frees = 0;
    std::size_t requested = 0;
    bool allSpaces = false;
    std::wstring captionWhileHeld;
    PROCESS_MEMORY_COUNTERS whileHeld{};
};

void Click(HWND target) {
    SendMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(target, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
}

class Arrange : public ::testing::Test {
protected:
    void SetUp() override {
        ui::Form2().Show();
        arrange::cmdArrange_Click(ui::Form2());
        Form3().SetAllocator(block);
        g_steps.clear();
    }
    void TearDown() override {
        ui::Form2.Unload();
        PumpFor(50);
    }
    HWND Label() { return Form3().Control(ArrangeWindow::Label1); }
    WatchingAllocator block;
};

TEST_F(Arrange, TheCommandShowsTheWaitingWindowAndTheTickComesOnceAboutOneAndAHalfSecondsLater) {
    EXPECT_TRUE(Form3().Visible());
    EXPECT_FALSE(ui::Form2().Visible());
    EXPECT_EQ(TextOf(Label()), L"正在整理内存，请稍等...");
    const ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(PumpUntil([&] { return block.frees > 0; }, 6000));
    const ULONGLONG waited = GetTickCount64() - start;
    EXPECT_GE(waited, 1300u);
    EXPECT_LT(waited, 4000u);
    PumpFor(2000);
    EXPECT_EQ(block.allocations, 1) << "the tick never repeats";
}

TEST_F(Arrange, TheBlockIsSeventyMillionSpacesWrittenAtFullSpeedAndGivenBackAfterTheDoneCaption) {
    using Steps = std::vector<std::string>;
    Faked<presence::Calls> calls(presence::System());
    calls->setProcessInformation = &RecordThrottling;
    const PROCESS_MEMORY_COUNTERS before = Counters();
    Form3().Timer1_Timer();
    const PROCESS_MEMORY_COUNTERS after = Counters();
    // Then as the windows say: the arrange window shows.
    EXPECT_EQ(g_steps, (Steps{"high", "block claimed", "block released", "system"}));
    EXPECT_EQ(block.requested, 140'000'000u);
    EXPECT_EQ(block.frees, 1) << "released before the handler returns";
    EXPECT_TRUE(block.allSpaces);
    EXPECT_EQ(block.captionWhileHeld, L"内存整理完毕！单击窗体返回") << "release is the last step";
    EXPECT_EQ(TextOf(Label()), L"内存整理完毕！单击窗体返回");
    EXPECT_TRUE(Form3().Arranged());
    // Committed: private bytes up by the whole block. Written: every page of
    // it resident, which only a write makes it.
    EXPECT_GE(block.whileHeld.PagefileUsage, before.PagefileUsage + 139'000'000u);
    EXPECT_GE(block.whileHeld.WorkingSetSize, before.WorkingSetSize + 139'000'000u);
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
    Form3().Timer1_Timer();
    Click(Form3().Hwnd());
    EXPECT_EQ(g_steps, (Steps{"efficient", "system", "efficient", "system", "high", "system"}));
}

TEST_F(Arrange, ABlockThatCannotBeHadIsSaidSoAndTheProgramGoesOn) {
    block.fail = true;
    Form3().Timer1_Timer();
    EXPECT_EQ(TextOf(Label()), L"可用内存不足，整理未完成！单击窗体返回");
    EXPECT_FALSE(Form3().Arranged());
    EXPECT_EQ(block.frees, 0);
    Click(Form3().Hwnd());
    EXPECT_FALSE(Form3.Loaded());
    EXPECT_TRUE(ui::Form2().Visible());
}

TEST_F(Arrange, ASecondCommandWhileOpenOnlyChangesVisibility) {
    ArrangeWindow* first = &Form3();
    Form3().Timer1_Timer();
    ui::Form2().Show();
    arrange::cmdArrange_Click(ui::Form2());
    EXPECT_EQ(&Form3(), first);
    EXPECT_EQ(TextOf(Label()), L"内存整理完毕！单击窗体返回") << "the load did not run again";
    EXPECT_FALSE(ui::Form2().Visible());
}

TEST_F(Arrange, WhileItWaitsAClickACloseOrAKeyIsIgnored) {
    Click(Form3().Hwnd());
    SendMessageW(Form3().Hwnd(), WM_CLOSE, 0, 0);
    SendMessageW(Form3().Hwnd(), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_TRUE(Form3.Loaded());
    EXPECT_EQ(TextOf(Label()), L"正在整理内存，请稍等...");
    EXPECT_FALSE(ui::Form2().Visible());
    // Nor is a press made while it waits and let go once it is done.
    SendMessageW(Form3().Hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    Form3().Timer1_Timer();
    SendMessageW(Form3().Hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_TRUE(Form3.Loaded());
    EXPECT_EQ(block.allocations, 1);
}

// The active window at the moment the main window hides: the window a hidden
// active window would hand the activation to is another program's on Windows.
HWND g_activeAtHide;
LRESULT CALLBACK NoteActiveAtHide(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR) {
    if (msg == WM_SHOWWINDOW && !wParam) g_activeAtHide = GetActiveWindow();
    if (msg == WM_NCDESTROY) RemoveWindowSubclass(hwnd, &NoteActiveAtHide, id);
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

TEST_F(Arrange, TheWaitingWindowIsActiveBeforeTheMainWindowHidesAndKeepsTheKeyboard) {
    Form3.Unload();
    ui::Form2().Show();
    ASSERT_EQ(GetActiveWindow(), ui::Form2().Hwnd());
    g_activeAtHide = nullptr;
    SetWindowSubclass(ui::Form2().Hwnd(), &NoteActiveAtHide, 1, 0);
    arrange::cmdArrange_Click(ui::Form2());
    RemoveWindowSubclass(ui::Form2().Hwnd(), &NoteActiveAtHide, 1);
    EXPECT_EQ(g_activeAtHide, Form3().Hwnd());
    // A disabled window cannot be activated on Windows, whatever Wine allows.
    EXPECT_TRUE(IsWindowEnabled(Form3().Hwnd()));
    PumpFor(50);
    EXPECT_EQ(GetActiveWindow(), Form3().Hwnd());
    EXPECT_EQ(GetFocus(), Form3().Hwnd());
    Form3().Timer1_Timer();
    EXPECT_EQ(GetActiveWindow(), Form3().Hwnd());
    SendMessageW(Form3().Hwnd(), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_FALSE(Form3.Loaded());
    EXPECT_EQ(GetActiveWindow(), ui::Form2().Hwnd());
}

TEST_F(Arrange, WhenDoneItTakesTheKeyboardFromAnotherWindowOfTheProgram) {
    struct CloseWindow { void operator()(HWND hwnd) const { DestroyWindow(hwnd); } };
    ui::UniqueHandle<HWND, CloseWindow> other(CreateWindowExW(0, L"Static", L"other", WS_POPUP | WS_VISIBLE, 0, 0,
                                                              50, 50, nullptr, nullptr, nullptr, nullptr));
    SetForegroundWindow(other.get());
    ASSERT_EQ(GetForegroundWindow(), other.get());
    Form3().Timer1_Timer();
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
        if (!Form3.Loaded()) arrange::cmdArrange_Click(ui::Form2());
        Form3().Timer1_Timer();
        // The label takes its own clicks instead of passing them to the window.
        RECT r;
        GetWindowRect(Label(), &r);
        const LPARAM middle = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        EXPECT_EQ(SendMessageW(Label(), WM_NCHITTEST, 0, middle), HTCLIENT);
        Click(Label());
        SendMessageW(Form3().Hwnd(), WM_KEYDOWN, 'A', 0);
        ASSERT_TRUE(Form3.Loaded()) << "another key or the label closed it";
        bool mainShown = false;
        MessageLog destroyed(Form3().Hwnd(), WM_DESTROY, [&] { mainShown = ui::Form2().Visible(); });
        way.act(Form3().Hwnd());
        EXPECT_EQ(destroyed.seen.size(), 1u) << way.name;
        EXPECT_TRUE(mainShown) << way.name << ": the main window showed only after the arrange window went";
        EXPECT_TRUE(ui::Form2().Visible()) << way.name;
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
    ui::Monitors().ofWindow = &MainOnTheSecond;
    ui::Form2().Show();
    arrange::cmdArrange_Click(ui::Form2());
    ui::Monitors() = ui::SystemMonitors();
    RECT r;
    GetWindowRect(Form3().Hwnd(), &r);
    EXPECT_NEAR((r.left + r.right) / 2, 1440, 1);
    EXPECT_NEAR((r.top + r.bottom) / 2, 512, 1);
}

}  // namespace
