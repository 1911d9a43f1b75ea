#pragma once
// Authenticode checks of the programs the installation starts.

#include <string>

#include "app/install/publisher_pins.h"

namespace halvora {

struct SignatureFacts {
  long status = 0;            // WinVerifyTrust's answer: 0 for a valid signature
  std::string signerKeyHash;  // of a valid signature's signer; empty otherwise
};

// Asks WinVerifyTrust (generic Authenticode verification, no user interface,
// no network fetches) about the file, and for a valid signature hashes its
// signer certificate's public key as a publisher pin is written
// (publisher_pins.h).
SignatureFacts CheckSignature(const std::wstring& path);

// What the policy decides for the program at `path`; an unpinned policy
// checks nothing.
TrustDecision CheckPublisher(const PublisherPolicy& policy, const std::wstring& path);

}  // namespace halvora
