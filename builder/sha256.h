// SHA-256 through the system's crypto (BCrypt), fed in pieces: a downloaded archive in blocks,
// the manifest in one.
#pragma once

#include <windows.h>
#include <bcrypt.h>

#include <cstddef>

#include "builder/rescue_manifest.h"
#include "win/unique_resource.h"

class Sha256Hasher {
 public:
  Sha256Hasher();
  // Adds `size` bytes; false when the hasher could not be made or the system refused them.
  bool Add(const void* bytes, std::size_t size);
  // The digest of everything added; false as Add. The hasher is spent afterwards.
  bool Finish(rescue_manifest::Sha256* digest);

 private:
  struct AlgorithmTraits {
    using Type = BCRYPT_ALG_HANDLE;
    static Type Empty() { return nullptr; }
    static void Close(Type algorithm) { BCryptCloseAlgorithmProvider(algorithm, 0); }
  };
  struct HashTraits {
    using Type = BCRYPT_HASH_HANDLE;
    static Type Empty() { return nullptr; }
    static void Close(Type hash) { BCryptDestroyHash(hash); }
  };
  win::UniqueResource<AlgorithmTraits> algorithm_;
  win::UniqueResource<HashTraits> hash_;
};
