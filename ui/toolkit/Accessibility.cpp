// A form's or control's accessible name. Screen readers ask a window for its
// objects with WM_GETOBJECT; a named window answers with the system's own
// standard object wrapped so that only the name differs.
#include "ui/toolkit/Accessibility.h"

#include <commctrl.h>
#include <oleacc.h>

#include <memory>
#include <optional>

#include "ui/toolkit/SystemCalls.h"

namespace ui {

namespace {

// The accessibility DLLs, and COM on the program's thread, come when first
// needed rather than at start-up: loaded with the program, they put off its
// first window markedly under Wine, and nobody needs them until a screen
// reader (or another client of accessibility) looks at the program. Loaded from the system
// folder by full path, and kept for the life of the process.
struct AccessibilityCalls {
    decltype(&CreateStdAccessibleObject) createStdAccessibleObject = nullptr;
    decltype(&LresultFromObject) lresultFromObject = nullptr;
    decltype(&CoCreateInstance) coCreateInstance = nullptr;
    decltype(&SysAllocStringLen) sysAllocStringLen = nullptr;
};

AccessibilityCalls LoadAccessibility() {
    AccessibilityCalls calls;
    if (!LoadSystemDll(L"ole32.dll") || !LoadSystemDll(L"oleaut32.dll") || !LoadSystemDll(L"oleacc.dll"))
        return calls;
    // Objects are handed to other processes through COM, in the thread's
    // apartment; a thread already in another kind of apartment will do too.
    const auto coInitializeEx = SystemProc<decltype(&CoInitializeEx)>(L"ole32.dll", "CoInitializeEx");
    const HRESULT com = coInitializeEx ? coInitializeEx(nullptr, COINIT_APARTMENTTHREADED) : E_NOINTERFACE;
    if (FAILED(com) && com != RPC_E_CHANGED_MODE) return calls;
    calls.coCreateInstance = SystemProc<decltype(&CoCreateInstance)>(L"ole32.dll", "CoCreateInstance");
    calls.sysAllocStringLen = SystemProc<decltype(&SysAllocStringLen)>(L"oleaut32.dll", "SysAllocStringLen");
    calls.lresultFromObject = SystemProc<decltype(&LresultFromObject)>(L"oleacc.dll", "LresultFromObject");
    calls.createStdAccessibleObject =
        SystemProc<decltype(&CreateStdAccessibleObject)>(L"oleacc.dll", "CreateStdAccessibleObject");
    return calls;
}

// Filled on the first request, all of which come on the program's one thread.
std::optional<AccessibilityCalls> g_calls;

// nullptr where this system has not got them all.
const AccessibilityCalls* Accessibility() {
    if (!g_calls) g_calls = LoadAccessibility();
    const AccessibilityCalls& calls = *g_calls;
    return calls.createStdAccessibleObject && calls.lresultFromObject && calls.coCreateInstance &&
                   calls.sysAllocStringLen
               ? &calls
               : nullptr;
}

bool AccessibilityLoaded() { return g_calls.has_value(); }

// The interface and class ids are our own constants: taking them from
// libuuid would link in its whole table of ids (over 100 KB in the x86 build).
constexpr GUID kIidAccIdentity{0x7852b78d, 0x1cfd, 0x41c1, {0xa6, 0x15, 0x9c, 0x0c, 0x85, 0x96, 0x0b, 0x5f}};
constexpr GUID kIidAccPropServices{0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
constexpr GUID kClsidAccPropServices{0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};

// UI Automation's LiveSetting property (uiautomationclient.h, which MinGW
// lacks), given to an HWND's object as an annotation; Windows 8 and later.
constexpr GUID kLiveSettingProperty{0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
// A status the user waits for, not an alarm: read after whatever the screen
// reader is saying (the window's own activation, as it happens) instead of
// cutting it off.
constexpr LONG kLivePolite = 1;

constexpr UINT_PTR kSubclassId = 1;

struct WindowName {
    const wchar_t* text = L"";
    HWND label = nullptr;  // we don't own it; a child of the window
    bool live = false;     // the live setting was given and must be taken back
};

LRESULT CALLBACK NamedWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data);

// Where a named window keeps its name (comctl32 exports the subclass's own
// look-up only by ordinal).
constexpr wchar_t kNameProperty[] = L"Lanshige.AccessibleName";

WindowName* NameOf(HWND hwnd) { return static_cast<WindowName*>(GetPropW(hwnd, kNameProperty)); }

WindowName* NameFor(HWND hwnd) {
    if (WindowName* name = NameOf(hwnd)) return name;
    auto name = std::make_unique<WindowName>();
    if (!SetPropW(hwnd, kNameProperty, name.get())) return nullptr;
    if (!SetWindowSubclass(hwnd, NamedWindowProc, kSubclassId, reinterpret_cast<DWORD_PTR>(name.get()))) {
        RemovePropW(hwnd, kNameProperty);
        return nullptr;
    }
    return name.release();  // owned by the subclass from here; freed on WM_NCDESTROY
}

// The longest name handed out: the status texts are a few dozen characters.
constexpr int kMaxName = 256;

// The name a window has now; false for a window we did not name.
bool CurrentName(HWND hwnd, wchar_t (&out)[kMaxName], int& length) {
    const WindowName* name = NameOf(hwnd);
    if (!name) return false;
    if (name->label) {
        length = GetWindowTextW(name->label, out, kMaxName);
    } else {
        lstrcpynW(out, name->text, kMaxName);
        length = lstrlenW(out);
    }
    return true;
}

bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

// The standard object of a window, answering for its name from the window's
// current one and passing everything else on. It is one COM object: its
// enumeration of children and its identity (which annotations, such as the
// live setting, are found by) pass on to the standard object's.
class NamedObject final : public IAccessible, public IOleWindow, public IEnumVARIANT, public IAccIdentity {
public:
    NamedObject(HWND hwnd, IAccessible* inner) : hwnd_(hwnd), inner_(inner) {
        inner_->QueryInterface(__uuidof(IEnumVARIANT), reinterpret_cast<void**>(&enum_));
        inner_->QueryInterface(kIidAccIdentity, reinterpret_cast<void**>(&identity_));
    }
    NamedObject(const NamedObject&) = delete;
    NamedObject& operator=(const NamedObject&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) || iid == __uuidof(IAccessible)) {
            *out = static_cast<IAccessible*>(this);
        } else if (iid == __uuidof(IOleWindow)) {
            *out = static_cast<IOleWindow*>(this);
        } else if (iid == __uuidof(IEnumVARIANT) && enum_) {
            *out = static_cast<IEnumVARIANT*>(this);
        } else if (iid == kIidAccIdentity && identity_) {
            *out = static_cast<IAccIdentity*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // IDispatch: no late binding, as with most accessible objects.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* out) override {
        wchar_t name[kMaxName];
        int length = 0;
        if (!IsSelf(child) || !CurrentName(hwnd_, name, length)) return inner_->get_accName(child, out);
        if (!out) return E_POINTER;
        *out = Accessibility()->sysAllocStringLen(name, static_cast<UINT>(length));
        return *out ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** out) override { return inner_->get_accParent(out); }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* out) override { return inner_->get_accChildCount(out); }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
        return inner_->get_accChild(child, out);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* out) override {
        return inner_->get_accValue(child, out);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* out) override {
        return inner_->get_accDescription(child, out);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* out) override {
        return inner_->get_accRole(child, out);
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* out) override {
        return inner_->get_accState(child, out);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* out) override { return inner_->get_accHelp(child, out); }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
        return inner_->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* out) override {
        return inner_->get_accKeyboardShortcut(child, out);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* out) override { return inner_->get_accFocus(out); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* out) override { return inner_->get_accSelection(out); }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* out) override {
        return inner_->get_accDefaultAction(child, out);
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override { return inner_->accSelect(flags, child); }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* x, LONG* y, LONG* w, LONG* h, VARIANT child) override {
        return inner_->accLocation(x, y, w, h, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG dir, VARIANT start, VARIANT* out) override {
        return inner_->accNavigate(dir, start, out);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* out) override { return inner_->accHitTest(x, y, out); }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override { return inner_->accDoDefaultAction(child); }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override { return inner_->put_accName(child, name); }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
        return inner_->put_accValue(child, value);
    }

    // IOleWindow: how clients find the window an object belongs to.
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override {
        if (!out) return E_POINTER;
        *out = hwnd_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IEnumVARIANT: the standard object's children, as they are.
    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* out, ULONG* fetched) override {
        return enum_->Next(count, out, fetched);
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override { return enum_->Skip(count); }
    HRESULT STDMETHODCALLTYPE Reset() override { return enum_->Reset(); }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** out) override { return enum_->Clone(out); }

    // IAccIdentity
    HRESULT STDMETHODCALLTYPE GetIdentityString(DWORD child, BYTE** out, DWORD* length) override {
        return identity_->GetIdentityString(child, out, length);
    }

