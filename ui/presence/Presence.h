// Whether the user can see the program at all: the session locked or
// disconnected, the display off, the machine asleep. A window hands its
// session and power notices to a Presence, which says when that changes.
#pragma once

#include <windows.h>

namespace presence {

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
    // Once; Stop, which undoes the registrations, must run before the window goes.
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
    bool windows7_ = false, sessionRegistered_ = false, sessionRetry_ = false;
    DWORD session_ = 0;  // ours
    ULONGLONG nextTry_ = 0;
    HPOWERNOTIFY display_ = nullptr;
    bool locked_ = false, disconnected_ = false, displayOff_ = false, suspended_ = false;
};

}  // namespace presence
