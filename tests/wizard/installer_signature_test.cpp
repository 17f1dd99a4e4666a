// The installer's signature and signer, on real Authenticode signatures: the probe signed at
// build time by the pinned test signer, the same program unsigned and signed by another key, and
// a signed copy with one byte changed after signing.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "cold_installer.h"
#include "installer_signature.h"
#include "support/files.h"
#include "support/scratch_folder.h"
#include "win/text.h"
#include "win/unique_resource.h"

namespace {

class InstallerSignatureTest : public ::testing::Test {
 protected:
  std::wstring Installer() const { return work_.Path() + L"ColdInstall.exe"; }

  // `program` as the working folder's ColdInstall.exe; with `change_byte`, one byte in the
  // middle (code, far from the signature at the end) flipped afterwards.
  void Place(const char* program, bool change_byte = false) {
    ASSERT_TRUE(CopyFileW(win::Widen(program).c_str(), Installer().c_str(), FALSE));
    if (!change_byte) return;
    std::fstream file(std::filesystem::path(Installer()),
                      std::ios::in | std::ios::out | std::ios::binary);
    file.seekg(0, std::ios::end);
    const std::streamoff middle = file.tellg() / 2;
    char byte = 0;
    file.seekg(middle);
    file.get(byte);
    file.seekp(middle);
    file.put(static_cast<char>(byte ^ 0x5A));
    ASSERT_TRUE(file.good());
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
  bool change_byte;
  SignatureCheck expected;
} kInstallers[] = {
    {"signed by the pinned signer", PROBE_EXE, false, SignatureCheck::kTrusted},
    {"unsigned", PROBE_UNSIGNED_EXE, false, SignatureCheck::kNotTrusted},
    {"signed by another key", PROBE_OTHER_SIGNER_EXE, false, SignatureCheck::kOtherSigner},
    {"one byte changed after signing", PROBE_EXE, true, SignatureCheck::kNotTrusted},
};

TEST_F(InstallerSignatureTest, OnlyAnUnchangedSignatureByThePinnedSignerIsTrusted) {
  for (const auto& c : kInstallers) {
    SCOPED_TRACE(c.name);
    Place(c.program, c.change_byte);
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
    Place(c.program, c.change_byte);
    std::ofstream(std::filesystem::path(work_.Path() + L"probe_plan.txt")) << "0 1";
    DeleteFileW((work_.Path() + L"probe_report.txt").c_str());

    const bool trusted = c.expected == SignatureCheck::kTrusted;
    EXPECT_EQ(RunColdInstall(context, L"E:\\", L"status"), trusted);
    EXPECT_EQ(GetFileAttributesW((work_.Path() + L"probe_report.txt").c_str()) !=
                  INVALID_FILE_ATTRIBUTES,
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
