// The installer's authenticity: its Authenticode signature, checked by WinVerifyTrust on a handle
// the caller holds without write or delete sharing, and its signer certificate's SHA-256, which
// must be one the build pinned. Wine's WinVerifyTrust checks the file's digest against the
// signature but not whether the chain ends in a trusted root, so there the pin alone tells
// another key from the pinned one; on Windows both hold.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <string>

enum class SignatureCheck {
  kTrusted,      // signed, unchanged since, by a pinned signer
  kNotTrusted,   // unsigned, changed after signing, or a chain WinVerifyTrust refuses
  kOtherSigner,  // a valid signature by a certificate that is not pinned
};

// Checks the file open as `file` (its path `path` for WinVerifyTrust's reports) against the
// pinned signers `pins`: SHA-256 values of certificates as hex, separated by commas or
// semicolons, in any case.
SignatureCheck CheckSignature(HANDLE file, const std::wstring& path, const std::string& pins);

// Whether the SHA-256 of `certificate`'s DER encoding is one of `pins` (as CheckSignature reads
// them).
bool IsPinnedCertificate(const CERT_CONTEXT& certificate, const std::string& pins);

// The signers the build pinned, as CheckSignature reads them: the installer's and the rescue-disk
// manifest's (one vendor signs both).
const char* PinnedSigners();

// CheckSignature against the signers the build pinned.
SignatureCheck CheckInstallerSignature(HANDLE file, const std::wstring& path);
