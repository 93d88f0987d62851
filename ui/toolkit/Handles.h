// One owner per kind of Win32 handle: the destructor is the only place a
// handle is deleted or destroyed.
#pragma once

#include <windows.h>

#include <utility>

namespace ui {

template <class H, class Close>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(H h) : h_(h) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(std::exchange(other.h_, nullptr));
        return *this;
    }

    H get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }
    void reset(H h = nullptr) {
        if (h_) Close{}(h_);
        h_ = h;
    }

private:
    H h_ = nullptr;
};

struct CloseGdiObject { void operator()(HGDIOBJ h) const { DeleteObject(h); } };
struct CloseIcon { void operator()(HICON h) const { DestroyIcon(h); } };
struct CloseMenu { void operator()(HMENU h) const { DestroyMenu(h); } };
struct CloseKernelHandle { void operator()(HANDLE h) const { CloseHandle(h); } };
struct ReleaseScreenDc { void operator()(HDC h) const { ReleaseDC(nullptr, h); } };
struct ReleaseCom { template <class I> void operator()(I* p) const { p->Release(); } };

using UniqueFont = UniqueHandle<HFONT, CloseGdiObject>;
using UniqueBrush = UniqueHandle<HBRUSH, CloseGdiObject>;
using UniquePen = UniqueHandle<HPEN, CloseGdiObject>;
using UniqueIcon = UniqueHandle<HICON, CloseIcon>;
using UniqueMenu = UniqueHandle<HMENU, CloseMenu>;
using UniqueKernelHandle = UniqueHandle<HANDLE, CloseKernelHandle>;
using UniqueScreenDc = UniqueHandle<HDC, ReleaseScreenDc>;  // GetDC(nullptr)
template <class I>
using UniqueCom = UniqueHandle<I*, ReleaseCom>;

// The handle a map holds for a key, made the first time it is asked for.
template <class Map, class Make>
auto Cached(Map& map, const typename Map::key_type& key, Make make) {
    auto found = map.find(key);
    if (found == map.end()) found = map.emplace(key, make()).first;
    return found->second.get();
}

// BeginPaint/EndPaint for the length of a scope.
class PaintScope {
public:
    explicit PaintScope(HWND hwnd) : hwnd_(hwnd), hdc_(BeginPaint(hwnd, &ps_)) {}
    ~PaintScope() { EndPaint(hwnd_, &ps_); }
    PaintScope(const PaintScope&) = delete;  // and, with its const members, not assigned
    HDC dc() const { return hdc_; }
    const RECT& area() const { return ps_.rcPaint; }

private:
    const HWND hwnd_;
    PAINTSTRUCT ps_{};
    const HDC hdc_;
};

// SelectObject that puts the previous object back when the scope ends.
class SelectScope {
public:
    SelectScope(HDC hdc, HGDIOBJ obj) : hdc_(hdc), old_(SelectObject(hdc, obj)) {}
    ~SelectScope() { SelectObject(hdc_, old_); }
    SelectScope(const SelectScope&) = delete;

private:
    const HDC hdc_;
    const HGDIOBJ old_;
};

}  // namespace ui
