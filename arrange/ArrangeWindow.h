// The arrange command and its window: waits a moment, claims and releases
// the block, then waits for a click to go back to the main window.
#pragma once

#include "arrange/Block.h"
#include "ui/toolkit/Form.h"

namespace arrange {

class ArrangeWindow : public ui::Form {
public:
    enum : int { Label1 = 401 };
    static constexpr UINT_PTR kTimerId = 1;
    static constexpr UINT kDelayMs = 1500;

    ArrangeWindow();
    // The window shown again when the user goes back.
    void ReturnTo(ui::Form& from) { from_ = &from; }

protected:
    void Form_Load() override;
    void Form_Click() override;
    void OnTimer(UINT_PTR id) override;
    void OnClose() override;
    void Form_KeyDown(WPARAM key) override;
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void Form_Annotate() override;

private:
    void Timer1_Timer();
    void AnnounceStatus();
    ui::Timer timer1_;
    ui::Form* from_ = nullptr;
    bool done_ = false;  // until the tick has come the window takes no input
};

extern ui::FormSlot<ArrangeWindow> Form3;

// The arrange command, behind both the button and the menu item: the window
// it is given hides until the arrangement is done and the user goes back.
void cmdArrange_Click(ui::Form& from);

}  // namespace arrange
