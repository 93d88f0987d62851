#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <ostream>
#include <vector>

#include "arrange/ArrangeWindow.h"
#include "memory/MemoryStatus.h"
#include "memory/ReadMemoryStatus.h"
#include "tests/wine/DestroyWatch.h"
#include "tests/wine/MessageLog.h"
#include "tests/wine/Pump.h"
#include "tray/Tray.h"
#include "ui/MainWindow.h"
#include "ui/StartWindow.h"
#include "ui/toolkit/Colours.h"

using testing_support::PumpFor;
using testing_support::PumpUntil;
using ui::Form2;
using ui::MainWindow;

namespace {

std::wstring TextOf(HWND hwnd) {
    wchar_t text[256] = {};
    GetWindowTextW(hwnd, text, 256);
    return text;
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

// A key as the message loop hands it to the form.
void Key(ui::Form& form, WPARAM key) {
    MSG msg{GetFocus(), WM_KEYDOWN, key, 0, 0, {}};
    EXPECT_TRUE(form.PreTranslate(msg)) << key;
}

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

// The user's decimal separator, changed as the regional settings change it
// (the figures are read from there) and put back at the end of the test.
class DecimalSeparator {
public:
    explicit DecimalSeparator(const wchar_t* separator) {
        GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, old_, ARRAYSIZE(old_));
        changed = SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator) != FALSE;
    }
    ~DecimalSeparator() {
        if (changed) SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, old_);
    }
    DecimalSeparator(const DecimalSeparator&) = delete;
    DecimalSeparator& operator=(const DecimalSeparator&) = delete;
    bool changed = false;

private:
    wchar_t old_[8] = {};
};

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

TEST_F(MainWindowTest, AfterLoadItIsHiddenHookedAndWaitingForItsFirstTick) {
    MainWindow& w = Form2();
    EXPECT_FALSE(w.Visible());
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(w.Hwnd(), GWLP_WNDPROC)), &tray::TrayWndProc);
    EXPECT_EQ(memory::Status().dwLength, sizeof(memory::MEMORYSTATUS));
    HWND bar = w.Control(MainWindow::pgbMem);
    EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, TRUE, 0), 0);
    EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0),
              memory::ProgressUnits(memory::Status().dwTotalPhys, w.ProgressShift()));
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 0);
    EXPECT_EQ(TextOf(w.Control(MainWindow::lblMain)), L"");
    EXPECT_TRUE(w.timShow().Enabled());
    EXPECT_EQ(w.timShow().Interval(), 1000u);
    EXPECT_FALSE(w.mnuMain().Enabled(MainWindow::mnuShow));
    EXPECT_TRUE(w.mnuMain().Enabled(MainWindow::mnuArrange));
    EXPECT_TRUE(w.mnuMain().Enabled(MainWindow::mnuQuit));
}

TEST_F(MainWindowTest, TheMenuHasItsFiveItemsInOrder) {
    HMENU menu = Form2().mnuMain().Handle();
    ASSERT_EQ(GetMenuItemCount(menu), 5);
    const wchar_t* captions[] = {L"显示界面(&S)", nullptr, L"整理内存(&R)", nullptr, L"退出程序(&Q)"};
    for (int i = 0; i < 5; ++i) {
        wchar_t text[64] = {};
        GetMenuStringW(menu, i, text, 64, MF_BYPOSITION);
        if (captions[i]) {
            EXPECT_STREQ(text, captions[i]) << i;
        } else {
            EXPECT_TRUE(GetMenuState(menu, i, MF_BYPOSITION) & MF_SEPARATOR) << i;
        }
    }
}

TEST_F(MainWindowTest, ATickShowsItsSnapshotsFiguresInTheLabelTheBarAndTheTip) {
    MainWindow& w = Form2();
    w.ShowFigures(WorkedExample());
    EXPECT_EQ(TextOf(w.Control(MainWindow::lblMain)), L"45.25%\n(115.84 MB)");
    EXPECT_EQ(w.ForeColour(MainWindow::lblMain), 0x000080FFu);
    EXPECT_EQ(SendMessageW(w.Control(MainWindow::pgbMem), PBM_GETPOS, 0, 0), 121'470'976 >> w.ProgressShift());
    EXPECT_EQ(tray::TipSent(), L"岚石阁内存整理\n内存：45.25% 可用");
}

