// What screen readers read from the program's windows. Asked in process:
// across processes Wine answers E_NOINTERFACE for every window.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <oleacc.h>

#include "arrange/ArrangeWindow.h"
#include "tests/wine/Pump.h"
#include "ui/MainWindow.h"
#include "ui/StartWindow.h"

namespace {

struct Read {
    std::wstring name;
    LONG role = 0;
};

Read ReadObject(IAccessible* object) {
    Read read;
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    if (SUCCEEDED(object->get_accName(self, &name)) && name) read.name = name;
    SysFreeString(name);
    VARIANT role{};
    if (SUCCEEDED(object->get_accRole(self, &role)) && role.vt == VT_I4) read.role = role.lVal;
    object->Release();
    return read;
}

// The name and role of a window's own object (OBJID_WINDOW) or of its
// client area (OBJID_CLIENT), as a screen reader gets them.
Read Accessible(HWND hwnd, LONG objectId) {
    IAccessible* object = nullptr;
    if (FAILED(AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(objectId), IID_IAccessible,
                                          reinterpret_cast<void**>(&object))))
        return {L"(no object)", -1};
    return ReadObject(object);
}

// The same from the system's standard object, which a window that answers
// for itself does not change.
Read Standard(HWND hwnd, LONG objectId) {
    IAccessible* object = nullptr;
    if (FAILED(CreateStdAccessibleObject(hwnd, objectId, IID_IAccessible, reinterpret_cast<void**>(&object))))
        return {L"(no object)", -1};
    return ReadObject(object);
}

std::wstring TextOf(HWND hwnd) {
    wchar_t text[256] = {};
    GetWindowTextW(hwnd, text, 256);
    return text;
}

class FailingAllocator final : public arrange::BlockAllocator {
public:
    void* Allocate(std::size_t) noexcept override { return nullptr; }
    void Free(void*, std::size_t) noexcept override {}
};

class AccessibleNames : public ::testing::Test {
protected:
    void TearDown() override {
        ui::Form2.Unload();
        arrange::Form3.Unload();
        ui::Form1.Unload();
        testing_support::PumpFor(50);
    }
};

TEST_F(AccessibleNames, TheStartWindowIsCalledByTheProductNameAndKeepsItsCaption) {
    ui::Form1().Show();
    HWND start = ui::Form1().Hwnd();
    for (LONG id : {OBJID_WINDOW, OBJID_CLIENT}) {
        const Read read = Accessible(start, id);
        EXPECT_EQ(read.name, L"岚石阁内存整理") << id;
        EXPECT_EQ(read.role, Standard(start, id).role) << id;
    }
    EXPECT_EQ(TextOf(start), L"Form1");
}

TEST_F(AccessibleNames, TheArrangeWindowIsCalledByItsStatusAsItChanges) {
    ui::Form2().Show();
    arrange::cmdArrange_Click(ui::Form2());
    HWND window = arrange::Form3().Hwnd();
    EXPECT_EQ(Accessible(window, OBJID_CLIENT).name, L"正在整理内存，请稍等...");
    arrange::Form3().Timer1_Timer();
    for (LONG id : {OBJID_WINDOW, OBJID_CLIENT}) {
        const Read read = Accessible(window, id);
        EXPECT_EQ(read.name, L"内存整理完毕！单击窗体返回") << id;
        EXPECT_EQ(read.role, Standard(window, id).role) << id;
    }
    EXPECT_EQ(TextOf(window), L"");

    arrange::Form3.Unload();
    arrange::Form3().SetAllocator(*new FailingAllocator);  // lives as long as the test program
    arrange::cmdArrange_Click(ui::Form2());
    arrange::Form3().Timer1_Timer();
    EXPECT_EQ(Accessible(arrange::Form3().Hwnd(), OBJID_CLIENT).name, L"可用内存不足，整理未完成！单击窗体返回");
}

TEST_F(AccessibleNames, TheBarIsCalledByItsTipsMeaningAndTheTipStaysAsItWas) {
    ui::Form2().Load();
    HWND bar = ui::Form2().Control(ui::MainWindow::pgbMem);
    const Read read = Accessible(bar, OBJID_CLIENT);
    EXPECT_EQ(read.name, L"可用内存");
    // A progress bar on Windows; Wine's standard object calls it a client area.
    EXPECT_EQ(read.role, Standard(bar, OBJID_CLIENT).role);
    EXPECT_EQ(TextOf(bar), L"");

    HWND tip = nullptr;
    for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, TOOLTIPS_CLASSW, nullptr));) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid == GetCurrentProcessId()) tip = w;
    }
    ASSERT_TRUE(tip);
    wchar_t text[128] = {};
    TTTOOLINFOW info{};
    info.cbSize = sizeof info;
    info.hwnd = ui::Form2().Hwnd();
    info.uId = reinterpret_cast<UINT_PTR>(bar);
    info.lpszText = text;
    SendMessageW(tip, TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&info));
    EXPECT_STREQ(text, L"深色部分为可用内存，浅色部分为已用内存");
}

}  // namespace
