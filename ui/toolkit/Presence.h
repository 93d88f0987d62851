// Whether the user can see the program at all: the session locked or
// disconnected, the display off, the machine asleep. A window hands its
// session and power notices to a Presence, which says when that changes and
// makes and undoes the registrations for them.
#pragma once

#include <windows.h>

namespace ui {

// The system calls behind the notices, so that tests can stand in a system
// that fails at logon or counts the calls; Wine's are stubs.
class PresenceSystem {
public:
    virtual ~PresenceSystem() = default;
    // WTSRegisterSessionNotification for this session: ERROR_SUCCESS, or why not.
    virtual DWORD RegisterSession(HWND window) = 0;
    virtual void UnregisterSession(HWND window) = 0;
    // RegisterPowerSettingNotification to the window; nullptr where it failed.
    virtual HPOWERNOTIFY RegisterPowerSetting(HWND window, const GUID& setting) = 0;
    virtual void UnregisterPowerSetting(HPOWERNOTIFY notice) = 0;
    virtual bool Windows8OrLater() = 0;  // which say the state of the session's own display
    virtual ULONGLONG Now() = 0;  // milliseconds
};

// A stand-in for the system's calls; nullptr goes back to the system's.
void UsePresenceSystem(PresenceSystem* system);

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
    void Retry();  // from the caller's refresh: a registration refused at logon
    // A window message: whether the user went out of sight or came back.
    Change OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    bool Seen() const { return !locked_ && !disconnected_ && !displayOff_ && !suspended_; }

private:
    void RegisterSession();
    void OnSessionChange(WPARAM change);
    void OnPowerBroadcast(WPARAM event, LPARAM lParam);

    HWND window_ = nullptr;
    bool sessionRegistered_ = false, sessionRetry_ = false;
    ULONGLONG nextTry_ = 0;
    HPOWERNOTIFY display_ = nullptr;
    bool locked_ = false, disconnected_ = false, displayOff_ = false, suspended_ = false;
};

}  // namespace ui
