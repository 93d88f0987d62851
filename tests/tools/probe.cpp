// probe.exe: looks at other processes' windows from outside, the way a person
// sees them, and pokes them with messages. The end-to-end tests run it next to
// the program on the same Wine desktop and read its JSON lines (UTF-8, one
// object per line, window handles as decimal integers). It runs one command
// given on its command line, or ("serve") command after command read from
// its input, which spares the tests a Wine start per look.
//
// Only messages whose answers fit in the return value are used across
// processes: pointer-carrying control messages do not cross process bounds.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr UINT kMessageTimeoutMs = 2000;

// --- output ---------------------------------------------------------------

std::string Utf8(const std::wstring& w) {
    if (w.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

std::string Quote(const std::wstring& w) {
    std::string out = "\"";
    for (unsigned char c : Utf8(w)) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

// Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about "[" + std::string.
std::string NumberList(std::initializer_list<long long> values) {
    std::string list;
    list += '[';
    for (long long v : values) {
        if (list.size() > 1) list += ',';
        list += std::to_string(v);
    }
    list += ']';
    return list;
}

// Builds one JSON object; fields keep the order they are added in.
class Json {
public:
    Json& Raw(const char* key, const std::string& value) {
        body_ += body_.empty() ? "" : ",";
        body_ += "\"";
        body_ += key;
        body_ += "\":";
        body_ += value;
        return *this;
    }
    Json& Str(const char* key, const std::wstring& v) { return Raw(key, Quote(v)); }
    Json& Int(const char* key, long long v) { return Raw(key, std::to_string(v)); }
    Json& UInt(const char* key, unsigned long long v) { return Raw(key, std::to_string(v)); }
    Json& Bool(const char* key, bool v) { return Raw(key, v ? "true" : "false"); }
    Json& Handle(const char* key, HWND h) {
        return UInt(key, static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(h)));
    }
    Json& Numbers(const char* key, std::initializer_list<long long> values) { return Raw(key, NumberList(values)); }
    Json& Rect(const char* key, const RECT& r) { return Numbers(key, {r.left, r.top, r.right, r.bottom}); }
    Json& Point(const char* key, POINT p) { return Numbers(key, {p.x, p.y}); }
    std::string Text() const {
        std::string t;
        t += '{';
        t += body_;
        t += '}';
        return t;
    }

private:
    std::string body_;
};

// Raw bytes to stdout: the C runtime's text mode would turn \n into \r\n and
// the console code page would mangle UTF-8.
void Emit(const Json& j) {
    std::string line = j.Text() + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

int Fail(const std::wstring& message, int code = 2) {
    Emit(Json().Str("error", message));
    return code;
}

// --- parsing --------------------------------------------------------------

// Decimal or 0x-hex, optionally negative; a leading 0 is not octal.
bool ParseNumber(const wchar_t* s, long long& out) {
    bool negative = false;
    if (*s == L'-') {
        negative = true;
        ++s;
    }
    int base = 10;
    if (s[0] == L'0' && (s[1] == L'x' || s[1] == L'X')) {
        base = 16;
        s += 2;
    }
    // wcstoull itself would take a sign or blanks here ("--1", "- 1").
    if (!iswxdigit(*s)) return false;
    wchar_t* end = nullptr;
    unsigned long long v = std::wcstoull(s, &end, base);
    if (*end) return false;
    out = negative ? -static_cast<long long>(v) : static_cast<long long>(v);
    return true;
}

bool ParseHwnd(const wchar_t* s, HWND& out) {
    long long v = 0;
    if (!ParseNumber(s, v)) return false;
    out = reinterpret_cast<HWND>(static_cast<uintptr_t>(v));
    return true;
}

// --- reading windows --------------------------------------------------------

std::wstring ClassOf(HWND h) {
    wchar_t buf[256] = {};
    GetClassNameW(h, buf, 256);
    return buf;
}

// WM_GETTEXT through SendMessageTimeout: a hung program must not hang the probe.
std::wstring TextOf(HWND h) {
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &len)) {
        wchar_t buf[1024] = {};
        GetWindowTextW(h, buf, 1024);
        return buf;
    }
    std::vector<wchar_t> buf(len + 2, L'\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutW(h, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), SMTO_ABORTIFHUNG,
                        kMessageTimeoutMs, &got);
    return std::wstring(buf.data(), got < buf.size() ? got : buf.size() - 1);
}

bool Ask(HWND h, UINT msg, WPARAM w, LPARAM l, long long& out) {
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutW(h, msg, w, l, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &r)) return false;
    out = static_cast<long long>(static_cast<LRESULT>(r));
    return true;
}

// Image paths by process id, for one command: a probe that serves many
// commands outlives processes, and Wine hands a freed id to the next one.
std::map<DWORD, std::wstring> exePathCache;

