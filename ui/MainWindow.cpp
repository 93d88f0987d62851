#include "ui/MainWindow.h"

#include <commctrl.h>

#include "arrange/ArrangeWindow.h"
#include "memory/ReadMemoryStatus.h"
#include "resources/Texts.h"
#include "resources/resource.h"
#include "tray/Tray.h"
#include "ui/Forms.h"
#include "ui/toolkit/Program.h"

namespace ui {

FormSlot<MainWindow> Form2;

namespace {

constexpr COLORREF kWhite = 0x00FFFFFF;
constexpr COLORREF kDarkPanel = 0x00404040;
constexpr COLORREF kGreyPanel = 0x00808080;
constexpr COLORREF kFormBack = 0x00C0C0C0;

constexpr FontDesign kSong105{L"SimSun", 10.5, false, GB2312_CHARSET};
constexpr FontDesign kSong105Bold{L"SimSun", 10.5, true, GB2312_CHARSET};
constexpr FontDesign kVerdana15Bold{L"Verdana", 15.0, true, ANSI_CHARSET};

using M = MainWindow;
using K = ControlKind;

// z-order, front to back; geometry in twips.
constexpr ControlDesign kControls[] = {
    {M::cmdArrange, K::Button, texts::kCmdArrange, 360, 2280, 3255, 495, 0, kNoColour, kNoColour, &kSong105, kDefaultButton},
    {M::cmdHide, K::Button, texts::kCmdHide, 3000, 3000, 855, 375, 3, kNoColour, kNoColour, nullptr, kCancelButton},
    {M::cmdAbout, K::Button, texts::kCmdAbout, 2040, 3000, 855, 375, 2, kNoColour, kNoColour, nullptr, kNoFlags},
    {M::cmdMemMsg, K::Button, texts::kCmdMemMsg, 120, 3000, 1575, 375, 1, kNoColour, kNoColour, nullptr, kNoFlags},
    // Screen readers call the bar by the label just before it, hidden as
    // the bar has no visible one: the bar stays the system's plain control.
    {M::lblBarName, K::Label, texts::kProgressName, 2520, 120, 0, 0, -1, kNoColour, kNoColour, nullptr, kHidden},
    {M::pgbMem, K::ProgressBar, nullptr, 2520, 120, 1095, 1455, 7, kNoColour, kNoColour, nullptr, kNoFlags},
    {M::lblmsg1, K::Label, texts::kLblMsg1, 360, 120, 915, 210, 10, kWhite, kDarkPanel, &kSong105Bold, kAutoSize},
    {M::lblMain, K::Label, nullptr, 360, 380, 105, 375, 9, kWhite, kDarkPanel, &kVerdana15Bold, kAutoSize},
    {M::lblmsg2, K::Label, texts::kLblMsg2, 360, 1215, 2040, 210, 8, kWhite, kDarkPanel, &kSong105Bold, kAutoSize},
    {M::lblBak1, K::Panel, nullptr, 120, 0, 3735, 1695, 6, kNoColour, kDarkPanel, nullptr, kNoFlags},
    {M::lblmsg3, K::Label, texts::kLblMsg3, 360, 1800, 3255, 375, 5, kWhite, kGreyPanel, nullptr, kNoFlags},
    {M::lblBak2, K::Panel, nullptr, 120, 1680, 3735, 1215, 4, kNoColour, kGreyPanel, nullptr, kNoFlags},
};

constexpr FormDesign kDesign{
    .className = L"Lanshige.MainWindow",
    .caption = texts::kMainCaption,
    .style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN,
    .exStyle = 0,
    .clientWidth = 3975,
    .clientHeight = 3510,
    .back = kFormBack,
    .controls = kControls,
    .lines = {},
    .cursorId = 0,
    .iconId = IDI_APP,
    .centreAtLoad = false,
    .createAfterLoad = false,
};

constexpr MenuItemDesign kMenu[] = {
    {M::mnuShow, texts::kMnuShow, false},
    {0, nullptr, false},
    {M::mnuArrange, texts::kMnuArrange, true},
    {0, nullptr, false},
    {M::mnuQuit, texts::kMnuQuit, true},
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

    HWND bar = Control(pgbMem);
    progressShift_ = memory::ProgressShift(status.dwTotalPhys);
    SendMessageW(bar, PBM_SETRANGE32, 0, memory::ProgressUnits(status.dwTotalPhys, progressShift_));

    timShow_.SetEnabled(true);
    presence_.Start(Hwnd());
    SetControlTip(pgbMem, texts::kProgressTip);
    // 15 pt Verdana runs under the bar from about 10 GB free on: the figure
    // steps down in size rather than be cut off.
    FitLeftOf(lblMain, pgbMem, kMinFigurePoints);
}

void MainWindow::timShow_Timer() {
    memory::ReadMemoryStatus();
    ShowFigures(memory::Status());
    presence_.Retry();
}

void MainWindow::PresenceChanged(Presence::Change change) {
    if (change == Presence::Change::Unseen) {
        // Locked, switched away from, the display off or asleep: the
        // refresh sleeps too, and wakes nothing.
        timShow_.SetEnabled(false);
    } else if (change == Presence::Change::Seen) {
        // What the user sees again is current at once, then a second old at most.
        timShow_Timer();
        timShow_.SetEnabled(true);
    }
}

void MainWindow::ShowFigures(const memory::MEMORYSTATUS& status) {
    SetForeColour(lblMain, memory::FreeColour(status, numberFormat_));
    SetCaption(lblMain, memory::MainLabelText(status, numberFormat_));
    // The bar is ours alone, so the position it was last sent is the one it
    // has: a tick whose figures leave it where it is sends it nothing.
    const int position = memory::ProgressUnits(status.dwAvailPhys, progressShift_);
    if (position != barPosition_) {
        SendMessageW(Control(pgbMem), PBM_SETPOS, position, 0);
        barPosition_ = position;
    }
    tray::SetTrayTip(memory::TrayTipText(status, numberFormat_));
}

void MainWindow::cmdMemMsg_Click() {
    memory::ReadMemoryStatus();
    MsgBox(memory::MemoryDetailsText(memory::Status(), numberFormat_), MB_OK, texts::kProductName, Hwnd());
}

void MainWindow::cmdAbout_Click() { MsgBox(texts::kAboutText, MB_OK, texts::kAboutTitle, Hwnd()); }

void MainWindow::cmdHide_Click() {
    Hide();
    mnuMain_.SetEnabled(mnuShow, true);
}

void MainWindow::mnuShow_Click() {
    Show();
    mnuMain_.SetEnabled(mnuShow, false);
}

void LoadMainWindow() { Form2().Load(); }

void ShowMainWindow() { Form2().Show(); }

void MainWindow::mnuQuit_Click() { Form2.Unload(); }

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
    case cmdArrange:
    case mnuArrange:
        arrange::cmdArrange_Click(*this);
        break;
    case cmdMemMsg: cmdMemMsg_Click(); break;
    case cmdAbout: cmdAbout_Click(); break;
    case cmdHide: cmdHide_Click(); break;
    case mnuShow: mnuShow_Click(); break;
    case mnuQuit: mnuQuit_Click(); break;
    default: break;
    }
}

LRESULT MainWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_SETTINGCHANGE && lParam &&
        lstrcmpiW(reinterpret_cast<const wchar_t*>(lParam), L"intl") == 0) {
        // The user changed the regional settings: the next tick uses them.
        numberFormat_ = memory::UserNumberFormat();
    }
    if (msg == WM_WTSSESSION_CHANGE || msg == WM_POWERBROADCAST) {
        PresenceChanged(presence_.OnMessage(msg, wParam, lParam));
    }
    return Form::HandleMessage(msg, wParam, lParam);
}

}  // namespace ui
