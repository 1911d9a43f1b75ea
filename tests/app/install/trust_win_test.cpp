// Publisher checks on real signatures: programs signed at test time by two
// throw-away publishers (the launcher, tests/support/signed_fixtures.py),
// checked by WinVerifyTrust and against pins that openssl computed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/install/signature_win.h"
#include "tests/support/peer_files.h"

namespace halvora {
namespace {

namespace fs = std::filesystem;

std::string Pin(const fs::path& folder, const char* name) {
  std::ifstream in(folder / (std::string(name) + ".pin"));
  std::string pin;
  in >> pin;
  return pin;
}

TEST(Trust, OnlyAValidSignatureByAListedKeyRuns) {
  const std::string signedFolder = test::Env("HALVORA_SIGNED");
  ASSERT_FALSE(signedFolder.empty()) << "run through tests/support/signed_fixtures.py";
  const fs::path folder = test::WinePath(signedFolder);
  const std::string a = Pin(folder, "a");
  const std::string b = Pin(folder, "b");
  ASSERT_EQ(a.size(), 64u);
  ASSERT_NE(a, b);

  const struct {
    const char* what;
    const char* file;
    PublisherPolicy policy;
    TrustDecision decision;
  } cases[] = {
      {"valid and pinned", "signed-a.exe", {true, {a}}, TrustDecision::kTrusted},
      {"valid, another key pinned", "signed-a.exe", {true, {b}}, TrustDecision::kRefused},
      {"two pins, the second one signed", "signed-b.exe", {true, {a, b}}, TrustDecision::kTrusted},
      {"unsigned", "unsigned.exe", {true, {a, b}}, TrustDecision::kRefused},
      {"one byte of its code changed", "tampered.exe", {true, {a}}, TrustDecision::kRefused},
      {"a malformed resource trusts nobody", "signed-a.exe", {true, {}}, TrustDecision::kRefused},
      {"no resource: not checked", "unsigned.exe", {false, {}}, TrustDecision::kUnchecked},
      {"a missing program", "missing.exe", {true, {a}}, TrustDecision::kRefused},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(CheckPublisher(c.policy, (folder / c.file).wstring()), c.decision);
  }
  // The key hash is the one openssl computes from the certificate.
  EXPECT_EQ(CheckSignature((folder / "signed-b.exe").wstring()).signerKeyHash, b);
  EXPECT_NE(CheckSignature((folder / "tampered.exe").wstring()).status, 0);
}

}  // namespace
}  // namespace halvora
