// Builds the served archives into a folder:
//   rescue_archives OUTDIR INSTALLER TREE [--damage ARCHIVE] [--climb ARCHIVE] [--cut ARCHIVE]
//                   [--broken-installer] [--no-rescue-system] [--installer-pause MS]
//                   [--installer-gate WINDOWS-PATH]
//                   [--large-entry MB]
#include <cstdio>
#include <exception>
#include <string>

#include "standins/rescue_archives.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: rescue_archives OUTDIR INSTALLER TREE [--damage ARCHIVE] "
                 "[--climb ARCHIVE] [--cut ARCHIVE] [--broken-installer] [--no-rescue-system] "
                 "[--installer-pause MS] [--installer-gate WINDOWS-PATH] [--large-entry MB]\n");
    return 2;
  }
  rescue_archives::Faults faults;
  for (int i = 4; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--broken-installer") {
      faults.broken_installer = true;
    } else if (option == "--no-rescue-system") {
      faults.no_rescue_system = true;
    } else if (option == "--large-entry" && i + 1 < argc) {
      faults.large_entry_bytes = std::stoull(argv[++i]) << 20;
    } else if (option == "--installer-pause" && i + 1 < argc) {
      faults.installer_pause_ms = static_cast<unsigned>(std::stoul(argv[++i]));
    } else if (option == "--installer-gate" && i + 1 < argc) {
      faults.installer_gate = argv[++i];
    } else if ((option == "--damage" || option == "--climb") && i + 1 < argc) {
      (option == "--damage" ? faults.damaged : faults.climbing) = argv[++i];
    } else if (option == "--cut" && i + 1 < argc) {
      faults.cut = argv[++i];
    } else {
      std::fprintf(stderr, "rescue_archives: unknown option %s\n", option.c_str());
      return 2;
    }
  }
  try {
    rescue_archives::Write(argv[1], argv[2], argv[3], faults);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "rescue_archives: %s\n", error.what());
    return 1;
  }
  return 0;
}
