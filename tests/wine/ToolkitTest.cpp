#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "tests/wine/Faked.h"
#include "tests/wine/Pump.h"
#include "ui/toolkit/Form.h"
#include "ui/toolkit/Monitors.h"
#include "ui/toolkit/PopupMenu.h"
#include "ui/toolkit/Program.h"

using testing_support::PumpFor;
using testing_support::PumpUntil;

namespace {

TEST(Twips, ToPixelsAndFontPointsToPixelHeightsAtNinetySixAndOneFortyFourDpi) {
    EXPECT_EQ(ui::TwipsToPixels(15, 96), 1);
    EXPECT_EQ(ui::TwipsToPixels(3975, 96), 265);
    EXPECT_EQ(ui::TwipsToPixels(3510, 96), 234);
    EXPECT_EQ(ui::TwipsToPixels(10, 144), 1);
    EXPECT_EQ(ui::TwipsToPixels(3510, 144), 351);
    EXPECT_EQ(ui::TwipsToPixels(3735, 144), 374);  // 373.5, rounded
    EXPECT_EQ(ui::FontHeight(9, 96), -12);
    EXPECT_EQ(ui::FontHeight(10.5, 96), -14);
    EXPECT_EQ(ui::FontHeight(15, 96), -20);
    EXPECT_EQ(ui::FontHeight(21.75, 96), -29);
    EXPECT_EQ(ui::FontHeight(9, 144), -18);
    EXPECT_EQ(ui::FontHeight(10.5, 144), -21);
}

// A form kind of the tests' own, counting what its handlers see. Its labels'
// fonts: the default, and a face with a fallback that is missing or there.
constexpr ui::FontDesign kMissing{L"No Such Face Anywhere", 15.0, true, ANSI_CHARSET, L"Verdana"};
constexpr ui::FontDesign kThere{L"Verdana", 15.0, true, ANSI_CHARSET, L"SimSun"};
constexpr ui::ControlDesign kProbeControls[] = {
    {.id = 1, .kind = ui::ControlKind::Label, .caption = L"x", .left = 120, .top = 120, .width = 150, .height = 150, .flags = ui::kAutoSize},
    {.id = 2, .kind = ui::ControlKind::Label, .left = 120, .top = 600, .width = 150, .height = 150, .font = &kMissing},
    {.id = 3, .kind = ui::ControlKind::Label, .left = 120, .top = 1500, .width = 150, .height = 150, .font = &kThere},
};

struct Counts {
    int loads = 0;
    int unloads = 0;
    int ticks = 0;
    bool windowDuringLoad = false;
    ULONGLONG firstTickAt = 0;
};
Counts g_counts;

template <bool CreateAfterLoad>
class ProbeForm : public ui::Form {
public:
    static constexpr ui::FormDesign kDesign{
        .className = CreateAfterLoad ? L"Test.LateProbe" : L"Test.Probe",
        .caption = L"probe",
        .style = WS_OVERLAPPEDWINDOW,
        .clientWidth = 4500,
        .clientHeight = 3000,
        .back = ui::kLightGrey,
        .controls = kProbeControls,
        .createAfterLoad = CreateAfterLoad,
    };
    ProbeForm() : Form(kDesign), timer_(*this, 7, 300) {}
    ui::Timer& timer() { return timer_; }

protected:
    void Form_Load() override {
        ++g_counts.loads;
        g_counts.windowDuringLoad = Hwnd() != nullptr;
    }
    void Form_Unload() override { ++g_counts.unloads; }
    void OnTimer(UINT_PTR id) override {
        if (id != 7) return;
        if (++g_counts.ticks == 1) g_counts.firstTickAt = GetTickCount64();
    }

private:
    ui::Timer timer_;
};

ui::FormSlot<ProbeForm<false>> ProbeSlot;
ui::FormSlot<ProbeForm<true>> LateSlot;

class Lifecycle : public ::testing::Test {
protected:
    void SetUp() override { g_counts = {}; }
    void TearDown() override {
        ProbeSlot.Unload();
        LateSlot.Unload();
        PumpFor(50);
    }
};

TEST_F(Lifecycle, LoadLeavesTheWindowHiddenWithItsClientSizeAndALateOneIsMadeAfterItsHandler) {
    auto& form = ProbeSlot();
    form.Load();
    ASSERT_TRUE(form.Loaded());
    EXPECT_EQ(g_counts.loads, 1);
    EXPECT_TRUE(g_counts.windowDuringLoad);
    EXPECT_FALSE(IsWindowVisible(form.Hwnd()));
    RECT client;
    GetClientRect(form.Hwnd(), &client);
    EXPECT_EQ(client.right, ui::TwipsToPixels(4500, form.Dpi()));
    EXPECT_EQ(client.bottom, ui::TwipsToPixels(3000, form.Dpi()));
    form.Load();  // a second load does nothing
    EXPECT_EQ(g_counts.loads, 1);
    form.Show();
    EXPECT_TRUE(IsWindowVisible(form.Hwnd()));

    LateSlot().Load();
    EXPECT_EQ(g_counts.loads, 2);
    EXPECT_FALSE(g_counts.windowDuringLoad);
    EXPECT_TRUE(LateSlot().Loaded());
}

TEST_F(Lifecycle, ADpiChangeRelaysOutAndForgedOnesCannotFaultIt) {
    auto& form = ProbeSlot();
    form.Load();
    const UINT start = form.Dpi();
    const UINT other = start == 144 ? 96 : 144;
    RECT before;
    GetWindowRect(form.Hwnd(), &before);
    auto clientWidth = [&] {
        RECT r;
        GetClientRect(form.Hwnd(), &r);
        return r.right;
    };

    // Posted by someone else: a believable DPI with a pointer to nowhere is
    // taken, without a move; the rest are dropped.
    PostMessageW(form.Hwnd(), WM_DPICHANGED, MAKEWPARAM(other, other), 0x10);
    PumpFor(50);
    EXPECT_EQ(form.Dpi(), other);
    // Wine keeps drawing the frame at the system DPI, a pixel or two off the
    // frame worked out for the new one.
    EXPECT_NEAR(clientWidth(), ui::TwipsToPixels(4500, other), 4);
    RECT after;
    GetWindowRect(form.Hwnd(), &after);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);
    for (WPARAM forged : {MAKEWPARAM(0, 0), MAKEWPARAM(96, 144), MAKEWPARAM(9600, 9600)}) {
        PostMessageW(form.Hwnd(), WM_DPICHANGED, forged, static_cast<LPARAM>(-1));
        PumpFor(20);
        EXPECT_EQ(form.Dpi(), other) << std::hex << forged;
    }

