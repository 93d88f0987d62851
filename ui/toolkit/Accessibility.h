// The user's settings a form follows (high contrast, keyboard cues), and what
// screen readers learn of it beyond what the system's own objects say: names
// and a live region, by Direct Annotation, which the system's proxies (MSAA's,
// UI Automation's) read: every control stays the plain one its proxy knows.
#pragma once

#include <windows.h>

#include <utility>
#include <vector>

namespace ui {

// The user's settings, and the property service's calls for a window's client
// object (which load oleacc and start COM at the first); clear: ClearHwndProps.
struct AccessibilityCalls {
    bool (*highContrast)();     // SPI_GETHIGHCONTRAST
    bool (*alwaysShowsCues)();  // SPI_GETKEYBOARDCUES: focus and access-key cues always shown
    bool (*setName)(HWND hwnd, const wchar_t* name);  // PROPID_ACC_NAME
    bool (*setLivePolite)(HWND hwnd);                 // UI Automation's LiveSetting
    HRESULT (*clear)(HWND hwnd, const GUID* properties, int count);
};
// The calls in use: the system's unless a test has stood its own in (Wine's
// property service is a stub that answers E_NOTIMPL).
AccessibilityCalls& Accessibility();

bool ScreenReaderOn();  // SPI_GETSCREENREADER

// The annotations of one form's windows, given once a client of
// accessibility asks for them and taken back when the form's window goes.
class Annotations {
public:
    Annotations() = default;
    ~Annotations() { Clear(); }
    Annotations(const Annotations&) = delete;
    Annotations& operator=(const Annotations&) = delete;

    // A client has asked for the form's objects: nothing loads oleacc before.
    bool Asked() const { return asked_; }
    void MarkAsked() { asked_ = true; }
    // Screen readers call the window `name`; its window text stays as it is.
    void Name(HWND hwnd, const wchar_t* name);
    // A status label whose new text screen readers read out after what they
    // are saying, wherever the user is (a live region, Windows 8 and later).
    void MakeLive(HWND label);
    void Clear();

private:
    void Remember(HWND hwnd, const GUID& property);
    bool asked_ = false;
    std::vector<std::pair<HWND, const GUID*>> annotated_;  // we don't own the windows
};

// Has screen readers read a live region's new text, once.
inline void AnnounceLiveRegion(HWND label) {
    NotifyWinEvent(EVENT_OBJECT_LIVEREGIONCHANGED, label, OBJID_CLIENT, CHILDID_SELF);
}

}  // namespace ui
