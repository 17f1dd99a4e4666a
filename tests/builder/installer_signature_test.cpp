// The installer's signature and signer, on real Authenticode signatures: the probe signed at
// build time by the pinned test signer, the same program unsigned and signed by another key, and
// a signed copy with one byte changed after signing.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "builder/cold_installer.h"
#include "builder/installer_signature.h"
#include "tests/support/files.h"
#include "tests/support/scratch_folder.h"
#include "win/text.h"
#include "win/unique_resource.h"

namespace {

enum class Change { kNothing, kCode, kSignatureValue };

class InstallerSignatureTest : public ::testing::Test {
 protected:
  std::wstring Installer() const { return work_.Path() + L"ColdInstall.exe"; }

  // `program` as the working folder's ColdInstall.exe, with one byte flipped afterwards where
  // `change` says.
  void Place(const char* program, Change change = Change::kNothing) {
    ASSERT_TRUE(CopyFileW(win::Widen(program).c_str(), Installer().c_str(), FALSE));
    if (change == Change::kNothing) return;
    std::string bytes = ReadFileBytes(Installer());
    ASSERT_GT(bytes.size(), 0x400u);
    std::size_t at = bytes.size() / 2;  // code, far from the signature at the end
    if (change == Change::kSignatureValue) {
      // The certificate table (PE32+ data directory 4) holds one WIN_CERTIFICATE: 8 bytes of
      // header, then the PKCS #7 SignedData in DER, which ends with the signer's RSA value.
      const auto u32 = [&](std::size_t offset) {
        std::uint32_t value = 0;
        memcpy(&value, bytes.data() + offset, 4);
        return value;
      };
      const std::uint32_t table = u32(u32(0x3C) + 24 + 112 + 4 * 8);
      ASSERT_LT(table + 12u, bytes.size());
      const auto* der = reinterpret_cast<const unsigned char*>(bytes.data()) + table + 8;
      ASSERT_EQ(der[1], 0x82);  // a two-byte length
      at = table + 8 + 4 + (der[2] << 8 | der[3]) - 10;
    }
    ASSERT_LT(at, bytes.size());
    bytes[at] ^= 0x5A;
    std::ofstream(std::filesystem::path(Installer()), std::ios::binary) << bytes;
  }

  // Opened as the installer stage opens it: no write or delete sharing.
  win::UniqueFile OpenInstaller() const {
    win::UniqueFile file(CreateFileW(Installer().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(file);
    return file;
  }

  SignatureCheck Check(const std::string& pins) const {
    return CheckSignature(OpenInstaller().get(), Installer(), pins);
  }

  ScratchFolder work_{L"installer signature test"};
};

const struct {
  const char* name;
  const char* program;
  Change change;
  SignatureCheck expected;
} kInstallers[] = {
    {"signed by the pinned signer", PROBE_EXE, Change::kNothing, SignatureCheck::kTrusted},
    {"unsigned", PROBE_UNSIGNED_EXE, Change::kNothing, SignatureCheck::kNotTrusted},
    {"signed by another key", PROBE_OTHER_SIGNER_EXE, Change::kNothing,
     SignatureCheck::kOtherSigner},
    {"one byte changed after signing", PROBE_EXE, Change::kCode, SignatureCheck::kNotTrusted},
    // The pinned certificate still in place, but a signature its key did not make.
    {"the signature value changed", PROBE_EXE, Change::kSignatureValue,
     SignatureCheck::kNotTrusted},
};

TEST_F(InstallerSignatureTest, OnlyAnUnchangedSignatureByThePinnedSignerIsTrusted) {
  for (const auto& c : kInstallers) {
    SCOPED_TRACE(c.name);
    Place(c.program, c.change);
    EXPECT_EQ(CheckInstallerSignature(OpenInstaller().get(), Installer()), c.expected);
  }
}

// Pins are hex in any case, several separated by commas or semicolons; the other key becomes
// trusted once pinned, and a pin list without the signer refuses it.
TEST_F(InstallerSignatureTest, ThePinListNamesTheSigners) {
  Place(PROBE_OTHER_SIGNER_EXE);
  std::string other = OTHER_SIGNER_SHA256;
  for (char& c : other) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(Check(std::string(TEST_SIGNER_SHA256) + ";" + other), SignatureCheck::kTrusted);
  EXPECT_EQ(Check(std::string(TEST_SIGNER_SHA256) + ", " + OTHER_SIGNER_SHA256),
            SignatureCheck::kTrusted);
  EXPECT_EQ(Check(TEST_SIGNER_SHA256), SignatureCheck::kOtherSigner);
  EXPECT_EQ(Check(""), SignatureCheck::kOtherSigner);
  // A pin is a whole value, not a prefix.
  EXPECT_EQ(Check(std::string(OTHER_SIGNER_SHA256).substr(0, 32)), SignatureCheck::kOtherSigner);
}

// The installer stage never starts an installer that fails the check: the probe would leave
// its report.
TEST_F(InstallerSignatureTest, TheInstallerStageStartsOnlyATrustedInstaller) {
  for (const auto& c : kInstallers) {
    SCOPED_TRACE(c.name);
    auto context = std::make_shared<ColdInstallContext>();
    context->work_folder = work_.Path();
    CreateInstallerEvents(*context);
    Place(c.program, c.change);
    std::ofstream(std::filesystem::path(work_.Path() + L"probe_plan.txt")) << "0 1";
    DeleteFileW((work_.Path() + L"probe_report.txt").c_str());

    const bool trusted = c.expected == SignatureCheck::kTrusted;
    EXPECT_EQ(RunColdInstall(context, L"E:\\", L"status"), trusted);
    EXPECT_EQ(
        GetFileAttributesW((work_.Path() + L"probe_report.txt").c_str()) != INVALID_FILE_ATTRIBUTES,
        trusted);
  }
}

// An installer someone holds open for writing could change between the check and the start:
// the stage refuses it rather than share it.
TEST_F(InstallerSignatureTest, AnInstallerOpenForWritingIsRefused) {
  Place(PROBE_EXE);
  const win::UniqueFile writer(CreateFileW(Installer().c_str(), GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(writer);
  auto context = std::make_shared<ColdInstallContext>();
  context->work_folder = work_.Path();
  CreateInstallerEvents(*context);
  EXPECT_FALSE(RunColdInstall(context, L"E:\\", L"status"));
  EXPECT_EQ(GetFileAttributesW((work_.Path() + L"probe_report.txt").c_str()),
            INVALID_FILE_ATTRIBUTES);
}

}  // namespace
