// Whether the user can see the program at all: the session locked or
// disconnected, the display off, the machine asleep. A window hands its
// session and power notices to a Presence, which says when that changes and
// makes and undoes the registrations for them.
#pragma once

#include <windows.h>
#include <wtsapi32.h>

namespace presence {

// WTSQuerySessionInformationW's WTSSessionInfoEx (Windows 7 on), which
// MinGW's header lacks: WTSINFOEXW as far as it is read, the level and the
// start of WTSINFOEX_LEVEL1_W, whose 64-bit times align it on 8 bytes.
inline constexpr auto kSessionInfoEx = static_cast<WTS_INFO_CLASS>(25);
struct SessionInfoEx {
    DWORD level;  // 1
    struct alignas(8) {
        ULONG sessionId;
        WTS_CONNECTSTATE_CLASS state;
        LONG flags;  // WTS_SESSIONSTATE_LOCK 0, _UNLOCK 1, _UNKNOWN -1
    } level1;
};

class Presence {
public:
    enum class Change { None, Unseen, Seen };
    // Early at logon the session service may not be up yet: a registration
    // refused with RPC_S_INVALID_BINDING is tried again, at most this often.
    static constexpr ULONGLONG kRetryMs = 5000;

    Presence() = default;
    ~Presence() { Stop(); }
    Presence(const Presence&) = delete;
    Presence& operator=(const Presence&) = delete;

    // Stop, which undoes the registrations, must run before the window goes.
    void Start(HWND window);
    void Stop();
    Change Retry();  // from the caller's refresh: a registration refused at logon
    // A window message: whether the user went out of sight or came back.
    Change OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    bool Seen() const { return !locked_ && !disconnected_ && !displayOff_ && !suspended_; }

private:
    Change Since(bool wasSeen) const;
    void RegisterSession();
    void ReadSession();
    void OnSessionChange(WPARAM change);
    void OnPowerBroadcast(WPARAM event, LPARAM lParam);
    void OnDisplay(LPARAM lParam);

    HWND window_ = nullptr;
    bool windows7_ = false;
    DWORD session_ = WTS_CURRENT_SESSION;  // ours; until known, any
    bool sessionRegistered_ = false, sessionRetry_ = false;
    ULONGLONG nextTry_ = 0;
    HPOWERNOTIFY display_ = nullptr;
    bool locked_ = false, disconnected_ = false, displayOff_ = false, suspended_ = false;
};

}  // namespace presence
