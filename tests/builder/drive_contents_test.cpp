// The count of what a drive holds, over trees fed through the listing function.
#include "builder/drive_contents.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using Clock = std::chrono::steady_clock;

// A tree as folder path -> entries; a folder missing from the map cannot be read.
struct Tree {
  std::map<std::wstring, std::vector<FolderEntry>> folders;
  std::vector<std::wstring> listed;  // in the order the walk asked

  ListFolder Lister() {
    return [this](const std::wstring& folder, std::vector<FolderEntry>& entries) {
      listed.push_back(folder);
      const auto found = folders.find(folder);
      if (found == folders.end()) return false;
      entries = found->second;
      return true;
    };
  }
};

FolderEntry File(const wchar_t* name, uint64_t size) { return {name, false, false, size}; }
FolderEntry Folder(const wchar_t* name) { return {name, true, false, 0}; }

const Clock::time_point kNoDeadline = Clock::time_point::max();

TEST(DriveContents, CountsNestedFilesSkipsUnreadableFoldersAndFollowsNoLink) {
  Tree tree;
  tree.folders[L"E:\\"] = {
      File(L"a.txt", 10), Folder(L"Photos"), Folder(L"Locked"), {L"Elsewhere", true, true, 0}};
  tree.folders[L"E:\\Photos\\"] = {File(L"1.jpg", 3000000000ull), Folder(L"Old")};
  tree.folders[L"E:\\Photos\\Old\\"] = {File(L"2.jpg", 5)};
  const DriveContents contents = CountContents(L"E:\\", tree.Lister(), kNoDeadline);
  // The link is an entry of its own (one file), never a folder to walk into.
  EXPECT_EQ(contents.files, 4u);
  EXPECT_EQ(contents.bytes, 3000000015ull);
  EXPECT_FALSE(contents.more);
  EXPECT_EQ(tree.listed, (std::vector<std::wstring>{L"E:\\", L"E:\\Photos\\", L"E:\\Locked\\",
                                                    L"E:\\Photos\\Old\\"}));
}

TEST(DriveContents, StopsAtTheFileCapOnlyWhenMoreRemain) {
  Tree tree;
  tree.folders[L"E:\\"] = {File(L"a", 1), File(L"b", 2), Folder(L"Sub")};
  tree.folders[L"E:\\Sub\\"] = {File(L"c", 4)};
  struct Case {
    uint64_t cap, files, bytes;
    bool more;
  };
  for (const Case& c : {Case{3, 3, 7, false}, Case{2, 2, 3, true}, Case{0, 0, 0, true}}) {
    const DriveContents contents = CountContents(L"E:\\", tree.Lister(), kNoDeadline, c.cap);
    EXPECT_EQ(contents.files, c.files) << "cap " << c.cap;
    EXPECT_EQ(contents.bytes, c.bytes) << "cap " << c.cap;
    EXPECT_EQ(contents.more, c.more) << "cap " << c.cap;
  }
}

TEST(DriveContents, APassedDeadlineStopsBeforeAnyFolderIsRead) {
  Tree tree;
  tree.folders[L"E:\\"] = {File(L"a", 1)};
  const DriveContents contents = CountContents(L"E:\\", tree.Lister(), Clock::now());
  EXPECT_EQ(contents.files, 0u);
  EXPECT_TRUE(contents.more);
  EXPECT_TRUE(tree.listed.empty());
}

TEST(DriveContents, AnEmptyOrUnreadableDriveHoldsNothing) {
  Tree tree;
  tree.folders[L"E:\\"] = {};
  for (const wchar_t* root : {L"E:\\", L"F:\\"}) {
    const DriveContents contents = CountContents(root, tree.Lister(), kNoDeadline);
    EXPECT_EQ(contents.files, 0u);
    EXPECT_FALSE(contents.more);
  }
}

}  // namespace
