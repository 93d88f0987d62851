// The start window: refuses a second copy, loads the main window behind the
// scenes, welcomes the user for four seconds, then hands over.
#pragma once

#include "ui/toolkit/Form.h"

namespace ui {

class StartWindow : public Form {
public:
    enum : int { lbl1_0 = 301, lbl1_1, lbl1_2 };
    static constexpr UINT_PTR kTimerId = 1;
    static constexpr UINT kShowIntervalMs = 4000;

    StartWindow();

protected:
    void Form_Load() override;
    void OnTimer(UINT_PTR id) override;
    void OnClose() override;

private:
    void Timer1_Timer();
    Timer timer1_;
};

extern FormSlot<StartWindow> Form1;

}  // namespace ui
