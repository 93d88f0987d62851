#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/wine/Faked.h"
#include "tests/wine/Pump.h"
#include "tray/Shell.h"
#include "tray/Tray.h"
#include "ui/toolkit/Form.h"
#include "ui/toolkit/Monitors.h"
#include "ui/toolkit/PopupMenu.h"
#include "ui/toolkit/Program.h"

using testing_support::PumpFor;

namespace {

struct Seen {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Seen> g_seen;
// Whether the icon a window had was still alive when it was given a new one.
bool g_oldIconAliveAtSetIcon = true;

// 0 for an icon that has been destroyed.
int IconWidth(HICON icon) {
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) return 0;
    BITMAP bm{};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return bm.bmWidth;
}

bool Alive(HICON icon) { return IconWidth(icon) > 0; }

// Passes every call on to the real shell, except those it is told to fail,
// and can run something inside a call, as a message sent meanwhile would.
class FakeShell : public tray::Shell {
public:
    struct Call {
        DWORD message;
        HICON icon;
        std::wstring tip;  // what the call carried, if it carried a tip
    };
    std::vector<Call> calls;
    std::set<DWORD> failing;
    DWORD duringMessage = 0;
    std::function<void()> during;
    std::optional<RECT> rect;
    ULONGLONG now = 1'000'000;

    bool Notify(DWORD message, NOTIFYICONDATAW& nid) override {
        calls.push_back({message, (nid.uFlags & NIF_ICON) ? nid.hIcon : nullptr,
                         (nid.uFlags & NIF_TIP) ? nid.szTip : L""});
        if (during && message == duringMessage) std::exchange(during, nullptr)();
        if (failing.count(message)) return false;
        return Shell_NotifyIconW(message, &nid) != FALSE;
    }
    std::optional<RECT> IconRect(HWND, UINT) override { return rect; }
    ULONGLONG Now() override { return now; }

    int Count(DWORD message) const {
        return static_cast<int>(std::count_if(calls.begin(), calls.end(),
                                              [message](const Call& c) { return c.message == message; }));
    }
};

// A window standing in for the main window: its own procedure records what
// reaches it past the hook.
class HookedForm : public ui::Form {
public:
    static constexpr ui::FormDesign kDesign{
        .className = L"Test.Hooked", .style = WS_OVERLAPPEDWINDOW, .clientWidth = 1500, .clientHeight = 1500,
        .back = ui::kLightGrey, .iconId = IDI_APP};
    HookedForm() : Form(kDesign) {}

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_SETICON) {
            const auto old = reinterpret_cast<HICON>(SendMessageW(Hwnd(), WM_GETICON, wParam, 0));
            if (old && !Alive(old)) g_oldIconAliveAtSetIcon = false;
        }
        if (msg >= WM_USER) {
            g_seen.push_back({msg, wParam, lParam});
            return 0x1234;
        }
        return Form::HandleMessage(msg, wParam, lParam);
    }
};

ui::FormSlot<HookedForm> Hooked;

// Run by a timer inside the popup menu's own loop. A named CALLBACK, not a
// lambda: on 32-bit x86 a TIMERPROC is __stdcall.
bool menuWasOpen;
HWND foregroundDuringMenu;
RECT menuRect;
void CALLBACK LookAtTheMenuAndCloseIt(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    HWND menuWindow = FindWindowW(L"#32768", nullptr);
    menuWasOpen = menuWindow != nullptr;
    if (menuWindow) GetWindowRect(menuWindow, &menuRect);
    foregroundDuringMenu = GetForegroundWindow();
    EndMenu();
}

constexpr ui::MenuItemDesign kItems[] = {{1, L"One(&O)", true}};

class TrayHook : public ::testing::Test {
protected:
    void SetUp() override {
        g_seen.clear();
        tray::UseShell(&shell);
        Hooked().Load();
        hwnd = Hooked().Hwnd();
        original = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
        tray::AddTrayIcon(Hooked(), menu.Handle());
    }
    void TearDown() override {
        tray::RemoveTrayIcon();
        Hooked.Unload();
        tray::UseShell(nullptr);
        PumpFor(50);
    }
    // Straight to the real shell, about our icon and nothing else.
    bool AskShell(DWORD message) {
        NOTIFYICONDATAW nid{};
        nid.cbSize = sizeof nid;
        nid.hWnd = hwnd;
        nid.uID = tray::kIconId;
        return Shell_NotifyIconW(message, &nid) != FALSE;
    }
    // Whether the shell has our icon: a modify of nothing fails.
    bool InShell() { return AskShell(NIM_MODIFY); }
    bool ShellLosesTheIcon() { return AskShell(NIM_DELETE); }
    // Opens the menu as the shell does; a timer inside the menu's loop looks
    // at it and closes it unchosen.
    LRESULT OpenAndDismissMenu() {
        menuRect = {};
        menuWasOpen = false;
        foregroundDuringMenu = nullptr;
        SetTimer(nullptr, 0, 300, LookAtTheMenuAndCloseIt);
        return SendMessageW(hwnd, tray::kCallbackMessage, tray::kIconId, WM_RBUTTONUP);
    }
    // What Windows sends when the window moves to a monitor of that DPI.
    void SetDpi(UINT dpi) {
        RECT suggested{};
        GetWindowRect(hwnd, &suggested);
        SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    }
    FakeShell shell;
    const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    ui::PopupMenu menu{kItems};
    HWND hwnd = nullptr;
    WNDPROC original = nullptr;
};

