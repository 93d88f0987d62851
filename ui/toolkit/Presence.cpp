#include "ui/toolkit/Presence.h"

#include <versionhelpers.h>
#include <wtsapi32.h>

#include "ui/toolkit/SystemCalls.h"

namespace ui {

namespace {

// The display notices, with the values Microsoft's list of power setting
// GUIDs gives them (ours, so that nothing links libuuid's table). From
// Windows 8 the session's display and the console's, 0 off, 1 on, 2 dimmed;
// on Vista and 7 the primary monitor, 0 off, 1 on.
constexpr GUID kSessionDisplayStatus{0x2b84c20e, 0xad23, 0x4ddf, {0x93, 0xdb, 0x05, 0xff, 0xbd, 0x7e, 0xfc, 0xa5}};
constexpr GUID kConsoleDisplayState{0x6fe69556, 0x704a, 0x47a0, {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}};
constexpr GUID kMonitorPowerOn{0x02731015, 0x4510, 0x4526, {0x99, 0xe6, 0xe5, 0xa1, 0x7e, 0xbd, 0x1a, 0xea}};

// wtsapi32 is not loaded until the first registration asks for it; user32's
// power notices exist from Vista on, and are looked up for the import check.
class SystemPresence final : public PresenceSystem {
public:
    DWORD RegisterSession(HWND window) override {
        static const auto fn = SystemDllProc<decltype(&WTSRegisterSessionNotification)>(
            L"wtsapi32.dll", "WTSRegisterSessionNotification");
        if (!fn) return ERROR_PROC_NOT_FOUND;
        return fn(window, NOTIFY_FOR_THIS_SESSION) ? ERROR_SUCCESS : GetLastError();
    }
    void UnregisterSession(HWND window) override {
        static const auto fn = SystemDllProc<decltype(&WTSUnRegisterSessionNotification)>(
            L"wtsapi32.dll", "WTSUnRegisterSessionNotification");
        if (fn) fn(window);
    }
    HPOWERNOTIFY RegisterPowerSetting(HWND window, const GUID& setting) override {
        static const auto fn = UserProc<decltype(&RegisterPowerSettingNotification)>("RegisterPowerSettingNotification");
        return fn ? fn(window, &setting, DEVICE_NOTIFY_WINDOW_HANDLE) : nullptr;
    }
    void UnregisterPowerSetting(HPOWERNOTIFY notice) override {
        static const auto fn =
            UserProc<decltype(&UnregisterPowerSettingNotification)>("UnregisterPowerSettingNotification");
        if (fn) fn(notice);
    }
    // True only where the manifest names Windows 8 among the supported systems, as ours does.
    bool Windows8OrLater() override { return IsWindows8OrGreater(); }
    ULONGLONG Now() override { return GetTickCount64(); }
};

// A notice's setting and its one DWORD of data. Any program can send the
// message with any pointer, so it is copied in a way that fails instead of
// faulting.
bool ReadSetting(LPARAM lParam, GUID& setting, DWORD& data) {
    struct {
        GUID setting;
        DWORD length;
        DWORD data;
    } copy{};
    SIZE_T copied = 0;
    const auto* from = reinterpret_cast<const void*>(lParam);
    if (!from || !ReadProcessMemory(GetCurrentProcess(), from, &copy, sizeof copy, &copied) ||
        copied != sizeof copy || copy.length < sizeof(DWORD)) {
        return false;
    }
    setting = copy.setting;
    data = copy.data;
    return true;
}

PresenceSystem* g_system = nullptr;

PresenceSystem& Calls() {
    static SystemPresence system;
    return g_system ? *g_system : system;
}

}  // namespace

void UsePresenceSystem(PresenceSystem* system) { g_system = system; }

void Presence::Start(HWND window) {
    Stop();
    window_ = window;
    RegisterSession();
    display_ = Calls().RegisterPowerSetting(window, Calls().Windows8OrLater() ? kSessionDisplayStatus : kMonitorPowerOn);
}

void Presence::RegisterSession() {
    const DWORD error = Calls().RegisterSession(window_);
    sessionRegistered_ = error == ERROR_SUCCESS;
    // Any other refusal (no wtsapi32, no session service) would be refused
    // again: only the one the documentation names for logon is retried.
    sessionRetry_ = error == RPC_S_INVALID_BINDING;
    if (sessionRetry_) nextTry_ = Calls().Now() + kRetryMs;
}

void Presence::Retry() {
    if (window_ && sessionRetry_ && Calls().Now() >= nextTry_) RegisterSession();
}

void Presence::Stop() {
    if (!window_) return;
    if (sessionRegistered_) Calls().UnregisterSession(window_);
    if (display_) Calls().UnregisterPowerSetting(display_);
    window_ = nullptr;
    display_ = nullptr;
    sessionRegistered_ = sessionRetry_ = false;
    locked_ = disconnected_ = displayOff_ = suspended_ = false;
}

Presence::Change Presence::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    const bool wasSeen = Seen();
    if (msg == WM_WTSSESSION_CHANGE) OnSessionChange(wParam);
    if (msg == WM_POWERBROADCAST) OnPowerBroadcast(wParam, lParam);
    if (Seen() == wasSeen) return Change::None;
    return Seen() ? Change::Seen : Change::Unseen;
}

// Registered for this session only: each notice is about ours.
void Presence::OnSessionChange(WPARAM change) {
    switch (change) {
    case WTS_SESSION_LOCK: locked_ = true; break;
    case WTS_SESSION_UNLOCK: locked_ = false; break;
    // Switched away from (fast user switching) or a remote client gone; a
    // session taken over from the console by a remote client hears the
    // console's disconnect, then the remote connect.
    case WTS_CONSOLE_DISCONNECT:
    case WTS_REMOTE_DISCONNECT: disconnected_ = true; break;
    case WTS_CONSOLE_CONNECT:
    case WTS_REMOTE_CONNECT: disconnected_ = false; break;
    default: break;
    }
}

void Presence::OnPowerBroadcast(WPARAM event, LPARAM lParam) {
    GUID setting{};
    DWORD data = 0;
    switch (event) {
    case PBT_APMSUSPEND: suspended_ = true; break;
    // Every resume brings PBT_APMRESUMEAUTOMATIC; one the user caused brings
    // PBT_APMRESUMESUSPEND after it.
    case PBT_APMRESUMEAUTOMATIC:
    case PBT_APMRESUMESUSPEND: suspended_ = false; break;
    case PBT_POWERSETTINGCHANGE:
        // A dimmed display still shows the figures.
        if (ReadSetting(lParam, setting, data) && (IsEqualGUID(setting, kSessionDisplayStatus) ||
                                                   IsEqualGUID(setting, kConsoleDisplayState) ||
                                                   IsEqualGUID(setting, kMonitorPowerOn))) {
            displayOff_ = data == 0;
        }
        break;
    default: break;
    }
}

}  // namespace ui
