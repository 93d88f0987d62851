#include "ui/presence/Presence.h"

#include <versionhelpers.h>
#include <wtsapi32.h>

#include <optional>
#include <string>

#include "ui/presence/Calls.h"

namespace presence {

FARPROC lookup::SystemFunction(const wchar_t* dll, const char* name) {
    std::wstring path(MAX_PATH, L'\0');
    const UINT length = GetSystemDirectoryW(path.data(), MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    path.resize(length);
    const HMODULE module = LoadLibraryW((path + L'\\' + dll).c_str());
    return module ? GetProcAddress(module, name) : nullptr;
}

bool lookup::Windows8OrLater() { return IsWindows8OrGreater(); }

Calls& System() {
    static Calls calls;
    return calls;
}

namespace {

// The display notices, with the values Microsoft's list of power setting
// GUIDs gives them (ours, so that nothing links libuuid's table). From
// Windows 8 the session's display, 0 off, 1 on, 2 dimmed; on Windows 7 the
// console's primary monitor, 0 off, 1 on.
constexpr GUID kSessionDisplayStatus{0x2b84c20e, 0xad23, 0x4ddf, {0x93, 0xdb, 0x05, 0xff, 0xbd, 0x7e, 0xfc, 0xa5}};
constexpr GUID kMonitorPowerOn{0x02731015, 0x4510, 0x4526, {0x99, 0xe6, 0xe5, 0xa1, 0x7e, 0xbd, 0x1a, 0xea}};

// WTSSessionInfoEx's WTSINFOEXW as far as it is read (MinGW's header lacks
// it): the level, then WTSINFOEX_LEVEL1_W, which its 64-bit times align on 8.
constexpr auto kSessionInfoEx = static_cast<WTS_INFO_CLASS>(25);
struct SessionInfoEx { DWORD level; struct alignas(8) { ULONG id; WTS_CONNECTSTATE_CLASS state; LONG flags; } level1; };
constexpr LONG kStateLock = 0, kStateUnlock = 1;  // WTS_SESSIONSTATE_*; _UNKNOWN is -1

// A notice's setting and its one DWORD of data. Any program can send it with
// any pointer: it is copied in a way that fails instead of faulting.
struct Setting { GUID setting; DWORD length, data; };
std::optional<Setting> ReadSetting(LPARAM lParam) {
    Setting copy{};
    SIZE_T copied = 0;
    const auto* from = reinterpret_cast<const void*>(lParam);
    if (!from || !ReadProcessMemory(GetCurrentProcess(), from, &copy, sizeof copy, &copied)) return std::nullopt;
    return copied == sizeof copy && copy.length >= sizeof(DWORD) ? std::optional(copy) : std::nullopt;
}

// A screen reader or a client of UI Automation that may be speaking the figures.
bool SomeoneListens() {
    BOOL reader = FALSE;
    return (System().systemParameters(SPI_GETSCREENREADER, 0, &reader, 0) && reader) ||
           System().uiaClientsListening();
}

}  // namespace

void Presence::Start(HWND window) {
    window_ = window;
    windows7_ = !System().windows8OrLater();
    if (!System().sessionOfProcess(GetCurrentProcessId(), &session_)) session_ = WTS_CURRENT_SESSION;
    RegisterSession();
    display_ = System().registerPowerSetting(window, windows7_ ? &kMonitorPowerOn : &kSessionDisplayStatus,
                                             DEVICE_NOTIFY_WINDOW_HANDLE);
}

// The state is read after each registration: a session locked before it
// sends no notice of that.
void Presence::RegisterSession() {
    sessionRegistered_ = System().registerSession(window_, NOTIFY_FOR_THIS_SESSION);
    // Any other refusal (no wtsapi32, no session service) would be refused
    // again: only the one the documentation names for logon is retried.
    sessionRetry_ = !sessionRegistered_ && GetLastError() == RPC_S_INVALID_BINDING;
    if (sessionRetry_) nextTry_ = System().now() + kRetryMs;
    ReadSession();
}

// The session's state as it is now. What the query cannot say (it failed, or
// the state is unknown) stays as it was: seen, unless a notice said otherwise.
void Presence::ReadSession() {
    SessionInfoEx* info = nullptr;
    DWORD bytes = 0;
    const auto buffer = reinterpret_cast<LPWSTR*>(&info);
    if (!System().querySession(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, kSessionInfoEx, buffer, &bytes)) return;
    if (info && bytes >= sizeof *info && info->level == 1) {
        disconnected_ = info->level1.state == WTSDisconnected;
        // Windows 7 and Server 2008 R2 give the two lock flags the wrong way
        // round, as the structure's documentation says.
        const LONG flags = info->level1.flags;
        if (flags == kStateLock || flags == kStateUnlock) locked_ = (flags == kStateLock) != windows7_;
    }
    System().freeMemory(info);
}

Presence::Change Presence::Retry() {
    if (!window_ || !sessionRetry_ || System().now() < nextTry_) return Change::None;
    const bool wasSeen = Seen();
    RegisterSession();
    return Since(wasSeen);
}

void Presence::Stop() {
    if (!window_) return;
    // Nothing to do where either fails: the window is on its way out.
    if (sessionRegistered_) System().unregisterSession(window_);
    if (display_) System().unregisterPowerSetting(display_);
    window_ = nullptr;
}

Presence::Change Presence::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    const bool wasSeen = Seen();
    // Registered for this session only, yet the notice names a session:
    // one about another is not ours to follow.
    const DWORD session = static_cast<DWORD>(lParam);
    if (msg == WM_WTSSESSION_CHANGE && (session == session_ || session_ == WTS_CURRENT_SESSION)) {
        OnSessionChange(wParam);
    }
    if (msg == WM_POWERBROADCAST) OnPowerBroadcast(wParam, lParam);
    return Since(wasSeen);
}

Presence::Change Presence::Since(bool wasSeen) const {
    return Seen() == wasSeen ? Change::None : Seen() ? Change::Seen : Change::Unseen;
}

void Presence::OnSessionChange(WPARAM change) {
    if (change == WTS_SESSION_LOCK || change == WTS_SESSION_UNLOCK) locked_ = change == WTS_SESSION_LOCK;
    // Switched away from (fast user switching) or a remote client gone; a
    // session taken over from the console by a remote client hears the
    // console's disconnect, then the remote connect.
    if (change == WTS_CONSOLE_DISCONNECT || change == WTS_REMOTE_DISCONNECT) disconnected_ = true;
    const bool connect = change == WTS_CONSOLE_CONNECT || change == WTS_REMOTE_CONNECT;
    if (connect) disconnected_ = false;
    // Someone unlocked or connected: the user is there, whatever a wake that
    // came without them left behind. Windows 7's monitor is the console's: one
    // that went off while the user was away or elsewhere may never say it
    // came back on here.
    const bool present = connect || change == WTS_SESSION_UNLOCK;
    if (present) suspended_ = false;
    if (windows7_ && present) displayOff_ = false;
    ReadSession();
}

void Presence::OnPowerBroadcast(WPARAM event, LPARAM lParam) {
    switch (event) {
    case PBT_APMSUSPEND: suspended_ = true; break;
    // Every resume brings PBT_APMRESUMEAUTOMATIC, the user there or not (a
    // wake timer, the network); one the user caused, or joins, brings
    // PBT_APMRESUMESUSPEND after it.
    case PBT_APMRESUMESUSPEND: suspended_ = false; break;
    case PBT_POWERSETTINGCHANGE: OnDisplay(lParam); break;
    default: break;
    }
}

void Presence::OnDisplay(LPARAM lParam) {
    const std::optional<Setting> notice = ReadSetting(lParam);
    const bool monitor = notice && IsEqualGUID(notice->setting, kMonitorPowerOn);
    if (!monitor && !(notice && IsEqualGUID(notice->setting, kSessionDisplayStatus))) return;
    // The console's primary monitor says nothing of a remote session's display.
    if (monitor && System().systemMetric(SM_REMOTESESSION)) return;
    // A dimmed display still shows the figures; one that is off may still
    // speak them (a laptop used with its lid shut). The lock pauses them anyway.
    displayOff_ = notice->data == 0 && !SomeoneListens();
}

}  // namespace presence