TEST_F(MainWindowTest, ATickMovesTheBarOnlyWhenItsPositionChanges) {
    MainWindow& w = Form2();
    HWND bar = w.Control(MainWindow::pgbMem);
    memory::MEMORYSTATUS s = WorkedExample();
    w.ShowFigures(s);
    // Moved behind the window's back: a tick with the same figures neither
    // asks the bar where it stands nor sends it anything.
    SendMessageW(bar, PBM_SETPOS, 5, 0);
    w.ShowFigures(s);
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 5);
    s.dwAvailPhys += 1024 << w.ProgressShift();
    w.ShowFigures(s);
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), (121'470'976 >> w.ProgressShift()) + 1024);
}

// The bar's tip does not sit in the bar's window procedure: it shows because
// the message loop hands it the mouse's moves over the bar.
TEST_F(MainWindowTest, TheBarsTipShowsWhenTheLoopRelaysTheMouseOverTheBar) {
    MainWindow& w = Form2();
    w.Show();
    HWND bar = w.Control(MainWindow::pgbMem);
    RECT r;
    GetWindowRect(bar, &r);
    const POINT centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    SetCursorPos(centre.x, centre.y);
    PumpFor(100);
    const auto shownTip = [&] {
        for (HWND t = FindWindowExW(nullptr, nullptr, TOOLTIPS_CLASSW, nullptr); t;
             t = FindWindowExW(nullptr, t, TOOLTIPS_CLASSW, nullptr)) {
            if (GetWindow(t, GW_OWNER) == w.Hwnd() && IsWindowVisible(t)) return TextOf(t);
        }
        return std::wstring();
    };
    MSG move{bar, WM_MOUSEMOVE, 0, MAKELPARAM(centre.x - r.left, centre.y - r.top), GetTickCount(), centre};
    w.RelayToTip(move);
    EXPECT_TRUE(PumpUntil([&] { return !shownTip().empty(); }, 5000));
    EXPECT_EQ(shownTip(), L"深色部分为可用内存，浅色部分为已用内存");
}

TEST_F(MainWindowTest, ANewDecimalSeparatorIsTakenOnceTheRegionalSettingsAnnounceIt) {
    MainWindow& w = Form2();
    HWND label = w.Control(MainWindow::lblMain);
    DecimalSeparator comma(L",");
    ASSERT_TRUE(comma.changed);
    w.ShowFigures(WorkedExample());
    EXPECT_EQ(TextOf(label), L"45.25%\n(115.84 MB)") << "the separator is read on every tick";
    SendMessageW(w.Hwnd(), WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"intl"));
    w.ShowFigures(WorkedExample());
    EXPECT_EQ(TextOf(label), L"45,25%\n(115,84 MB)");
}

TEST_F(MainWindowTest, TheVirtualTotalIsTheProcesssOwnAddressSpace) {
    // What the details box shows as 虚拟内存总量. The 32-bit build is
    // large-address-aware: on 64-bit Windows it gets 4 GB less 64 KB, where
    // without the flag it would get 2 GB. The 64-bit build gets terabytes.
    const std::uint64_t total = memory::Status().dwTotalVirtual;
    if (sizeof(void*) == 4) {
        EXPECT_GT(total, 3ull << 30);
        EXPECT_LE(total, 4ull << 30);
    } else {
        EXPECT_GE(total, 1ull << 40);
    }
}

