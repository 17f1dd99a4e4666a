// The project's own files as tests read them. The project's folders are compiled into the tests;
// under Wine they lie on drive Z:, which the paths already name.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// PROJECT_SOURCE_DIR or PROJECT_BINARY_DIR, a slash and `relative`.
std::string SourcePath(std::string_view relative);
std::string BuildPath(std::string_view relative);

// The whole file; empty when it cannot be read.
std::string ReadFileBytes(const std::filesystem::path& path);
