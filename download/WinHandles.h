// Owners for the Win32 objects the download engine holds: one non-copyable, movable type per
// close function, so every handle, internet handle, registry key and critical section is
// released exactly once on every path.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <utility>

template <typename Traits>
class UniqueResource {
public:
    using Type = typename Traits::Type;
    UniqueResource() = default;
    explicit UniqueResource(Type value) : value_(value) {}
    ~UniqueResource() { reset(); }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    Type get() const { return value_; }
    explicit operator bool() const { return value_ != Traits::empty(); }
    Type release() { return std::exchange(value_, Traits::empty()); }
    void reset(Type value = Traits::empty()) {
        Type old = std::exchange(value_, value);
        if (old != Traits::empty()) Traits::close(old);
    }

private:
    Type value_ = Traits::empty();
};

struct KernelHandleTraits {
    using Type = HANDLE;
    static Type empty() { return nullptr; }
    static void close(Type h) { CloseHandle(h); }
};
struct FileHandleTraits {
    using Type = HANDLE;
    static Type empty() { return INVALID_HANDLE_VALUE; }
    static void close(Type h) { CloseHandle(h); }
};
struct InternetHandleTraits {
    using Type = HINTERNET;
    static Type empty() { return nullptr; }
    static void close(Type h) { InternetCloseHandle(h); }
};
struct RegistryKeyTraits {
    using Type = HKEY;
    static Type empty() { return nullptr; }
    static void close(Type k) { RegCloseKey(k); }
};

using UniqueHandle = UniqueResource<KernelHandleTraits>;    // events, threads, processes
using UniqueFile = UniqueResource<FileHandleTraits>;        // CreateFileW results
using UniqueInternet = UniqueResource<InternetHandleTraits>;
using UniqueRegKey = UniqueResource<RegistryKeyTraits>;

// A critical section that lives exactly as long as its owner.
class CriticalSection {
public:
    explicit CriticalSection(DWORD spinCount = 0) {
        InitializeCriticalSectionAndSpinCount(&cs_, spinCount);
    }
    ~CriticalSection() { DeleteCriticalSection(&cs_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    void enter() { EnterCriticalSection(&cs_); }
    void leave() { LeaveCriticalSection(&cs_); }
    CRITICAL_SECTION* native() { return &cs_; }

private:
    CRITICAL_SECTION cs_;
};

class CsGuard {
public:
    explicit CsGuard(CriticalSection& cs) : cs_(cs) { cs_.enter(); }
    ~CsGuard() { cs_.leave(); }
    CsGuard(const CsGuard&) = delete;
    CsGuard& operator=(const CsGuard&) = delete;

private:
    CriticalSection& cs_;
};