    // As the system sends it: the window goes to the suggested place.
    RECT suggested{before.left + 17, before.top + 11, before.left + 400, before.top + 300};
    SendMessageW(form.Hwnd(), WM_DPICHANGED, MAKEWPARAM(start, start), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(form.Dpi(), start);
    EXPECT_EQ(clientWidth(), ui::TwipsToPixels(4500, start));
    GetWindowRect(form.Hwnd(), &after);
    EXPECT_EQ(after.left, suggested.left);
    EXPECT_EQ(after.top, suggested.top);

    // Centred on its monitor, it stays centred as its size changes by half:
    // the suggested place, which keeps the top left corner, is not taken.
    form.Show();
    GetWindowRect(form.Hwnd(), &before);
    suggested = {before.left, before.top, before.left + 600, before.top + 500};
    SendMessageW(form.Hwnd(), WM_DPICHANGED, MAKEWPARAM(other, other), reinterpret_cast<LPARAM>(&suggested));
    GetWindowRect(form.Hwnd(), &after);
    EXPECT_GT(std::abs((after.right - after.left) - (before.right - before.left)), 100);
    EXPECT_NEAR(after.left + after.right, GetSystemMetrics(SM_CXSCREEN), 1);
    EXPECT_NEAR(after.top + after.bottom, GetSystemMetrics(SM_CYSCREEN), 1);
}

TEST_F(Lifecycle, UnloadOrCloseRunsTheHandlerAndTheProgramEndsWithTheLastForm) {
    ProbeSlot().Load();
    LateSlot().Load();
    HWND first = ProbeSlot().Hwnd();
    bool sawQuit = false;
    ProbeSlot.Unload();
    EXPECT_EQ(g_counts.unloads, 1);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_FALSE(FindWindowW(L"Test.Probe", nullptr));
    ProbeSlot.Unload();  // not loaded: nothing happens
    EXPECT_EQ(g_counts.unloads, 1);
    PumpFor(50, &sawQuit);
    EXPECT_FALSE(sawQuit);
    EXPECT_EQ(ui::LoadedFormCount(), 1);
    LateSlot.Unload();
    PumpFor(50, &sawQuit);
    EXPECT_TRUE(sawQuit) << "the last form going ends the program";
    // The next use is a fresh instance; closing its window is its unload.
    ProbeSlot().Show();
    EXPECT_EQ(g_counts.loads, 3);
    SendMessageW(ProbeSlot().Hwnd(), WM_CLOSE, 0, 0);
    EXPECT_EQ(g_counts.unloads, 3);
    EXPECT_FALSE(FindWindowW(L"Test.Probe", nullptr));
}

TEST_F(Lifecycle, ATimersFirstTickComesOneIntervalAfterItIsEnabled) {
    auto& form = ProbeSlot();
    form.Load();
    const ULONGLONG enabledAt = GetTickCount64();
    form.timer().SetEnabled(true);
    ASSERT_TRUE(PumpUntil([] { return g_counts.ticks > 0; }, 5000));
    const ULONGLONG waited = g_counts.firstTickAt - enabledAt;
    EXPECT_GE(waited, 250u);
    EXPECT_LT(waited, 2000u);
    form.timer().SetEnabled(false);
    const int ticks = g_counts.ticks;
    PumpFor(700);
    EXPECT_EQ(g_counts.ticks, ticks) << "a disabled timer does not tick";
}

TEST_F(Lifecycle, AnAutosizedLabelFitsItsTextAndAnUnchangedTextChangesNothing) {
    auto& form = ProbeSlot();
    form.Load();
    HWND label = form.Control(1);
    RECT one, two;
    form.SetCaption(1, L"12.34%");
    GetWindowRect(label, &one);
    form.SetCaption(1, L"12.34%\n(5678.00 MB)");
    GetWindowRect(label, &two);
    EXPECT_GT(two.right - two.left, one.right - one.left);
    EXPECT_GT(two.bottom - two.top, one.bottom - one.top);
    EXPECT_EQ(testing_support::TextOf(label), L"12.34%\n(5678.00 MB)");

    // Paint the label, then set the same text: nothing is invalidated again.
    UpdateWindow(label);
    form.SetCaption(1, L"12.34%\n(5678.00 MB)");
    RECT dirty;
    EXPECT_FALSE(GetUpdateRect(label, &dirty, FALSE));
}

TEST_F(Lifecycle, AMissingFaceIsAskedForByItsFallbackAndOneThatIsThereByItsName) {
    ProbeSlot().Load();
    const auto face = [](int id) {
        LOGFONTW lf{};
        GetObjectW(reinterpret_cast<HFONT>(SendDlgItemMessageW(ProbeSlot().Hwnd(), id, WM_GETFONT, 0, 0)), sizeof lf, &lf);
        return std::wstring(lf.lfFaceName);
    };
    EXPECT_EQ(face(1), L"SimSun") << "no fallback";
    EXPECT_EQ(face(2), L"Verdana");
    EXPECT_EQ(face(3), L"Verdana");
}

TEST(SingleInstance, AMutexOfTheNameIsARunningCopyEvenWhenThisAccountMayNotOpenIt) {
    EXPECT_FALSE(ui::ClaimInstance(L"Local\\Lanshige.Test.Fresh").previous);
    ui::InstanceClaim first = ui::ClaimInstance(L"Local\\Lanshige.Test.Twice");
    EXPECT_TRUE(ui::ClaimInstance(L"Local\\Lanshige.Test.Twice").previous);

    // As an elevated copy, or another account's, makes it: a descriptor whose
    // empty access list grants nothing to anyone.
    SECURITY_DESCRIPTOR sd{};
    ACL acl{};
    ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(InitializeAcl(&acl, sizeof acl, ACL_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, &acl, FALSE));
    SECURITY_ATTRIBUTES sa{sizeof sa, &sd, FALSE};
    ui::UniqueKernelHandle theirs(CreateMutexW(&sa, FALSE, L"Local\\Lanshige.Test.Denied"));
    ASSERT_TRUE(theirs);
    const ui::InstanceClaim claim = ui::ClaimInstance(L"Local\\Lanshige.Test.Denied");
    EXPECT_FALSE(claim.mutex) << "the descriptor was not enforced";
    EXPECT_TRUE(claim.previous);
}

std::vector<std::pair<HWND, bool>> g_nonClientScaling;  // the window, and whether it had children yet
void RecordNonClientScaling(HWND window) { g_nonClientScaling.push_back({window, GetWindow(window, GW_CHILD) != nullptr}); }

TEST_F(Lifecycle, EveryFormAsksForItsFrameToBeScaledAsItsWindowIsMade) {
    testing_support::Faked<ui::MonitorCalls> monitors(ui::Monitors());
    g_nonClientScaling.clear();
    monitors->scaleNonClient = &RecordNonClientScaling;
    ProbeSlot().Load();
    LateSlot().Load();
    ASSERT_EQ(g_nonClientScaling.size(), 2u);
    EXPECT_EQ(g_nonClientScaling[0].first, ProbeSlot().Hwnd());
    EXPECT_EQ(g_nonClientScaling[1].first, LateSlot().Hwnd());
    EXPECT_FALSE(g_nonClientScaling[0].second) << "asked after WM_CREATE made the controls";
    ProbeSlot().Show();
    EXPECT_EQ(g_nonClientScaling.size(), 2u);
}

TEST(Monitors, CentringAndMovingOntoAnArea) {
    const RECT second{1920, -200, 3200, 824};
    const POINT centred = ui::CentredIn(second, {300, 200});
    EXPECT_EQ(centred.x, 2410);
    EXPECT_EQ(centred.y, 212);
    const RECT work{0, 0, 800, 560};
    const struct {
        RECT window;
        LONG x, y;
    } moves[] = {
        {{1000, 700, 1300, 900}, 500, 360},      // right of and below it
        {{-2000, -900, -1700, -700}, 0, 0},      // left of and above it
        {{100, 600, 400, 800}, 100, 360},        // below it only
        {{900, 100, 1900, 900}, 0, 0},           // larger than it: its top left on it
    };
    for (const auto& m : moves) {
        const POINT to = ui::MovedOnto(m.window, work);
        EXPECT_EQ(to.x, m.x) << m.window.left;
        EXPECT_EQ(to.y, m.y) << m.window.left;
    }
}

// The monitor a window at x >= 800 was on has been unplugged.
std::optional<ui::MonitorArea> OneMonitorLeft(HWND window, DWORD flags) {
    RECT r;
    GetWindowRect(window, &r);
    if (r.left >= 800 && flags == MONITOR_DEFAULTTONULL) return std::nullopt;
    return ui::MonitorArea{{0, 0, 800, 600}, {0, 0, 800, 560}};
}

TEST_F(Lifecycle, AWindowShownAgainAfterItsMonitorWentComesBackOnOneThatIsThere) {
    testing_support::Faked<ui::MonitorCalls> monitors(ui::Monitors());
    monitors->ofWindow = &OneMonitorLeft;
    auto& form = ProbeSlot();
    form.Show();
    form.Hide();
    SetWindowPos(form.Hwnd(), nullptr, 2000, 300, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    form.Show();
    RECT r;
    GetWindowRect(form.Hwnd(), &r);
    EXPECT_EQ(r.right, 800);
    EXPECT_EQ(r.top, 300);
    // One still on a monitor stays where it is.
    form.Hide();
    SetWindowPos(form.Hwnd(), nullptr, 10, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    form.Show();
    GetWindowRect(form.Hwnd(), &r);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 20);
}

}  // namespace
