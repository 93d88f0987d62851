#include "arrange/ArrangeWindow.h"

#include "resources/Texts.h"
#include "ui/presence/Efficiency.h"
#include "ui/toolkit/Form.h"

namespace arrange {

ui::FormSlot<ArrangeWindow> Form3;

namespace {

constexpr ui::ControlDesign kControls[] = {
    {.id = ArrangeWindow::Label1, .kind = ui::ControlKind::Label, .left = 142, .top = 720, .width = 3570, .height = 285, .fore = ui::kWhite, .back = ui::kGrey, .flags = ui::kCentred},
};

constexpr ui::FormDesign kDesign{
    .className = L"Lanshige.ArrangeWindow",
    .exStyle = WS_EX_TOOLWINDOW,
    .clientWidth = 3855,
    .clientHeight = 1725,
    .back = ui::kGrey,
    .controls = kControls,
    .centreAtLoad = true,
};

}  // namespace

ArrangeWindow::ArrangeWindow()
    : Form(kDesign), timer1_(*this, kTimerId, kDelayMs) {}

void ArrangeWindow::Form_Load() {
    SetCaption(Label1, texts::kArrangeWaiting);
    timer1_.SetEnabled(true);
}

void ArrangeWindow::Form_Annotate() {
    // The window has no caption: screen readers call it by its status.
    Annotated().Name(Hwnd(), Caption(Label1).c_str());
    Annotated().MakeLive(Control(Label1));
}

void ArrangeWindow::AnnounceStatus() {
    // The label is a live region, which screen readers read out once. The
    // window keeps the focus and is not named anew with an event: a reader
    // speaks a change of the focus's name as well (NVDA's nameChange), and
    // the result would be heard twice. Only with a screen reader on or a
    // client that has looked already: the annotations need oleacc.
    if (!Annotated().Asked() && !ui::ScreenReaderOn()) return;
    Annotated().MarkAsked();
    Form_Annotate();
    ui::AnnounceLiveRegion(Control(Label1));
}

void ArrangeWindow::Timer1_Timer() {
    timer1_.SetEnabled(false);
    // The block is written at full speed, not on an efficient core.
    const presence::FullSpeed fullSpeed;
    const Block block;  // released last, as the handler returns
    // A block that could not be had is said so; it is never shown as done.
    SetCaption(Label1, block.Claimed() ? texts::kArrangeDone : texts::kArrangeFailed);
    AnnounceStatus();
    done_ = true;
    // It has held the activation since the command, unless the user went to
    // another window meanwhile: one of ours gives it back, while the system
    // refuses this if another program has the foreground, as it should.
    SetForegroundWindow(Hwnd());
}

LRESULT ArrangeWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    // While it waits, a press, a key or a close means nothing; a press then
    // released once done is no click either.
    if (!done_ && (msg == WM_LBUTTONDOWN || msg == WM_KEYDOWN || msg == WM_CLOSE)) return 0;
    return Form::HandleMessage(msg, wParam, lParam);
}

void ArrangeWindow::Form_Click() {
    // The window it came from first, as in the start window's hand-over.
    if (from_) from_->Show();
    Form3.Unload();
}

// Once done, a close returns like the click.
void ArrangeWindow::OnClose() { Form_Click(); }

void ArrangeWindow::Form_KeyDown(WPARAM key) {
    if (key == VK_RETURN || key == VK_SPACE || key == VK_ESCAPE) Form_Click();
}

void ArrangeWindow::OnTimer(UINT_PTR id) {
    if (id == kTimerId) Timer1_Timer();
}

void cmdArrange_Click(ui::Form& from) {
    ArrangeWindow& window = Form3();
    window.ReturnTo(from);
    // Made anew for each arrangement: on the monitor the user is looking at.
    if (!window.Loaded()) window.CentreOn(from.Hwnd());
    // Shown and activated while the window it came from is still the active
    // one, so that the foreground is still this program's to give: hidden
    // first, the active window would pass the activation to the next window
    // in z-order, another program's, and Windows would then refuse it back.
    window.Show();
    from.Hide();
}

}  // namespace arrange
