// What the unpack client's tests share: test data, the real library's bytes, and a scratch
// folder holding the real library with an output folder below it.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "standins/rar_block_writer.h"
#include "standins/rar_writer.h"
#include "tests/support/scratch_folder.h"
#include "unpack/folder_files.h"
#include "unpack/unpack_archive.h"
#include "win/text.h"

inline std::vector<std::uint8_t> Bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

inline std::vector<std::uint8_t> Pattern(std::size_t size, unsigned seed) {
  std::vector<std::uint8_t> data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * seed + (i >> 8));
  return data;
}

// The real library's bytes, as the program carries them in its resource.
inline const std::string& Library() {
  static const std::string bytes = [] {
    const auto read = ReadWholeFile(win::Widen(ZEVURAR_DLL));
    return read ? std::string(read->begin(), read->end()) : std::string();
  }();
  return bytes;
}

inline bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline std::vector<std::uint8_t> Contents(const std::wstring& path) {
  auto bytes = ReadWholeFile(path);
  EXPECT_TRUE(bytes) << "missing " << std::string(path.begin(), path.end());
  return bytes ? *bytes : std::vector<std::uint8_t>();
}

// A scratch folder with the real library in it, like the working folder, and an output folder
// below it, so that an escape from the output folder would land in the scratch folder.
class UnpackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    work_ = folder_.Path();
    scratch_ = work_.substr(0, work_.size() - 1);
    ASSERT_TRUE(
        CopyFileW(win::Widen(ZEVURAR_DLL).c_str(), (work_ + L"zevurar.dll").c_str(), FALSE));
    out_ = scratch_ + L"\\out\\";
    ASSERT_TRUE(CreateDirectoryW(out_.c_str(), nullptr));
    ASSERT_TRUE(LoadUrarLibrary(library_, work_, Library()));
  }
  void TearDown() override { FreeUrarLibrary(library_); }

  std::wstring WriteArchive(const std::vector<rar_writer::Entry>& entries) {
    const auto bytes = rar_writer::BuildArchive(entries);
    const std::wstring path = work_ + L"archive.zip";
    DeleteFileW(path.c_str());
    EXPECT_TRUE(WriteFolderFile(scratch_, L"archive.zip", bytes.data(), bytes.size()));
    return path;
  }

  bool Unpack(const std::vector<rar_writer::Entry>& entries) {
    return UnpackArchive(library_, WriteArchive(entries), out_, &report_);
  }
  bool UnpackBytes(const std::vector<std::uint8_t>& bytes) {
    DeleteFileW((work_ + L"archive.zip").c_str());
    EXPECT_TRUE(WriteFolderFile(scratch_, L"archive.zip", bytes.data(), bytes.size()));
    return UnpackArchive(library_, work_ + L"archive.zip", out_, &report_);
  }
  bool OutputIsEmpty() {
    return RemoveDirectoryW(out_.c_str()) && CreateDirectoryW(out_.c_str(), nullptr);
  }

  ScratchFolder folder_{L"unpack_test"};
  std::wstring scratch_, work_, out_;
  UrarLibrary library_;
  UnpackReport report_;
};
