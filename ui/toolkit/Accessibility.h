// What screen readers learn of a form beyond what the system's own objects
// say: names and a live region, given by Direct Annotation. The system's
// proxies (MSAA's and UI Automation's) read the annotations, so every control
// stays the plain control it is, with the proxy that knows it.
#pragma once

#include <windows.h>

#include <vector>

namespace ui {

// The property service's calls, each for a window's client object. Tests put
// theirs in place (Wine's service is a stub that answers E_NOTIMPL); nullptr:
// the system's, which load oleacc and start COM at their first call.
struct AnnotationCalls {
    bool (*setName)(HWND hwnd, const wchar_t* name);  // PROPID_ACC_NAME
    bool (*setLivePolite)(HWND hwnd);                 // UI Automation's LiveSetting
    void (*clear)(HWND hwnd);                         // both taken back
};
void SetAnnotationCalls(const AnnotationCalls* calls);

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
    void Remember(HWND hwnd);
    bool asked_ = false;
    std::vector<HWND> annotated_;  // we don't own them
};

// Has screen readers read a live region's new text, once.
inline void AnnounceLiveRegion(HWND label) {
    NotifyWinEvent(EVENT_OBJECT_LIVEREGIONCHANGED, label, OBJID_CLIENT, CHILDID_SELF);
}

}  // namespace ui
