#include "TlsIdentity.h"

#include <mbedtls/pem.h>
#include <mbedtls/platform_util.h>
#include <mbedtls/sha256.h>
#include <mbedtls/x509_crt.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "MbedObject.h"
#include "PrivateFile.h"
#include "TlsRandom.h"

namespace {
// The viewer pins the certificate by its hash, so names and dates are only
// there because the format wants them; the window is wide enough for any
// tool that looks at it.
constexpr char kName[] = "CN=zkhost presenter";
constexpr char kNotBefore[] = "20240101000000";
constexpr char kNotAfter[] = "20991231235959";
// A P-256 certificate or key takes a few hundred bytes.
constexpr size_t kDerRoom = 2048;

void Wipe(std::string* text) {
  mbedtls_platform_zeroize(&(*text)[0], text->size());
  text->clear();
}

// mbed TLS writes DER at the end of the buffer it is given and returns its length.
int WriteCertificate(mbedtls_pk_context* key, TlsRandom* random, std::vector<uint8_t>* der) {
  X509Writer writer;
  BigNumber serial;
  unsigned char serialBytes[16];
  int code = TlsRandom::Generate(random, serialBytes, sizeof serialBytes);
  serialBytes[0] &= 0x7f;  // a serial number is positive
  if (code == 0) code = mbedtls_mpi_read_binary(serial.get(), serialBytes, sizeof serialBytes);
  if (code == 0) code = mbedtls_x509write_crt_set_serial(writer.get(), serial.get());
  if (code == 0) code = mbedtls_x509write_crt_set_subject_name(writer.get(), kName);
  if (code == 0) code = mbedtls_x509write_crt_set_issuer_name(writer.get(), kName);
  if (code == 0) code = mbedtls_x509write_crt_set_validity(writer.get(), kNotBefore, kNotAfter);
  if (code != 0) return code;
  mbedtls_x509write_crt_set_version(writer.get(), MBEDTLS_X509_CRT_VERSION_3);
  mbedtls_x509write_crt_set_md_alg(writer.get(), MBEDTLS_MD_SHA256);
  mbedtls_x509write_crt_set_subject_key(writer.get(), key);
  mbedtls_x509write_crt_set_issuer_key(writer.get(), key);
  unsigned char buffer[kDerRoom];
  int length = mbedtls_x509write_crt_der(writer.get(), buffer, sizeof buffer, TlsRandom::Generate, random);
  if (length < 0) return length;
  der->assign(buffer + sizeof buffer - length, buffer + sizeof buffer);
  return 0;
}

std::string Pem(const char* label, const std::vector<uint8_t>& der) {
  std::string begin = std::string("-----BEGIN ") + label + "-----\n";
  std::string end = std::string("-----END ") + label + "-----\n";
  std::string text(2 * der.size() + begin.size() + end.size() + 16, '\0');
  size_t written = 0;
  if (mbedtls_pem_write_buffer(begin.c_str(), end.c_str(), der.data(), der.size(),
                               reinterpret_cast<unsigned char*>(&text[0]), text.size(), &written) != 0)
    return std::string();
  text.resize(written - 1);  // the count includes the terminating null
  return text;
}

enum class FileRead { kRead, kMissing, kFailed };

FileRead ReadWholeFile(const std::string& path, std::string* text) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return errno == ENOENT ? FileRead::kMissing : FileRead::kFailed;
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text->append(chunk, got);
  bool whole = !std::ferror(file);
  std::fclose(file);
  mbedtls_platform_zeroize(chunk, sizeof chunk);
  return whole ? FileRead::kRead : FileRead::kFailed;
}
}  // namespace

CertificateFingerprint FingerprintOf(const uint8_t* der, size_t length) {
  CertificateFingerprint fingerprint;
  mbedtls_sha256_ret(der, length, fingerprint.data(), 0);
  return fingerprint;
}