std::wstring ExePath(DWORD pid) {
    auto& cache = exePathCache;
    auto it = cache.find(pid);
    if (it != cache.end()) return it->second;
    std::wstring path;
    if (HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid)) {
        wchar_t buf[MAX_PATH * 2] = {};
        DWORD size = MAX_PATH * 2;
        if (QueryFullProcessImageNameW(p, 0, buf, &size)) path.assign(buf, size);
        CloseHandle(p);
    }
    cache[pid] = path;
    return path;
}

std::wstring BaseName(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

Json Describe(HWND h) {
    DWORD pid = 0;
    DWORD tid = GetWindowThreadProcessId(h, &pid);
    RECT wr{}, cr{};
    GetWindowRect(h, &wr);
    GetClientRect(h, &cr);
    POINT origin{0, 0};
    ClientToScreen(h, &origin);
    LONG style = GetWindowLongW(h, GWL_STYLE);
    LONG exstyle = GetWindowLongW(h, GWL_EXSTYLE);
    std::wstring exe = ExePath(pid);
    Json j;
    j.Handle("hwnd", h)
        .UInt("pid", pid)
        .UInt("tid", tid)
        .Str("exe", BaseName(exe))
        .Str("exe_path", exe)
        .Str("class", ClassOf(h))
        .Str("text", TextOf(h))
        .Bool("visible", IsWindowVisible(h))
        .Bool("enabled", IsWindowEnabled(h))
        .Bool("minimized", IsIconic(h))
        .Rect("rect", wr)
        .Numbers("client", {cr.right - cr.left, cr.bottom - cr.top})
        .Point("client_origin", origin)
        .UInt("style", static_cast<DWORD>(style))
        .UInt("exstyle", static_cast<DWORD>(exstyle))
        .Bool("topmost", (exstyle & WS_EX_TOPMOST) != 0)
        .Handle("owner", GetWindow(h, GW_OWNER))
        .Bool("foreground", GetForegroundWindow() == h)
        // Wine's X11 driver names each top-level window's X window in this
        // property (0 on Windows): X sends keys to the X window with the
        // input focus, which follows the foreground window a moment later.
        .UInt("x11_window", reinterpret_cast<uintptr_t>(GetPropW(h, L"__wine_x11_whole_window")));
    return j;
}

// A window that is destroyed while it is being read (its program was busy
// destroying it when we asked for its text) still yields a record, with the
// class read before and "hidden, disabled" after: it is not reported, since
// at the end of the read it no longer exists.
bool EmitIfStillThere(HWND h) {
    Json j = Describe(h);
    if (!IsWindow(h)) return false;
    Emit(j);
    return true;
}

// A named CALLBACK, not a lambda: on 32-bit x86 an enumeration callback is
// __stdcall, which a lambda does not convert to.
BOOL CALLBACK CollectWindow(HWND h, LPARAM l) {
    reinterpret_cast<std::vector<HWND>*>(l)->push_back(h);
    return TRUE;
}

std::vector<HWND> TopLevel() {
    std::vector<HWND> all;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&all));
    return all;
}

struct Filter {
    std::wstring cls, title, titleContains, exe;
    long long pid = -1;
    bool any = false;  // invisible windows match too

    bool Matches(HWND h) const {
        if (!any && !IsWindowVisible(h)) return false;
        if (pid >= 0) {
            DWORD p = 0;
            GetWindowThreadProcessId(h, &p);
            if (p != static_cast<DWORD>(pid)) return false;
        }
        if (!cls.empty() && ClassOf(h) != cls) return false;
        if (!exe.empty()) {
            DWORD p = 0;
            GetWindowThreadProcessId(h, &p);
            if (_wcsicmp(BaseName(ExePath(p)).c_str(), exe.c_str()) != 0) return false;
        }
        if (!title.empty() || !titleContains.empty()) {
            std::wstring t = TextOf(h);
            if (!title.empty() && t != title) return false;
            if (!titleContains.empty() && t.find(titleContains) == std::wstring::npos) return false;
        }
        return true;
    }
};

