// A form's life: its window made, its messages handled, placed, shown,
// hidden and unloaded; and the loop that runs the forms.
#include "ui/toolkit/Form.h"

#include <windowsx.h>

#include <algorithm>

#include "ui/toolkit/Program.h"
#include "ui/toolkit/SystemCalls.h"

namespace ui {

namespace {

std::vector<Form*> g_liveForms;  // those with a window
std::vector<std::unique_ptr<Form>> g_retired;

RECT WindowRect(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    return rect;
}

SIZE SizeOf(const RECT& rect) { return {rect.right - rect.left, rect.bottom - rect.top}; }

}  // namespace

Form* Form::Of(HWND window) {
    for (Form* f : g_liveForms) {
        if (f->hwnd_ == window) return f;
    }
    return nullptr;
}

int LoadedFormCount() { return static_cast<int>(g_liveForms.size()); }
void CollectRetired() { g_retired.clear(); }

int Run() {
    MSG msg{};
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        Form* form = msg.hwnd ? Form::Of(GetAncestor(msg.hwnd, GA_ROOT)) : nullptr;
        if (!form || !form->PreTranslate(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        CollectRetired();
    }
    CollectRetired();
    return static_cast<int>(msg.wParam);
}

Form::~Form() {
    // Normally gone by now; a form dropped without an unload still takes its
    // window along rather than leave one behind without its object.
    if (hwnd_) DestroyWindow(hwnd_);
}

void Form::Load() {
    if (hwnd_ || loading_) return;
    loading_ = true;
    if (design_.createAfterLoad) Form_Load();
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Form::StaticWndProc;
    wc.hInstance = Instance();
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = design_.className;
    RegisterClassExW(&wc);  // fails, harmlessly, for every window of the kind after the first
    // Made hidden at the origin, then sized for the DPI of where it lands.
    CreateWindowExW(design_.exStyle, design_.className, design_.caption, design_.style & ~WS_VISIBLE, 0, 0, 0,
                    0, nullptr, nullptr, Instance(), this);
    if (!design_.createAfterLoad) Form_Load();
    loading_ = false;
}

LRESULT CALLBACK Form::StaticWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Form* self = nullptr;
    if (msg == WM_NCCREATE) {
        self = static_cast<Form*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        Monitors().scaleNonClient(hwnd);
    } else {
        self = reinterpret_cast<Form*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->OnNcDestroy();
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    return self->HandleMessage(msg, wParam, lParam);
}

LRESULT Form::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE: OnCreate(); return 0;
    case WM_DPICHANGED: OnDpiChanged(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<const RECT*>(lParam)); return 0;
    case WM_PAINT: OnPaint(); return 0;
    // Themed controls with transparent parts (rounded buttons, the progress
    // bar) ask for what lies behind them through DrawThemeParentBackground,
    // which sends both into their own DC.
    case WM_ERASEBKGND:
    case WM_PRINTCLIENT: PaintInto(reinterpret_cast<HDC>(wParam)); return msg == WM_ERASEBKGND;
    case WM_CTLCOLORSTATIC:
        if (HBRUSH brush = OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam))) {
            return reinterpret_cast<LRESULT>(brush);
        }
        break;
    case WM_SYSCOLORCHANGE: ColoursChanged(true); break;
    case WM_SETTINGCHANGE: if (wParam == SPI_SETHIGHCONTRAST) ColoursChanged(false); break;
    case WM_SETCURSOR: if (OnSetCursor(LOWORD(lParam))) return TRUE; break;
    case WM_LBUTTONDOWN: pressed_ = true; SetCapture(hwnd_); return 0;
    case WM_LBUTTONUP: OnLButtonUp({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}); return 0;
    case WM_CAPTURECHANGED: pressed_ = false; return 0;
    case WM_TIMER: OnTimer(wParam); return 0;
    case WM_COMMAND: OnControlCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)); return 0;
    case DM_GETDEFID: return keys_.DefaultId();  // where Enter goes with the focus on no button
    case WM_ACTIVATE: if (LOWORD(wParam) == WA_INACTIVE) keys_.Deactivated(); break;
    case WM_SETFOCUS: keys_.Refocus(); return 0;
    // Annotated before DefWindowProc answers with the system's object, which
    // reads the annotations.
    case WM_GETOBJECT: if (!annotations_.Asked()) { annotations_.MarkAsked(); Form_Annotate(); } break;
    case WM_DESTROY: annotations_.Clear(); break;  // while the labels are still there
    case WM_CLOSE: OnClose(); return 0;
    case WM_KEYDOWN: Form_KeyDown(wParam); return 0;
    // The session ends once this returns: unload now so nothing is left behind.
    case WM_ENDSESSION: if (wParam) Unload(); return 0;
    default: break;
    }
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

void Form::Form_Annotate() {
    if (design_.accessibleName) annotations_.Name(hwnd_, design_.accessibleName);
}

void Form::OnCreate() {
    g_liveForms.push_back(this);
    dpi_ = WindowDpi(hwnd_);
    highContrast_ = Accessibility().highContrast();
    LoadIcons();
    CreateControls();
    keys_.Attach(hwnd_);
    Layout();
    for (Timer* t : timers_) {
        if (t->Enabled()) t->Start(hwnd_);
    }
    if (design_.centreAtLoad) CentreOn(nullptr);
}

void Form::OnNcDestroy() {
    hwnd_ = nullptr;
    controls_.clear();
    keys_.Attach(nullptr);
    tip_ = nullptr;
    std::erase(g_liveForms, this);
}