TlsIdentity TlsIdentity::Generate(std::string* error) {
  TlsRandom random;
  if (!random.Seeded()) {
    *error = "the system's random source failed";
    return TlsIdentity();
  }
  PkKey key;
  int code = mbedtls_pk_setup(key.get(), mbedtls_pk_info_from_type(MBEDTLS_PK_ECKEY));
  if (code == 0)
    code = mbedtls_ecp_gen_key(MBEDTLS_ECP_DP_SECP256R1, mbedtls_pk_ec(*key.get()), TlsRandom::Generate,
                               &random);
  std::vector<uint8_t> certificate;
  if (code == 0) code = WriteCertificate(key.get(), &random, &certificate);
  if (code != 0) {
    *error = MbedError("making the certificate", code);
    return TlsIdentity();
  }
  return FromParts(certificate.data(), certificate.size(), key.get(), error);
}

TlsIdentity TlsIdentity::LoadOrCreate(const std::string& path, std::string* error) {
  std::string text;
  switch (ReadWholeFile(path, &text)) {
    case FileRead::kRead: {
      TlsIdentity identity = Parse(text, path, error);
      Wipe(&text);
      return identity;
    }
    case FileRead::kFailed:
      *error = "reading " + path + " failed: " + std::strerror(errno);
      return TlsIdentity();
    case FileRead::kMissing:
      break;
  }
  TlsIdentity identity = Generate(error);
  if (!identity.IsValid()) return identity;
  text = Pem("CERTIFICATE", identity.certificate_) + Pem("EC PRIVATE KEY", identity.privateKey_);
  bool created = CreatePrivateFile(path, text);
  Wipe(&text);
  if (!created) {
    *error = "creating " + path + " failed";
    return TlsIdentity();
  }
  return identity;
}

TlsIdentity TlsIdentity::Parse(const std::string& pem, const std::string& path, std::string* error) {
  // mbed TLS takes PEM text only with its terminating null counted.
  const auto* bytes = reinterpret_cast<const unsigned char*>(pem.c_str());
  X509Certificate certificate;
  PkKey key;
  int code = mbedtls_x509_crt_parse(certificate.get(), bytes, pem.size() + 1);
  if (code < 0 || certificate.get()->raw.len == 0) {
    *error = code < 0 ? MbedError("reading the certificate in " + path, code) : "no certificate in " + path;
    return TlsIdentity();
  }
  code = mbedtls_pk_parse_key(key.get(), bytes, pem.size() + 1, nullptr, 0);
  if (code != 0) {
    *error = MbedError("reading the private key in " + path, code);
    return TlsIdentity();
  }
  // The link offers ECDSA cipher suites only.
  if (mbedtls_pk_get_type(key.get()) != MBEDTLS_PK_ECKEY) {
    *error = "the private key in " + path + " is not an elliptic-curve key";
    return TlsIdentity();
  }
  if (mbedtls_pk_check_pair(&certificate.get()->pk, key.get()) != 0) {
    *error = "the private key in " + path + " does not belong to its certificate";
    return TlsIdentity();
  }
  return FromParts(certificate.get()->raw.p, certificate.get()->raw.len, key.get(), error);
}

TlsIdentity TlsIdentity::FromParts(const uint8_t* certificate, size_t length, mbedtls_pk_context* key,
                                   std::string* error) {
  unsigned char buffer[kDerRoom];
  int keyLength = mbedtls_pk_write_key_der(key, buffer, sizeof buffer);
  if (keyLength < 0) {
    *error = MbedError("writing the private key", keyLength);
    return TlsIdentity();
  }
  TlsIdentity identity;
  identity.certificate_.assign(certificate, certificate + length);
  identity.privateKey_.assign(buffer + sizeof buffer - keyLength, buffer + sizeof buffer);
  identity.fingerprint_ = FingerprintOf(certificate, length);
  mbedtls_platform_zeroize(buffer, sizeof buffer);
  return identity;
}

TlsIdentity& TlsIdentity::operator=(TlsIdentity&& other) noexcept {
  if (this != &other) {
    WipeKey();
    certificate_ = std::move(other.certificate_);
    privateKey_ = std::move(other.privateKey_);
    fingerprint_ = other.fingerprint_;
  }
  return *this;
}

TlsIdentity::~TlsIdentity() { WipeKey(); }

void TlsIdentity::WipeKey() { mbedtls_platform_zeroize(privateKey_.data(), privateKey_.size()); }
