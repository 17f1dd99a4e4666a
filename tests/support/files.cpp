#include "tests/support/files.h"

#include <fstream>
#include <iterator>

std::string SourcePath(std::string_view relative) {
  return std::string(PROJECT_SOURCE_DIR "/").append(relative);
}

std::string BuildPath(std::string_view relative) {
  return std::string(PROJECT_BINARY_DIR "/").append(relative);
}

std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}
