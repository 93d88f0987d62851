#include "arrange/ArrangeWindow.h"

#include "resources/Texts.h"
#include "ui/toolkit/Accessibility.h"
#include "ui/toolkit/Form.h"

namespace arrange {

ui::FormSlot<ArrangeWindow> Form3;

namespace {

constexpr COLORREF kWhite = 0x00FFFFFF;
constexpr COLORREF kBack = 0x00808080;

constexpr ui::ControlDesign kControls[] = {
    {ArrangeWindow::Label1, ui::ControlKind::Label, L"", 142, 720, 3570, 285, -1, kWhite, kBack, nullptr,
     ui::kCentred},
};

constexpr ui::FormDesign kDesign{
    .className = L"Lanshige.ArrangeWindow",
    .caption = L"",
    // Disabled while it waits: clicks mean nothing until the block is done.
    .style = WS_POPUP | WS_CLIPCHILDREN | WS_DISABLED,
    .exStyle = WS_EX_TOOLWINDOW,
    .clientWidth = 3855,
    .clientHeight = 1725,
    .back = kBack,
    .controls = kControls,
    .lines = {},
    .cursorId = 0,
    .iconId = 0,
    .centreAtLoad = true,
    .createAfterLoad = false,
};

}  // namespace

ArrangeWindow::ArrangeWindow()
    : Form(kDesign), timer1_(*this, kTimerId, kDelayMs), allocator_(&SystemAllocator()) {}

void ArrangeWindow::Form_Load() {
    SetCaption(Label1, texts::kArrangeWaiting);
    // The window has no caption: screen readers call it by its status.
    ui::NameAfterLabel(Hwnd(), Control(Label1));
    timer1_.SetEnabled(true);
}

void ArrangeWindow::Timer1_Timer() {
    timer1_.SetEnabled(false);
    Block block(*allocator_, kBlockChars);
    arranged_ = block.Claimed();
    // A block that could not be had is said so; it is never shown as done.
    SetCaption(Label1, arranged_ ? texts::kArrangeDone : texts::kArrangeFailed);
    ui::AnnounceName(Hwnd());
    SetEnabled(true);
    block.Release();
}

void ArrangeWindow::Form_Click() {
    // The window it came from first, as in the start window's hand-over.
    if (from_) from_->Show();
    Form3.Unload();
}

void ArrangeWindow::OnClose() {
    // Closing is ignored while it waits, and returns like the click once done.
    if (Enabled()) Form_Click();
}

void ArrangeWindow::Form_KeyDown(WPARAM key) {
    if (Enabled() && (key == VK_RETURN || key == VK_SPACE || key == VK_ESCAPE)) Form_Click();
}

void ArrangeWindow::OnTimer(UINT_PTR id) {
    if (id == kTimerId) Timer1_Timer();
}

void cmdArrange_Click(ui::Form& from) {
    ArrangeWindow& window = Form3();
    window.ReturnTo(from);
    window.Show();
    from.Hide();
}

}  // namespace arrange
