// A form's life: its window made, its messages handled, shown, hidden and
// unloaded, and the one instance per kind.
#include "ui/toolkit/Form.h"

#include <windowsx.h>

#include "ui/toolkit/Colours.h"
#include "ui/toolkit/Monitors.h"
#include "ui/toolkit/Program.h"

namespace ui {

Form::Form(const FormDesign& design) : design_(design) {}

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
        EnableNonClientScaling(hwnd);
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
        detail::FormDestroyed(self);
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    return self->HandleMessage(msg, wParam, lParam);
}

LRESULT Form::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE:
        detail::FormCreated(this);
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
        const TextColours colours = LabelColours(c->fore, c->design->back, design_.back);
        SetTextColor(dc, colours.text);
        SetBkColor(dc, colours.back);
        return reinterpret_cast<LRESULT>(BrushFor(colours.back));
    }
    case WM_SYSCOLORCHANGE:
    case WM_SETTINGCHANGE:
        if (msg == WM_SYSCOLORCHANGE || wParam == SPI_SETHIGHCONTRAST) ColoursChanged(msg == WM_SYSCOLORCHANGE);
        break;
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
    case WM_GETOBJECT:
        // Annotated before DefWindowProc answers with the system's object,
        // which reads the annotations.
        if (!annotations_.Asked()) {
            annotations_.MarkAsked();
            Form_Annotate();
        }
        break;
    case WM_DESTROY:
        annotations_.Clear();  // while the labels are still there
        break;
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

void Form::Form_Annotate() {
    if (design_.accessibleName) annotations_.Name(hwnd_, design_.accessibleName);
}

void Form::Show() {
    Load();
    if (!hwnd_) return;
    if (!positioned_) {
        CentreOnScreen();
        positioned_ = true;
    } else {
        KeepOnAMonitor();
    }
    cues_.Initialise(hwnd_);
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
    if (LoadedFormCount() == 0) PostQuitMessage(0);
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
    detail::Retire(std::move(form_));
}

}  // namespace ui
