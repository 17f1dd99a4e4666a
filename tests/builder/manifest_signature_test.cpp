// The manifest's detached signature through the platform's CMS verification, on real signatures
// made at build time with openssl: the pinned test signer's and another key's over one text, then
// that text changed, and signatures that are cut, empty, without a signed digest or not a
// signature at all.
#include <gtest/gtest.h>

#include <string>

#include "builder/manifest_signature.h"
#include "tests/support/files.h"
#include "win/text.h"

namespace {

TEST(ManifestSignature, OnlyAPinnedSignerOverTheExactBytesIsTrusted) {
  const std::string content = ReadFileBytes(win::Widen(SIGNED_CONTENT));
  const std::string by_test_signer = ReadFileBytes(win::Widen(SIGNED_BY_TEST_SIGNER));
  const std::string by_other_signer = ReadFileBytes(win::Widen(SIGNED_BY_OTHER_SIGNER));
  const std::string without_attributes = ReadFileBytes(win::Widen(SIGNED_WITHOUT_ATTRIBUTES));
  ASSERT_GT(content.size(), 100u);
  ASSERT_GT(by_test_signer.size(), 100u);
  std::string one_bit_changed = content;
  one_bit_changed[content.size() / 2] ^= 1;
  const struct {
    const char* what;
    std::string content, signature;
    SignatureCheck expected;
  } cases[] = {
      {"the pinned signer", content, by_test_signer, SignatureCheck::kTrusted},
      {"another signer", content, by_other_signer, SignatureCheck::kOtherSigner},
      // A genuine signature with another text: Wine's verification alone lets this pass.
      {"one bit changed", one_bit_changed, by_test_signer, SignatureCheck::kNotTrusted},
      {"a line added", content + "release 99\n", by_test_signer, SignatureCheck::kNotTrusted},
      {"no content", "", by_test_signer, SignatureCheck::kNotTrusted},
      {"signature cut", content, by_test_signer.substr(0, by_test_signer.size() - 40),
       SignatureCheck::kNotTrusted},
      {"empty signature", content, "", SignatureCheck::kNotTrusted},
      {"no signed digest", content, without_attributes, SignatureCheck::kNotTrusted},
      {"not a signature", content, content, SignatureCheck::kNotTrusted},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(CheckDetachedSignature(c.content, c.signature, TEST_SIGNER_SHA256), c.expected);
  }
  // Pinned, the other key is trusted too: the pin, not the chain, decides.
  EXPECT_EQ(CheckDetachedSignature(content, by_other_signer,
                                   std::string(TEST_SIGNER_SHA256) + ";" + OTHER_SIGNER_SHA256),
            SignatureCheck::kTrusted);
}

}  // namespace
