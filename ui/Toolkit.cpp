#include "ui/Toolkit.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>

#include "resources/Texts.h"

namespace ui {

namespace {

HINSTANCE g_instance = nullptr;
bool g_previousInstance = false;
int g_loadedForms = 0;
// Forms unloaded while one of their own handlers may still be on the stack.
std::vector<std::unique_ptr<Form>> g_retired;
// The forms that have a window, for the message loop's keyboard handling.
std::vector<Form*> g_liveForms;

Form* LiveFormOf(HWND root) {
    for (Form* f : g_liveForms) {
        if (f->Hwnd() == root) return f;
    }
    return nullptr;
}

// The per-monitor DPI calls exist from Windows 10 1607 on; looked up at run
// time so that the program still starts on older systems.
template <class Fn>
Fn UserProc(const char* name) {
    static HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
using MetricsForDpiFn = int(WINAPI*)(int, UINT);

}  // namespace

int SystemMetric(int index, UINT dpi) {
    static const auto forDpi = UserProc<MetricsForDpiFn>("GetSystemMetricsForDpi");
    return forDpi ? forDpi(index, dpi) : GetSystemMetrics(index);
}

// --- Geometry ---------------------------------------------------------------

int TwipsToPixels(int twips, UINT dpi) { return MulDiv(twips, static_cast<int>(dpi), kTwipsPerInch); }

int FontHeight(double points, UINT dpi) {
    return -static_cast<int>(std::lround(points * static_cast<double>(dpi) / 72.0));
}

UINT WindowDpi(HWND hwnd) {
    static const auto forWindow = UserProc<GetDpiForWindowFn>("GetDpiForWindow");
    if (forWindow && hwnd) {
        if (UINT dpi = forWindow(hwnd)) return dpi;
    }
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

// --- Timers and menus -----------------------------------------------------------

Timer::~Timer() {
    if (enabled_ && owner_.Hwnd()) KillTimer(owner_.Hwnd(), id_);
}

void Timer::SetEnabled(bool enabled) {
    enabled_ = enabled;
    HWND hwnd = owner_.Hwnd();
    if (!hwnd) return;  // a design-time setting: it takes effect when the window is made
    if (enabled) {
        SetTimer(hwnd, id_, interval_, nullptr);  // re-setting restarts the count
    } else {
        KillTimer(hwnd, id_);
    }
}

PopupMenu::PopupMenu(std::span<const MenuItemDesign> items) : menu_(CreatePopupMenu()) {
    for (const MenuItemDesign& item : items) {
        if (!item.caption) {
            AppendMenuW(menu_.get(), MF_SEPARATOR, 0, nullptr);
        } else {
            AppendMenuW(menu_.get(), MF_STRING | (item.enabled ? MF_ENABLED : MF_GRAYED), item.id,
                        item.caption);
        }
    }
}

void PopupMenu::SetEnabled(UINT id, bool enabled) {
    EnableMenuItem(menu_.get(), id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

bool PopupMenu::Enabled(UINT id) const {
    const UINT state = GetMenuState(menu_.get(), id, MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && !(state & (MF_GRAYED | MF_DISABLED));
}

// --- Forms ----------------------------------------------------------------------

Form::Form(const FormDesign& design) : design_(design) {}

Timer::Timer(Form& owner, UINT_PTR id, UINT intervalMs) : owner_(owner), id_(id), interval_(intervalMs) {
    owner_.timers_.push_back(this);
}

Form::~Form() {
    // Normally gone by now; a form dropped without an unload still takes its
    // window along rather than leave one behind without its object.
    if (hwnd_) DestroyWindow(hwnd_);
}

void Form::Load() {
    if (hwnd_ || loading_) return;
    loading_ = true;
    if (design_.createAfterLoad) {
        Form_Load();
        CreateWindowNow();
    } else {
        CreateWindowNow();
        Form_Load();
    }
    loading_ = false;
}

void Form::CreateWindowNow() {
    if (hwnd_) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (!GetClassInfoExW(Instance(), design_.className, &wc)) {
        wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &Form::StaticWndProc;
        wc.hInstance = Instance();
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = design_.className;
        RegisterClassExW(&wc);
    }
    // Made hidden at the origin, then sized for the DPI of where it lands.
    CreateWindowExW(design_.exStyle, design_.className, design_.caption, design_.style & ~WS_VISIBLE, 0, 0, 0,
                    0, nullptr, nullptr, Instance(), this);
}

LRESULT CALLBACK Form::StaticWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Form* self = nullptr;
    if (msg == WM_NCCREATE) {
        self = static_cast<Form*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<Form*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        self->controls_.clear();
        self->tabOrder_.clear();
        self->tooltip_ = nullptr;
        --g_loadedForms;
        std::erase(g_liveForms, self);
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    return self->HandleMessage(msg, wParam, lParam);
}

LRESULT Form::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE:
        ++g_loadedForms;
        g_liveForms.push_back(this);
        dpi_ = WindowDpi(hwnd_);
        LoadIcons();
        CreateControls();
        Layout();
        for (Timer* t : timers_) {
            if (t->Enabled()) SetTimer(hwnd_, t->Id(), t->Interval(), nullptr);
        }
        if (design_.centreAtLoad) {
            CentreOnScreen();
            positioned_ = true;
        }
        return 0;
    case WM_DPICHANGED: {
        // The system sends this with the same DPI on both axes. Any program
        // can post it as well, with any numbers and any pointer, so the DPI
        // must be one a monitor can have and the rectangle is copied in a way
        // that fails instead of faulting.
        const UINT dpi = HIWORD(wParam);
        if (dpi != LOWORD(wParam) || dpi < kMinDpi || dpi > kMaxDpi || dpi == dpi_) return 0;
        dpi_ = dpi;
        RECT suggested{};
        SIZE_T copied = 0;
        if (ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<const void*>(lParam), &suggested,
                              sizeof suggested, &copied) &&
            copied == sizeof suggested && MonitorFromRect(&suggested, MONITOR_DEFAULTTONULL)) {
            SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, 0, 0,
                         SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
        }
        LoadIcons();
        Layout();
        return 0;
    }
    case WM_PAINT: {
        PaintScope paint(hwnd_);
        PaintInto(paint.dc(), paint.area());
        return 0;
    }
    case WM_ERASEBKGND:
    case WM_PRINTCLIENT: {
        // Themed controls with transparent parts (rounded buttons, the
        // progress bar) ask for what lies behind them through
        // DrawThemeParentBackground, which sends both into their own DC.
        RECT client;
        GetClientRect(hwnd_, &client);
        PaintInto(reinterpret_cast<HDC>(wParam), client);
        return msg == WM_ERASEBKGND ? 1 : 0;
    }
    case WM_CTLCOLORSTATIC: {
        LiveControl* c = FindByHwnd(reinterpret_cast<HWND>(lParam));
        if (!c || c->design->back == kNoColour) break;
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, c->fore);
        SetBkColor(dc, c->design->back);
        return reinterpret_cast<LRESULT>(BrushFor(c->design->back));
    }
    case WM_SETCURSOR:
        if (design_.cursorId && LOWORD(lParam) == HTCLIENT) {
            SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(design_.cursorId)));
            return TRUE;
        }
        break;
    case WM_LBUTTONDOWN:
        pressed_ = true;
        SetCapture(hwnd_);
        return 0;
    case WM_LBUTTONUP: {
        if (!pressed_) return 0;
        pressed_ = false;
        ReleaseCapture();
        RECT client;
        GetClientRect(hwnd_, &client);
        const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (PtInRect(&client, pt)) Form_Click();
        return 0;
    }
    case WM_CAPTURECHANGED:
        pressed_ = false;
        return 0;
    case WM_TIMER:
        OnTimer(wParam);
        return 0;
    case WM_COMMAND: {
        const UINT id = LOWORD(wParam);
        const UINT code = HIWORD(wParam);
        const HWND from = reinterpret_cast<HWND>(lParam);
        if (from) {
            // Only a button's click is a command; a label's notifications are not.
            const LiveControl* c = FindByHwnd(from);
            if (!c || c->design->kind != ControlKind::Button) return 0;
            if (code == BN_SETFOCUS) ShowAsDefault(from);
            if (code != BN_CLICKED) return 0;
        }
        if (id == IDOK) {
            Press(EnterButton());
        } else if (id == IDCANCEL) {
            Press(CancelButton());
        } else {
            OnCommand(id);
        }
        return 0;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(hwnd_, focus)) lastFocus_ = focus;
        }
        break;
    case WM_SETFOCUS: {
        HWND target = lastFocus_ && IsWindow(lastFocus_) ? lastFocus_
                      : tabOrder_.empty()                ? nullptr
                                                         : tabOrder_.front();
        if (target) SetFocus(target);
        return 0;
    }
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_KEYDOWN:
        Form_KeyDown(wParam);
        return 0;
    case WM_ENDSESSION:
        // The session ends once this returns: unload now so nothing is left behind.
        if (wParam) Unload();
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

void Form::LoadIcons() {
    if (!design_.iconId) return;
    const auto load = [this](int metric) {
        const int size = SystemMetric(metric, dpi_);
        return static_cast<HICON>(LoadImageW(Instance(), MAKEINTRESOURCEW(design_.iconId), IMAGE_ICON, size,
                                             size, LR_DEFAULTCOLOR));
    };
    // The window keeps drawing its old icons until it has the new ones, so
    // those are destroyed only after WM_SETICON.
    UniqueIcon big(load(SM_CXICON));
    UniqueIcon small(load(SM_CXSMICON));
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
    bigIcon_ = std::move(big);
    smallIcon_ = std::move(small);
}

void Form::CreateControls() {
    controls_.reserve(design_.controls.size());
    // Children made first sit on top, so the table's front-to-back order is
    // the creation order.
    for (const ControlDesign& cs : design_.controls) {
        LiveControl live{&cs, nullptr, cs.fore == kNoColour ? GetSysColor(COLOR_WINDOWTEXT) : cs.fore,
                         cs.caption ? cs.caption : L"", PointsOf(cs.font)};
        const wchar_t* cls = nullptr;
        // Clipped by their siblings, so that overlapping controls keep the
        // design's z-order when they repaint.
        DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
        switch (cs.kind) {
        case ControlKind::Panel:
            controls_.push_back(std::move(live));  // painted by the form itself
            continue;
        case ControlKind::Label:
            cls = WC_STATICW;
            // SS_NOTIFY: a label takes its own clicks instead of letting them
            // fall through to the form underneath.
            style |= SS_NOTIFY | SS_NOPREFIX;
            style |= (cs.flags & kCentred) ? SS_CENTER : (cs.flags & kAutoSize) ? SS_LEFTNOWORDWRAP : SS_LEFT;
            break;
        case ControlKind::Button:
            cls = WC_BUTTONW;
            // BS_NOTIFY: the form hears of the focus arriving, to move the
            // default-button look along with it.
            style |= WS_TABSTOP | BS_NOTIFY | ((cs.flags & kDefaultButton) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
            break;
        case ControlKind::ProgressBar:
            cls = PROGRESS_CLASSW;
            style |= PBS_VERTICAL | PBS_SMOOTH;
            break;
        }
        live.hwnd = CreateWindowExW(0, cls, live.text.c_str(), style, 0, 0, 0, 0, hwnd_,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(cs.id)), Instance(), nullptr);
        controls_.push_back(std::move(live));
    }
    std::vector<const LiveControl*> tabbable;
    for (const LiveControl& c : controls_) {
        if (c.hwnd && c.design->kind == ControlKind::Button) tabbable.push_back(&c);
    }
    std::stable_sort(tabbable.begin(), tabbable.end(), [](const LiveControl* a, const LiveControl* b) {
        return a->design->tabIndex < b->design->tabIndex;
    });
    for (const LiveControl* c : tabbable) tabOrder_.push_back(c->hwnd);
}

void Form::Layout() {
    // A new DPI wants new fonts; the old ones live until every control has
    // been given its new one.
    const auto oldFonts = std::move(fonts_);
    fonts_.clear();
    RECT frame{0, 0, TwipsToPixels(design_.clientWidth, dpi_), TwipsToPixels(design_.clientHeight, dpi_)};
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE));
    static const auto adjustForDpi = UserProc<AdjustForDpiFn>("AdjustWindowRectExForDpi");
    if (adjustForDpi) {
        adjustForDpi(&frame, style, FALSE, exStyle, dpi_);
    } else {
        AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    }
    SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    for (LiveControl& c : controls_) {
        if (!c.hwnd) continue;
        const ControlDesign& cs = *c.design;
        SendMessageW(c.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(cs.font, c.points)), FALSE);
        SetWindowPos(c.hwnd, nullptr, TwipsToPixels(cs.left, dpi_), TwipsToPixels(cs.top, dpi_),
                     TwipsToPixels(cs.width, dpi_), TwipsToPixels(cs.height, dpi_),
                     SWP_NOZORDER | SWP_NOACTIVATE);
        if ((cs.flags & kAutoSize) && !c.text.empty()) FitToText(c);
    }
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void Form::CentreOnScreen() {
    RECT window;
    GetWindowRect(hwnd_, &window);
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY), &mi);
    const int w = window.right - window.left;
    const int h = window.bottom - window.top;
    const RECT& screen = mi.rcMonitor;
    SetWindowPos(hwnd_, nullptr, screen.left + (screen.right - screen.left - w) / 2,
                 screen.top + (screen.bottom - screen.top - h) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

Form::LiveControl* Form::Find(int id) {
    for (LiveControl& c : controls_) {
        if (c.design->id == id) return &c;
    }
    return nullptr;
}

const Form::LiveControl* Form::Find(int id) const { return const_cast<Form*>(this)->Find(id); }

Form::LiveControl* Form::FindByHwnd(HWND hwnd) {
    for (LiveControl& c : controls_) {
        if (c.hwnd == hwnd) return &c;
    }
    return nullptr;
}

void Form::Show() {
    Load();
    if (!hwnd_) return;
    if (!positioned_) {
        CentreOnScreen();
        positioned_ = true;
    }
    ShowWindow(hwnd_, SW_SHOW);
    // A disabled window cannot be activated: it is, once enabled.
    activateWhenEnabled_ = !IsWindowEnabled(hwnd_);
    SetForegroundWindow(hwnd_);
}

void Form::Hide() {
    if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
}

void Form::Unload() {
    if (unloading_) return;  // an unload handler that unloads its own form
    if (!hwnd_) {
        if (slot_) slot_->Retire();
        return;
    }
    unloading_ = true;
    Form_Unload();
    // The handler may have unloaded us already, through another form.
    if (hwnd_) DestroyWindow(hwnd_);
    for (Timer* t : timers_) t->SetEnabled(false);
    if (slot_) slot_->Retire();
    if (g_loadedForms == 0) PostQuitMessage(0);
}

bool Form::Visible() const { return hwnd_ && IsWindowVisible(hwnd_); }

bool Form::Enabled() const { return hwnd_ && IsWindowEnabled(hwnd_); }

void Form::SetEnabled(bool enabled) {
    if (!hwnd_) return;
    EnableWindow(hwnd_, enabled);
    if (enabled && activateWhenEnabled_ && IsWindowVisible(hwnd_)) {
        // The keyboard can reach it now. The system refuses this if the user
        // has gone on to another program meanwhile, as it should.
        SetForegroundWindow(hwnd_);
    }
    if (enabled) activateWhenEnabled_ = false;
}

HWND Form::Control(int id) const {
    const LiveControl* c = Find(id);
    return c ? c->hwnd : nullptr;
}

std::wstring Form::Caption(int id) const {
    const LiveControl* c = Find(id);
    return c ? c->text : std::wstring();
}

void Form::SetCaption(int id, const std::wstring& text) {
    LiveControl* c = Find(id);
    if (!c || c->text == text) return;
    c->text = text;
    if (!c->hwnd) return;
    SetWindowTextW(c->hwnd, c->text.c_str());
    if (c->design->flags & kAutoSize) FitToText(*c);
}

COLORREF Form::ForeColour(int id) const {
    const LiveControl* c = Find(id);
    return c ? c->fore : kNoColour;
}

void Form::SetForeColour(int id, COLORREF colour) {
    LiveControl* c = Find(id);
    if (!c || c->fore == colour) return;
    c->fore = colour;
    if (c->hwnd) InvalidateRect(c->hwnd, nullptr, TRUE);
}

void Form::SetControlTip(int id, const wchar_t* text) {
    HWND target = Control(id);
    if (!target) return;
    if (!tooltip_) {
        // Owned by the form, so it goes when the form is destroyed.
        tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                                   Instance(), nullptr);
    }
    TTTOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = hwnd_;
    ti.uId = reinterpret_cast<UINT_PTR>(target);
    ti.lpszText = const_cast<wchar_t*>(text);
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

// --- Slots ------------------------------------------------------------------------

void FormSlotBase::Adopt(std::unique_ptr<Form> form) {
    form_ = std::move(form);
    form_->slot_ = this;
}

void FormSlotBase::Unload() {
    if (form_) form_->Unload();
}

void FormSlotBase::Retire() {
    if (!form_) return;
    form_->slot_ = nullptr;
    g_retired.push_back(std::move(form_));
}

// --- Program services -------------------------------------------------------------

void Startup(HINSTANCE instance, const wchar_t* instanceName) {
    g_instance = instance;
    // Held for the life of the process: its existence is the running copy.
    // Made before anything else, so two copies started together cannot both
    // see themselves as the first.
    static InstanceClaim claim = ClaimInstance(instanceName);
    g_previousInstance = claim.previous;

    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof icc;
    icc.dwICC = ICC_PROGRESS_CLASS | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&icc);
}

