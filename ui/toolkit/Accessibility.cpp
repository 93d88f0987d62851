// The user's accessibility settings, and Direct Annotation through the
// system's property service (IAccPropServices), loaded when first needed.
#include "ui/toolkit/Accessibility.h"

#include <oleacc.h>

#include <algorithm>

#include "ui/toolkit/Handles.h"
#include "ui/toolkit/SystemCalls.h"

namespace ui {

namespace {

// Our own ids: libuuid's would link in its whole table (over 100 KB in x86).
constexpr GUID kIidAccPropServices{0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
constexpr GUID kClsidAccPropServices{0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
constexpr GUID kNameProperty{0x608d3df8, 0x8128, 0x4aa7, {0xa4, 0x28, 0xf5, 0x5e, 0x49, 0x26, 0x72, 0x91}};
// UI Automation's LiveSetting property (uiautomationclient.h, which MinGW
// lacks), known from Windows 8 on.
constexpr GUID kLiveSettingProperty{0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
// A status the user waits for, not an alarm: read after what the screen
// reader is saying (the window's activation, as it happens), not over it.
constexpr LONG kLivePolite = 1;

constexpr auto kClient = static_cast<DWORD>(OBJID_CLIENT);

// The service, made anew for each call: annotations live with the window,
// not with the service. COM comes on the program's thread at the first call
// and stays; a thread already in another kind of apartment will do too.
// Looked up, not imported: imported, ole32 and COM's DLLs would load at every
// start, on Windows too, for the few runs that ever meet a client.
UniqueCom<IAccPropServices> Service() {
    static const auto coCreateInstance = [] {
        const auto init = SystemDllProc<decltype(&CoInitializeEx)>(L"ole32.dll", "CoInitializeEx");
        const HRESULT com = init ? init(nullptr, COINIT_APARTMENTTHREADED) : E_NOINTERFACE;
        const bool ready = SUCCEEDED(com) || com == RPC_E_CHANGED_MODE;
        // The service's class lives in oleacc, which COM finds in the registry.
        return ready ? SystemProc<decltype(&CoCreateInstance)>(L"ole32.dll", "CoCreateInstance") : nullptr;
    }();
    IAccPropServices* service = nullptr;
    if (coCreateInstance) {
        coCreateInstance(kClsidAccPropServices, nullptr, CLSCTX_INPROC_SERVER, kIidAccPropServices,
                         reinterpret_cast<void**>(&service));
    }
    return UniqueCom<IAccPropServices>(service);
}

bool SystemHighContrast() {
    HIGHCONTRASTW hc{};
    hc.cbSize = sizeof hc;
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof hc, &hc, 0) && (hc.dwFlags & HCF_HIGHCONTRASTON);
}

bool SystemAlwaysShowsCues() {
    BOOL always = FALSE;
    return SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &always, 0) && always;
}

bool SystemSetName(HWND hwnd, const wchar_t* name) {
    const auto service = Service();
    return service && SUCCEEDED(service.get()->SetHwndPropStr(hwnd, kClient, CHILDID_SELF, kNameProperty, name));
}

bool SystemSetLivePolite(HWND hwnd) {
    const auto service = Service();
    VARIANT setting{};
    setting.vt = VT_I4;
    setting.lVal = kLivePolite;
    return service &&
           SUCCEEDED(service.get()->SetHwndProp(hwnd, kClient, CHILDID_SELF, kLiveSettingProperty, setting));
}

HRESULT SystemClear(HWND hwnd, const GUID* properties, int count) {
    const auto service = Service();
    return service ? service.get()->ClearHwndProps(hwnd, kClient, CHILDID_SELF, properties, count) : E_NOINTERFACE;
}

}  // namespace

AccessibilityCalls& Accessibility() {
    static AccessibilityCalls calls{&SystemHighContrast, &SystemAlwaysShowsCues, &SystemSetName,
                                    &SystemSetLivePolite, &SystemClear};
    return calls;
}

bool ScreenReaderOn() {
    BOOL on = FALSE;
    return SystemParametersInfoW(SPI_GETSCREENREADER, 0, &on, 0) && on;
}

void Annotations::Remember(HWND hwnd, const GUID& property) {
    const std::pair<HWND, const GUID*> annotation{hwnd, &property};
    if (std::ranges::find(annotated_, annotation) == annotated_.end()) annotated_.push_back(annotation);
}

void Annotations::Name(HWND hwnd, const wchar_t* name) {
    if (hwnd && Accessibility().setName(hwnd, name)) Remember(hwnd, kNameProperty);
}

void Annotations::MakeLive(HWND label) {
    if (label && Accessibility().setLivePolite(label)) Remember(label, kLiveSettingProperty);
}

void Annotations::Clear() {
    // One call a property: the service fails a whole call when it does not
    // know one of its properties (LiveSetting before Windows 8), which would
    // leave the name behind. Nothing to do where one fails: the window is going.
    for (const auto& [hwnd, property] : annotated_) (void)Accessibility().clear(hwnd, property, 1);
    annotated_.clear();
}

}  // namespace ui
