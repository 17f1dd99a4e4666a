// The rescue-disk manifest's authenticity: a detached CMS/PKCS #7 signature (DER SignedData
// without its content, as `openssl cms -sign -binary -outform DER` writes it: SHA-256, with
// signed attributes) over the manifest's exact bytes, checked by
// CryptVerifyDetachedMessageSignature together with its signed message digest, and the signer
// certificate's SHA-256, which must be one the build pinned. The check does not ask the system to
// trust the certificate's chain: the pin alone decides who may sign, as a release is signed by the
// vendor's own key whatever roots the computer trusts.
#pragma once

#include <string>

#include "builder/installer_signature.h"

// Checks `signature` over `content` against the pinned signers `pins` (as CheckSignature reads
// them): kTrusted when it verifies and its signer is pinned, kOtherSigner when it verifies but
// another certificate signed, kNotTrusted when it does not verify (no signature, another content,
// not a SignedData at all).
SignatureCheck CheckDetachedSignature(const std::string& content, const std::string& signature,
                                      const std::string& pins);
