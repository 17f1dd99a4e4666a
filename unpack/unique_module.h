// Owner of a module loaded with LoadLibraryW: frees it once, when reset or destroyed.
#pragma once

#include <windows.h>

#include <utility>

class UniqueModule {
 public:
  UniqueModule() = default;
  explicit UniqueModule(HMODULE module) : module_(module) {}
  UniqueModule(UniqueModule&& other) noexcept : module_(std::exchange(other.module_, nullptr)) {}
  UniqueModule& operator=(UniqueModule&& other) noexcept {
    if (this != &other) reset(std::exchange(other.module_, nullptr));
    return *this;
  }
  UniqueModule(const UniqueModule&) = delete;
  UniqueModule& operator=(const UniqueModule&) = delete;
  ~UniqueModule() { reset(); }

  HMODULE get() const { return module_; }
  explicit operator bool() const { return module_ != nullptr; }
  void reset(HMODULE module = nullptr) {
    if (module_) FreeLibrary(module_);
    module_ = module;
  }

 private:
  HMODULE module_ = nullptr;
};
