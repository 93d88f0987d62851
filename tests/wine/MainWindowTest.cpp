#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <commctrl.h>

#include <array>
#include <bit>
#include <cstdio>
#include <cwchar>
#include <initializer_list>
#include <optional>
#include <ostream>
#include <utility>
#include <vector>

#include "arrange/ArrangeWindow.h"
#include "memory/MemoryStatus.h"
#include "memory/ReadMemoryStatus.h"
#include "tests/wine/Faked.h"
#include "tests/wine/MessageLog.h"
#include "tests/wine/Pump.h"
#include "tray/Shell.h"
#include "tray/Tray.h"
#include "ui/MainWindow.h"
#include "ui/StartWindow.h"
#include "ui/presence/Calls.h"
#include "ui/presence/Presence.h"

using namespace testing_support;
using ui::Form2;
using ui::MainWindow;

namespace {

// The tip the shell last took, passed on to the real shell.
std::wstring g_tip;
BOOL WINAPI NotifyAndKeepTheTip(DWORD message, PNOTIFYICONDATAW nid) {
    const BOOL taken = Shell_NotifyIconW(message, nid);
    if (taken && (nid->uFlags & NIF_TIP)) g_tip = nid->szTip;
    return taken;
}

LOGFONTW FontOf(HWND control) {
    LOGFONTW lf{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof lf, &lf);
    return lf;
}

RECT RectIn(HWND parent, HWND child) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// What Windows sends when the window moves to a monitor of that DPI.
void SetDpi(ui::Form& form, UINT dpi) {
    RECT at;
    GetWindowRect(form.Hwnd(), &at);
    SendMessageW(form.Hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&at));
}

// A key as the message loop hands it to the form.
void Key(ui::Form& form, WPARAM key) {
    MSG msg{GetFocus(), WM_KEYDOWN, key, 0, 0, {}};
    EXPECT_TRUE(form.PreTranslate(msg)) << key;
}

// A named CALLBACK: on 32-bit x86 a TIMERPROC is __stdcall.
void CALLBACK CloseTheMenu(HWND, UINT, UINT_PTR id, DWORD) { KillTimer(nullptr, id), EndMenu(); }

// The tray's menu as the window sees it open on a right-click over the icon,
// closed unchosen from inside its loop: its handle, from WM_INITMENUPOPUP.
HMENU OpenedTrayMenu(HWND window) {
    MessageLog opened(window, WM_INITMENUPOPUP);
    SetTimer(nullptr, 0, 100, &CloseTheMenu);
    SendMessageW(window, tray::kCallbackMessage, tray::kIconId, WM_RBUTTONUP);
    return opened.seen.empty() ? nullptr : reinterpret_cast<HMENU>(opened.seen.front());
}
bool Offered(HMENU menu, UINT id) { return !(GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED); }

bool Shown(const ui::Form& form) { return IsWindowVisible(form.Hwnd()) != FALSE; }

struct DeleteDc { void operator()(HDC dc) const { DeleteDC(dc); } };
using MemoryDc = ui::UniqueHandle<HDC, DeleteDc>;

bool LooksDefault(const ui::Form& form, int id) {
    return (GetWindowLongPtrW(form.Control(id), GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
}

// 121,470,976 of 268,435,456 bytes free: 45.25 % and 115.84 MB.
memory::MEMORYSTATUS WorkedExample() {
    memory::MEMORYSTATUS s{};
    s.dwTotalPhys = 268'435'456;
    s.dwAvailPhys = 121'470'976;
    return s;
}

// The system's memory figures as a test gives them.
MEMORYSTATUSEX g_figures{};
BOOL WINAPI GivenFigures(LPMEMORYSTATUSEX status) { return *status = g_figures, TRUE; }
// A refresh tick, as the timer sends it, that finds these figures (the
// test's Faked<memory::MemoryCalls> in place).
void TickWith(const memory::MEMORYSTATUS& s) {
    g_figures = {sizeof g_figures, 0, s.dwTotalPhys, s.dwAvailPhys, 0, 0, 0, 0, 0};
    SendMessageW(Form2().Hwnd(), WM_TIMER, MainWindow::kRefreshTimerId, 0);
}

// Puts back, as the scope ends, a setting of the user's that a test changed
// (the guide: the ARM64 build's clang 16 deduces no aggregate's arguments).
template <class Undo> struct AtExit {
    Undo undo;
    ~AtExit() { undo(); }
};
template <class Undo> AtExit(Undo) -> AtExit<Undo>;

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override { Form2().Load(); }
    void TearDown() override {
        Form2.Unload();
        arrange::Form3.Unload();
        ui::Form1.Unload();
        PumpFor(50);
    }
};

TEST_F(MainWindowTest, AfterLoadItIsHiddenWithItsMenuAndTheFirstTickComesASecondLater) {
    MainWindow& w = Form2();
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(Shown(w));
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(w.Hwnd(), GWLP_WNDPROC)), &tray::TrayWndProc);
    EXPECT_EQ(memory::Status().dwLength, sizeof(memory::MEMORYSTATUS));
    // The bar counts in KiB from 0 to the total, and stands at 0.
    HWND bar = w.Control(MainWindow::pgbMem);
    EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, TRUE, 0), 0);
    EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), static_cast<LRESULT>(memory::Status().dwTotalPhys / 1024));
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 0);
    HMENU menu = OpenedTrayMenu(w.Hwnd());
    ASSERT_EQ(GetMenuItemCount(menu), 5);
    const wchar_t* captions[] = {L"显示界面(&S)", nullptr, L"整理内存(&R)", nullptr, L"退出程序(&Q)"};
    for (int i = 0; i < 5; ++i) {
        wchar_t text[64] = {};
        GetMenuStringW(menu, i, text, 64, MF_BYPOSITION);
        const UINT state = GetMenuState(menu, i, MF_BYPOSITION);
        EXPECT_EQ((state & MF_SEPARATOR) != 0, captions[i] == nullptr) << i;
        EXPECT_STREQ(text, captions[i] ? captions[i] : L"") << i;
        EXPECT_EQ(captions[i] && (state & MF_GRAYED) != 0, i == 0) << "only 显示界面 is greyed; " << i;
    }
    HWND label = w.Control(MainWindow::lblMain);
    EXPECT_EQ(TextOf(label), L"");
    ASSERT_TRUE(PumpUntil([&] { return !TextOf(label).empty(); }, 5000)) << "hidden, it still ticks";
    EXPECT_GE(GetTickCount64() - start, 800u);
}

