// Runs a function when the scope it was made in ends, on every way out: for the clean-up that is
// not the release of one handle (stopping a thread, restoring a state).
#pragma once

#include <utility>

namespace win {

template <typename Function>
class ScopeExit {
 public:
  explicit ScopeExit(Function function) : function_(std::move(function)) {}
  ~ScopeExit() { function_(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  Function function_;
};

}  // namespace win