InstanceClaim ClaimInstance(const wchar_t* name) {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name);
    // Read at once: nothing may run between the call and its error code.
    const DWORD error = GetLastError();
    InstanceClaim claim{UniqueKernelHandle(mutex), false};
    // A copy that runs elevated, or under another account in this session,
    // made the mutex with a descriptor this account may not open: that is a
    // running copy too, not the absence of one.
    claim.previous = mutex ? error == ERROR_ALREADY_EXISTS : error == ERROR_ACCESS_DENIED;
    return claim;
}

HINSTANCE Instance() { return g_instance ? g_instance : GetModuleHandleW(nullptr); }

bool PreviousInstance() { return g_previousInstance; }

int LoadedFormCount() { return g_loadedForms; }

void CollectRetired() { g_retired.clear(); }

int Run() {
    MSG msg{};
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        Form* form = msg.hwnd ? LiveFormOf(GetAncestor(msg.hwnd, GA_ROOT)) : nullptr;
        if (!form || !form->PreTranslate(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        CollectRetired();
    }
    CollectRetired();
    return static_cast<int>(msg.wParam);
}

void End() { ExitProcess(0); }

int MsgBox(const std::wstring& text, UINT style, const wchar_t* title, HWND owner) {
    return MessageBoxW(owner, text.c_str(), title ? title : texts::kProductName, style);
}

}  // namespace ui