// Reads --class/--title/--title-contains/--pid/--exe/--any/--timeout-ms/--all.
bool ParseFilter(int argc, wchar_t** argv, int first, Filter& f, long long& timeoutMs, bool& all) {
    for (int i = first; i < argc; ++i) {
        std::wstring a = argv[i];
        auto value = [&](std::wstring& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        auto number = [&](long long& out) { return i + 1 < argc && ParseNumber(argv[++i], out); };
        if (a == L"--class") {
            if (!value(f.cls)) return false;
        } else if (a == L"--title") {
            if (!value(f.title)) return false;
        } else if (a == L"--title-contains") {
            if (!value(f.titleContains)) return false;
        } else if (a == L"--exe") {
            if (!value(f.exe)) return false;
        } else if (a == L"--pid") {
            if (!number(f.pid)) return false;
        } else if (a == L"--timeout-ms") {
            if (!number(timeoutMs)) return false;
        } else if (a == L"--any") {
            f.any = true;
        } else if (a == L"--all") {
            all = true;
        } else {
            return false;
        }
    }
    return true;
}

// --- subcommands ------------------------------------------------------------

int CmdList(int argc, wchar_t** argv) {
    Filter f;
    f.any = true;
    long long unused = 0;
    bool all = true;
    if (!ParseFilter(argc, argv, 2, f, unused, all)) return Fail(L"usage: list [--pid P] [--class C] [--exe E]");
    for (HWND h : TopLevel())
        if (f.Matches(h)) EmitIfStillThere(h);
    return 0;
}

int CmdChildren(int argc, wchar_t** argv) {
    HWND top = nullptr;
    if (argc < 3 || !ParseHwnd(argv[2], top)) return Fail(L"usage: children HWND");
    if (!IsWindow(top)) return Fail(L"not a window", 1);
    std::vector<HWND> kids;
    EnumChildWindows(top, CollectWindow, reinterpret_cast<LPARAM>(&kids));
    for (HWND h : kids) {
        HWND parent = GetParent(h);
        RECT r{};
        GetWindowRect(h, &r);
        RECT screen = r;
        MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
        std::wstring cls = ClassOf(h);
        Json j;
        j.Handle("hwnd", h)
            .Handle("parent", parent)
            .Str("class", cls)
            .Str("text", TextOf(h))
            .Int("id", GetDlgCtrlID(h))
            .UInt("style", static_cast<DWORD>(GetWindowLongW(h, GWL_STYLE)))
            .UInt("exstyle", static_cast<DWORD>(GetWindowLongW(h, GWL_EXSTYLE)))
            .Bool("visible", IsWindowVisible(h))
            .Bool("enabled", IsWindowEnabled(h))
            .Rect("rect", r)
            .Rect("screen_rect", screen);
        long long v = 0;
        if (_wcsicmp(cls.c_str(), PROGRESS_CLASSW) == 0) {
            // With a null PBRANGE pointer the answer is one limit: TRUE low, FALSE high.
            if (Ask(h, PBM_GETRANGE, TRUE, 0, v)) j.Int("range_low", v);
            if (Ask(h, PBM_GETRANGE, FALSE, 0, v)) j.Int("range_high", v);
            if (Ask(h, PBM_GETPOS, 0, 0, v)) j.Int("pos", v);
        } else if (_wcsicmp(cls.c_str(), L"Button") == 0) {
            if (Ask(h, BM_GETCHECK, 0, 0, v)) j.Int("checked", v);
        }
        Emit(j);
    }
    return 0;
}

int CmdMessage(int argc, wchar_t** argv, bool post) {
    HWND h = nullptr;
    long long msg = 0, w = 0, l = 0;
    if (argc < 6 || !ParseHwnd(argv[2], h) || !ParseNumber(argv[3], msg) || !ParseNumber(argv[4], w) ||
        !ParseNumber(argv[5], l))
        return Fail(post ? L"usage: post HWND MSG WPARAM LPARAM" : L"usage: send HWND MSG WPARAM LPARAM");
    if (post) {
        BOOL ok = PostMessageW(h, static_cast<UINT>(msg), static_cast<WPARAM>(w), static_cast<LPARAM>(l));
        Emit(Json().Bool("ok", ok).UInt("error", ok ? 0 : GetLastError()));
        return ok ? 0 : 1;
    }
    DWORD_PTR r = 0;
    // Generous: the handler may do real work (a modal loop answers only when it ends).
    LRESULT ok = SendMessageTimeoutW(h, static_cast<UINT>(msg), static_cast<WPARAM>(w), static_cast<LPARAM>(l),
                                     SMTO_NORMAL, 10000, &r);
    Emit(Json().Bool("ok", ok != 0).Int("result", static_cast<long long>(static_cast<LRESULT>(r))));
    return ok ? 0 : 1;
}

int CmdForeground() {
    if (HWND h = GetForegroundWindow()) EmitIfStillThere(h);
    return 0;
}

int CmdClose(int argc, wchar_t** argv) {
    HWND h = nullptr;
    if (argc < 3 || !ParseHwnd(argv[2], h)) return Fail(L"usage: close HWND");
    // Posted, so a confirmation box the program may show does not block us.
    BOOL ok = PostMessageW(h, WM_CLOSE, 0, 0);
    Emit(Json().Bool("ok", ok));
    return ok ? 0 : 1;
}

int CmdTaskbarCreated() {
    UINT msg = RegisterWindowMessageW(L"TaskbarCreated");
    BOOL ok = SendNotifyMessageW(HWND_BROADCAST, msg, 0, 0);
    Emit(Json().Bool("ok", ok).UInt("message", msg));
    return ok ? 0 : 1;
}

// Takes another program's notification icon out of the shell, as a shell that
// restarts loses every icon. shell32 is loaded here so the probe links no more
// than it did.
int CmdTrayDelete(int argc, wchar_t** argv) {
    HWND h = nullptr;
    long long id = 0;
    if (argc < 4 || !ParseHwnd(argv[2], h) || !ParseNumber(argv[3], id)) return Fail(L"usage: tray-delete HWND ID");
    using NotifyIcon = BOOL(WINAPI*)(DWORD, PNOTIFYICONDATAW);
    HMODULE shell = LoadLibraryW(L"shell32.dll");
    auto notify = shell ? reinterpret_cast<NotifyIcon>(
                              reinterpret_cast<void*>(GetProcAddress(shell, "Shell_NotifyIconW")))
                        : nullptr;
    if (!notify) return Fail(L"no Shell_NotifyIconW", 1);
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = h;
    nid.uID = static_cast<UINT>(id);
    BOOL ok = notify(NIM_DELETE, &nid);
    Emit(Json().Bool("ok", ok));
    return ok ? 0 : 1;
}

int CmdMemStatus() {
    MEMORYSTATUSEX m{};
    m.dwLength = sizeof m;
    if (!GlobalMemoryStatusEx(&m)) return Fail(L"GlobalMemoryStatusEx failed", 1);
    Emit(Json()
             .UInt("load", m.dwMemoryLoad)
             .UInt("total_phys", m.ullTotalPhys)
             .UInt("avail_phys", m.ullAvailPhys)
             .UInt("total_pagefile", m.ullTotalPageFile)
             .UInt("avail_pagefile", m.ullAvailPageFile)
             .UInt("total_virtual", m.ullTotalVirtual)
             .UInt("avail_virtual", m.ullAvailVirtual));
    return 0;
}

int CmdProcMem(int argc, wchar_t** argv) {
    long long pid = 0;
    if (argc < 3 || !ParseNumber(argv[2], pid)) return Fail(L"usage: procmem PID");
    HANDLE p = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, static_cast<DWORD>(pid));
    if (!p) p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!p) return Fail(L"OpenProcess failed: " + std::to_wstring(GetLastError()), 1);
    PROCESS_MEMORY_COUNTERS_EX c{};
    c.cb = sizeof c;
    BOOL ok = GetProcessMemoryInfo(p, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&c), sizeof c);
    DWORD exitCode = 0;
    GetExitCodeProcess(p, &exitCode);
    CloseHandle(p);
    if (!ok) return Fail(L"GetProcessMemoryInfo failed: " + std::to_wstring(GetLastError()), 1);
    Emit(Json()
             .UInt("pid", static_cast<unsigned long long>(pid))
             .Bool("running", exitCode == STILL_ACTIVE)
             .UInt("private_usage", c.PrivateUsage)
             .UInt("pagefile_usage", c.PagefileUsage)
             .UInt("peak_pagefile_usage", c.PeakPagefileUsage)
             .UInt("working_set", c.WorkingSetSize)
             .UInt("peak_working_set", c.PeakWorkingSetSize));
    return 0;
}

