#include "builder/manifest_signature.h"

#include <cstring>
#include <vector>

#include "builder/sha256.h"
#include "win/unique_resource.h"

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

struct CertificateTraits {
  using Type = PCCERT_CONTEXT;
  static Type Empty() { return nullptr; }
  static void Close(Type certificate) { CertFreeCertificateContext(certificate); }
};
struct MessageTraits {
  using Type = HCRYPTMSG;
  static Type Empty() { return nullptr; }
  static void Close(Type message) { CryptMsgClose(message); }
};

// Whether the first signer signed, among its signed attributes, exactly one message digest, and
// that digest is the SHA-256 of `content`. Wine's CryptVerifyDetachedMessageSignature checks the
// signature over the signed attributes but not that their digest is the content's, so any text
// would pass with a genuine signature taken from another manifest; this is checked here on every
// system. A signature without signed attributes is refused: the signers' tools always add them.
bool SignedDigestIsContents(const std::string& content, const std::string& signature) {
  const win::UniqueResource<MessageTraits> message(
      CryptMsgOpenToDecode(kEncoding, CMSG_DETACHED_FLAG, 0, 0, nullptr, nullptr));
  if (!message || !CryptMsgUpdate(message.get(), reinterpret_cast<const BYTE*>(signature.data()),
                                  static_cast<DWORD>(signature.size()), TRUE))
    return false;
  DWORD size = 0;
  if (!CryptMsgGetParam(message.get(), CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size)) return false;
  std::vector<BYTE> buffer(size);
  if (!CryptMsgGetParam(message.get(), CMSG_SIGNER_INFO_PARAM, 0, buffer.data(), &size))
    return false;
  const auto& signer = *reinterpret_cast<const CMSG_SIGNER_INFO*>(buffer.data());
  if (!signer.HashAlgorithm.pszObjId ||
      std::strcmp(signer.HashAlgorithm.pszObjId, szOID_NIST_sha256) != 0)
    return false;
  const CRYPT_ATTRIBUTE* digest_attribute = nullptr;
  for (DWORD i = 0; i < signer.AuthAttrs.cAttr; ++i) {
    const CRYPT_ATTRIBUTE& attribute = signer.AuthAttrs.rgAttr[i];
    if (attribute.pszObjId && std::strcmp(attribute.pszObjId, szOID_RSA_messageDigest) == 0) {
      if (digest_attribute) return false;
      digest_attribute = &attribute;
    }
  }
  if (!digest_attribute || digest_attribute->cValue != 1) return false;
  // The value is a DER OCTET STRING of the 32 digest bytes.
  rescue_manifest::Sha256 expected{};
  const CRYPT_ATTR_BLOB& value = digest_attribute->rgValue[0];
  if (value.cbData != 2 + expected.size() || value.pbData[0] != 0x04 ||
      value.pbData[1] != expected.size())
    return false;
  Sha256Hasher hasher;
  rescue_manifest::Sha256 actual{};
  if (!hasher.Add(content.data(), content.size()) || !hasher.Finish(&actual)) return false;
  return std::memcmp(value.pbData + 2, actual.data(), actual.size()) == 0;
}

}  // namespace

SignatureCheck CheckDetachedSignature(const std::string& content, const std::string& signature,
                                      const std::string& pins) {
  if (signature.empty()) return SignatureCheck::kNotTrusted;
  CRYPT_VERIFY_MESSAGE_PARA parameters{};
  parameters.cbSize = sizeof parameters;
  parameters.dwMsgAndCertEncodingType = kEncoding;
  const BYTE* parts[] = {reinterpret_cast<const BYTE*>(content.data())};
  DWORD part_sizes[] = {static_cast<DWORD>(content.size())};
  PCCERT_CONTEXT signer_context = nullptr;
  const BOOL verified = CryptVerifyDetachedMessageSignature(
      &parameters, 0, reinterpret_cast<const BYTE*>(signature.data()),
      static_cast<DWORD>(signature.size()), 1, parts, part_sizes, &signer_context);
  const win::UniqueResource<CertificateTraits> signer(signer_context);
  if (!verified || !signer || !SignedDigestIsContents(content, signature))
    return SignatureCheck::kNotTrusted;
  return IsPinnedCertificate(*signer.get(), pins) ? SignatureCheck::kTrusted
                                                  : SignatureCheck::kOtherSigner;
}
