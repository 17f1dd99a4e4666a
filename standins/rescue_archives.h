// The two archives the stand-in rescue-disk server offers, "scanner.zip" and "system.zip" (RAR
// archives despite their names), built from the stand-in installer and the committed rescue
// system tree (standins/rescue_disk/): scanner.zip carries ColdInstall.exe and the scanner's
// part of the rescue system, system.zip the rest. Everything the installer copies lies below
// "rescue\" in the archives. Entries are compressed by content (the installer through the x86
// filter, text as PPMd). Faults can be built in for the error paths.
#pragma once

#include <filesystem>
#include <string>

namespace rescue_archives {

struct Faults {
  std::string damaged;            // archive whose first non-empty file is packed with a bad byte
  std::string climbing;           // archive that also carries an entry named "..\escaped.txt"
  std::string cut;                // archive cut inside its second header, as a dropped download
  bool broken_installer = false;  // ColdInstall.exe holds text, not a program
  // The archives carry the installer and, in system.zip, a note outside "rescue\": the build
  // unpacks them, and the installer finds nothing to copy.
  bool no_rescue_system = false;
  unsigned installer_pause_ms = 0;  // a slow installer: "ColdInstall.pause" makes it wait per file
  // A held installer: "ColdInstall.gate" names a file it waits for after its first file.
  std::string installer_gate;
  // system.zip also carries "large.img", this many bytes of pseudo-random data (a disk image
  // does not shrink), stored, outside "rescue\" so the installer leaves it; written in pieces, so
  // an entry of gigabytes costs the tool no memory.
  unsigned long long large_entry_bytes = 0;
};

// Writes scanner.zip and system.zip into `folder` (which must exist). `tree` is the rescue_disk
// folder with its "scanner" and "system" parts. Throws std::runtime_error on a read or write
// failure, or when a fault names an unknown archive.
void Write(const std::filesystem::path& folder, const std::filesystem::path& installer,
           const std::filesystem::path& tree, const Faults& faults = {});

}  // namespace rescue_archives
