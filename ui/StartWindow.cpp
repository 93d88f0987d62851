#include "ui/StartWindow.h"

#include "resources/Texts.h"
#include "ui/Forms.h"
#include "ui/toolkit/Program.h"

namespace ui {

FormSlot<StartWindow> Form1;

namespace {

// 黑体 is optional on Windows outside China; 微软雅黑 is always there.
constexpr FontDesign kHei2175{L"SimHei", 21.75, false, GB2312_CHARSET, L"Microsoft YaHei"};

using S = StartWindow;
using K = ControlKind;

// z-order, front to back; geometry in twips.
constexpr ControlDesign kControls[] = {
    {.id = S::lbl1_2, .kind = K::Label, .caption = texts::kStartLoading, .left = 472, .top = 1200, .width = 2790, .height = 180, .fore = kWhite, .back = kDarkGrey, .flags = kAutoSize},
    {.id = S::lbl1_1, .kind = K::Label, .caption = texts::kProductName, .left = 345, .top = 360, .width = 3045, .height = 435, .fore = kWhite, .back = kDarkGrey, .font = &kHei2175, .flags = kAutoSize},
    {.id = S::lbl1_0, .kind = K::Label, .caption = texts::kStartWelcome, .left = 120, .top = 120, .width = 1170, .height = 180, .fore = kWhite, .back = kDarkGrey, .flags = kAutoSize},
};

constexpr LineDesign kLines[] = {
    {120, 960, 3615, 975, kLightGrey, 2},
};

constexpr FormDesign kDesign{
    .className = L"Lanshige.StartWindow",
    .caption = texts::kStartCaption,
    // No taskbar button: it is a welcome box, gone in four seconds.
    .exStyle = WS_EX_TOOLWINDOW,
    .clientWidth = 3735,
    .clientHeight = 1575,
    .back = kDarkGrey,
    .controls = kControls,
    .lines = kLines,
    .cursorId = kCursorAppStarting,
    .centreAtLoad = true,
    // Whether the program runs at all is settled in the load handler, before
    // any window exists.
    .createAfterLoad = true,
    // Its caption is never seen; a screen reader would say it.
    .accessibleName = texts::kProductName,
};

}  // namespace

StartWindow::StartWindow() : Form(kDesign), timer1_(*this, kTimerId, kShowIntervalMs) {
    timer1_.SetEnabled(true);  // enabled from the start: it runs once the window exists
}

void StartWindow::Form_Load() {
    if (PreviousInstance()) {
        // Started from a script or a Run entry, this copy has no window in
        // front to lend its box the foreground: ask for it, or the box opens
        // behind whatever the user is doing.
        MessageBoxW(nullptr, texts::kSecondCopyText, texts::kSecondCopyTitle, MB_ICONSTOP | MB_SETFOREGROUND);
        ExitProcess(0);  // at once, running no unload handler
    }
    LoadMainWindow();
}

void StartWindow::Timer1_Timer() {
    // The main window first: destroying the active window first would hand
    // the activation to another program, and the foreground lock would then
    // keep the main window behind it.
    ShowMainWindow();
    Form1.Unload();
}

void StartWindow::OnClose() {
    // Alt+F4 during the four seconds: hand over now rather than leave the
    // user with no window.
    Timer1_Timer();
}

void UnloadStartWindow() { Form1.Unload(); }

void StartWindow::OnTimer(UINT_PTR id) {
    if (id == kTimerId) Timer1_Timer();
}

}  // namespace ui
