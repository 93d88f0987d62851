// A form: one top-level window made from a design table, with its controls,
// its handlers, and its one instance per kind.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/toolkit/Accessibility.h"
#include "ui/toolkit/Design.h"
#include "ui/toolkit/FocusCues.h"
#include "ui/toolkit/Geometry.h"
#include "ui/toolkit/Handles.h"
#include "ui/toolkit/Timer.h"

namespace ui {

class FormSlotBase;

class Form {
public:
    explicit Form(const FormDesign& design);
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    // Create the window and run the load handler; the window stays hidden.
    void Load();
    // Load if needed, then make the window visible; the caller goes on at once.
    void Show();
    void Hide();
    // Load if needed, then centre the window on the monitor that holds another
    // window (its own when that is nullptr).
    void CentreOn(HWND window);
    // Run the unload handler, then destroy the window and its controls; the
    // next use of this kind makes a fresh instance. Does nothing when not loaded.
    void Unload();

    bool Loaded() const { return hwnd_ != nullptr; }
    bool Visible() const;
    bool Enabled() const;
    void SetEnabled(bool enabled);
    HWND Hwnd() const { return hwnd_; }
    UINT Dpi() const { return dpi_; }
    HICON SmallIcon() const { return smallIcon_.get(); }

    HWND Control(int id) const;
    std::wstring Caption(int id) const;
    // Sets a control's text; a label with autosize fits itself to it. An
    // unchanged text neither repaints nor resizes anything.
    void SetCaption(int id, const std::wstring& text);
    COLORREF ForeColour(int id) const;
    void SetForeColour(int id, COLORREF colour);

    // An autosized label that must end left of another control: when its
    // text would reach that control, its font steps down in half-points
    // (never below minPoints) until the text fits; it grows back as far as
    // the design's size when the text allows.
    void FitLeftOf(int id, int neighbourId, double minPoints);

    // Keyboard handling of the message loop: tab order, Enter and Esc.
    bool PreTranslate(MSG& msg);

    // Runs the form's handlers for one message; public so that tests can
    // drive a form exactly as the system does.
    LRESULT Dispatch(UINT msg, WPARAM wParam, LPARAM lParam) { return HandleMessage(msg, wParam, lParam); }

protected:
    virtual void Form_Load() {}
    virtual void Form_Unload() {}
    virtual void Form_Click() {}
    virtual void OnTimer(UINT_PTR /*id*/) {}
    // A button click or menu command.
    virtual void OnCommand(UINT /*id*/) {}
    // A close asked for from outside (WM_CLOSE: Alt+F4, another program);
    // unloads the form unless the form says otherwise.
    virtual void OnClose() { Unload(); }
    // A key pressed while the form itself, not a control, has the focus.
    virtual void Form_KeyDown(WPARAM /*key*/) {}
    virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    // Gives the window's annotations (by default the design's accessible
    // name); on the first WM_GETOBJECT, so that oleacc stays unloaded until a
    // client of accessibility looks at the program.
    virtual void Form_Annotate();
    Annotations& Annotated() { return annotations_; }

    const FormDesign& Design() const { return design_; }

private:
    friend class FormSlotBase;
    friend class Timer;

    struct LiveControl {
        const ControlDesign* design;
        HWND hwnd;
        COLORREF fore;
        std::wstring text;
        double points;           // the size its font is at now
        int neighbourId = 0;     // FitLeftOf: the control to keep left of
        double minPoints = 0;
        // The text of the last fit with its digits as '0', when every font
        // measured for it drew all ten digits equally wide: another text of
        // this shape fits the same. Empty: the next text is measured.
        std::wstring fitShape{};
    };

    static LRESULT CALLBACK StaticWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void CreateWindowNow();
    void CreateControls();
    void Layout();
    void CentreOnScreen() { CentreOn(nullptr); }
    // Onto the nearest monitor, if the one it was on has gone.
    void KeepOnAMonitor();
    void FitToText(LiveControl& c);
    // Background, panels and lines into any DC: the window's own painting,
    // and a themed child's request for what lies behind its transparent parts.
    void PaintInto(HDC dc, const RECT& area);
    // High contrast turned on or off, or the system colours changed.
    void ColoursChanged(bool systemColours);
    void LoadIcons();
    HFONT FontFor(const FontDesign* design) { return FontFor(design, PointsOf(design)); }
    HFONT FontFor(const FontDesign* design, double points);
    static double PointsOf(const FontDesign* design);
    // The text with each digit as '0'.
    static std::wstring DigitShape(const std::wstring& text);
    // evenDigits is cleared when the font's ten digits differ in width.
    SIZE TextSize(const LiveControl& c, double points, bool& evenDigits);
    HBRUSH BrushFor(COLORREF colour);
    LiveControl* Find(int id);
    const LiveControl* Find(int id) const;
    LiveControl* FindByHwnd(HWND hwnd);
    void MoveFocus(bool backwards);
    // The button Enter presses: the focused push button, otherwise the
    // default one; and the one Esc presses.
    const LiveControl* EnterButton();
    const LiveControl* CancelButton() const;
    void Press(const LiveControl* button);
    // Gives the default-button look to this button alone.
    void ShowAsDefault(HWND button);

    const FormDesign& design_;
    HWND hwnd_ = nullptr;
    UINT dpi_ = kDefaultDpi;
    bool loading_ = false;
    bool unloading_ = false;
    bool positioned_ = false;
    bool pressed_ = false;
    bool activateWhenEnabled_ = false;
    FormSlotBase* slot_ = nullptr;
    std::vector<LiveControl> controls_;
    std::vector<HWND> tabOrder_;
    HWND tooltip_ = nullptr;
    HWND lastFocus_ = nullptr;
    std::map<std::pair<const FontDesign*, double>, UniqueFont> fonts_;
    UniqueMemoryDc measureDc_;  // holds none of fonts_ between measurements
    std::map<COLORREF, UniqueBrush> brushes_;
    UniqueIcon bigIcon_;
    UniqueIcon smallIcon_;
    std::vector<Timer*> timers_;
    FocusCues cues_;
    Annotations annotations_;

public:
    // A tooltip over one control (the progress bar's).
    void SetControlTip(int id, const wchar_t* text);
    // The message loop's mouse messages for the form, which its tips need.
    void RelayToTip(const MSG& msg);
};

// The one instance of a form kind, made on first use and retired on unload.
class FormSlotBase {
public:
    bool Exists() const { return form_ != nullptr; }
    bool Loaded() const { return form_ && form_->Loaded(); }
    // Unloading a form kind that is not loaded does nothing.
    void Unload();

protected:
    void Adopt(std::unique_ptr<Form> form);
    Form* Get() const { return form_.get(); }

private:
    friend class Form;
    void Retire();
    std::unique_ptr<Form> form_;
};

template <class T>
class FormSlot : public FormSlotBase {
public:
    T& operator()() {
        if (!Exists()) Adopt(std::make_unique<T>());
        return static_cast<T&>(*Get());
    }
};

}  // namespace ui