TEST_F(TrayHook, PassesEveryOtherMessageOnUnchangedUntilRemoveTakesTheIconAndItselfAway) {
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC)), &tray::TrayWndProc);
    // Not the callback message, though its lParam is the right-button release;
    // then the callback message with any other mouse message.
    EXPECT_EQ(SendMessageW(hwnd, WM_USER + 5, 77, WM_RBUTTONUP), 0x1234);
    for (LPARAM mouse : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN}) {
        EXPECT_EQ(SendMessageW(hwnd, tray::kCallbackMessage, tray::kIconId, mouse), 0x1234);
    }
    ASSERT_EQ(g_seen.size(), 6u);
    EXPECT_EQ(g_seen[0].msg, static_cast<UINT>(WM_USER + 5));
    EXPECT_EQ(g_seen[0].wParam, 77u);
    EXPECT_EQ(g_seen[0].lParam, WM_RBUTTONUP);
    EXPECT_EQ(g_seen[5].msg, tray::kCallbackMessage);
    EXPECT_EQ(g_seen[5].lParam, WM_RBUTTONDOWN);

    ASSERT_TRUE(InShell());
    tray::RemoveTrayIcon();
    // Gone from the shell while the window still lives: the shell's own
    // clean-up of dead windows' icons must not be what removes it.
    EXPECT_FALSE(InShell()) << "the icon was left behind";
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC)), original);
}

TEST_F(TrayHook, TheMenuOpensInTheForegroundAtThePointerOrFromTheKeyboardAtTheIcon) {
    // Some other window is in front, as when the user works elsewhere.
    HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                 nullptr, nullptr);
    SetForegroundWindow(other);
    ASSERT_EQ(GetForegroundWindow(), other);
    const POINT cursor{200, 200};
    ASSERT_TRUE(SetCursorPos(cursor.x, cursor.y));
    // The pointer over the icon: a click, and the menu opens where it is.
    shell.rect = RECT{cursor.x - 12, cursor.y - 12, cursor.x + 12, cursor.y + 12};
    EXPECT_EQ(OpenAndDismissMenu(), 0);
    EXPECT_TRUE(menuWasOpen);
    EXPECT_TRUE(g_seen.empty()) << "the release was passed on";
    EXPECT_EQ(menuRect.left, cursor.x);
    EXPECT_EQ(menuRect.top, cursor.y);
    EXPECT_EQ(shell.Count(NIM_SETFOCUS), 0) << "a mouse user's focus was moved";
    // The menu's window was brought to the front, or a click elsewhere would
    // not close the menu; and a message follows the menu so the next opens.
    EXPECT_EQ(foregroundDuringMenu, hwnd);
    MSG m;
    EXPECT_TRUE(PeekMessageW(&m, hwnd, WM_NULL, WM_NULL, PM_REMOVE));
    DestroyWindow(other);

    // Far from the pointer, as when Win+B and Enter chose the icon.
    const int x = 600, y = 400;
    shell.rect = RECT{x, y, x + 24, y + 24};
    OpenAndDismissMenu();
    // Windows puts it beside the icon, Wine (which ignores the rectangle to
    // keep clear) on it: either way within half an icon of its centre.
    const LONG dx = std::max<LONG>({menuRect.left - (x + 12), (x + 12) - menuRect.right, 0});
    const LONG dy = std::max<LONG>({menuRect.top - (y + 12), (y + 12) - menuRect.bottom, 0});
    EXPECT_LE(std::max(dx, dy), 12) << "the menu at " << menuRect.left << "," << menuRect.top;
    EXPECT_EQ(shell.Count(NIM_SETFOCUS), 1) << "the keyboard's focus was not given back";
}

TEST_F(TrayHook, TheTipReachesTheShellWithItsLineFeedAndALostIconComesBackWithIt) {
    shell.calls.clear();
    tray::SetTrayTip(L"岚石阁内存整理\n内存：45.25% 可用");
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].message, static_cast<DWORD>(NIM_MODIFY));
    EXPECT_EQ(shell.calls[0].tip, L"岚石阁内存整理\n内存：45.25% 可用");
    // The shell forgets the icon, as it does when it restarts.
    ASSERT_TRUE(ShellLosesTheIcon());
    tray::SetTrayTip(L"second");
    EXPECT_EQ(tray::TipSent(), L"second");
    EXPECT_TRUE(InShell());
    // Its restart notice brings the icon back with the tip, and reaches the window.
    ASSERT_TRUE(ShellLosesTheIcon());
    SendMessageW(hwnd, taskbarCreated, 0, 0);
    EXPECT_TRUE(InShell()) << "the icon was not added back";
    EXPECT_EQ(shell.calls.back().tip, L"second");
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0].msg, taskbarCreated);
}

