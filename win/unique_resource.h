// The owners of the Win32 objects the program holds. One template, UniqueResource, owns one value
// and releases it once, when reset or destroyed; it is movable and not copyable. What "empty" is
// and how a value is released come from a traits type, so each close function gets a named type
// of its own (below, and beside the few that need more headers: win/internet_handle.h).
#pragma once

#include <windows.h>

#include <utility>

namespace win {

// Traits: `Type`, `static Type Empty()` and `static void Close(Type)`; Close is never called
// with the empty value.
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
  explicit operator bool() const { return value_ != Traits::Empty(); }
  // Gives the value up without releasing it.
  Type release() { return std::exchange(value_, Traits::Empty()); }
  void reset(Type value = Traits::Empty()) {
    const Type old = std::exchange(value_, value);
    if (old != Traits::Empty()) Traits::Close(old);
  }
  // Releases the value and gives the address of the now empty slot, for a function that returns
  // its handle through an out-parameter.
  Type* put() {
    reset();
    return &value_;
  }

 private:
  Type value_ = Traits::Empty();
};

struct KernelHandleTraits {  // events, threads, processes: null when there is none
  using Type = HANDLE;
  static Type Empty() { return nullptr; }
  static void Close(Type handle) { CloseHandle(handle); }
};
struct FileHandleTraits {  // CreateFileW answers INVALID_HANDLE_VALUE, not null, on failure
  using Type = HANDLE;
  static Type Empty() { return INVALID_HANDLE_VALUE; }
  static void Close(Type handle) { CloseHandle(handle); }
};
struct FindHandleTraits {  // FindFirstFileW: INVALID_HANDLE_VALUE on failure, closed by FindClose
  using Type = HANDLE;
  static Type Empty() { return INVALID_HANDLE_VALUE; }
  static void Close(Type handle) { FindClose(handle); }
};
struct LocalMemoryTraits {  // what the system allocates for the caller to LocalFree
  using Type = HLOCAL;
  static Type Empty() { return nullptr; }
  static void Close(Type memory) { LocalFree(memory); }
};
struct RegistryKeyTraits {
  using Type = HKEY;
  static Type Empty() { return nullptr; }
  static void Close(Type key) { RegCloseKey(key); }
};
struct ModuleTraits {  // LoadLibraryW / LoadLibraryExW
  using Type = HMODULE;
  static Type Empty() { return nullptr; }
  static void Close(Type module) { FreeLibrary(module); }
};
struct DeviceContextTraits {  // CreateCompatibleDC
  using Type = HDC;
  static Type Empty() { return nullptr; }
  static void Close(Type dc) { DeleteDC(dc); }
};
struct GdiObjectTraits {  // bitmaps, brushes, fonts: not while selected into a device context
  using Type = HGDIOBJ;
  static Type Empty() { return nullptr; }
  static void Close(Type object) { DeleteObject(object); }
};

using UniqueHandle = UniqueResource<KernelHandleTraits>;
using UniqueFile = UniqueResource<FileHandleTraits>;
using UniqueFind = UniqueResource<FindHandleTraits>;
using UniqueLocal = UniqueResource<LocalMemoryTraits>;
using UniqueRegKey = UniqueResource<RegistryKeyTraits>;
using UniqueModule = UniqueResource<ModuleTraits>;
using UniqueDc = UniqueResource<DeviceContextTraits>;
using UniqueGdiObject = UniqueResource<GdiObjectTraits>;

}  // namespace win
