// The highest rescue-system release this computer has used: HKLM\Software\USBWizard, value
// AcceptedRelease (a DWORD), where only administrators can write. A manifest with a lower release
// is a replay of an older, genuine rescue system (older signatures) and is refused.
#pragma once

#include <cstdint>

// The recorded release; 0 when none is recorded (or it cannot be read as a DWORD).
std::uint32_t AcceptedRelease();

// Raises the recorded release to `release` (a lower one leaves it as it is); false when it could
// not be written.
bool RecordAcceptedRelease(std::uint32_t release);
