// One move-only owner for every kind of Windows handle the code holds, so that every early
// return releases what was acquired. Each handle kind is a traits struct plus a one-line alias.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace tesk {

template <typename Traits>
class UniqueResource {
public:
    using pointer = typename Traits::pointer;

    UniqueResource() noexcept = default;
    explicit UniqueResource(pointer value) noexcept : value_(value) {}
    ~UniqueResource() { reset(); }

    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    pointer get() const noexcept { return value_; }
    bool valid() const noexcept { return value_ != Traits::invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    pointer release() noexcept { return std::exchange(value_, Traits::invalid()); }

    // Closing must not clobber the error code a caller is about to read.
    void reset(pointer value = Traits::invalid()) noexcept {
        pointer old = std::exchange(value_, value);
        if (old != Traits::invalid()) {
            const DWORD lastError = ::GetLastError();
            Traits::close(old);
            ::SetLastError(lastError);
        }
    }

    // For out-parameters: the old value is released first, so reuse cannot leak.
    pointer* put() noexcept {
        reset();
        return &value_;
    }

private:
    pointer value_ = Traits::invalid();
};

namespace traits {

template <typename T, typename Fn, Fn* Close>
struct NullInvalid {
    using pointer = T;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer p) noexcept { Close(p); }
};

inline void CloseKey(HKEY key) noexcept { ::RegCloseKey(key); }
inline void CloseKernelHandle(HANDLE handle) noexcept { ::CloseHandle(handle); }
inline void UnloadModule(HMODULE module) noexcept { ::FreeLibrary(module); }
inline void FreeLocal(HLOCAL memory) noexcept { ::LocalFree(memory); }
inline void FreeProcessHeap(void* memory) noexcept { ::HeapFree(::GetProcessHeap(), 0, memory); }
inline void FreeBstr(BSTR text) noexcept { ::SysFreeString(text); }

struct File {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(pointer p) noexcept { ::CloseHandle(p); }
};

}  // namespace traits

using UniqueHkey = UniqueResource<traits::NullInvalid<HKEY, void(HKEY), traits::CloseKey>>;
// Mutexes, threads, processes, events: APIs that report failure as a null handle.
using UniqueHandle = UniqueResource<traits::NullInvalid<HANDLE, void(HANDLE), traits::CloseKernelHandle>>;
// CreateFile reports failure as INVALID_HANDLE_VALUE, not null.
using UniqueHfile = UniqueResource<traits::File>;
using UniqueHmodule = UniqueResource<traits::NullInvalid<HMODULE, void(HMODULE), traits::UnloadModule>>;
using UniqueHlocal = UniqueResource<traits::NullInvalid<HLOCAL, void(HLOCAL), traits::FreeLocal>>;
using UniqueProcessHeapBlock = UniqueResource<traits::NullInvalid<void*, void(void*), traits::FreeProcessHeap>>;
// Strings handed across COM interfaces; a null BSTR is a valid (empty) string but owns nothing.
using UniqueBstr = UniqueResource<traits::NullInvalid<BSTR, void(BSTR), traits::FreeBstr>>;

}  // namespace tesk
