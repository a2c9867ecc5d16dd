// RAII owners for Windows objects: one template, one small traits struct per kind of object.
#pragma once

#include <windows.h>

#include <utility>

namespace framework {

// Owns a value of Traits::Type and closes it with Traits::close. Both Traits::empty() and
// Traits::invalid() count as "nothing owned", so kernel handles may use either null or
// INVALID_HANDLE_VALUE. Closing keeps the thread's last error intact.
template <class Traits>
class UniqueHandle {
  public:
    using Type = typename Traits::Type;

    UniqueHandle() = default;
    explicit UniqueHandle(Type value) : value_(value) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    ~UniqueHandle() { reset(); }

    Type get() const { return value_; }
    explicit operator bool() const { return valid(); }
    bool valid() const { return value_ != Traits::empty() && value_ != Traits::invalid(); }

    Type release() { return std::exchange(value_, Traits::empty()); }
    void reset(Type value = Traits::empty()) {
        Type old = std::exchange(value_, value);
        if (old != Traits::empty() && old != Traits::invalid()) {
            DWORD error = GetLastError();
            Traits::close(old);
            SetLastError(error);
        }
    }
    // For APIs that fill in a handle through a pointer.
    Type* put() {
        reset();
        return &value_;
    }

  private:
    Type value_ = Traits::empty();
};

struct KernelHandleTraits {
    using Type = HANDLE;
    static Type empty() { return nullptr; }
    static Type invalid() { return INVALID_HANDLE_VALUE; }
    static void close(Type h) { CloseHandle(h); }
};
struct RegKeyTraits {
    using Type = HKEY;
    static Type empty() { return nullptr; }
    static Type invalid() { return nullptr; }
    static void close(Type h) { RegCloseKey(h); }
};
struct WindowTraits {
    using Type = HWND;
    static Type empty() { return nullptr; }
    static Type invalid() { return nullptr; }
    static void close(Type h) { DestroyWindow(h); }
};
struct MenuTraits {
    using Type = HMENU;
    static Type empty() { return nullptr; }
    static Type invalid() { return nullptr; }
    static void close(Type h) { DestroyMenu(h); }
};
struct IconTraits {
    using Type = HICON;
    static Type empty() { return nullptr; }
    static Type invalid() { return nullptr; }
    static void close(Type h) { DestroyIcon(h); }
};
struct GdiObjectTraits {
    using Type = HGDIOBJ;
    static Type empty() { return nullptr; }
    static Type invalid() { return nullptr; }
    static void close(Type h) { DeleteObject(h); }
};
struct DeviceContextTraits {
    using Type = HDC;
    static Type empty() { return nullptr; }
    static Type invalid() { return nullptr; }
    static void close(Type h) { DeleteDC(h); }
};
struct MappedViewTraits {
    using Type = const void*;
    static Type empty() { return nullptr; }
    static Type invalid() { return nullptr; }
    static void close(Type p) { UnmapViewOfFile(p); }
};

using KernelHandle = UniqueHandle<KernelHandleTraits>;
using RegKey = UniqueHandle<RegKeyTraits>;
using Window = UniqueHandle<WindowTraits>;
using Menu = UniqueHandle<MenuTraits>;
using Icon = UniqueHandle<IconTraits>;
using GdiObject = UniqueHandle<GdiObjectTraits>;
using MappedView = UniqueHandle<MappedViewTraits>;
// A device context made with CreateCompatibleDC or CreateDC (not one from GetDC or BeginPaint).
using DeviceContext = UniqueHandle<DeviceContextTraits>;

// A window's device context from GetDC, given back to the window with ReleaseDC when it goes.
class WindowDeviceContext {
  public:
    explicit WindowDeviceContext(HWND window) : window_(window), dc_(GetDC(window)) {}
    WindowDeviceContext(const WindowDeviceContext&) = delete;
    WindowDeviceContext& operator=(const WindowDeviceContext&) = delete;
    ~WindowDeviceContext() {
        if (dc_) {
            ReleaseDC(window_, dc_);
        }
    }
    HDC get() const { return dc_; }

  private:
    HWND window_;
    HDC dc_;
};

// Selects a GDI object into a device context and puts the previous one back when it goes.
class SelectedObject {
  public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;
    ~SelectedObject() {
        if (previous_ && previous_ != HGDI_ERROR) {
            SelectObject(dc_, previous_);
        }
    }

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A COM interface pointer that releases its reference.
template <class T>
class ComPtr {
  public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }
    ~ComPtr() { reset(); }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T** put() {
        reset();
        return &p_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    void reset() {
        if (p_) {
            std::exchange(p_, nullptr)->Release();
        }
    }

  private:
    T* p_ = nullptr;
};

}  // namespace framework