int CmdProcs() {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return Fail(L"CreateToolhelp32Snapshot failed", 1);
    PROCESSENTRY32W e{};
    e.dwSize = sizeof e;
    for (BOOL more = Process32FirstW(snap, &e); more; more = Process32NextW(snap, &e))
        Emit(Json().UInt("pid", e.th32ProcessID).UInt("ppid", e.th32ParentProcessID).Str("exe", e.szExeFile));
    CloseHandle(snap);
    return 0;
}

int CmdTooltips() {
    for (HWND h : TopLevel()) {
        if (!IsWindowVisible(h) || _wcsicmp(ClassOf(h).c_str(), TOOLTIPS_CLASSW) != 0) continue;
        DWORD pid = 0;
        GetWindowThreadProcessId(h, &pid);
        RECT r{};
        GetWindowRect(h, &r);
        Emit(Json().Handle("hwnd", h).UInt("pid", pid).Str("exe", BaseName(ExePath(pid))).Str("text", TextOf(h)).Rect(
            "rect", r));
    }
    return 0;
}

int CmdClaim(int argc, wchar_t** argv) {
    long long mb = 0, seconds = 0;
    if (argc < 4 || !ParseNumber(argv[2], mb) || !ParseNumber(argv[3], seconds) || mb <= 0)
        return Fail(L"usage: claim MB SECONDS");
    SIZE_T bytes = static_cast<SIZE_T>(mb) << 20;
    auto* p = static_cast<volatile char*>(VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!p) return Fail(L"VirtualAlloc failed", 1);
    // Touch every page so it is really backed by physical memory.
    for (SIZE_T i = 0; i < bytes; i += 4096) p[i] = 1;
    Emit(Json().Int("claimed_mb", mb).UInt("pid", GetCurrentProcessId()));
    Sleep(static_cast<DWORD>(seconds * 1000));
    return 0;
}