private:
    ~NamedObject() {
        if (identity_) identity_->Release();
        if (enum_) enum_->Release();
        inner_->Release();
    }

    LONG refs_ = 1;
    HWND hwnd_;
    IAccessible* inner_;  // owned
    IEnumVARIANT* enum_ = nullptr;
    IAccIdentity* identity_ = nullptr;
};

// The answer to WM_GETOBJECT for the window itself or its client area; 0
// leaves it to the system.
LRESULT AnswerGetObject(HWND hwnd, WPARAM flags, LONG objectId) {
    const AccessibilityCalls* calls = Accessibility();
    IAccessible* standard = nullptr;
    if (!calls || FAILED(calls->createStdAccessibleObject(hwnd, objectId, __uuidof(IAccessible),
                                                           reinterpret_cast<void**>(&standard))))
        return 0;
    auto* named = new NamedObject(hwnd, standard);
    const LRESULT answer = calls->lresultFromObject(__uuidof(IAccessible), flags, static_cast<IAccessible*>(named));
    named->Release();  // the reference is the answer's now
    return answer > 0 ? answer : 0;
}

// The live setting is an annotation kept by the system for the window: it is
// given with the accessibility property service, which Windows 7 has without
// the property, and taken back when the window goes.
bool SetLive(HWND hwnd, bool live) {
    const AccessibilityCalls* calls = Accessibility();
    IAccPropServices* service = nullptr;
    if (!calls || FAILED(calls->coCreateInstance(kClsidAccPropServices, nullptr, CLSCTX_INPROC_SERVER, kIidAccPropServices,
                                reinterpret_cast<void**>(&service))))
        return false;
    MSAAPROPID property = kLiveSettingProperty;
    HRESULT result;
    if (live) {
        VARIANT setting{};
        setting.vt = VT_I4;
        setting.lVal = kLivePolite;
        result = service->SetHwndProp(hwnd, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, property, setting);
    } else {
        result = service->ClearHwndProps(hwnd, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, &property, 1);
    }
    service->Release();
    return SUCCEEDED(result);
}