// 121,470,976 bytes are 118,624 KiB.
TEST_F(MainWindowTest, ATickShowsItsSnapshotsFiguresAndMovesTheBar) {
    MainWindow& w = Form2();
    HWND bar = w.Control(MainWindow::pgbMem);
    memory::MEMORYSTATUS s = WorkedExample();
    Faked<tray::ShellCalls> shell(tray::Shell());
    shell->notify = &NotifyAndKeepTheTip;
    Faked<memory::MemoryCalls> figures(memory::System());
    figures->globalMemoryStatus = &GivenFigures;
    TickWith(s);
    EXPECT_EQ(TextOf(w.Control(MainWindow::lblMain)), L"45.25%\n(115.84 MB)");
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 118'624);
    EXPECT_EQ(g_tip, L"岚石阁内存整理\n内存：45.25% 可用");
    s.dwAvailPhys += 1024 * 1024;
    TickWith(s);
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 118'624 + 1024);
}

// The bar's tip sits in the bar's window procedure: a move of the mouse over
// the bar, as the system sends it, shows it.
TEST_F(MainWindowTest, TheBarsTipShowsWhenTheLoopRelaysTheMouseOverTheBar) {
    MainWindow& w = Form2();
    w.Show();
    HWND bar = w.Control(MainWindow::pgbMem);
    RECT r;
    GetWindowRect(bar, &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PumpFor(100);
    const auto shownTip = [&] {
        for (HWND t = FindWindowExW(nullptr, nullptr, TOOLTIPS_CLASSW, nullptr); t;
             t = FindWindowExW(nullptr, t, TOOLTIPS_CLASSW, nullptr)) {
            if (GetWindow(t, GW_OWNER) == w.Hwnd() && IsWindowVisible(t)) return TextOf(t);
        }
        return std::wstring();
    };
    // As the loop has it from GetMessage, on its way to the bar.
    MSG move{bar, WM_MOUSEMOVE, 0, MAKELPARAM((r.right - r.left) / 2, (r.bottom - r.top) / 2), GetTickCount(),
             {(r.left + r.right) / 2, (r.top + r.bottom) / 2}};
    w.PreTranslate(move);
    EXPECT_TRUE(PumpUntil([&] { return !shownTip().empty(); }, 5000));
    EXPECT_EQ(shownTip(), L"深色部分为可用内存，浅色部分为已用内存");
}

TEST_F(MainWindowTest, ANewDecimalSeparatorIsTakenOnceTheRegionalSettingsAnnounceIt) {
    MainWindow& w = Form2();
    HWND label = w.Control(MainWindow::lblMain);
    // The separator as the regional settings change it; the figures are read from there.
    wchar_t old[8] = {};
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, old, ARRAYSIZE(old));
    ASSERT_TRUE(SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, L","));
    const AtExit restore{[&] { SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, old); }};
    Faked<memory::MemoryCalls> figures(memory::System());
    figures->globalMemoryStatus = &GivenFigures;
    TickWith(WorkedExample());
    EXPECT_EQ(TextOf(label), L"45.25%\n(115.84 MB)") << "the separator is read on every tick";
    SendMessageW(w.Hwnd(), WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"intl"));
    TickWith(WorkedExample());
    EXPECT_EQ(TextOf(label), L"45,25%\n(115,84 MB)");
}

TEST_F(MainWindowTest, TheVirtualTotalIsTheProcesssOwnAddressSpace) {
    // What the details box shows as 虚拟内存总量. The 32-bit build is
    // large-address-aware: on 64-bit Windows it gets 4 GB less 64 KB, where
    // without the flag it would get 2 GB. The 64-bit build gets terabytes.
    const std::uint64_t total = memory::Status().dwTotalVirtual;
    EXPECT_GT(total, sizeof(void*) == 4 ? 3ull << 30 : 1ull << 40);
    EXPECT_LE(total, sizeof(void*) == 4 ? 4ull << 30 : 1ull << 48);
}

