// What screen readers learn of the program's windows: the annotations it
// gives, seen through a fake of the property service (Wine's is a stub), and
// the controls as the system's own objects show them, asked in process
// (across processes Wine answers E_NOINTERFACE for every window).
#include <gtest/gtest.h>

#include <windows.h>

#include <oleacc.h>

#include <string>
#include <vector>

#include "arrange/ArrangeWindow.h"
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

std::vector<Call> g_calls;
constexpr ui::AnnotationCalls kRecorded{
    [](HWND hwnd, const wchar_t* name) { return g_calls.push_back({"name", hwnd, name}), true; },
    [](HWND hwnd) { return g_calls.push_back({"live", hwnd, L""}), true; },
    [](HWND hwnd) { g_calls.push_back({"clear", hwnd, L""}); },
};

LRESULT AskForObject(HWND hwnd) { return SendMessageW(hwnd, WM_GETOBJECT, 0, OBJID_CLIENT); }

struct FailingAllocator final : arrange::BlockAllocator {
    void* Allocate(std::size_t) noexcept override { return nullptr; }
    void Free(void*, std::size_t) noexcept override {}
};

class Annotations : public ::testing::Test {
protected:
    void SetUp() override { ui::SetAnnotationCalls(&kRecorded); }
    void TearDown() override {
        ui::Form2.Unload();
        arrange::Form3.Unload();
        ui::Form1.Unload();
        testing_support::PumpFor(50);
        ui::SetAnnotationCalls(nullptr);
        g_calls.clear();
    }
};

TEST_F(Annotations, TheStartWindowIsNamedWhenAClientFirstAsksAndTheNameGoesWithIt) {
    ui::Form1().Show();
    HWND start = ui::Form1().Hwnd();
    EXPECT_EQ(g_calls, std::vector<Call>{}) << "before any client asked";
    EXPECT_EQ(AskForObject(start), 0) << "the system's own object answers";
    AskForObject(start);
    EXPECT_EQ(g_calls, (std::vector<Call>{{"name", start, L"岚石阁内存整理"}}));

    g_calls.clear();
    ui::Form1.Unload();  // the name goes with the window
    EXPECT_EQ(g_calls, (std::vector<Call>{{"clear", start, L""}}));
}

TEST_F(Annotations, TheArrangeWindowIsCalledByItsStatusWhoseLabelIsALiveRegion) {
    ui::Form2().Show();
    arrange::cmdArrange_Click(ui::Form2());
    HWND window = arrange::Form3().Hwnd();
    HWND label = arrange::Form3().Control(arrange::ArrangeWindow::Label1);
    EXPECT_EQ(AskForObject(window), 0);
    EXPECT_EQ(g_calls, (std::vector<Call>{{"name", window, L"正在整理内存，请稍等..."}, {"live", label, L""}}));
    g_calls.clear();
    arrange::Form3().Timer1_Timer();
    EXPECT_EQ(g_calls, (std::vector<Call>{{"name", window, L"内存整理完毕！单击窗体返回"}, {"live", label, L""}}));
    g_calls.clear();
    arrange::Form3.Unload();
    EXPECT_EQ(g_calls, (std::vector<Call>{{"clear", window, L""}, {"clear", label, L""}}));

    // With no client yet, only a screen reader that is on has it annotated.
    static FailingAllocator failing;
    for (const BOOL screenReader : {TRUE, FALSE}) {
        ASSERT_TRUE(SystemParametersInfoW(SPI_SETSCREENREADER, screenReader, nullptr, 0));
        g_calls.clear();
        arrange::Form3().SetAllocator(failing);
        arrange::cmdArrange_Click(ui::Form2());
        arrange::Form3().Timer1_Timer();
        const std::vector<Call> expected{
            {"name", arrange::Form3().Hwnd(), L"可用内存不足，整理未完成！单击窗体返回"},
            {"live", arrange::Form3().Control(arrange::ArrangeWindow::Label1), L""}};
        EXPECT_EQ(g_calls, screenReader ? expected : std::vector<Call>{}) << screenReader;
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
