// The main window: the free-memory display, the four buttons, the popup menu
// and the one-second refresh that drives everything that changes over time.
#pragma once

#include "memory/MemoryStatus.h"
#include "ui/presence/Presence.h"
#include "ui/toolkit/Form.h"
#include "ui/toolkit/PopupMenu.h"

namespace ui {

class MainWindow : public Form {
public:
    enum : int { cmdArrange = 101, cmdHide, cmdAbout, cmdMemMsg, pgbMem, lblmsg1, lblMain, lblmsg2, lblBak1, lblmsg3,
                 lblBak2, lblBarName };
    enum : UINT { mnuShow = 201, mnuArrange, mnuQuit };
    static constexpr UINT_PTR kRefreshTimerId = 1;
    static constexpr UINT kRefreshIntervalMs = 1000;
    // How late Windows 8 and later may run a refresh to wake with others: the
    // largest tolerance the program can bear, as the documentation asks. Two
    // refreshes are then 0.9 to 1.1 s apart, each early in its own second.
    static constexpr ULONG kRefreshToleranceMs = 100;
    static constexpr double kMinFigurePoints = 9.0;

    MainWindow();

protected:
    void Form_Load() override;
    void Form_Unload() override;
    void OnTimer(UINT_PTR id) override;
    void OnCommand(UINT id) override;
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void timShow_Timer();
    // The refresh after its query: label, colour, bar and tip from a snapshot.
    void ShowFigures(const memory::MEMORYSTATUS& status);
    static constexpr UINT kRefreshOnReturn = WM_APP + 1;  // posted to itself: the refresh on return into sight
    // 隐藏 and the menu's 显示界面: the menu offers Show exactly while hidden.
    void SetShown(bool shown);
    void Follow(presence::Presence::Change change);
    void RefreshOnReturn();

    PopupMenu mnuMain_;
    Timer timShow_;
    presence::Presence presence_;
    memory::NumberFormat numberFormat_;
    int progressShift_ = 10;
};

extern FormSlot<MainWindow> Form2;

}  // namespace ui
