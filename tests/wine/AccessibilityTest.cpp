// What screen readers learn of the program's windows: the annotations it
// gives, seen through a fake of the property service (Wine's is a stub), and
// the controls as the system's own objects show them, asked in process
// (across processes Wine answers E_NOINTERFACE for every window).
#include <gtest/gtest.h>

#include <windows.h>

#include <oleacc.h>

#include <string>
#include <utility>
#include <vector>

#include "arrange/ArrangeWindow.h"
#include "tests/wine/Faked.h"
#include "tests/wine/Pump.h"
#include "ui/MainWindow.h"
#include "ui/StartWindow.h"
#include "ui/toolkit/Accessibility.h"

namespace {

struct Call {
    const char* what;
    HWND hwnd;
    std::wstring name;
    bool operator==(const Call&) const = default;
};
void PrintTo(const Call& c, std::ostream* os) { *os << c.what << " " << c.hwnd << " (" << c.name.size() << " chars)"; }

// PROPID_ACC_NAME, and UI Automation's LiveSetting property, which the
// service knows from Windows 8 on.
constexpr GUID kName{0x608d3df8, 0x8128, 0x4aa7, {0xa4, 0x28, 0xf5, 0x5e, 0x49, 0x26, 0x72, 0x91}};
constexpr GUID kLiveSetting{0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};

std::vector<Call> g_calls;
bool g_windows7 = false;  // a service that fails, as a whole, a clear that names LiveSetting

bool RecordName(HWND hwnd, const wchar_t* name) { return g_calls.push_back({"name", hwnd, name}), true; }
bool RecordLive(HWND hwnd) { return g_calls.push_back({"live", hwnd, L""}), true; }
HRESULT RecordClear(HWND hwnd, const GUID* properties, int count) {
    std::vector<Call> cleared;
    for (const GUID* p = properties; p != properties + count; ++p) {
        if (IsEqualGUID(*p, kLiveSetting) && g_windows7) return E_INVALIDARG;
        cleared.push_back({IsEqualGUID(*p, kName) ? "clear name" : "clear live", hwnd, L""});
    }
    g_calls.insert(g_calls.end(), cleared.begin(), cleared.end());
    return S_OK;
}

// What the service was asked since the last look.
std::vector<Call> Taken() { return std::exchange(g_calls, {}); }

LPVOID WINAPI NoPages(LPVOID, SIZE_T, DWORD, DWORD) { return nullptr; }

LRESULT AskForObject(HWND hwnd) { return SendMessageW(hwnd, WM_GETOBJECT, 0, OBJID_CLIENT); }

void Tick() { SendMessageW(arrange::Form3().Hwnd(), WM_TIMER, arrange::ArrangeWindow::kTimerId, 0); }

class Annotations : public ::testing::Test {
protected:
    void SetUp() override {
        service->setName = &RecordName;
        service->setLivePolite = &RecordLive;
        service->clear = &RecordClear;
    }
    void TearDown() override {
        ui::Form2.Unload();
        arrange::Form3.Unload();
        ui::Form1.Unload();
        testing_support::PumpFor(50);
        g_calls.clear();
        g_windows7 = false;
    }
    testing_support::Faked<ui::AccessibilityCalls> service{ui::Accessibility()};
};

TEST_F(Annotations, TheStartWindowIsNamedWhenAClientFirstAsksAndTheNameGoesWithIt) {
    for (const bool windows7 : {false, true}) {  // where the service knows no LiveSetting, the name still goes
        g_windows7 = windows7;
        ui::Form1().Show();
        HWND start = ui::Form1().Hwnd();
        EXPECT_EQ(Taken(), std::vector<Call>{}) << "before any client asked";
        EXPECT_EQ(AskForObject(start), 0) << "the system's own object answers";
        AskForObject(start);
        EXPECT_EQ(Taken(), (std::vector<Call>{{"name", start, L"岚石阁内存整理"}}));
        ui::Form1.Unload();  // the name goes with the window
        EXPECT_EQ(Taken(), (std::vector<Call>{{"clear name", start, L""}})) << "Windows 7: " << windows7;
    }
}

TEST_F(Annotations, TheArrangeWindowIsCalledByItsStatusWhoseLabelIsALiveRegion) {
    ui::Form2().Show();
    arrange::cmdArrange_Click(ui::Form2());
    HWND window = arrange::Form3().Hwnd();
    HWND label = GetDlgItem(window, arrange::ArrangeWindow::Label1);
    EXPECT_EQ(AskForObject(window), 0);
    EXPECT_EQ(Taken(), (std::vector<Call>{{"name", window, L"正在整理内存，请稍等..."}, {"live", label, L""}}));
    Tick();
    EXPECT_EQ(Taken(), (std::vector<Call>{{"name", window, L"内存整理完毕！单击窗体返回"}, {"live", label, L""}}));
    arrange::Form3.Unload();
    EXPECT_EQ(Taken(), (std::vector<Call>{{"clear name", window, L""}, {"clear live", label, L""}}));

    // With no client yet, only a screen reader that is on has it annotated.
    testing_support::Faked<arrange::MemoryCalls> memory(arrange::Memory());
    memory->allocate = &NoPages;
    for (const BOOL screenReader : {TRUE, FALSE}) {
        ASSERT_TRUE(SystemParametersInfoW(SPI_SETSCREENREADER, screenReader, nullptr, 0));
        g_calls.clear();
        arrange::cmdArrange_Click(ui::Form2());
        Tick();
        const std::vector<Call> expected{
            {"name", arrange::Form3().Hwnd(), L"可用内存不足，整理未完成！单击窗体返回"},
            {"live", GetDlgItem(arrange::Form3().Hwnd(), arrange::ArrangeWindow::Label1), L""}};
        EXPECT_EQ(Taken(), screenReader ? expected : std::vector<Call>{}) << screenReader;
        arrange::Form3.Unload();
    }
}

TEST_F(Annotations, TheBarIsNamedByTheHiddenLabelBeforeItAndKeepsTheSystemsObject) {
    ui::Form2().Load();
    HWND bar = ui::Form2().Control(ui::MainWindow::pgbMem);
    // The label a screen reader looks for: the static just before the bar.
    HWND label = GetWindow(bar, GW_HWNDPREV);
    EXPECT_EQ(label, ui::Form2().Control(ui::MainWindow::lblBarName)) << "a label of the Static class";
    EXPECT_FALSE(IsWindowVisible(label));
    // Read through Wine's own object, which (unlike Windows') looks for a
    // label only for an edit control, so the bar's own name is not there.
    IAccessible* object = nullptr;
    ASSERT_HRESULT_SUCCEEDED(AccessibleObjectFromWindow(label, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                                        reinterpret_cast<void**>(&object)));
    const ui::UniqueCom<IAccessible> owned(object);
    BSTR name = nullptr;
    VARIANT self{};
    self.vt = VT_I4;
    EXPECT_EQ(object->get_accName(self, &name), S_OK);
    EXPECT_STREQ(name, L"可用内存");
    SysFreeString(name);
    // Not answered by us: UI Automation gives the bar its own proxy.
    EXPECT_EQ(AskForObject(bar), 0);
    EXPECT_EQ(g_calls, std::vector<Call>{});
}

}  // namespace
