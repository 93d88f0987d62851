#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "tests/wine/Pump.h"
#include "tray/Tray.h"
#include "ui/Toolkit.h"

using testing_support::PumpFor;

namespace {

struct Seen {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Seen> g_seen;

// A window standing in for the main window: its own procedure records what
// reaches it past the hook.
class HookedForm : public ui::Form {
public:
    static constexpr ui::FormDesign kDesign{
        .className = L"Test.Hooked",
        .caption = L"hooked",
        .style = WS_OVERLAPPEDWINDOW,
        .exStyle = 0,
        .clientWidth = 1500,
        .clientHeight = 1500,
        .back = 0x00C0C0C0,
        .controls = {},
        .lines = {},
        .cursorId = 0,
        .iconId = 0,
        .centreAtLoad = false,
        .createAfterLoad = false,
    };
    HookedForm() : Form(kDesign) {}

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg >= WM_USER) {
            g_seen.push_back({msg, wParam, lParam});
            return 0x1234;
        }
        return Form::HandleMessage(msg, wParam, lParam);
    }
};

ui::FormSlot<HookedForm> Hooked;

constexpr ui::MenuItemDesign kItems[] = {{1, L"One(&O)", true}};

class TrayHook : public ::testing::Test {
protected:
    void SetUp() override {
        g_seen.clear();
        Hooked().Load();
        hwnd = Hooked().Hwnd();
        original = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
        tray::AddTrayIcon(Hooked(), menu.Handle());
    }
    void TearDown() override {
        tray::RemoveTrayIcon();
        Hooked.Unload();
        PumpFor(50);
    }
    ui::PopupMenu menu{kItems};
    HWND hwnd = nullptr;
    WNDPROC original = nullptr;
};

TEST_F(TrayHook, ReplacesTheProcedureAndRemoveRestoresIt) {
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC)), &tray::TrayWndProc);
    EXPECT_EQ(tray::PreviousWndProc(), original);
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = hwnd;
    nid.uID = tray::kIconId;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &nid)) << "the icon is in the shell";
    tray::RemoveTrayIcon();
    // Gone from the shell while the window still lives: the shell's own
    // clean-up of dead windows' icons must not be what removes it.
    EXPECT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &nid)) << "the icon was left behind";
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC)), original);
    // Straight to the window's own procedure again.
    EXPECT_EQ(SendMessageW(hwnd, WM_USER + 1, 5, WM_RBUTTONUP), 0x1234);
    ASSERT_EQ(g_seen.size(), 1u);
}

TEST_F(TrayHook, PassesEveryOtherMessageOnUnchanged) {
    // Not the callback message, though its lParam is the right-button release.
    EXPECT_EQ(SendMessageW(hwnd, WM_USER + 5, 77, WM_RBUTTONUP), 0x1234);
    // The callback message with any other mouse message.
    for (LPARAM mouse : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN}) {
        EXPECT_EQ(SendMessageW(hwnd, tray::kCallbackMessage, tray::kIconId, mouse), 0x1234);
    }
    ASSERT_EQ(g_seen.size(), 6u);
    EXPECT_EQ(g_seen[0].msg, static_cast<UINT>(WM_USER + 5));
    EXPECT_EQ(g_seen[0].wParam, 77u);
    EXPECT_EQ(g_seen[0].lParam, WM_RBUTTONUP);
    EXPECT_EQ(g_seen[5].msg, tray::kCallbackMessage);
    EXPECT_EQ(g_seen[5].lParam, WM_RBUTTONDOWN);
}

// Run by a timer inside the popup menu's own loop. A named CALLBACK, not a
// lambda: on 32-bit x86 a TIMERPROC is __stdcall.
bool menuWasOpen;
HWND foregroundDuringMenu;
void CALLBACK LookAtTheMenuAndCloseIt(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    menuWasOpen = FindWindowW(L"#32768", nullptr) != nullptr;
    foregroundDuringMenu = GetForegroundWindow();
    EndMenu();
}

TEST_F(TrayHook, RightButtonReleaseOpensTheMenuAndIsNotPassedOn) {
    // Some other window is in front, as when the user works elsewhere.
    HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                 nullptr, nullptr);
    SetForegroundWindow(other);
    ASSERT_EQ(GetForegroundWindow(), other);

    // The menu runs its own loop; a timer inside that loop closes it again.
    menuWasOpen = false;
    foregroundDuringMenu = nullptr;
    SetTimer(nullptr, 0, 300, LookAtTheMenuAndCloseIt);
    EXPECT_EQ(SendMessageW(hwnd, tray::kCallbackMessage, tray::kIconId, WM_RBUTTONUP), 0);
    EXPECT_TRUE(menuWasOpen);
    EXPECT_TRUE(g_seen.empty());
    // The menu's window was brought to the front, or a click elsewhere would
    // not close the menu; and a message follows the menu so the next opens.
    EXPECT_EQ(foregroundDuringMenu, hwnd);
    MSG m;
    EXPECT_TRUE(PeekMessageW(&m, hwnd, WM_NULL, WM_NULL, PM_REMOVE));
    DestroyWindow(other);
}

TEST_F(TrayHook, TheTipReachesTheShellWithItsLineFeed) {
    tray::SetTrayTip(L"岚石阁内存整理\n内存：45.25% 可用");
    EXPECT_EQ(tray::TipSent(), L"岚石阁内存整理\n内存：45.25% 可用");
}

TEST_F(TrayHook, ALostIconIsAddedAgainWithTheTip) {
    tray::SetTrayTip(L"first");
    // The shell forgets the icon, as it does when it restarts.
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = hwnd;
    nid.uID = tray::kIconId;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &nid));
    tray::SetTrayTip(L"second");
    EXPECT_EQ(tray::TipSent(), L"second");
    // It is there again: deleting it succeeds once more.
    EXPECT_TRUE(Shell_NotifyIconW(NIM_DELETE, &nid));
}

TEST_F(TrayHook, TheShellsRestartNoticeReachesTheHookAndTheWindow) {
    tray::SetTrayTip(L"tip");
    const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = hwnd;
    nid.uID = tray::kIconId;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &nid));
    SendMessageW(hwnd, taskbarCreated, 0, 0);
    EXPECT_TRUE(Shell_NotifyIconW(NIM_DELETE, &nid)) << "the icon was added back";
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0].msg, taskbarCreated);
}

}  // namespace