void Form::OnDpiChanged(UINT dpiX, UINT dpiY, const RECT* suggested) {
    // The system sends this with the same DPI on both axes. Any program can
    // post it as well, with any numbers and any pointer, so the DPI must be
    // one a monitor can have and the rectangle is copied in a way that fails
    // instead of faulting.
    if (dpiX != dpiY || dpiY < kMinDpi || dpiY > kMaxDpi || dpiY == dpi_) return;
    dpi_ = dpiY;
    // A window centred on its monitor (CentreOn put it there on a monitor of
    // another DPI) stays centred as it grows or shrinks: the suggested place
    // keeps its top left corner.
    const std::optional<RECT> centredOn = CentredOn();
    RECT place{};
    SIZE_T copied = 0;
    if (!centredOn && ReadProcessMemory(GetCurrentProcess(), suggested, &place, sizeof place, &copied) &&
        copied == sizeof place && MonitorFromRect(&place, MONITOR_DEFAULTTONULL)) {
        MoveTo({place.left, place.top});
    }
    LoadIcons();
    Layout();
    if (centredOn) CentreIn(*centredOn);
}

bool Form::OnSetCursor(UINT hitTest) {
    if (!design_.cursorId || hitTest != HTCLIENT) return false;
    SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(design_.cursorId)));
    return true;
}

void Form::OnLButtonUp(POINT at) {
    if (!pressed_) return;
    pressed_ = false;
    ReleaseCapture();
    RECT client;
    GetClientRect(hwnd_, &client);
    if (PtInRect(&client, at)) Form_Click();
}

void Form::OnControlCommand(UINT id, UINT code, HWND from) {
    const LiveControl* cancel = !from && id == IDCANCEL ? keys_.Flagged(kCancelButton) : nullptr;
    if (cancel) {
        // Esc, from the dialog manager: exactly what a click sends, so that
        // the key and the mouse are one command to everything that sees the
        // window's messages.
        const auto click = MAKEWPARAM(cancel->design->id, BN_CLICKED);
        SendMessageW(hwnd_, WM_COMMAND, click, reinterpret_cast<LPARAM>(cancel->hwnd));
        return;
    }
    if (from) {
        // Only a button's click is a command; a label's notifications are not.
        const LiveControl* c = Find(0, from);
        if (!c || c->design->kind != ControlKind::Button) return;
        if (code == BN_SETFOCUS) keys_.ShowAsDefault(from);
        // A key stands for a click only where the button could be clicked.
        if (code != BN_CLICKED || !IsWindowEnabled(from)) return;
    }
    if (id != IDOK && id != IDCANCEL) OnCommand(id);
}

void Form::MoveTo(POINT at) { SetWindowPos(hwnd_, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE); }

void Form::CentreIn(const RECT& monitor) { MoveTo(CentredIn(monitor, SizeOf(WindowRect(hwnd_)))); }

void Form::CentreOn(HWND window) {
    Load();
    const auto area = hwnd_ ? Monitors().ofWindow(window ? window : hwnd_, MONITOR_DEFAULTTOPRIMARY) : std::nullopt;
    if (!area) return;
    CentreIn(area->monitor);
    positioned_ = true;
}

std::optional<RECT> Form::CentredOn() const {
    const std::optional<MonitorArea> area = Monitors().ofWindow(hwnd_, MONITOR_DEFAULTTONULL);
    const RECT rect = WindowRect(hwnd_);
    const POINT centred = area ? CentredIn(area->monitor, SizeOf(rect)) : POINT{};
    if (!area || centred.x != rect.left || centred.y != rect.top) return std::nullopt;
    return area->monitor;
}

void Form::Show() {
    Load();
    if (!hwnd_) return;
    // A window hidden on a monitor that has been unplugged since would come
    // back where nobody can see it or reach it.
    const MonitorCalls& monitors = Monitors();
    if (!positioned_) {
        CentreOn(nullptr);
    } else if (!monitors.ofWindow(hwnd_, MONITOR_DEFAULTTONULL)) {
        const auto nearest = monitors.ofWindow(hwnd_, MONITOR_DEFAULTTONEAREST);
        if (nearest) MoveTo(MovedOnto(WindowRect(hwnd_), nearest->work));
    }
    positioned_ = true;
    keys_.InitialiseCues();
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
}

void Form::Unload() {
    if (unloading_) return;  // an unload handler that unloads its own form
    if (!hwnd_) return Retire();
    unloading_ = true;
    Form_Unload();
    // The handler may have unloaded us already, through another form.
    if (hwnd_) DestroyWindow(hwnd_);
    for (Timer* t : timers_) t->SetEnabled(false);
    Retire();
    if (LoadedFormCount() == 0) PostQuitMessage(0);
}

void Form::Retire() {
    if (slot_) g_retired.push_back(std::move(*std::exchange(slot_, nullptr)));
}

void Timer::SetEnabled(bool enabled) {
    enabled_ = enabled;
    // Without a window, a design-time setting: it takes effect when the
    // window is made. Re-setting restarts the count.
    HWND hwnd = owner_.Hwnd();
    if (hwnd && enabled) Start(hwnd);
    if (hwnd && !enabled) KillTimer(hwnd, id_);
}

void Timer::Start(HWND hwnd) const {
    // With the default tolerance SetCoalescableTimer is SetTimer.
    static const auto coalescable = UserProc<decltype(&SetCoalescableTimer)>("SetCoalescableTimer");
    if (tolerance_ == TIMERV_DEFAULT_COALESCING || !coalescable ||
        !coalescable(hwnd, id_, interval_, nullptr, tolerance_)) {
        SetTimer(hwnd, id_, interval_, nullptr);
    }
}

}  // namespace ui
