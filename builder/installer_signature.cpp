#include "builder/installer_signature.h"

#include <wincrypt.h>

#include <cctype>
#include <cstdint>

#include "win/trust_state.h"

namespace {

// Lower-case hex SHA-256 of a DER-encoded certificate; empty when it cannot be hashed.
std::string CertificateSha256(const CERT_CONTEXT& certificate) {
  std::uint8_t hash[32];
  DWORD size = sizeof hash;
  if (!CryptHashCertificate2(L"SHA256", 0, nullptr, certificate.pbCertEncoded,
                             certificate.cbCertEncoded, hash, &size) ||
      size != sizeof hash)
    return {};
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (std::uint8_t byte : hash) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

bool IsPinned(const std::string& hash, const std::string& pins) {
  std::string pin;
  for (std::size_t i = 0; i <= pins.size(); ++i) {
    if (i == pins.size() || pins[i] == ',' || pins[i] == ';') {
      if (!hash.empty() && pin == hash) return true;
      pin.clear();
    } else if (!std::isspace(static_cast<unsigned char>(pins[i]))) {
      pin += static_cast<char>(std::tolower(static_cast<unsigned char>(pins[i])));
    }
  }
  return false;
}

}  // namespace

bool IsPinnedCertificate(const CERT_CONTEXT& certificate, const std::string& pins) {
  return IsPinned(CertificateSha256(certificate), pins);
}

const char* PinnedSigners() { return INSTALLER_SIGNER_SHA256; }

SignatureCheck CheckSignature(HANDLE file, const std::wstring& path, const std::string& pins) {
  WINTRUST_FILE_INFO file_info{};
  file_info.cbStruct = sizeof file_info;
  file_info.pcwszFilePath = path.c_str();
  file_info.hFile = file;
  WINTRUST_DATA data{};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
  data.dwProvFlags = WTD_REVOCATION_CHECK_CHAIN;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file_info;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const LONG verdict = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  // The state is held (and must be closed) whatever the verdict.
  const win::UniqueTrustState state(&data);
  if (verdict != ERROR_SUCCESS) return SignatureCheck::kNotTrusted;

  CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(data.hWVTStateData);
  CRYPT_PROVIDER_SGNR* signer =
      provider ? WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
  if (!signer || signer->csCertChain == 0 || !signer->pasCertChain ||
      !signer->pasCertChain[0].pCert)
    return SignatureCheck::kNotTrusted;
  return IsPinnedCertificate(*signer->pasCertChain[0].pCert, pins) ? SignatureCheck::kTrusted
                                                                   : SignatureCheck::kOtherSigner;
}

SignatureCheck CheckInstallerSignature(HANDLE file, const std::wstring& path) {
  return CheckSignature(file, path, PinnedSigners());
}
