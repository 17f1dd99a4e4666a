// A critical section that lives exactly as long as its owner, and the guard that holds it for
// one scope.
#pragma once

#include <windows.h>

namespace win {

class CriticalSection {
 public:
  // A spin count lets a short wait on another core spin before it sleeps.
  explicit CriticalSection(DWORD spin_count = 0) {
    InitializeCriticalSectionAndSpinCount(&section_, spin_count);
  }
  ~CriticalSection() { DeleteCriticalSection(&section_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  void Enter() { EnterCriticalSection(&section_); }
  void Leave() { LeaveCriticalSection(&section_); }
  // For the calls that take the section itself, such as SleepConditionVariableCS.
  CRITICAL_SECTION* Native() { return &section_; }

 private:
  CRITICAL_SECTION section_;
};

class CriticalSectionGuard {
 public:
  explicit CriticalSectionGuard(CriticalSection& section) : section_(section) { section_.Enter(); }
  ~CriticalSectionGuard() { section_.Leave(); }
  CriticalSectionGuard(const CriticalSectionGuard&) = delete;
  CriticalSectionGuard& operator=(const CriticalSectionGuard&) = delete;

 private:
  CriticalSection& section_;
};

}  // namespace win