TEST(ReadMemoryStatus, EachOfTheSystemsFiguresLandsInItsOwnField) {
    MEMORYSTATUSEX system{};
    system.dwLength = sizeof system;
    system.dwMemoryLoad = 55;
    system.ullTotalPhys = 268'435'456;
    system.ullAvailPhys = 121'470'976;
    system.ullTotalPageFile = 644'245'504;
    system.ullAvailPageFile = 322'122'752;
    system.ullTotalVirtual = 2'147'221'504;
    system.ullAvailVirtual = 2'000'000'000;
    memory::MEMORYSTATUS record{};
    record.dwLength = 64;
    memory::CopyFigures(system, record);
    EXPECT_EQ(record.dwLength, 64u) << "set once, by the main window";
    EXPECT_EQ(record.dwMemoryLoad, 55u);
    EXPECT_EQ(record.dwTotalPhys, 268'435'456u);
    EXPECT_EQ(record.dwAvailPhys, 121'470'976u);
    EXPECT_EQ(record.dwTotalPageFile, 644'245'504u);
    EXPECT_EQ(record.dwAvailPageFile, 322'122'752u);
    EXPECT_EQ(record.dwTotalVirtual, 2'147'221'504u);
    EXPECT_EQ(record.dwAvailVirtual, 2'000'000'000u);
}

TEST_F(MainWindowTest, TheRefreshTimerTicksAboutEverySecondEvenWhenHidden) {
    MainWindow& w = Form2();
    ASSERT_FALSE(w.Visible());
    HWND label = w.Control(MainWindow::lblMain);
    const ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(PumpUntil([&] { return !TextOf(label).empty(); }, 5000));
    EXPECT_GE(GetTickCount64() - start, 800u);
}

TEST_F(MainWindowTest, ShowIsOfferedExactlyWhileTheUserHasHiddenTheWindow) {
    MainWindow& w = Form2();
    w.Show();
    EXPECT_FALSE(w.mnuMain().Enabled(MainWindow::mnuShow));
    SendMessageW(w.Hwnd(), WM_COMMAND, MAKEWPARAM(MainWindow::cmdHide, BN_CLICKED),
                 reinterpret_cast<LPARAM>(w.Control(MainWindow::cmdHide)));
    EXPECT_FALSE(w.Visible());
    EXPECT_TRUE(w.mnuMain().Enabled(MainWindow::mnuShow));
    SendMessageW(w.Hwnd(), WM_COMMAND, MainWindow::mnuShow, 0);
    EXPECT_TRUE(w.Visible());
    EXPECT_FALSE(w.mnuMain().Enabled(MainWindow::mnuShow));
}

TEST_F(MainWindowTest, EnterPressesTheFocusedButtonWhichLooksTheDefaultAndEscIsHide) {
    MainWindow& w = Form2();
    w.Show();
    ASSERT_EQ(GetFocus(), w.Control(MainWindow::cmdArrange));
    EXPECT_TRUE(LooksDefault(w, MainWindow::cmdArrange));
    SetFocus(w.Control(MainWindow::cmdHide));
    EXPECT_TRUE(LooksDefault(w, MainWindow::cmdHide));
    EXPECT_FALSE(LooksDefault(w, MainWindow::cmdArrange));
    Key(w, VK_RETURN);
    EXPECT_FALSE(w.Visible());
    EXPECT_FALSE(arrange::Form3.Loaded()) << "Enter on 隐藏 ran 开始整理";
    EXPECT_TRUE(w.mnuMain().Enabled(MainWindow::mnuShow));

    w.mnuShow_Click();
    SetFocus(w.Control(MainWindow::cmdAbout));
    Key(w, VK_ESCAPE);
    EXPECT_FALSE(w.Visible());

    w.mnuShow_Click();
    SetFocus(w.Control(MainWindow::cmdArrange));
    EXPECT_TRUE(LooksDefault(w, MainWindow::cmdArrange));
    EXPECT_FALSE(LooksDefault(w, MainWindow::cmdAbout));
    Key(w, VK_RETURN);
    EXPECT_TRUE(arrange::Form3.Loaded());
    EXPECT_FALSE(w.Visible());
}

TEST_F(MainWindowTest, TheFigureEndsLeftOfTheBarInTheLargestFontThatFits) {
    MainWindow& w = Form2();
    HWND label = w.Control(MainWindow::lblMain);
    const UINT startDpi = w.Dpi();
    auto setDpi = [&](UINT dpi) {
        RECT at;
        GetWindowRect(w.Hwnd(), &at);
        SendMessageW(w.Hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&at));
        ASSERT_EQ(w.Dpi(), dpi);
    };
    // 360, 380 and 2520 twips; 15 pt and 9 pt.
    struct AtDpi { UINT dpi; int left, top, barLeft, height15, height9; };
    for (const AtDpi& d : {AtDpi{96, 24, 25, 168, -20, -12}, AtDpi{144, 36, 38, 252, -30, -18}}) {
        setDpi(d.dpi);
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
    setDpi(startDpi);
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
    ui::UniqueMemoryDc dc_;
    ui::UniqueHandle<HBITMAP, ui::CloseGdiObject> bitmap_;
    HGDIOBJ old_ = nullptr;
};

TEST_F(MainWindowTest, PrintClientPaintsTheFormAndItsPanelsIntoAnyDc) {
    const ClientImage image(Form2());
    EXPECT_EQ(image.At(60, 3450), 0x00C0C0C0u) << "the form";
    EXPECT_EQ(image.At(3800, 1500), 0x00404040u) << "lblBak1";
    EXPECT_EQ(image.At(200, 2850), 0x00808080u) << "lblBak2";
}

// A label's text, its background and the brush its form gives it to paint with.
struct LabelPaint {
    COLORREF text, back, brush;
    bool operator==(const LabelPaint&) const = default;
};

std::ostream& operator<<(std::ostream& out, const LabelPaint& p) {
    return out << std::hex << "{text " << p.text << ", back " << p.back << ", brush " << p.brush << "}";
}

LabelPaint PaintOf(const ui::Form& form, int id) {
    ui::UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
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

class UsersColours {
public:
    UsersColours() {
        for (int i = 0; i < 4; ++i) old_[i] = GetSysColor(kElements[i]);
        const COLORREF mine[] = {kWindow, kWindowText, kFace, kFaceText};
        SetSysColors(4, kElements, mine);
    }
    ~UsersColours() { SetSysColors(4, kElements, old_); }
    UsersColours(const UsersColours&) = delete;
    UsersColours& operator=(const UsersColours&) = delete;

private:
    static constexpr INT kElements[] = {COLOR_WINDOW, COLOR_WINDOWTEXT, COLOR_BTNFACE, COLOR_BTNTEXT};
    COLORREF old_[4] = {};
};

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
    UsersColours colours;
    g_highContrast = false;
    ui::SetHighContrastSource([] { return g_highContrast; });
    MainWindow& w = Form2();
    ui::Form1().Load();
    arrange::Form3().Load();
    w.ShowFigures(WorkedExample());  // the figure in orange
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
    EXPECT_EQ(w.ForeColour(MainWindow::lblMain), 0x000080FFu) << "while the tick's choice stands";
    EXPECT_EQ(PaintOf(w, MainWindow::lblmsg3), onPanel);
    EXPECT_EQ(PaintOf(ui::Form1(), ui::StartWindow::lbl1_1), onForm);
    EXPECT_EQ(PaintOf(arrange::Form3(), arrange::ArrangeWindow::Label1), onForm);

    // Common controls keep their own copies of the system colours.
    testing_support::MessageLog bar(w.Control(MainWindow::pgbMem), WM_SYSCOLORCHANGE);
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
    EXPECT_EQ(PaintOf(w, MainWindow::lblMain), (LabelPaint{0x000080FF, 0x00404040, 0x00404040}));
    EXPECT_EQ(PaintOf(ui::Form1(), ui::StartWindow::lbl1_1), (LabelPaint{0x00FFFFFF, 0x00404040, 0x00404040}));
    EXPECT_EQ(PaintOf(arrange::Form3(), arrange::ArrangeWindow::Label1),
              (LabelPaint{0x00FFFFFF, 0x00808080, 0x00808080}));
    ui::SetHighContrastSource(nullptr);
}

TEST_F(MainWindowTest, KeyboardCuesStartAsTheLastInputSaysAndTabAnArrowOrAltShowsThem) {
    MainWindow& w = Form2();
    testing_support::MessageLog log(w.Hwnd(), WM_CHANGEUISTATE);
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
}

TEST_F(MainWindowTest, TheHandOverShowsTheMainWindowBeforeTheStartWindowGoes) {
    for (const bool closed : {false, true}) {
        ui::Form1().Show();
        ASSERT_FALSE(Form2().Visible());
        testing_support::DestroyWatch watch(ui::Form1().Hwnd(), Form2().Hwnd());
        if (closed) {
            SendMessageW(ui::Form1().Hwnd(), WM_CLOSE, 0, 0);  // Alt+F4 during the four seconds
        } else {
            ui::Form1().Timer1_Timer();
        }
        EXPECT_TRUE(watch.destroyed) << closed;
        EXPECT_TRUE(watch.otherVisible) << "the main window showed only after the start window went; closed: "
                                        << closed;
        EXPECT_FALSE(ui::Form1.Loaded());
        EXPECT_TRUE(Form2().Visible());
        Form2().Hide();
        PumpFor(20);
    }
}

TEST_F(MainWindowTest, QuittingRemovesTheIconRestoresTheProcedureAndEndsTheProgram) {
    MainWindow& w = Form2();
    HWND hwnd = w.Hwnd();
    ui::Form1().Load();  // the start window, still open
    w.timShow_Timer();
    bool sawQuit = false;
    SendMessageW(hwnd, WM_COMMAND, MainWindow::mnuQuit, 0);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(ui::Form1.Loaded());
    EXPECT_FALSE(Form2.Loaded());
    EXPECT_EQ(ui::LoadedFormCount(), 0);
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = hwnd;
    nid.uID = tray::kIconId;
    EXPECT_FALSE(Shell_NotifyIconW(NIM_DELETE, &nid)) << "no icon is left behind";
    PumpFor(50, &sawQuit);
    EXPECT_TRUE(sawQuit);
}

TEST_F(MainWindowTest, TheEndOfTheSessionUnloadsEverything) {
    HWND hwnd = Form2().Hwnd();
    SendMessageW(hwnd, WM_ENDSESSION, TRUE, 0);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(ui::LoadedFormCount(), 0);
}

TEST_F(MainWindowTest, ControlsSitWhereTheDesignPutsThem) {
    MainWindow& w = Form2();
    const UINT dpi = w.Dpi();
    RECT client;
    GetClientRect(w.Hwnd(), &client);
    EXPECT_EQ(client.right, ui::TwipsToPixels(3975, dpi));
    EXPECT_EQ(client.bottom, ui::TwipsToPixels(3510, dpi));
    struct Where { int id; int left, top, width, height; };
    const Where fixed[] = {
        {MainWindow::cmdArrange, 360, 2280, 3255, 495}, {MainWindow::cmdHide, 3000, 3000, 855, 375},
        {MainWindow::cmdAbout, 2040, 3000, 855, 375},   {MainWindow::cmdMemMsg, 120, 3000, 1575, 375},
        {MainWindow::pgbMem, 2520, 120, 1095, 1455},    {MainWindow::lblmsg3, 360, 1800, 3255, 375},
    };
    for (const Where& c : fixed) {
        RECT r;
        GetWindowRect(w.Control(c.id), &r);
        MapWindowPoints(nullptr, w.Hwnd(), reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, ui::TwipsToPixels(c.left, dpi)) << c.id;
        EXPECT_EQ(r.top, ui::TwipsToPixels(c.top, dpi)) << c.id;
        EXPECT_EQ(r.right - r.left, ui::TwipsToPixels(c.width, dpi)) << c.id;
        EXPECT_EQ(r.bottom - r.top, ui::TwipsToPixels(c.height, dpi)) << c.id;
    }
    // The progress bar lies in front of the figure, which may grow under it.
    HWND above = GetWindow(w.Control(MainWindow::pgbMem), GW_HWNDNEXT);
    bool labelBelow = false;
    for (; above; above = GetWindow(above, GW_HWNDNEXT)) labelBelow |= above == w.Control(MainWindow::lblMain);
    EXPECT_TRUE(labelBelow);
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
    std::fprintf(stderr, "text %s, stop icon %s, windows %d, main window %s\n",
                 std::wcscmp(text, L"程序已经启动！") == 0 ? "right" : "wrong",
                 icon == LoadIconW(nullptr, IDI_HAND) ? "yes" : "no", ui::LoadedFormCount(),
                 Form2.Exists() ? "made" : "none");
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
        ::testing::ExitedWithCode(0), "text right, stop icon yes, windows 0, main window none");
}

}  // namespace
