#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct mbedtls_pk_context;

// The SHA-256 hash of a certificate's DER bytes: what a viewer pins.
using CertificateFingerprint = std::array<uint8_t, 32>;

CertificateFingerprint FingerprintOf(const uint8_t* der, size_t length);

// TlsIdentity: the presenter's certificate and private key for the encrypted
// link. The certificate is self-signed over an ECDSA P-256 key, made in
// milliseconds where RSA takes seconds. No authority vouches for it: a viewer
// trusts it because its fingerprint is the one that came with the invitation,
// so its names and dates carry no meaning.
//
// Made once at the presenter's start and then only read: the presenter's
// links may share it from any thread. Each TLS stream parses its own copy of
// the key, since mbed TLS's key objects are not for concurrent use. The key's
// bytes are wiped when the identity goes.
class TlsIdentity {
 public:
  // A fresh key and certificate; invalid (and `error` says why) on failure.
  static TlsIdentity Generate(std::string* error);
  // The identity kept in a PEM file (certificate, then key), so that its
  // fingerprint stays the same from run to run. When the file does not exist
  // a fresh identity is made and written there, readable by its owner only.
  static TlsIdentity LoadOrCreate(const std::string& path, std::string* error);

  TlsIdentity() = default;
  TlsIdentity(TlsIdentity&&) noexcept = default;
  TlsIdentity& operator=(TlsIdentity&& other) noexcept;
  ~TlsIdentity();

  bool IsValid() const { return !certificate_.empty(); }
  const std::vector<uint8_t>& CertificateDer() const { return certificate_; }
  // SEC 1 DER of the private key, for the TLS streams that serve with it.
  const std::vector<uint8_t>& PrivateKeyDer() const { return privateKey_; }
  const CertificateFingerprint& Fingerprint() const { return fingerprint_; }

 private:
  // Checks the pair and fills in the DER bytes and the fingerprint.
  static TlsIdentity FromParts(const uint8_t* certificate, size_t length, mbedtls_pk_context* key,
                               std::string* error);
  static TlsIdentity Parse(const std::string& pem, const std::string& path, std::string* error);
  void WipeKey();

  std::vector<uint8_t> certificate_;
  std::vector<uint8_t> privateKey_;
  CertificateFingerprint fingerprint_ = {};
};
