// A thin window toolkit of our own over Win32: forms with one instance per
// kind, labels, panels, buttons, lines, a progress bar, timers, popup menus,
// message boxes, previous-instance detection and the message loop.
//
// Forms are laid out from tables in twips, converted with the window's DPI,
// so that they are as crisp and as large (in inches) on every screen.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "ui/Handles.h"

namespace ui {

// --- Geometry ---------------------------------------------------------------

inline constexpr int kTwipsPerInch = 1440;
inline constexpr UINT kDefaultDpi = 96;
// The DPIs a window can be given: Windows scales from 100 % to 500 %, and
// half of 96 leaves room for whatever a driver reports below that.
inline constexpr UINT kMinDpi = 96 / 2;
inline constexpr UINT kMaxDpi = 96 * 5;

// Twips to pixels at a DPI: 15 twips a pixel at 96 DPI, 10 at 144.
int TwipsToPixels(int twips, UINT dpi);
// A font size in points as a LOGFONT height (negative: the character height).
int FontHeight(double points, UINT dpi);
// The window's DPI; the system's where the per-window query is missing.
UINT WindowDpi(HWND hwnd);
// A system metric at a DPI; the system DPI's where the per-DPI query is missing.
int SystemMetric(int index, UINT dpi);

// --- Designs ------------------------------------------------------------------

struct FontDesign {
    const wchar_t* face;
    double points;
    bool bold;
    BYTE charset;
    // Asked for instead when the face is not installed; nullptr: GDI chooses.
    const wchar_t* fallback = nullptr;
};

// Whether a font face is installed (for any character set).
bool FontInstalled(const wchar_t* face);
// The face to ask for: the design's, or its fallback where that is missing.
const wchar_t* FaceFor(const FontDesign& design, bool (*installed)(const wchar_t*) = &FontInstalled);

// A form's default font, which every control without a font of its own uses.
inline constexpr FontDesign kDefaultFont{L"SimSun", 9.0, false, GB2312_CHARSET};

enum class ControlKind { Label, Panel, Button, ProgressBar };

enum ControlFlags : unsigned {
    kNoFlags = 0,
    kAutoSize = 1 << 0,  // a label that sizes itself to its text
    kCentred = 1 << 1,   // a label whose text is centred in its box
    kDefaultButton = 1 << 2,
    kCancelButton = 1 << 3,
};

inline constexpr COLORREF kNoColour = CLR_INVALID;

// The system's arrow-with-hourglass pointer (IDC_APPSTARTING).
inline constexpr WORD kCursorAppStarting = 32650;

struct ControlDesign {
    int id;
    ControlKind kind;
    const wchar_t* caption;
    int left, top, width, height;  // twips, in the form's client area
    int tabIndex;                  // -1 for none
    COLORREF fore;                 // labels: text colour
    COLORREF back;                 // labels and panels
    const FontDesign* font;        // nullptr: the form's default font
    unsigned flags;
};

// A straight line drawn by the form itself, from (x1, y1) to (x2, y2) in twips.
struct LineDesign {
    int x1, y1, x2, y2;
    COLORREF colour;
    int widthPixels;  // at 96 DPI
};

struct FormDesign {
    const wchar_t* className;
    const wchar_t* caption;
    DWORD style;
    DWORD exStyle;
    int clientWidth, clientHeight;  // twips
    COLORREF back;
    std::span<const ControlDesign> controls;  // z-order, front to back
    std::span<const LineDesign> lines;
    WORD cursorId;            // the system pointer over the whole window; 0: arrow
    int iconId;               // 0: no icon
    bool centreAtLoad;        // otherwise centred at the first show
    bool createAfterLoad;     // the load handler runs before the window exists
};

// --- Timers and menus -----------------------------------------------------------

class Form;

// A timer of a form: raises the form's OnTimer(id) every interval while
// enabled; enabling it starts the count from zero.
class Timer {
public:
    Timer(Form& owner, UINT_PTR id, UINT intervalMs);
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    void SetEnabled(bool enabled);
    bool Enabled() const { return enabled_; }
    UINT Interval() const { return interval_; }
    UINT_PTR Id() const { return id_; }

private:
    Form& owner_;
    UINT_PTR id_;
    UINT interval_;
    bool enabled_ = false;
};

struct MenuItemDesign {
    UINT id;               // 0 for a separator
    const wchar_t* caption;  // nullptr for a separator
    bool enabled;
};

// A popup menu built from a table; its commands reach the owner window as
// WM_COMMAND.
class PopupMenu {
public:
    explicit PopupMenu(std::span<const MenuItemDesign> items);
    HMENU Handle() const { return menu_.get(); }
    void SetEnabled(UINT id, bool enabled);
    bool Enabled(UINT id) const;

private:
    UniqueMenu menu_;
};

// --- Forms ----------------------------------------------------------------------

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
    };

    static LRESULT CALLBACK StaticWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void CreateWindowNow();
    void CreateControls();
    void Layout();
    void CentreOnScreen();
    void FitToText(LiveControl& c);
    // Background, panels and lines into any DC: the window's own painting,
    // and a themed child's request for what lies behind its transparent parts.
    void PaintInto(HDC dc, const RECT& area);
    void LoadIcons();
    HFONT FontFor(const FontDesign* design) { return FontFor(design, PointsOf(design)); }
    HFONT FontFor(const FontDesign* design, double points);
    static double PointsOf(const FontDesign* design);
    SIZE TextSize(const LiveControl& c, double points);
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

public:
    // A tooltip over one control (the progress bar's).
    void SetControlTip(int id, const wchar_t* text);
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

// --- Program services -------------------------------------------------------------

// Registers the window classes' common parts, the common controls, and the
// single-instance mutex; the first call of the program.
void Startup(HINSTANCE instance, const wchar_t* instanceName);
HINSTANCE Instance();

// The single-instance mutex of this copy, and whether another copy holds it.
struct InstanceClaim {
    UniqueKernelHandle mutex;
    bool previous;
};
[[nodiscard]] InstanceClaim ClaimInstance(const wchar_t* name);

// True when another copy of the program was already running at Startup.
bool PreviousInstance();

// Number of forms with a window; when it drops to zero the program ends.
int LoadedFormCount();

// The message loop; returns the exit code once the last form is unloaded.
int Run();

// Frees the forms retired by Unload. The loop does it after each message, so
// that a form may unload itself from inside its own handlers.
void CollectRetired();

// Ends the program at once, running no unload handler.
[[noreturn]] void End();

// A message box; without a title it shows the application title.
int MsgBox(const std::wstring& text, UINT style = MB_OK, const wchar_t* title = nullptr,
           HWND owner = nullptr);

}  // namespace ui