LRESULT CALLBACK NamedWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    auto* name = reinterpret_cast<WindowName*>(data);
    if (msg == WM_GETOBJECT) {
        // The object id travels in the low 32 bits.
        const LONG objectId = static_cast<LONG>(static_cast<DWORD>(lParam));
        if (objectId == OBJID_CLIENT || objectId == OBJID_WINDOW) {
            if (LRESULT answer = AnswerGetObject(hwnd, wParam, objectId)) return answer;
        }
    } else if (msg == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, NamedWindowProc, kSubclassId);
        // A window must take its properties off before it is gone.
        RemovePropW(hwnd, kNameProperty);
        // Nothing to do if it fails: the system drops it with the window.
        const std::unique_ptr<WindowName> owned(name);
        if (owned->live) SetLive(hwnd, false);
    }
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

}  // namespace

void SetAccessibleName(HWND hwnd, const wchar_t* name) {
    if (WindowName* n = NameFor(hwnd)) {
        n->text = name ? name : L"";
        n->label = nullptr;
    }
}

void NameAfterLabel(HWND hwnd, HWND label) {
    if (WindowName* n = NameFor(hwnd)) n->label = label;
}

void AnnounceName(HWND hwnd) {
    // Where the live setting cannot be given (Windows 7, or a system without
    // the service), the name change alone is what screen readers hear.
    // Only with a screen reader on, or a client that has asked for our
    // objects already: the live setting needs the accessibility DLLs.
    BOOL screenReader = FALSE;
    SystemParametersInfoW(SPI_GETSCREENREADER, 0, &screenReader, 0);
    WindowName* name = NameOf(hwnd);
    if (name && !name->live && (screenReader || AccessibilityLoaded())) name->live = SetLive(hwnd, true);
    NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, hwnd, OBJID_CLIENT, CHILDID_SELF);
    NotifyWinEvent(EVENT_OBJECT_LIVEREGIONCHANGED, hwnd, OBJID_CLIENT, CHILDID_SELF);
}

}  // namespace ui