TEST_F(TrayHook, AfterADpiChangeAndARestartTheShellHasALiveIconOfTheNewSize) {
    EXPECT_EQ(IconWidth(shell.calls.front().icon), 16);
    SetDpi(144);
    SendMessageW(hwnd, taskbarCreated, 0, 0);
    ASSERT_TRUE(shell.calls.back().icon) << "the restart notice re-adds the icon";
    EXPECT_TRUE(Alive(shell.calls.back().icon)) << "the shell was handed a destroyed icon";
    EXPECT_EQ(IconWidth(shell.calls.back().icon), 24);
}

// The taskbar's monitor, at 192 DPI; Windows before 8.1 cannot say its DPI.
const RECT kIconPlace{2000, 1040, 2032, 1072};
std::optional<UINT> g_taskbarDpi;
std::optional<UINT> TaskbarDpi(const RECT& rect) {
    return EqualRect(&rect, &kIconPlace) ? g_taskbarDpi : std::nullopt;
}

TEST_F(TrayHook, TheIconIsMadeForTheDpiOfTheMonitorThatHoldsIt) {
    testing_support::Faked<ui::MonitorCalls> monitors(ui::Monitors());
    monitors->dpiAt = &TaskbarDpi;
    g_taskbarDpi = 192;
    // The shell can say where the icon is only once it has it.
    shell.duringMessage = NIM_ADD;
    shell.during = [this] { shell.rect = kIconPlace; };
    SendMessageW(hwnd, taskbarCreated, 0, 0);
    EXPECT_EQ(IconWidth(shell.calls.back().icon), 32);
    SetDpi(144);
    EXPECT_EQ(IconWidth(shell.calls.back().icon), 32) << "the main window's DPI is not the icon's";
    // Where Windows cannot say the monitor's DPI, the main window's it is.
    g_taskbarDpi.reset();
    SendMessageW(hwnd, taskbarCreated, 0, 0);
    EXPECT_EQ(IconWidth(shell.calls.back().icon), 24);
    EXPECT_TRUE(Alive(shell.calls.back().icon));
}

TEST_F(TrayHook, AWindowGetsItsNewIconsBeforeTheOldAreDestroyed) {
    g_oldIconAliveAtSetIcon = true;
    SetDpi(144);
    EXPECT_TRUE(g_oldIconAliveAtSetIcon);
    EXPECT_TRUE(Alive(reinterpret_cast<HICON>(SendMessageW(hwnd, WM_GETICON, ICON_SMALL, 0))));
}

TEST_F(TrayHook, AFailedAddAfterARestartNoticeIsTriedAgainEveryFewSeconds) {
    tray::SetTrayTip(L"tip");
    ASSERT_TRUE(ShellLosesTheIcon());
    shell.failing = {NIM_ADD, NIM_MODIFY};
    shell.calls.clear();
    SendMessageW(hwnd, taskbarCreated, 0, 0);
    EXPECT_EQ(shell.Count(NIM_ADD), 1);
    shell.now += 1000;
    tray::SetTrayTip(L"tip");
    EXPECT_EQ(shell.Count(NIM_ADD), 1) << "a busy shell is asked again on every tick";
    shell.now += tray::kAddRetryMs;
    tray::SetTrayTip(L"tip");
    EXPECT_EQ(shell.Count(NIM_ADD), 2) << "the unchanged tip hid the failed add";
    shell.failing.clear();
    shell.now += tray::kAddRetryMs;
    tray::SetTrayTip(L"tip");
    EXPECT_EQ(shell.Count(NIM_ADD), 3);
    EXPECT_TRUE(InShell());
    tray::SetTrayTip(L"tip");
    EXPECT_EQ(shell.calls.size(), 5u) << "an icon in the shell with its tip is left alone";
}

TEST_F(TrayHook, NoIconIsAddedOnceTheUnloadHasBegun) {
    // The window is closed while a tip update waits for the shell.
    tray::SetTrayTip(L"one");
    shell.calls.clear();
    shell.failing = {NIM_MODIFY};
    shell.duringMessage = NIM_MODIFY;
    shell.during = [] { tray::RemoveTrayIcon(); };
    tray::SetTrayTip(L"two");
    ASSERT_EQ(shell.calls.size(), 2u);
    EXPECT_EQ(shell.calls[1].message, static_cast<DWORD>(NIM_DELETE));
    EXPECT_FALSE(InShell());

    // Closed while the add itself is on its way, its delete arriving first.
    shell.failing.clear();
    shell.duringMessage = NIM_ADD;
    shell.during = [] { tray::RemoveTrayIcon(); };
    tray::AddTrayIcon(Hooked(), menu.Handle());
    EXPECT_FALSE(InShell()) << "an icon outlives its window";
}

}  // namespace
