#include "builder/sha256.h"

#include <limits>

Sha256Hasher::Sha256Hasher() {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) return;
  algorithm_.reset(algorithm);
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (BCryptCreateHash(algorithm_.get(), &hash, nullptr, 0, nullptr, 0, 0) == 0) hash_.reset(hash);
}

bool Sha256Hasher::Add(const void* bytes, std::size_t size) {
  if (!hash_ || size > std::numeric_limits<ULONG>::max()) return false;
  return BCryptHashData(hash_.get(), static_cast<PUCHAR>(const_cast<void*>(bytes)),
                        static_cast<ULONG>(size), 0) == 0;
}

bool Sha256Hasher::Finish(rescue_manifest::Sha256* digest) {
  if (!hash_) return false;
  const bool done =
      BCryptFinishHash(hash_.get(), digest->data(), static_cast<ULONG>(digest->size()), 0) == 0;
  hash_.reset();
  return done;
}
