// A form: one top-level window made from a design table, with its controls,
// its handlers and timers, and its one instance per kind; and the message
// loop that runs the forms.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ui/toolkit/Accessibility.h"
#include "ui/toolkit/Controls.h"
#include "ui/toolkit/Fonts.h"

namespace ui {

class Timer;

class Form {
public:
    explicit Form(const FormDesign& design) : design_(design) {}
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    // Makes the window, hidden, and runs the load handler.
    void Load();
    // Show and CentreOn load first; CentreOn: on the monitor of a window (nullptr: its own).
    void Show();
    void Hide() { if (hwnd_) ShowWindow(hwnd_, SW_HIDE); }
    void CentreOn(HWND window);
    // Runs the unload handler, then destroys the window and its controls; the
    // next use of this kind makes a fresh instance. Nothing when not loaded.
    void Unload();

    bool Loaded() const { return hwnd_ != nullptr; }
    HWND Hwnd() const { return hwnd_; }
    UINT Dpi() const { return dpi_; }

    HWND Control(int id) const { return Find(id) ? Find(id)->hwnd : nullptr; }
    // An autosized label fits itself to its new text; an unchanged text
    // neither repaints nor resizes anything.
    void SetCaption(int id, const std::wstring& text);
    std::wstring Caption(int id) const { return Find(id) ? Find(id)->text : L""; }
    void SetForeColour(int id, COLORREF colour);
    // An autosized label kept left of another control: its font steps down in
    // half-points (never below minPoints) until its text fits, and back up as
    // far as the design's size when the text allows.
    void FitLeftOf(int id, int neighbourId, double minPoints);
    void SetControlTip(int id, const wchar_t* text);  // the progress bar's

    // The form whose window this is, if any: the message loop hands it the
    // mouse on its way to the controls' tip and the keys on their way to the
    // focused control.
    static Form* Of(HWND window);
    bool PreTranslate(MSG& msg) {
        RelayToTip(msg);
        return keys_.PreTranslate(msg);
    }
    // Set going with the window when enabled before it.
    void AddTimer(Timer& timer) { timers_.push_back(&timer); }

protected:
    virtual void Form_Load() {}
    virtual void Form_Unload() {}
    virtual void Form_Click() {}
    virtual void OnTimer(UINT_PTR /*id*/) {}
    virtual void OnCommand(UINT /*id*/) {}  // a button click or menu command
    virtual void OnClose() { Unload(); }  // WM_CLOSE: Alt+F4, another program
    // A key pressed while the form itself, not a control, has the focus.
    virtual void Form_KeyDown(WPARAM /*key*/) {}
    virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    // The window's annotations (by default the design's accessible name), at
    // the first WM_GETOBJECT: oleacc stays unloaded until a client looks.
    virtual void Form_Annotate();
    Annotations& Annotated() { return annotations_; }

private:
    template <class T> friend class FormSlot;

    static LRESULT CALLBACK StaticWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void OnCreate();
    void OnNcDestroy();
    void OnDpiChanged(UINT dpiX, UINT dpiY, const RECT* suggested);
    void OnPaint();
    HBRUSH OnCtlColorStatic(HDC dc, HWND label);
    bool OnSetCursor(UINT hitTest);
    void OnLButtonUp(POINT at);
    void OnControlCommand(UINT id, UINT code, HWND from);
    void Retire();  // from its slot, to be freed once the loop is back

    void CreateControls();
    void Layout();
    std::optional<RECT> CentredOn() const;  // the monitor, if it stands centred on one
    void MoveTo(POINT at);
    void CentreIn(const RECT& monitor);
    // Background, panels and lines into any DC (no area: the whole client area).
    void PaintInto(HDC dc, const RECT* area = nullptr);
    void ColoursChanged(bool systemColours);  // or high contrast turned on or off
    COLORREF Chosen(COLORREF design, int system) const;  // the design's, or the user's in high contrast
    void LoadIcons();
    void Fit(LiveControl& c) { fonts_.Fit(c, c.neighbourId ? Find(c.neighbourId) : nullptr); }
    void RelayToTip(const MSG& msg) const;  // the mouse's messages, for the controls' tip
    HBRUSH BrushFor(COLORREF colour);
    LiveControl* Find(int id, HWND hwnd = nullptr) const;  // by id, or by window when one is given

    const FormDesign& design_;
    HWND hwnd_ = nullptr;
    UINT dpi_ = kDefaultDpi;
    bool loading_ = false, unloading_ = false, positioned_ = false, pressed_ = false, highContrast_ = false;
    std::unique_ptr<Form>* slot_ = nullptr;  // the slot that holds this form
    std::vector<LiveControl> controls_;
    std::map<COLORREF, UniqueBrush> brushes_;
    std::map<std::pair<COLORREF, int>, UniquePen> pens_;  // colour and width
    UniqueIcon bigIcon_, smallIcon_;
    std::vector<Timer*> timers_;
    FormFonts fonts_;
    Keyboard keys_{controls_};
    HWND tip_ = nullptr;  // the tooltip over the controls; the window owns it
    Annotations annotations_;
};

// A timer of a form: raises the form's OnTimer(id) every interval while
// enabled; enabling it starts the count from zero. With a tolerance, Windows
// 8 and later may run a tick up to that many milliseconds late, together with
// other wake-ups (SetCoalescableTimer); Windows 7 has only the exact timer.
class Timer {
public:
    Timer(Form& owner, UINT_PTR id, UINT intervalMs, ULONG toleranceMs = TIMERV_DEFAULT_COALESCING)
        : owner_(owner), id_(id), interval_(intervalMs), tolerance_(toleranceMs) {
        owner.AddTimer(*this);
    }
    ~Timer() { if (enabled_ && owner_.Hwnd()) KillTimer(owner_.Hwnd(), id_); }
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    void SetEnabled(bool enabled);
    bool Enabled() const { return enabled_; }

private:
    friend class Form;
    void Start(HWND hwnd) const;  // on a window that exists
    Form& owner_;
    UINT_PTR id_;
    UINT interval_;
    ULONG tolerance_;
    bool enabled_ = false;
};

// The one instance of a form kind, made on first use and retired on unload.
template <class T>
class FormSlot {
public:
    T& operator()() {
        if (!form_) {
            form_ = std::make_unique<T>();
            form_->slot_ = &form_;
        }
        return static_cast<T&>(*form_);
    }
    void Unload() { if (form_) form_->Unload(); }

private:
    std::unique_ptr<Form> form_;
};

// Forms with a window; when none is left the program ends.
int LoadedFormCount();
// The message loop; returns the exit code once the last form is unloaded.
int Run();
// Frees the forms retired by Unload. The loop does it after each message, so
// that a form may unload itself from inside its own handlers.
void CollectRetired();

}  // namespace ui
