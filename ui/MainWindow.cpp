#include "ui/MainWindow.h"

#include <commctrl.h>

#include "arrange/ArrangeWindow.h"
#include "memory/ReadMemoryStatus.h"
#include "resources/Texts.h"
#include "resources/resource.h"
#include "tray/Tray.h"
#include "ui/Forms.h"
#include "ui/presence/Efficiency.h"
#include "ui/toolkit/Program.h"

namespace ui {

FormSlot<MainWindow> Form2;

namespace {

constexpr FontDesign kSong105{L"SimSun", 10.5};
constexpr FontDesign kSong105Bold{L"SimSun", 10.5, true};
constexpr FontDesign kVerdana15Bold{L"Verdana", 15.0, true, ANSI_CHARSET};

using M = MainWindow;
using K = ControlKind;

// z-order, front to back; geometry in twips.
constexpr ControlDesign kControls[] = {
    {.id = M::cmdArrange, .kind = K::Button, .caption = texts::kCmdArrange, .left = 360, .top = 2280, .width = 3255, .height = 495, .tabIndex = 0, .font = &kSong105, .flags = kDefaultButton},
    {.id = M::cmdHide, .kind = K::Button, .caption = texts::kCmdHide, .left = 3000, .top = 3000, .width = 855, .height = 375, .tabIndex = 3, .flags = kCancelButton},
    {.id = M::cmdAbout, .kind = K::Button, .caption = texts::kCmdAbout, .left = 2040, .top = 3000, .width = 855, .height = 375, .tabIndex = 2},
    {.id = M::cmdMemMsg, .kind = K::Button, .caption = texts::kCmdMemMsg, .left = 120, .top = 3000, .width = 1575, .height = 375, .tabIndex = 1},
    // Screen readers call the bar by the label just before it, hidden as
    // the bar has no visible one: the bar stays the system's plain control.
    {.id = M::lblBarName, .kind = K::Label, .caption = texts::kProgressName, .left = 2520, .top = 120, .flags = kHidden},
    {.id = M::pgbMem, .kind = K::ProgressBar, .left = 2520, .top = 120, .width = 1095, .height = 1455},
    {.id = M::lblmsg1, .kind = K::Label, .caption = texts::kLblMsg1, .left = 360, .top = 120, .width = 915, .height = 210, .fore = kWhite, .back = kDarkGrey, .font = &kSong105Bold, .flags = kAutoSize},
    {.id = M::lblMain, .kind = K::Label, .left = 360, .top = 380, .width = 105, .height = 375, .fore = kWhite, .back = kDarkGrey, .font = &kVerdana15Bold, .flags = kAutoSize},
    {.id = M::lblmsg2, .kind = K::Label, .caption = texts::kLblMsg2, .left = 360, .top = 1215, .width = 2040, .height = 210, .fore = kWhite, .back = kDarkGrey, .font = &kSong105Bold, .flags = kAutoSize},
    {.id = M::lblBak1, .kind = K::Panel, .left = 120, .top = 0, .width = 3735, .height = 1695, .back = kDarkGrey},
    {.id = M::lblmsg3, .kind = K::Label, .caption = texts::kLblMsg3, .left = 360, .top = 1800, .width = 3255, .height = 375, .fore = kWhite, .back = kGrey},
    {.id = M::lblBak2, .kind = K::Panel, .left = 120, .top = 1680, .width = 3735, .height = 1215, .back = kGrey},
};

constexpr FormDesign kDesign{
    .className = L"Lanshige.MainWindow",
    .caption = texts::kMainCaption,
    .style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN,
    .clientWidth = 3975,
    .clientHeight = 3510,
    .back = kLightGrey,
    .controls = kControls,
    .iconId = IDI_APP,
};

// Separators between the items.
constexpr MenuItemDesign kMenu[] = {
    {M::mnuShow, texts::kMnuShow, false}, {}, {M::mnuArrange, texts::kMnuArrange, true}, {}, {M::mnuQuit, texts::kMnuQuit, true},
};

}  // namespace

MainWindow::MainWindow()
    : Form(kDesign), mnuMain_(kMenu), timShow_(*this, kRefreshTimerId, kRefreshIntervalMs, kRefreshToleranceMs) {}

void MainWindow::Form_Load() {
    tray::AddTrayIcon(*this, mnuMain_.Handle());

    memory::MEMORYSTATUS& status = memory::Status();
    status.dwLength = sizeof(memory::MEMORYSTATUS);
    memory::ReadMemoryStatus();
    numberFormat_ = memory::UserNumberFormat();

    progressShift_ = memory::ProgressShift(status.dwTotalPhys);
    SendMessageW(Control(pgbMem), PBM_SETRANGE32, 0, memory::ProgressUnits(status.dwTotalPhys, progressShift_));

    // Started in a locked session, it starts asleep.
    presence_.Start(Hwnd());
    timShow_.SetEnabled(presence_.Seen());
    SetControlTip(pgbMem, texts::kProgressTip);
    // 15 pt Verdana runs under the bar from about 10 GB free on: the figure
    // steps down in size rather than be cut off.
    FitLeftOf(lblMain, pgbMem, kMinFigurePoints);
}

void MainWindow::timShow_Timer() {
    memory::ReadMemoryStatus();
    ShowFigures(memory::Status());
    Follow(presence_.Retry());
}

void MainWindow::ShowFigures(const memory::MEMORYSTATUS& status) {
    SetForeColour(lblMain, memory::FreeColour(status, numberFormat_));
    SetCaption(lblMain, memory::MainLabelText(status, numberFormat_));
    // A position it already has, the bar does not repaint.
    SendMessageW(Control(pgbMem), PBM_SETPOS, memory::ProgressUnits(status.dwAvailPhys, progressShift_), 0);
    tray::SetTrayTip(memory::TrayTipText(status, numberFormat_));
}

void MainWindow::SetShown(bool shown) {
    shown ? Show() : Hide();
    mnuMain_.SetEnabled(mnuShow, !shown);
}

// Locked, switched away from, the display off or asleep: the refresh sleeps
// too. Seen again, what the user sees is made current at once, from a message
// of its own (where none can be posted, the tick comes): while the refresh's
// call to the shell waits, messages sent to this thread are delivered, and a
// notice handled in there would stop the timer for the caller to restart.
void MainWindow::Follow(presence::Presence::Change change) {
    if (change != presence::Presence::Change::None) timShow_.SetEnabled(change == presence::Presence::Change::Seen);
    if (change == presence::Presence::Change::Seen) PostMessageW(Hwnd(), kRefreshOnReturn, 0, 0);
}

// The timer follows the state as the refresh leaves it.
void MainWindow::RefreshOnReturn() {
    if (!presence_.Seen()) return;
    timShow_Timer();
    timShow_.SetEnabled(presence_.Seen());
}

void LoadMainWindow() { Form2().Load(); }

void ShowMainWindow() { Form2().Show(); }

void MainWindow::Form_Unload() {
    presence_.Stop();
    tray::RemoveTrayIcon();
    UnloadStartWindow();
    Form2.Unload();
    arrange::Form3.Unload();
}

void MainWindow::OnTimer(UINT_PTR id) {
    // A tick already posted when the refresh went to sleep is dropped.
    if (id == kRefreshTimerId && presence_.Seen()) timShow_Timer();
}

void MainWindow::OnCommand(UINT id) {
    switch (id) {
    // From the tray's menu the main window may be hidden already: no WM_SHOWWINDOW.
    case cmdArrange:
    case mnuArrange: arrange::cmdArrange_Click(*this); presence::FollowSight(Hwnd(), WM_NULL, 0); break;
    case cmdMemMsg:
        memory::ReadMemoryStatus();
        MessageBoxW(Hwnd(), memory::MemoryDetailsText(memory::Status(), numberFormat_).c_str(),
                    texts::kProductName, MB_OK);
        break;
    case cmdAbout: MessageBoxW(Hwnd(), texts::kAboutText, texts::kAboutTitle, MB_OK); break;
    case cmdHide: SetShown(false); break;
    case mnuShow: SetShown(true); break;
    case mnuQuit: Form2.Unload(); break;
    default: break;
    }
}

LRESULT MainWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_SETTINGCHANGE && lParam &&
        lstrcmpiW(reinterpret_cast<const wchar_t*>(lParam), L"intl") == 0) {
        // The user changed the regional settings: the next tick uses them.
        numberFormat_ = memory::UserNumberFormat();
    }
    if (msg == WM_WTSSESSION_CHANGE || msg == WM_POWERBROADCAST) Follow(presence_.OnMessage(msg, wParam, lParam));
    // The tray's menu loop passes through its hook to here.
    if (msg == WM_SHOWWINDOW || msg == WM_ENTERMENULOOP || msg == WM_EXITMENULOOP) presence::FollowSight(Hwnd(), msg, wParam);
    if (msg == kRefreshOnReturn) RefreshOnReturn();
    return Form::HandleMessage(msg, wParam, lParam);
}

}  // namespace ui
