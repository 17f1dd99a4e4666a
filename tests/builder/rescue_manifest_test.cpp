// The manifest's line format: a valid text read field by field, and each way a text can fail to
// be one refused with its line named.
#include <gtest/gtest.h>

#include <string>

#include "builder/rescue_manifest.h"

namespace {

const std::string kHash(64, 'a');
const std::string kValid = "release 7\ndate 2026-12-01\nfile scanner.zip 12345 " + kHash +
                           "\nfile system.zip 0 " + std::string(64, 'F') + "\r\n";

TEST(RescueManifest, ReadsEveryField) {
  rescue_manifest::Manifest manifest;
  std::string problem;
  ASSERT_TRUE(rescue_manifest::Parse(kValid, &manifest, &problem)) << problem;
  EXPECT_EQ(manifest.release, 7u);
  EXPECT_EQ(manifest.date, "2026-12-01");
  ASSERT_EQ(manifest.files.size(), 2u);
  const rescue_manifest::File* scanner = manifest.Find("scanner.zip");
  ASSERT_NE(scanner, nullptr);
  EXPECT_EQ(scanner->size, 12345u);
  EXPECT_EQ(rescue_manifest::Hex(scanner->sha256), kHash);
  EXPECT_EQ(rescue_manifest::Hex(manifest.Find("system.zip")->sha256), std::string(64, 'f'));
  EXPECT_EQ(manifest.Find("other.zip"), nullptr);
}

TEST(RescueManifest, TheLargestValuesFit) {
  rescue_manifest::Manifest manifest;
  std::string problem;
  ASSERT_TRUE(rescue_manifest::Parse(
      "release 4294967295\ndate 9999-12-31\nfile a 9223372036854775807 " + kHash + "\n", &manifest,
      &problem))
      << problem;
  EXPECT_EQ(manifest.release, 4294967295u);
  EXPECT_EQ(manifest.files[0].size, 9223372036854775807u);
}

TEST(RescueManifest, RefusesWhatIsNotAManifest) {
  const std::string head = "release 7\ndate 2026-12-01\n";
  const std::string file = "file scanner.zip 1 " + kHash + "\n";
  const struct {
    std::string text;
    const char* problem;
  } cases[] = {
      {"", "line 0: no release"},
      {head, "line 2: no files"},
      {"date 2026-12-01\n" + file, "line 2: no release"},
      {"release 7\n" + file, "line 2: no date"},
      {head + "file scanner.zip 1 " + kHash, "line 3: no line end"},
      {head + file + "release 8\n", "line 4: a second release"},
      {head + file + "date 2026-12-02\n", "line 4: a second date"},
      {head + file + file, "line 4: a file listed twice"},
      {"release 0\n", "line 1: not a release number"},
      {"release 07\n", "line 1: not a release number"},
      {"release -7\n", "line 1: not a release number"},
      {"release 4294967296\n", "line 1: not a release number"},
      {"release  7\n", "line 1: not a manifest line"},
      {"date 2026-13-01\n", "line 1: not a date"},
      {"date 2026-12-00\n", "line 1: not a date"},
      {"date 26-12-01\n", "line 1: not a date"},
      {head + "file ../scanner.zip 1 " + kHash + "\n", "line 3: not a file name"},
      {head + "file .. 1 " + kHash + "\n", "line 3: not a file name"},
      {head + "file scanner.zip 9223372036854775808 " + kHash + "\n", "line 3: not a size"},
      {head + "file scanner.zip 01 " + kHash + "\n", "line 3: not a size"},
      {head + "file scanner.zip 1 " + kHash.substr(1) + "\n", "line 3: not a SHA-256"},
      {head + "file scanner.zip 1 " + kHash.substr(1) + "g\n", "line 3: not a SHA-256"},
      {head + "file scanner.zip 1\n", "line 3: not a manifest line"},
      {head + file + "file scanner.zip 1 " + kHash + " extra\n", "line 4: not a manifest line"},
      {head + "\n" + file, "line 3: not a manifest line"},
      {head + "signer someone\n" + file, "line 3: not a manifest line"},
      {kValid + std::string(rescue_manifest::kMaxBytes, '\n'),
       "line 0: longer than a manifest can be"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 200));
    rescue_manifest::Manifest manifest;
    manifest.release = 99;
    std::string problem;
    EXPECT_FALSE(rescue_manifest::Parse(c.text, &manifest, &problem));
    EXPECT_EQ(problem, c.problem);
    EXPECT_EQ(manifest.release, 99u) << "a refused text leaves the manifest as it was";
  }
}

}  // namespace
