#pragma once
// The publishers a stamped copy trusts, and what that means for a program it
// is about to start. A copy stamped with publishers carries them in its
// "PUBLISHER" resource as "HEX[,HEX...]": each HEX the lower-case SHA-256 of
// the DER SubjectPublicKeyInfo of a signer's certificate. A key outlives its
// certificate, so a renewed certificate with the same key still matches.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvora {

// 64 lower-case hexadecimal digits.
bool IsPublisherKeyHash(std::string_view text);

// The hashes of a "HEX[,HEX...]" list; none when the list is empty or any
// item is not a key hash.
std::optional<std::vector<std::string>> ParsePublisherList(std::string_view text);

// Which programs a copy starts.
struct PublisherPolicy {
  // The copy carries the resource: only programs signed by a listed key run.
  bool pinned = false;
  // Empty when the resource could not be read as a list: nothing passes.
  std::vector<std::string> keys;
};

enum class TrustDecision {
  kUnchecked,  // the copy pins no publisher
  kTrusted,    // a valid signature by a listed key
  kRefused,    // pinned, and the signature is missing, broken or by another key
};

// `signerKeyHash` is the signer's key hash of a valid signature, or empty
// when the program carries none.
TrustDecision DecideTrust(const PublisherPolicy& policy, std::string_view signerKeyHash);

}  // namespace halvora