// The shell's taskbar and its notification area. Windows keeps the icons in a
// TrayNotifyWnd child; Wine 8's explorer has no such child and paints them on
// Shell_TrayWnd itself, packed from its right end in the order they were
// added, each a small icon plus a 2-pixel border on every side wide (so at 96
// DPI the first one spans x 780..800 of an 800-wide desktop).
int CmdTrayRect() {
    HWND bar = FindWindowW(L"Shell_TrayWnd", nullptr);
    if (!bar) return Fail(L"no Shell_TrayWnd", 1);
    RECT br{};
    GetWindowRect(bar, &br);
    Json j;
    j.Handle("taskbar", bar).Rect("taskbar_rect", br);
    HWND notify = FindWindowExW(bar, nullptr, L"TrayNotifyWnd", nullptr);
    if (notify) {
        RECT nr{};
        GetWindowRect(notify, &nr);
        j.Handle("tray", notify).Rect("tray_rect", nr);
    }
    const int slot = GetSystemMetrics(SM_CXSMICON) + 4;
    j.Int("icon_size", slot);
    std::string slots;
    slots += '[';
    for (int k = 0; k < 8; ++k) {
        if (slots.size() > 1) slots += ',';
        slots += NumberList({br.right - slot * (k + 1), br.top, br.right - slot * k, br.bottom});
    }
    slots += ']';
    j.Raw("icon_slots", slots);
    std::string kids;
    kids += '[';
    for (HWND c = GetWindow(bar, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        RECT cr{};
        GetWindowRect(c, &cr);
        Json k;
        k.Handle("hwnd", c).Str("class", ClassOf(c)).Str("text", TextOf(c)).Bool("visible", IsWindowVisible(c)).Rect(
            "rect", cr);
        if (kids.size() > 1) kids += ',';
        kids += k.Text();
    }
    kids += ']';
    j.Raw("children", kids);
    Emit(j);
    return 0;
}

// What a freshly started process gets from the prefix: DPI, screen, locale.
int CmdSysInfo() {
    HDC dc = GetDC(nullptr);
    int logPixels = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    wchar_t locale[LOCALE_NAME_MAX_LENGTH] = {};
    GetUserDefaultLocaleName(locale, LOCALE_NAME_MAX_LENGTH);
    wchar_t decimal[8] = {};
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, decimal, 8);
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    Emit(Json()
             .Int("dpi", static_cast<long long>(GetDpiForSystem()))
             .Int("logpixels", logPixels)
             .Int("screen_w", GetSystemMetrics(SM_CXSCREEN))
             .Int("screen_h", GetSystemMetrics(SM_CYSCREEN))
             .Rect("work_area", work)
             .Str("locale", locale)
             .Str("decimal", decimal)
             .UInt("acp", GetACP()));
    return 0;
}

// Which face GDI really uses for a requested name, and whether it has glyphs
// for the text: shows the font replacements of the prefix at work.
// The pixels of `text` drawn in black on white with the DC's font into a
// 64 x 64 bitmap. Drawing goes through GDI's font linking, which the glyph
// look-up does not: a face without CJK glyphs still draws them from the
// fonts its FontLink entry names.
std::vector<uint32_t> Drawn(HDC dc, const std::wstring& text) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = 64;
    bi.bmiHeader.biHeight = -64;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bmp);
    RECT all{0, 0, 64, 64};
    SetBkColor(dc, RGB(255, 255, 255));
    SetTextColor(dc, RGB(0, 0, 0));
    ExtTextOutW(dc, 4, 4, ETO_OPAQUE, &all, text.c_str(), static_cast<UINT>(text.size()), nullptr);
    GdiFlush();
    std::vector<uint32_t> pixels(static_cast<const uint32_t*>(bits), static_cast<const uint32_t*>(bits) + 64 * 64);
    SelectObject(dc, old);
    DeleteObject(bmp);
    return pixels;
}