TEST(ReadMemoryStatus, EachOfTheSystemsFiguresLandsInItsOwnField) {
    // 32 GiB with 12 free, a 64 GiB commit limit with 40 free, x64's 128 TiB
    // of address space: no two alike, and none fits in 32 bits.
    const MEMORYSTATUSEX system{sizeof(MEMORYSTATUSEX), 55, 34'359'738'368, 12'884'901'888, 68'719'476'736,
                                42'949'672'960, 140'737'488'224'256, 140'000'000'000'000, 0};
    memory::Status() = {64, 0, 0, 0, 0, 0, 0, 0};  // the length is set once, by the main window
    Faked<memory::MemoryCalls> figures(memory::System());
    figures->globalMemoryStatus = &GivenFigures;
    g_figures = system;
    memory::ReadMemoryStatus();
    const auto fields = std::bit_cast<std::array<std::uint64_t, 8>>(memory::Status());
    // The record's fields in their order: length, load, physical, commit, address space.
    EXPECT_EQ(fields, (std::array<std::uint64_t, 8>{64, 55, 34'359'738'368, 12'884'901'888, 68'719'476'736,
                                                     42'949'672'960, 140'737'488'224'256, 140'000'000'000'000}));
}

TEST_F(MainWindowTest, EnterPressesTheFocusedButtonWhichLooksTheDefaultAndEscIsHide) {
    MainWindow& w = Form2();
    w.Show();
    ASSERT_EQ(GetFocus(), w.Control(MainWindow::cmdArrange));
    EXPECT_TRUE(LooksDefault(w, MainWindow::cmdArrange));
    // Where Enter goes with the focus on no button: 开始整理, id 101.
    EXPECT_EQ(SendMessageW(w.Hwnd(), DM_GETDEFID, 0, 0), MAKELRESULT(101, DC_HASDEFID));
    SetFocus(w.Control(MainWindow::cmdHide));
    EXPECT_TRUE(LooksDefault(w, MainWindow::cmdHide));
    EXPECT_FALSE(LooksDefault(w, MainWindow::cmdArrange));
    Key(w, VK_RETURN);
    EXPECT_FALSE(Shown(w));
    EXPECT_FALSE(FindWindowW(L"Lanshige.ArrangeWindow", nullptr)) << "Enter on 隐藏 ran 开始整理";
    HMENU menu = OpenedTrayMenu(w.Hwnd());
    EXPECT_TRUE(Offered(menu, MainWindow::mnuShow)) << "Show is offered while the user has hidden it";
    const auto show = [&] {
        SendMessageW(w.Hwnd(), WM_COMMAND, MainWindow::mnuShow, 0);
        EXPECT_TRUE(Shown(w));
        EXPECT_FALSE(Offered(menu, MainWindow::mnuShow));
    };
    show();
    SetFocus(w.Control(MainWindow::cmdAbout));
    Key(w, VK_ESCAPE);
    EXPECT_FALSE(Shown(w));
    EXPECT_TRUE(Offered(menu, MainWindow::mnuShow));

    // A button that cannot be clicked is not pressed by a key either.
    show();
    EnableWindow(w.Control(MainWindow::cmdHide), FALSE);
    Key(w, VK_ESCAPE);
    EXPECT_TRUE(Shown(w)) << "Esc pressed the disabled 隐藏";
    EnableWindow(w.Control(MainWindow::cmdHide), TRUE);

    // With the focus on no button, Enter presses the default one, 开始整理.
    SetFocus(nullptr);
    MSG enter{w.Hwnd(), WM_KEYDOWN, VK_RETURN, 0, 0, {}};
    EnableWindow(w.Control(MainWindow::cmdArrange), FALSE);
    w.PreTranslate(enter);
    EXPECT_FALSE(FindWindowW(L"Lanshige.ArrangeWindow", nullptr)) << "Enter pressed the disabled 开始整理";
    EnableWindow(w.Control(MainWindow::cmdArrange), TRUE);
    w.PreTranslate(enter);
    EXPECT_TRUE(FindWindowW(L"Lanshige.ArrangeWindow", nullptr));
    EXPECT_FALSE(Shown(w));
    EXPECT_FALSE(Offered(menu, MainWindow::mnuShow)) << "the arrangement leaves the menu's Show as it was";
}

TEST_F(MainWindowTest, TheFigureEndsLeftOfTheBarInTheLargestFontThatFits) {
    MainWindow& w = Form2();
    HWND label = w.Control(MainWindow::lblMain);
    const UINT startDpi = w.Dpi();
    // 360, 380 and 2520 twips; 15 pt and 9 pt.
    struct AtDpi { UINT dpi; int left, top, barLeft, height15, height9; };
    for (const AtDpi& d : {AtDpi{96, 24, 25, 168, -20, -12}, AtDpi{144, 36, 38, 252, -30, -18}}) {
        SetDpi(w, d.dpi);
        ASSERT_EQ(w.Dpi(), d.dpi);
        // 256 MiB of 4 GiB free, 16 of 32 GiB, 64 of 128 GiB, a whole 1 TiB.
        for (const wchar_t* text : {L"6.25%\n(256.00 MB)", L"50.00%\n(16384.00 MB)", L"50.00%\n(65536.00 MB)",
                                    L"100.00%\n(1048576.00 MB)"}) {
            w.SetCaption(MainWindow::lblMain, text);
            const RECT r = RectIn(w.Hwnd(), label);
            const LOGFONTW lf = FontOf(label);
            EXPECT_EQ(TextOf(label), text);
            EXPECT_EQ(r.left, d.left) << d.dpi;
            EXPECT_EQ(r.top, d.top) << d.dpi;
            EXPECT_LE(r.right, d.barLeft - 4) << d.dpi << " DPI, " << r.right - r.left << " px wide for " << lf.lfHeight;
            EXPECT_TRUE(lf.lfHeight >= d.height15 && lf.lfHeight <= d.height9) << lf.lfHeight;
            EXPECT_STREQ(lf.lfFaceName, L"Verdana");
            EXPECT_EQ(lf.lfWeight, FW_BOLD);
            EXPECT_EQ(lf.lfQuality, DEFAULT_QUALITY);
        }
        EXPECT_GT(FontOf(label).lfHeight, d.height15) << "a terabyte fits in 15 pt?";
        EXPECT_EQ(RectIn(w.Hwnd(), w.Control(MainWindow::pgbMem)).left, d.barLeft);
        w.SetCaption(MainWindow::lblMain, L"6.25%\n(256.00 MB)");
        EXPECT_EQ(FontOf(label).lfHeight, d.height15) << "back to 15 pt for a short figure";
    }
    SetDpi(w, startDpi);
    // The progress bar lies in front of the figure, which may grow under it.
    HWND below = GetWindow(w.Control(MainWindow::pgbMem), GW_HWNDNEXT);
    while (below && below != label) below = GetWindow(below, GW_HWNDNEXT);
    EXPECT_TRUE(below) << "the figure lies in front of the bar";
}

// What a form paints into a DC of its own asking (WM_PRINTCLIENT), read
// back at points given in twips.
class ClientImage {
public:
    explicit ClientImage(const ui::Form& form) : dpi_(form.Dpi()) {
        RECT client;
        GetClientRect(form.Hwnd(), &client);
        const ui::UniqueScreenDc screen(GetDC(nullptr));
        dc_.reset(CreateCompatibleDC(screen.get()));
        bitmap_.reset(CreateCompatibleBitmap(screen.get(), client.right, client.bottom));
        old_ = SelectObject(dc_.get(), bitmap_.get());
        SendMessageW(form.Hwnd(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc_.get()), PRF_CLIENT);
    }
    ~ClientImage() { SelectObject(dc_.get(), old_); }
    ClientImage(const ClientImage&) = delete;
    ClientImage& operator=(const ClientImage&) = delete;
    COLORREF At(int x, int y) const {
        return GetPixel(dc_.get(), ui::TwipsToPixels(x, dpi_), ui::TwipsToPixels(y, dpi_));
    }

private:
    UINT dpi_;
    MemoryDc dc_;
    ui::UniqueHandle<HBITMAP, ui::CloseGdiObject> bitmap_;
    HGDIOBJ old_ = nullptr;
};

// A label's text, its background and the brush its form gives it to paint with.
struct LabelPaint {
    COLORREF text, back, brush;
    bool operator==(const LabelPaint&) const = default;
};

std::ostream& operator<<(std::ostream& out, const LabelPaint& p) {
    return out << std::hex << "{text " << p.text << ", back " << p.back << ", brush " << p.brush << "}";
}

LabelPaint PaintOf(const ui::Form& form, int id) {
    MemoryDc dc(CreateCompatibleDC(nullptr));
    const auto brush = reinterpret_cast<HBRUSH>(SendMessageW(
        form.Hwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc.get()), reinterpret_cast<LPARAM>(form.Control(id))));
    LOGBRUSH lb{};
    GetObjectW(brush, sizeof lb, &lb);
    return {GetTextColor(dc.get()), GetBkColor(dc.get()), lb.lbColor};
}

// The user's own colours, unlike any the design uses, so that a text that
// takes a colour from the wrong pair shows.
constexpr COLORREF kWindow = 0x00102030;
constexpr COLORREF kWindowText = 0x00C0D0E0;
constexpr COLORREF kFace = 0x00203040;
constexpr COLORREF kFaceText = 0x00D0E0F0;

bool g_highContrast = false;

// High contrast turned on or off, and announced to every form as the
// system does; the forms read it again themselves.
void SetHighContrast(bool on) {
    g_highContrast = on;
    for (ui::Form* f : {static_cast<ui::Form*>(&Form2()), static_cast<ui::Form*>(&ui::Form1()),
                        static_cast<ui::Form*>(&arrange::Form3())}) {
        SendMessageW(f->Hwnd(), WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
    }
}

TEST_F(MainWindowTest, InHighContrastEveryTextTakesOneOfTheUsersPairsUntilItIsTurnedOff) {
    const INT elements[] = {COLOR_WINDOW, COLOR_WINDOWTEXT, COLOR_BTNFACE, COLOR_BTNTEXT};
    const COLORREF mine[] = {kWindow, kWindowText, kFace, kFaceText};
    COLORREF old[4];
    for (int i = 0; i < 4; ++i) old[i] = GetSysColor(elements[i]);
    SetSysColors(4, elements, mine);
    const AtExit restore{[&] { SetSysColors(4, elements, old); }};
    g_highContrast = false;
    Faked<ui::AccessibilityCalls> settings(ui::Accessibility());
    settings->highContrast = [] { return g_highContrast; };
    MainWindow& w = Form2();
    ui::Form1().Load();
    arrange::Form3().Load();
    Faked<memory::MemoryCalls> figures(memory::System());
    figures->globalMemoryStatus = &GivenFigures;
    TickWith(WorkedExample());  // the figure in orange
    w.Show();
    HWND figure = w.Control(MainWindow::lblMain);
    UpdateWindow(w.Hwnd());
    UpdateWindow(figure);

    SetHighContrast(true);
    RECT dirty;
    EXPECT_TRUE(GetUpdateRect(w.Hwnd(), &dirty, FALSE)) << "the form repaints at the change";
    EXPECT_TRUE(GetUpdateRect(figure, &dirty, FALSE)) << "and so do its labels";
    {
        const ClientImage main(w);
        EXPECT_EQ(main.At(60, 3450), kFace) << "the form, as a dialog";
        EXPECT_EQ(main.At(3800, 1500), kWindow) << "lblBak1";
        EXPECT_EQ(main.At(200, 2850), kWindow) << "lblBak2";
        const ClientImage start(ui::Form1());
        EXPECT_EQ(start.At(60, 1500), kFace);
        EXPECT_EQ(start.At(1800, 960), kFaceText) << "the rule";
        EXPECT_EQ(ClientImage(arrange::Form3()).At(60, 60), kFace);
    }
    const LabelPaint onPanel{kWindowText, kWindow, kWindow};
    const LabelPaint onForm{kFaceText, kFace, kFace};
    EXPECT_EQ(PaintOf(w, MainWindow::lblMain), onPanel) << "the figure's colour gives way to the user's";
    EXPECT_EQ(PaintOf(w, MainWindow::lblmsg3), onPanel);
    EXPECT_EQ(PaintOf(ui::Form1(), ui::StartWindow::lbl1_1), onForm);
    EXPECT_EQ(PaintOf(arrange::Form3(), arrange::ArrangeWindow::Label1), onForm);

    // Common controls keep their own copies of the system colours.
    MessageLog bar(w.Control(MainWindow::pgbMem), WM_SYSCOLORCHANGE);
    SendMessageW(w.Hwnd(), WM_SYSCOLORCHANGE, 0, 0);
    EXPECT_EQ(bar.seen.size(), 1u) << "passed on to the progress bar";

    UpdateWindow(w.Hwnd());
    UpdateWindow(figure);
    SetHighContrast(false);
    EXPECT_TRUE(GetUpdateRect(figure, &dirty, FALSE));
    const ClientImage main(w);
    EXPECT_EQ(main.At(60, 3450), 0x00C0C0C0u);
    EXPECT_EQ(main.At(3800, 1500), 0x00404040u);
    EXPECT_EQ(ClientImage(ui::Form1()).At(1800, 960), 0x00C0C0C0u) << "the rule";
    EXPECT_EQ(PaintOf(w, MainWindow::lblMain), (LabelPaint{0x000080FF, 0x00404040, 0x00404040}))
        << "the tick's orange, which stood all along";
    EXPECT_EQ(PaintOf(ui::Form1(), ui::StartWindow::lbl1_1), (LabelPaint{0x00FFFFFF, 0x00404040, 0x00404040}));
    EXPECT_EQ(PaintOf(arrange::Form3(), arrange::ArrangeWindow::Label1),
              (LabelPaint{0x00FFFFFF, 0x00808080, 0x00808080}));
}

TEST_F(MainWindowTest, KeyboardCuesStartAsTheLastInputOrTheUsersSettingSaysAndTabAnArrowOrAltShowsThem) {
    MainWindow& w = Form2();
    MessageLog log(w.Hwnd(), WM_CHANGEUISTATE);
    Faked<ui::AccessibilityCalls> settings(ui::Accessibility());
    settings->alwaysShowsCues = [] { return false; };  // Wine's own setting says always
    constexpr WPARAM kInitialise = MAKEWPARAM(UIS_INITIALIZE, UISF_HIDEFOCUS | UISF_HIDEACCEL);
    constexpr WPARAM kShow = MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS | UISF_HIDEACCEL);
    w.Show();
    EXPECT_EQ(log.seen, std::vector<WPARAM>{kInitialise}) << "before the first paint";
    w.Hide();
    w.Show();
    EXPECT_EQ(log.seen, std::vector<WPARAM>{kInitialise}) << "only at the first show";

    const auto press = [&](UINT message, WPARAM key) {
        log.seen.clear();
        MSG msg{GetFocus(), message, key, 0, 0, {}};
        w.PreTranslate(msg);
        return log.seen;
    };
    EXPECT_EQ(press(WM_KEYDOWN, 'A'), std::vector<WPARAM>{});
    EXPECT_EQ(press(WM_SYSKEYDOWN, 'A'), std::vector<WPARAM>{});
    EXPECT_EQ(press(WM_KEYDOWN, VK_TAB), std::vector<WPARAM>{kShow});
    EXPECT_EQ(press(WM_KEYDOWN, VK_LEFT), std::vector<WPARAM>{kShow});
    EXPECT_EQ(press(WM_KEYDOWN, VK_DOWN), std::vector<WPARAM>{kShow});
    EXPECT_EQ(press(WM_SYSKEYDOWN, VK_MENU), std::vector<WPARAM>{kShow});
    // Windows set always to show them: shown from the first show on.
    settings->alwaysShowsCues = [] { return true; };
    ui::Form1().Load();
    MessageLog start(ui::Form1().Hwnd(), WM_CHANGEUISTATE);
    ui::Form1().Show();
    EXPECT_EQ(start.seen, std::vector<WPARAM>{kShow});
}

TEST_F(MainWindowTest, TheHandOverShowsTheMainWindowBeforeTheStartWindowGoes) {
    for (const bool closed : {false, true}) {
        ui::Form1().Show();
        ASSERT_FALSE(Shown(Form2()));
        bool mainShown = false;
        MessageLog destroyed(ui::Form1().Hwnd(), WM_DESTROY, [&] { mainShown = Shown(Form2()); });
        if (closed) {
            SendMessageW(ui::Form1().Hwnd(), WM_CLOSE, 0, 0);  // Alt+F4 during the four seconds
        } else {
            SendMessageW(ui::Form1().Hwnd(), WM_TIMER, ui::StartWindow::kTimerId, 0);
        }
        EXPECT_EQ(destroyed.seen.size(), 1u) << closed;
        EXPECT_TRUE(mainShown) << "the main window showed only after the start window went; closed: " << closed;
        EXPECT_FALSE(FindWindowW(L"Lanshige.StartWindow", nullptr));
        EXPECT_TRUE(Shown(Form2()));
        Form2().Hide();
        PumpFor(20);
    }
}

TEST_F(MainWindowTest, QuittingOrTheSessionsEndRemovesTheIconAndUnloadsEverythingAndEndsTheProgram) {
    for (const UINT msg : {static_cast<UINT>(WM_COMMAND), static_cast<UINT>(WM_ENDSESSION)}) {
        HWND hwnd = Form2().Hwnd();
        ui::Form1().Load();  // the start window, still open
        SendMessageW(hwnd, WM_TIMER, MainWindow::kRefreshTimerId, 0);
        bool sawQuit = false;
        SendMessageW(hwnd, msg, msg == WM_COMMAND ? WPARAM{MainWindow::mnuQuit} : TRUE, 0);
        EXPECT_FALSE(IsWindow(hwnd)) << msg;
        EXPECT_EQ(ui::LoadedFormCount(), 0) << msg;
        NOTIFYICONDATAW nid{};
        nid.cbSize = sizeof nid;
        nid.hWnd = hwnd;
        nid.uID = tray::kIconId;
        EXPECT_FALSE(Shell_NotifyIconW(NIM_DELETE, &nid)) << "an icon was left behind; " << msg;
        PumpFor(50, &sawQuit);
        EXPECT_TRUE(sawQuit) << msg;
        Form2().Load();
    }
}

// The session and power calls as Windows answers them (Wine's are stubs) for
// a session that is locked, disconnected, remote or read aloud.
struct FakeSession {
    LONG flags = 1;  // WTS_SESSIONSTATE_UNLOCK
    DWORD state = WTSActive;
    bool windows8 = true, remote = false, reader = false, uia = false, queryFails = false;
    int refusals = 0, registrations = 0, unregistrations = 0, noticesUndone = 0;
    ULONGLONG now = 1'000'000;
    GUID setting{};  // the display notice registered for
} g_session;

constexpr DWORD kOurSession = 3;
const auto kNotice = reinterpret_cast<HPOWERNOTIFY>(0x5150);

BOOL WINAPI FakeRegister(HWND, DWORD) {
    if (++g_session.registrations > g_session.refusals) return TRUE;
    return SetLastError(RPC_S_INVALID_BINDING), FALSE;  // the session service not up yet at logon
}
BOOL WINAPI FakeUnregister(HWND window) { return g_session.unregistrations += IsWindow(window) ? 1 : 100; }  // or too late
// WTSINFOEXW as Microsoft's headers lay it out: the level, then the union
// of WTSINFOEX_LEVEL1_W, on 8 bytes for its LARGE_INTEGER times.
BOOL WINAPI FakeQuery(HANDLE, DWORD session, WTS_INFO_CLASS what, LPWSTR* buffer, DWORD* bytes) {
    static struct { DWORD level, pad; ULONG id; DWORD state; LONG flags; DWORD rest[104]; } info;
    info = {1, 0, kOurSession, g_session.state, g_session.flags, {}};
    *buffer = reinterpret_cast<LPWSTR>(&info), *bytes = sizeof info;
    return !g_session.queryFails && session == WTS_CURRENT_SESSION && what == 25;  // WTSSessionInfoEx
}
void WINAPI FakeFree(PVOID) {}
HPOWERNOTIFY WINAPI FakeRegisterSetting(HANDLE, LPCGUID setting, DWORD) { return g_session.setting = *setting, kNotice; }
BOOL WINAPI FakeUnregisterSetting(HPOWERNOTIFY notice) { return g_session.noticesUndone += notice == kNotice; }
BOOL WINAPI FakeSessionOf(DWORD, DWORD* session) { return *session = kOurSession, TRUE; }
BOOL WINAPI FakeParameters(UINT what, UINT, PVOID on, UINT) { return *static_cast<BOOL*>(on) = g_session.reader, what == SPI_GETSCREENREADER; }
BOOL WINAPI FakeUia() { return g_session.uia; }
int WINAPI FakeMetric(int what) { return what == SM_REMOTESESSION && g_session.remote; }
ULONGLONG WINAPI FakeNow() { return g_session.now; }

// GUID_SESSION_DISPLAY_STATUS, GUID_MONITOR_POWER_ON.
constexpr GUID kSessionDisplay{0x2b84c20e, 0xad23, 0x4ddf, {0x93, 0xdb, 0x05, 0xff, 0xbd, 0x7e, 0xfc, 0xa5}};
constexpr GUID kMonitorPower{0x02731015, 0x4510, 0x4526, {0x99, 0xe6, 0xe5, 0xa1, 0x7e, 0xbd, 0x1a, 0xea}};

// A power setting notice as the system sends it: the setting and one DWORD.
void SendDisplay(HWND hwnd, const GUID& setting, DWORD data) {
    struct { GUID setting; DWORD length, data; } notice{setting, sizeof(DWORD), data};
    SendMessageW(hwnd, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, reinterpret_cast<LPARAM>(&notice));
}
// With the session's lock flags as they are by then: WTS_SESSIONSTATE_LOCK 0,
// _UNLOCK 1, _UNKNOWN -1.
void SendSession(HWND hwnd, WPARAM change, std::optional<LONG> flags = {}, DWORD session = kOurSession) {
    if (flags) g_session.flags = *flags;
    SendMessageW(hwnd, WM_WTSSESSION_CHANGE, change, session);
}
void SendPower(HWND hwnd, WPARAM event) { SendMessageW(hwnd, WM_POWERBROADCAST, event, 0); }

// Whether the refresh timer runs, once what was posted is handled: KillTimer
// says, and one found is set going again.
bool Ticking(HWND hwnd) {
    PumpFor(20);
    if (!KillTimer(hwnd, MainWindow::kRefreshTimerId)) return false;
    return SetTimer(hwnd, MainWindow::kRefreshTimerId, MainWindow::kRefreshIntervalMs, nullptr) != 0;
}

// The shell, with a display-off notice sent while the refresh's tip waits in
// NIM_MODIFY, as Windows delivers messages sent to a thread in such a call.
bool g_displayOffInShell = false;
BOOL WINAPI DisplayOffInShell(DWORD message, PNOTIFYICONDATAW nid) {
    if (message == NIM_MODIFY && std::exchange(g_displayOffInShell, false)) SendDisplay(nid->hWnd, kSessionDisplay, 0);
    return TRUE;
}

// A notice, and after it: paused, ticking as before, or back in sight with
// everything refreshed at once.
enum After { Paused, Ticks, Back };
struct Step { void (*send)(HWND); After after; const char* what; };

class Presence : public ::testing::Test {
protected:
    void SetUp() override {
        g_session = {};
        *calls = {.registerSession = &FakeRegister, .unregisterSession = &FakeUnregister, .querySession = &FakeQuery,
                  .freeMemory = &FakeFree, .registerPowerSetting = &FakeRegisterSetting,
                  .unregisterPowerSetting = &FakeUnregisterSetting, .windows8OrLater = [] { return g_session.windows8; },
                  .now = &FakeNow, .systemParameters = &FakeParameters, .uiaClientsListening = &FakeUia,
                  .systemMetric = &FakeMetric, .sessionOfProcess = &FakeSessionOf};
    }
    void TearDown() override { Form2.Unload(), PumpFor(50); }
    // Each step with a figure on show that no refresh would make.
    void Run(std::initializer_list<Step> steps) {
        Form2().Load();  // nothing when it is loaded already
        HWND hwnd = Form2().Hwnd();
        const auto refreshed = [&] { return TextOf(Form2().Control(MainWindow::lblMain)) != L"45.25%\n(115.84 MB)"; };
        for (const Step& step : steps) {
            Form2().SetCaption(MainWindow::lblMain, L"45.25%\n(115.84 MB)");  // no refresh here shows it
            step.send(hwnd);
            EXPECT_FALSE(refreshed()) << step.what << ": refreshed inside the notice";
            EXPECT_EQ(Ticking(hwnd), step.after != Paused) << step.what;
            EXPECT_EQ(refreshed(), step.after == Back) << step.what;
        }
    }
    Faked<presence::Calls> calls{presence::System()};
};

TEST_F(Presence, OutOfSightNothingTicksAndBackInSightEverythingIsCurrentAtOnceAndAScreenReaderKeepsItGoingWithTheDisplayOff) {
    Run({{[](HWND h) { SendSession(h, WTS_SESSION_LOCK, 0); }, Paused, "locked"},
         {[](HWND h) { SendMessageW(h, WM_TIMER, MainWindow::kRefreshTimerId, 0); }, Paused, "a tick posted already"},
         {[](HWND h) { SendSession(h, WTS_SESSION_UNLOCK, 1); }, Back, "unlocked"},
         {[](HWND h) { SendSession(h, WTS_SESSION_REMOTE_CONTROL, -1); }, Ticks, "the lock state unknown"},
         {[](HWND h) { g_session.state = WTSDisconnected, SendSession(h, WTS_CONSOLE_DISCONNECT); }, Paused, "switched away"},
         {[](HWND h) { g_session.state = WTSActive, SendSession(h, WTS_CONSOLE_CONNECT); }, Back, "switched back"},
         {[](HWND h) { SendPower(h, PBT_APMSUSPEND); }, Paused, "asleep"},
         {[](HWND h) { SendPower(h, PBT_APMRESUMEAUTOMATIC); }, Paused, "woken unattended (a timer, the network)"},
         {[](HWND h) { SendPower(h, PBT_APMRESUMESUSPEND); }, Back, "woken by the user, or joined"},
         {[](HWND h) { SendPower(h, PBT_APMSUSPEND), SendPower(h, PBT_APMRESUMEAUTOMATIC); }, Paused, "again unattended"},
         {[](HWND h) { SendSession(h, WTS_SESSION_UNLOCK, 1); }, Back, "unlocked: the user is there"},
         {[](HWND h) { SendDisplay(h, kSessionDisplay, 0); }, Paused, "the display off"},
         {[](HWND h) { SendDisplay(h, kSessionDisplay, 2); }, Back, "dimmed, it shows the figures"},
         {[](HWND h) { SendDisplay(h, {0xa7ad8041, 0xb45a, 0x4cae, {0x87, 0xa3, 0xee, 0xcb, 0xb4, 0x68, 0xa9, 0xe1}}, 0); },
          Ticks, "the battery's setting"},
         {[](HWND h) { SendMessageW(h, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, 8); }, Ticks, "a notice of nothing"},
         // With the query failing the notice alone says.
         {[](HWND h) { g_session.queryFails = true, SendSession(h, WTS_SESSION_LOCK, {}, 4); }, Ticks, "another session"},
         {[](HWND h) { SendSession(h, WTS_SESSION_LOCK); }, Paused, "locked, the query failing"},
         {[](HWND h) { SendDisplay(h, kSessionDisplay, 0); }, Paused, "the display off too"},
         {[](HWND h) { SendSession(h, WTS_SESSION_UNLOCK); }, Paused, "unlocked, the display still off"},
         {[](HWND h) { SendDisplay(h, kSessionDisplay, 1); }, Back, "both over"},
         // A laptop's lid shut, its user listening; the lock pauses anyway.
         {[](HWND h) { g_session.reader = true, SendDisplay(h, kSessionDisplay, 0); }, Ticks, "a screen reader on"},
         {[](HWND h) { SendSession(h, WTS_SESSION_LOCK); }, Paused, "locked, a screen reader on"},
         {[](HWND h) { g_session.uia = true, g_session.reader = false, SendSession(h, WTS_SESSION_UNLOCK); }, Back, "unlocked"},
         {[](HWND h) { SendDisplay(h, kSessionDisplay, 0); }, Ticks, "a client of UI Automation listening"}});
}

TEST_F(Presence, ASessionFoundLockedAtStartOrAtALateRegistrationPausesAtOnceAndTheRegistrationsGoBeforeTheWindow) {
    g_session.flags = 0;
    Run({{[](HWND) {}, Paused, "started in a locked session"}, {[](HWND h) { SendSession(h, WTS_SESSION_UNLOCK, 1); }, Back, "unlocked"}});
    EXPECT_TRUE(IsEqualGUID(g_session.setting, kSessionDisplay)) << "Windows 8 and later: the session's display";
    Form2.Unload();
    EXPECT_EQ(g_session.unregistrations, 1);
    EXPECT_EQ(g_session.noticesUndone, 1);

    // Early at logon the session service refuses; five seconds later it
    // takes the registration, and the session was locked meanwhile.
    g_session.refusals = 2;
    HWND hwnd = (Form2().Load(), Form2().Hwnd());
    g_session.flags = 0;
    const auto tickAfter = [&](ULONGLONG ms) {
        g_session.now += ms;
        return SendMessageW(hwnd, WM_TIMER, MainWindow::kRefreshTimerId, 0), Ticking(hwnd);
    };
    EXPECT_TRUE(tickAfter(presence::Presence::kRetryMs - 1)) << "tried again before its time";
    EXPECT_FALSE(tickAfter(1)) << "the lock found at the late registration";
    EXPECT_EQ(g_session.registrations, 3);
}

// Windows 7 and Server 2008 R2 give the lock flags the wrong way round, as
// WTSINFOEX_LEVEL1's page says; their monitor notice is the console's.
TEST_F(Presence, OnWindows7TheLockFlagsAreSwappedAndTheConsolesMonitorIsNoRemoteSessionsDisplay) {
    g_session.windows8 = false;
    g_session.flags = 1;  // WTS_SESSIONSTATE_UNLOCK: locked, on Windows 7
    Run({{[](HWND) {}, Paused, "started locked"}, {[](HWND h) { SendSession(h, WTS_SESSION_UNLOCK, 0); }, Back, "unlocked"},
         {[](HWND h) { g_session.remote = true, SendDisplay(h, kMonitorPower, 0); }, Ticks, "remote, the console's monitor off"},
         {[](HWND h) { g_session.remote = false, SendDisplay(h, kMonitorPower, 0); }, Paused, "at the console"},
         // Taken over remotely: the console's notice would never say it is back.
         {[](HWND h) { SendSession(h, WTS_REMOTE_CONNECT); }, Back, "a stale display-off kept it paused"}});
    EXPECT_TRUE(IsEqualGUID(g_session.setting, kMonitorPower));
}

TEST_F(Presence, ADisplayOffNoticeInsideTheRefreshOnReturnLeavesNoTimer) {
    Faked<tray::ShellCalls> shell(tray::Shell());
    shell->notify = &DisplayOffInShell;
    Run({{[](HWND h) { SendSession(h, WTS_SESSION_LOCK, 0); }, Paused, "locked"}});
    g_displayOffInShell = true;
    SendSession(Form2().Hwnd(), WTS_SESSION_UNLOCK, 1);
    EXPECT_FALSE(Ticking(Form2().Hwnd())) << "the display is off, and it wakes every second";
    EXPECT_FALSE(g_displayOffInShell) << "the refresh on return never reached the shell";
    Form2.Unload();
}

// Runs inside the refusal's message box, in the copy of this program that the
// death test starts: the box's text and icon, and whether anything was made
// before it, go to stderr, where the test reads them.
void CALLBACK JudgeAndCloseTheRefusal(HWND, UINT, UINT_PTR id, DWORD) {
    HWND box = FindWindowW(L"#32770", L"非法操作");
    DWORD owner = 0;
    if (box) GetWindowThreadProcessId(box, &owner);
    if (owner != GetCurrentProcessId()) return;  // not up yet
    KillTimer(nullptr, id);
    wchar_t text[64] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 64);
    const auto icon = reinterpret_cast<HICON>(SendDlgItemMessageW(box, 0x440, STM_GETICON, 0, 0));
    std::fprintf(stderr, "text %s, stop icon %s, windows %d\n",
                 std::wcscmp(text, L"程序已经启动！") == 0 ? "right" : "wrong",
                 icon == LoadIconW(nullptr, IDI_HAND) ? "yes" : "no", ui::LoadedFormCount());
    SendMessageW(box, WM_COMMAND, IDOK, 0);
}

// The copy the death test starts finds this one's instance mutex: to it, a
// copy of the program is already running.
TEST(StartWindowDeathTest, ASecondCopyIsRefusedWithTheStopBoxBeforeAnyWindowAndEnds) {
    EXPECT_EXIT(
        {
            SetTimer(nullptr, 0, 50, JudgeAndCloseTheRefusal);
            ui::Form1().Load();
        },
        ::testing::ExitedWithCode(0), "text right, stop icon yes, windows 0");
}

}  // namespace
