#include "app/install/signature_win.h"

// clang-format off
#include <windows.h>
#include <bcrypt.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>
// clang-format on

#include <cstdint>
#include <vector>

namespace halvora {

namespace {

std::string Hex(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (uint8_t b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

// SHA-256 through CNG; empty when the provider is not there.
std::vector<uint8_t> Sha256(const uint8_t* data, DWORD size) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) return {};
  std::vector<uint8_t> digest(32);
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool hashed = BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0;
  hashed = hashed && BCryptHashData(hash, const_cast<uint8_t*>(data), size, 0) == 0 &&
           BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0) == 0;
  if (hash) BCryptDestroyHash(hash);
  BCryptCloseAlgorithmProvider(algorithm, 0);
  return hashed ? digest : std::vector<uint8_t>();
}

// The certificate's SubjectPublicKeyInfo, encoded again as DER and hashed.
// (Wine keeps no SHA-256 property of certificates, so the key is hashed here.)
std::string KeyHash(PCCERT_CONTEXT certificate) {
  BYTE* encoded = nullptr;
  DWORD size = 0;
  if (!CryptEncodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO,
                           &certificate->pCertInfo->SubjectPublicKeyInfo, CRYPT_ENCODE_ALLOC_FLAG,
                           nullptr, &encoded, &size))
    return std::string();
  const std::vector<uint8_t> digest = Sha256(encoded, size);
  LocalFree(encoded);
  return digest.empty() ? std::string() : Hex(digest);
}

}  // namespace

SignatureFacts CheckSignature(const std::wstring& path) {
  WINTRUST_FILE_INFO file = {};
  file.cbStruct = sizeof file;
  file.pcwszFilePath = path.c_str();
  WINTRUST_DATA data = {};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  // Nothing is fetched from the network on the way (revocation lists, issuers).
  data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  // INVALID_HANDLE_VALUE as the window: no interface, ever.
  SignatureFacts facts;
  facts.status = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  if (facts.status == 0) {
    // The signer whose signature was just verified, and its certificate.
    CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(data.hWVTStateData);
    CRYPT_PROVIDER_SGNR* signer =
        provider ? WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
    CRYPT_PROVIDER_CERT* certificate = signer ? WTHelperGetProvCertFromChain(signer, 0) : nullptr;
    if (certificate && certificate->pCert) facts.signerKeyHash = KeyHash(certificate->pCert);
  }
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  return facts;
}

TrustDecision CheckPublisher(const PublisherPolicy& policy, const std::wstring& path) {
  if (!policy.pinned) return TrustDecision::kUnchecked;
  return DecideTrust(policy, CheckSignature(path).signerKeyHash);
}

}  // namespace halvora
