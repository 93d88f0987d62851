// The main window: the free-memory display, the four buttons, the popup menu
// and the one-second refresh that drives everything that changes over time.
#pragma once

#include "memory/MemoryStatus.h"
#include "ui/toolkit/Form.h"
#include "ui/toolkit/PopupMenu.h"

namespace ui {

class MainWindow : public Form {
public:
    // Control, menu and timer identifiers.
    enum : int {
        cmdArrange = 101,
        cmdHide,
        cmdAbout,
        cmdMemMsg,
        pgbMem,
        lblmsg1,
        lblMain,
        lblmsg2,
        lblBak1,
        lblmsg3,
        lblBak2,
    };
    enum : UINT { mnuShow = 201, mnuArrange, mnuQuit };
    static constexpr UINT_PTR kRefreshTimerId = 1;
    static constexpr UINT kRefreshIntervalMs = 1000;
    static constexpr double kMinFigurePoints = 9.0;

    MainWindow();

    PopupMenu& mnuMain() { return mnuMain_; }
    Timer& timShow() { return timShow_; }
    // The units the progress bar counts in: bytes shifted right this far.
    int ProgressShift() const { return progressShift_; }

    void timShow_Timer();
    // The refresh after its query: label, colour, bar and tip from a snapshot.
    void ShowFigures(const memory::MEMORYSTATUS& status);
    void cmdMemMsg_Click();
    void cmdAbout_Click();
    void cmdHide_Click();
    void mnuShow_Click();
    void mnuQuit_Click();

protected:
    void Form_Load() override;
    void Form_Unload() override;
    void OnTimer(UINT_PTR id) override;
    void OnCommand(UINT id) override;
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    PopupMenu mnuMain_;
    Timer timShow_;
    memory::NumberFormat numberFormat_;
    int progressShift_ = 10;
    int barPosition_ = 0;  // where the bar was last put; a new bar stands at 0
};

extern FormSlot<MainWindow> Form2;

}  // namespace ui
