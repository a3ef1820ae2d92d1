// One move-only owner for every kind of Windows handle the program holds: kernel handles,
// modules, registry keys, GDI objects, WinINet handles. A kind is a small traits type that says
// what "no handle" is and how one is given back.
#pragma once
#include <windows.h>

#include <utility>

namespace zv {

template <typename Traits>
class UniqueOwner {
public:
    using Handle = typename Traits::Handle;

    UniqueOwner() = default;
    explicit UniqueOwner(Handle h) : h_(h) {}
    ~UniqueOwner() { Reset(); }
    UniqueOwner(UniqueOwner&& o) noexcept : h_(o.Release()) {}
    UniqueOwner& operator=(UniqueOwner&& o) noexcept {
        if (this != &o) Reset(o.Release());
        return *this;
    }
    UniqueOwner(const UniqueOwner&) = delete;
    UniqueOwner& operator=(const UniqueOwner&) = delete;

    Handle Get() const { return h_; }
    bool Valid() const { return Traits::Valid(h_); }
    explicit operator bool() const { return Valid(); }
    // For calls that return the handle through a pointer; whatever was held is given back first.
    Handle* Out() {
        Reset();
        return &h_;
    }
    // The caller takes over the handle (a module kept for the rest of the process, say).
    Handle Release() { return std::exchange(h_, Handle()); }
    void Reset(Handle h = Handle()) {
        if (Traits::Valid(h_)) Traits::Close(h_);
        h_ = h;
    }

private:
    Handle h_ = Handle();
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    static bool Valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
struct ModuleTraits {
    using Handle = HMODULE;
    static bool Valid(HMODULE h) { return h != nullptr; }
    static void Close(HMODULE h) { FreeLibrary(h); }
};
struct RegKeyTraits {
    using Handle = HKEY;
    static bool Valid(HKEY h) { return h != nullptr; }
    static void Close(HKEY h) { RegCloseKey(h); }
};
struct FindTraits {
    using Handle = HANDLE;
    static bool Valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { FindClose(h); }
};
template <typename H>
struct GdiTraits {
    using Handle = H;
    static bool Valid(H h) { return h != nullptr; }
    static void Close(H h) { DeleteObject(h); }
};

using UniqueHandle = UniqueOwner<KernelHandleTraits>;
using UniqueModule = UniqueOwner<ModuleTraits>;
using UniqueRegKey = UniqueOwner<RegKeyTraits>;
using UniqueFindHandle = UniqueOwner<FindTraits>;
using UniqueFont = UniqueOwner<GdiTraits<HFONT>>;
using UniqueBrush = UniqueOwner<GdiTraits<HBRUSH>>;
using UniquePen = UniqueOwner<GdiTraits<HPEN>>;

}  // namespace zv
