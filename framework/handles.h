// Owners for the Win32 handles the updater opens. Each closes its handle when
// it goes out of scope, so every early return and every failure path releases
// what was opened without a matching call at each exit.
#pragma once

#include "framework/common_controls.h"

#include <windows.h>
#include <commctrl.h>

namespace fw {

template <typename Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() noexcept : handle_(Traits::invalid()) {}
    explicit UniqueHandle(Handle h) noexcept : handle_(h) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    Handle get() const noexcept { return handle_; }
    bool valid() const noexcept { return handle_ != Traits::invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    // For APIs that return the handle through an out parameter.
    Handle* receive() noexcept {
        reset();
        return &handle_;
    }

    Handle release() noexcept {
        Handle h = handle_;
        handle_ = Traits::invalid();
        return h;
    }

    // Closes the handle now and reports whether the close itself succeeded;
    // a write can still fail at this point, so callers that care ask.
    bool close() noexcept {
        if (!valid()) return true;
        return Traits::close(release());
    }

    void reset(Handle h = Traits::invalid()) noexcept {
        if (valid()) Traits::close(handle_);
        handle_ = h;
    }

private:
    Handle handle_;
};

struct RegKeyTraits {
    using Handle = HKEY;
    static Handle invalid() noexcept { return nullptr; }
    static bool close(Handle h) noexcept { return RegCloseKey(h) == ERROR_SUCCESS; }
};

struct FileTraits {
    using Handle = HANDLE;
    static Handle invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool close(Handle h) noexcept { return CloseHandle(h) != FALSE; }
};

// Handles of kernel objects that are not files (a mutex): null when absent.
struct KernelTraits {
    using Handle = HANDLE;
    static Handle invalid() noexcept { return nullptr; }
    static bool close(Handle h) noexcept { return CloseHandle(h) != FALSE; }
};

struct FindTraits {
    using Handle = HANDLE;
    static Handle invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool close(Handle h) noexcept { return FindClose(h) != FALSE; }
};

// A list exists only if the common controls were loaded to make it.
struct ImageListTraits {
    using Handle = HIMAGELIST;
    static Handle invalid() noexcept { return nullptr; }
    static bool close(Handle h) noexcept {
        const CommonControls* controls = commonControls();
        return controls && controls->imageListDestroy(h) != FALSE;
    }
};

struct ModuleTraits {
    using Handle = HMODULE;
    static Handle invalid() noexcept { return nullptr; }
    static bool close(Handle h) noexcept { return FreeLibrary(h) != FALSE; }
};

using RegKey = UniqueHandle<RegKeyTraits>;
using FileHandle = UniqueHandle<FileTraits>;
using FindHandle = UniqueHandle<FindTraits>;
using KernelHandle = UniqueHandle<KernelTraits>;
using ImageListHandle = UniqueHandle<ImageListTraits>;
using ModuleHandle = UniqueHandle<ModuleTraits>;

// A paint context: BeginPaint on construction, EndPaint on every exit.
class PaintContext {
public:
    explicit PaintContext(HWND hwnd) noexcept : hwnd_(hwnd) { dc_ = BeginPaint(hwnd_, &ps_); }
    ~PaintContext() { EndPaint(hwnd_, &ps_); }
    PaintContext(const PaintContext&) = delete;
    PaintContext& operator=(const PaintContext&) = delete;
    HDC dc() const noexcept { return dc_; }

private:
    HWND hwnd_;
    PAINTSTRUCT ps_{};
    HDC dc_;
};

}  // namespace fw