int CmdFont(int argc, wchar_t** argv) {
    if (argc < 4) return Fail(L"usage: font FACE TEXT");
    HDC dc = CreateCompatibleDC(nullptr);
    LOGFONTW lf{};
    lf.lfHeight = -16;
    lf.lfCharSet = DEFAULT_CHARSET;
    wcsncpy(lf.lfFaceName, argv[2], LF_FACESIZE - 1);
    HFONT font = CreateFontIndirectW(&lf);
    HGDIOBJ old = SelectObject(dc, font);
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    // A replaced face keeps the requested name as its family; its full name
    // tells which font file is behind it.
    std::wstring family, full;
    if (UINT size = GetOutlineTextMetricsW(dc, 0, nullptr)) {
        std::vector<char> buf(size);
        auto* otm = reinterpret_cast<OUTLINETEXTMETRICW*>(buf.data());
        if (GetOutlineTextMetricsW(dc, size, otm)) {
            auto at = [&](PSTR offset) {
                return std::wstring(reinterpret_cast<const wchar_t*>(buf.data() + reinterpret_cast<uintptr_t>(offset)));
            };
            family = at(otm->otmpFamilyName);
            full = at(otm->otmpFullName);
        }
    }
    std::wstring text = argv[3];
    std::vector<WORD> glyphs(text.size() + 1);
    int missing = -1;
    if (GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(),
                         GGI_MARK_NONEXISTING_GLYPHS) != GDI_ERROR) {
        missing = 0;
        for (size_t i = 0; i < text.size(); ++i)
            if (glyphs[i] == 0xFFFF) ++missing;
    }
    // Characters that draw as the box of a character no font has (U+FFFF).
    const std::vector<uint32_t> box = Drawn(dc, L"\xFFFF");
    int drawnMissing = 0;
    for (wchar_t c : text)
        if (Drawn(dc, std::wstring(1, c)) == box) ++drawnMissing;
    SelectObject(dc, old);
    DeleteObject(font);
    DeleteDC(dc);
    Emit(Json().Str("requested", argv[2]).Str("face", face).Str("family", family).Str("full_name", full).Int(
        "missing_glyphs", missing).Int("drawn_missing", drawnMissing));
    return 0;
}

// The prefix's FontLink entry for a face: the fonts GDI falls back to for
// characters the face lacks.
int CmdFontLink(int argc, wchar_t** argv) {
    if (argc < 3) return Fail(L"usage: fontlink FACE");
    wchar_t buf[4096] = {};
    DWORD size = sizeof buf - sizeof(wchar_t);
    LSTATUS rc = RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink",
                              argv[2], RRF_RT_REG_MULTI_SZ, nullptr, buf, &size);
    std::string links;
    links += '[';
    if (rc == ERROR_SUCCESS) {
        for (const wchar_t* p = buf; *p; p += wcslen(p) + 1) {
            if (links.size() > 1) links += ',';
            links += Quote(p);
        }
    }
    links += ']';
    Emit(Json().Str("face", argv[2]).Bool("found", rc == ERROR_SUCCESS).Raw("links", links));
    return 0;
}

// Posts COUNT messages of random kind with random parameters to a window,
// leaving out the ones that legitimately close, end or disable it. Half the
// parameters are small numbers (ids, flags, coordinates), half any 64 bits.
// Refused posts (pointer-carrying messages, a full queue) are counted; on a
// full queue it waits for the window to catch up and goes on.
int CmdFuzz(int argc, wchar_t** argv) {
    HWND h = nullptr;
    long long count = 0, seed = 0;
    if (argc < 5 || !ParseHwnd(argv[2], h) || !ParseNumber(argv[3], count) || !ParseNumber(argv[4], seed) ||
        count < 0)
        return Fail(L"usage: fuzz HWND COUNT SEED");
    static const UINT kSpared[] = {WM_CLOSE,          WM_DESTROY,    WM_NCDESTROY,  WM_QUIT,      WM_QUERYENDSESSION,
                                   WM_ENDSESSION,     WM_SYSCOMMAND, WM_ENABLE,     WM_SHOWWINDOW};
    unsigned long long state = static_cast<unsigned long long>(seed) * 0x9E3779B97F4A7C15ull + 1;
    auto next = [&state] {  // splitmix64
        unsigned long long z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    };
    auto param = [&] {
        unsigned long long r = next();
        return (r & 1) ? next() : (r >> 1) & 0xFFFF;
    };
    long long posted = 0, refused = 0, waits = 0;
    std::map<UINT, long long> refusedBy;
    for (long long i = 0; i < count; ++i) {
        UINT msg = static_cast<UINT>(next() & 0xFFFF);
        bool spared = false;
        for (UINT m : kSpared) spared = spared || m == msg;
        if (spared) {
            --i;
            continue;
        }
        WPARAM w = static_cast<WPARAM>(param());
        LPARAM l = static_cast<LPARAM>(param());
        for (int attempt = 0;; ++attempt) {
            if (!IsWindow(h)) {
                Emit(Json().Bool("ok", false).Int("posted", posted).Int("refused", refused).Str("error",
                                                                                        L"the window went away"));
                return 1;
            }
            if (PostMessageW(h, msg, w, l)) {
                ++posted;
                break;
            }
            DWORD e = GetLastError();
            if (e == ERROR_NOT_ENOUGH_QUOTA && attempt < 200) {
                ++waits;
                Sleep(20);
                continue;
            }
            ++refused;
            ++refusedBy[msg];
            break;
        }
        // Let the window keep up so the queue never fills for long.
        if (i % 2000 == 1999) {
            DWORD_PTR r = 0;
            SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &r);
        }
    }
    DWORD_PTR r = 0;
    LRESULT alive = SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &r);
    Emit(Json()
             .Bool("ok", alive != 0)
             .Int("posted", posted)
             .Int("refused", refused)
             .Int("queue_full_waits", waits)
             .Int("kinds_refused", static_cast<long long>(refusedBy.size())));
    return alive ? 0 : 1;
}

// Posts the same message COUNT times, waiting for the window to catch up
// every hundred: a way to drive a timer's ticks faster than the timer does.
int CmdRepeat(int argc, wchar_t** argv) {
    HWND h = nullptr;
    long long msg = 0, w = 0, l = 0, count = 0;
    if (argc < 7 || !ParseHwnd(argv[2], h) || !ParseNumber(argv[3], msg) || !ParseNumber(argv[4], w) ||
        !ParseNumber(argv[5], l) || !ParseNumber(argv[6], count) || count < 0)
        return Fail(L"usage: repeat HWND MSG WPARAM LPARAM COUNT");
    long long posted = 0;
    DWORD_PTR r = 0;
    for (long long i = 0; i < count; ++i) {
        if (PostMessageW(h, static_cast<UINT>(msg), static_cast<WPARAM>(w), static_cast<LPARAM>(l))) ++posted;
        if (i % 100 == 99) SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &r);
    }
    LRESULT alive = SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &r);
    Emit(Json().Bool("ok", alive != 0 && posted == count).Int("posted", posted));
    return alive ? 0 : 1;
}

// Starts EXE and measures the time until it has a visible top-level window
// (of CLASS, if given), polling every millisecond. The program keeps running.
int CmdStartup(int argc, wchar_t** argv) {
    if (argc < 3) return Fail(L"usage: startup EXE [CLASS] [ARGS]");
    std::wstring cls = argc > 3 ? argv[3] : L"";
    std::wstring cmdLine = L"\"" + std::wstring(argv[2]) + L"\"";
    if (argc > 4) cmdLine += L" " + std::wstring(argv[4]);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    LARGE_INTEGER freq, start, now;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(argv[2], cmdLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return Fail(L"CreateProcess failed: " + std::to_wstring(GetLastError()), 1);
    CloseHandle(pi.hThread);
    for (;;) {
        for (HWND h : TopLevel()) {
            DWORD pid = 0;
            GetWindowThreadProcessId(h, &pid);
            if (pid != pi.dwProcessId || !IsWindowVisible(h)) continue;
            if (!cls.empty() && ClassOf(h) != cls) continue;
            QueryPerformanceCounter(&now);
            const double ms = static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 /
                              static_cast<double>(freq.QuadPart);
            CloseHandle(pi.hProcess);
            Emit(Json().UInt("pid", pi.dwProcessId).Handle("hwnd", h).Int("us", static_cast<long long>(ms * 1000)));
            return 0;
        }
        if (WaitForSingleObject(pi.hProcess, 1) == WAIT_OBJECT_0) {
            CloseHandle(pi.hProcess);
            return Fail(L"the program ended without showing a window", 1);
        }
    }
}

// Out-of-context WinEvents of one process: what a screen reader hears from
// it. Each records the event, its object and the window's class at the time.
std::vector<Json> winEvents;
ULONGLONG winEventsStart = 0;

void CALLBACK RecordWinEvent(HWINEVENTHOOK, DWORD event, HWND h, LONG object, LONG child, DWORD, DWORD) {
    winEvents.push_back(Json()
                            .UInt("event", event)
                            .Handle("hwnd", h)
                            .Int("object", object)
                            .Int("child", child)
                            .Str("class", h ? ClassOf(h) : L"")
                            .Int("ms", static_cast<long long>(GetTickCount64() - winEventsStart)));
}

// Listens to PID's name changes and live region changes for MS milliseconds,
// pumping messages (the hook's events come through them); says
// {"hooked":true} once it listens, and then the events in order.
int CmdWinEvents(int argc, wchar_t** argv) {
    long long pid = 0, ms = 0;
    if (argc < 4 || !ParseNumber(argv[2], pid) || !ParseNumber(argv[3], ms) || ms < 0)
        return Fail(L"usage: winevents PID MS");
    const DWORD kinds[] = {EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_LIVEREGIONCHANGED};
    std::vector<HWINEVENTHOOK> hooks;
    for (DWORD kind : kinds) {
        HWINEVENTHOOK hook = SetWinEventHook(kind, kind, nullptr, RecordWinEvent, static_cast<DWORD>(pid), 0,
                                             WINEVENT_OUTOFCONTEXT);
        if (!hook) return Fail(L"SetWinEventHook failed: " + std::to_wstring(GetLastError()), 1);
        hooks.push_back(hook);
    }
    winEvents.clear();
    winEventsStart = GetTickCount64();
    Emit(Json().Bool("hooked", true));
    const ULONGLONG end = winEventsStart + static_cast<ULONGLONG>(ms);
    for (ULONGLONG now = winEventsStart; now < end; now = GetTickCount64()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    for (HWINEVENTHOOK hook : hooks) UnhookWinEvent(hook);
    for (const Json& j : winEvents) Emit(j);
    return 0;
}

int Usage() {
    return Fail(
        L"usage: probe list|children|send|post|close|foreground|broadcast-taskbar-created|memstatus|procmem|procs|"
        L"tooltips|claim|tray-rect|tray-delete|sysinfo|font|fontlink|fuzz|repeat|startup|winevents|serve ...");
}

// One command: argv[1] names it, argv[2...] are its arguments.
int Run(int argc, wchar_t** argv, bool serving) {
    exePathCache.clear();
    if (argc < 2) return Usage();
    std::wstring cmd = argv[1];
    if (cmd == L"list") return CmdList(argc, argv);
    if (cmd == L"children") return CmdChildren(argc, argv);
    if (cmd == L"send") return CmdMessage(argc, argv, false);
    if (cmd == L"post") return CmdMessage(argc, argv, true);
    if (cmd == L"close") return CmdClose(argc, argv);
    if (cmd == L"foreground") return CmdForeground();
    if (cmd == L"broadcast-taskbar-created") return CmdTaskbarCreated();
    if (cmd == L"tray-delete") return CmdTrayDelete(argc, argv);
    if (cmd == L"memstatus") return CmdMemStatus();
    if (cmd == L"procmem") return CmdProcMem(argc, argv);
    if (cmd == L"procs") return CmdProcs();
    if (cmd == L"tooltips") return CmdTooltips();
    if (cmd == L"tray-rect") return CmdTrayRect();
    if (cmd == L"sysinfo") return CmdSysInfo();
    if (cmd == L"font") return CmdFont(argc, argv);
    if (cmd == L"fontlink") return CmdFontLink(argc, argv);
    if (cmd == L"fuzz") return CmdFuzz(argc, argv);
    if (cmd == L"repeat") return CmdRepeat(argc, argv);
    if (cmd == L"startup") return CmdStartup(argc, argv);
    if (cmd == L"winevents") return CmdWinEvents(argc, argv);
    // A claim's memory is the process's: it is held until the process ends.
    if (cmd == L"claim") return serving ? Fail(L"claim needs a probe of its own") : CmdClaim(argc, argv);
    return Usage();
}

// "serve": commands from stdin, one a line in UTF-8, the command word and
// its arguments separated by tabs (an argument may be empty or hold blanks).
// Each answer is the command's JSON lines and then {"done":N,"rc":RC}, N
// counting the commands from 1. The first line, before any command, is
// {"ready":true,"pid":P}. It ends at the end of its input.
int Serve() {
    Emit(Json().Bool("ready", true).UInt("pid", GetCurrentProcessId()));
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    std::string pending;
    unsigned long long served = 0;
    for (;;) {
        size_t eol = pending.find('\n');
        if (eol == std::string::npos) {
            char buf[4096];
            DWORD got = 0;
            if (!ReadFile(in, buf, sizeof buf, &got, nullptr) || got == 0) return 0;
            pending.append(buf, got);
            continue;
        }
        std::string line = pending.substr(0, eol);
        pending.erase(0, eol + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // UTF-8 straight to UTF-16: the ANSI code page would turn Chinese into '?'.
        std::wstring text(static_cast<size_t>(line.size()), L'\0');
        text.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()),
                                                            text.data(), static_cast<int>(text.size()))));
        std::vector<std::wstring> words{L"probe.exe"};
        for (size_t start = 0;;) {
            size_t tab = text.find(L'\t', start);
            words.push_back(text.substr(start, tab == std::wstring::npos ? std::wstring::npos : tab - start));
            if (tab == std::wstring::npos) break;
            start = tab + 1;
        }
        std::vector<wchar_t*> argv;
        for (auto& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        int rc = Run(static_cast<int>(words.size()), argv.data(), true);
        Emit(Json().UInt("done", ++served).Int("rc", rc));
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Physical pixels, the same the X server and xdotool use, at any DPI and
    // on any monitor: per-monitor aware where the system knows it (Windows
    // 10 1703, Wine 10), else aware of the system DPI.
    using SetContext = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
    auto setContext = reinterpret_cast<SetContext>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
    if (!setContext || !setContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)) SetProcessDPIAware();
    if (argc == 2 && std::wstring(argv[1]) == L"serve") return Serve();
    return Run(argc, argv, false);
}
