#pragma once

#include <mbedtls/ctr_drbg.h>
#include <mbedtls/error.h>
#include <mbedtls/pk.h>
#include <mbedtls/ssl.h>
#include <mbedtls/x509_crt.h>

#include <cstdio>
#include <string>

// The link's few mbed TLS contexts as C++ objects: each is initialised when
// made and freed when it goes, so that no early return leaks one. Owned by
// whoever made it; as thread-safe as the context inside (mostly not at all).
template <typename Context, void (*Init)(Context*), void (*Free)(Context*)>
class MbedObject {
 public:
  MbedObject() { Init(&context_); }
  ~MbedObject() { Free(&context_); }
  MbedObject(const MbedObject&) = delete;
  MbedObject& operator=(const MbedObject&) = delete;

  Context* get() { return &context_; }
  const Context* get() const { return &context_; }

 private:
  Context context_;
};

// A key (here always ECDSA), a parsed certificate chain, a certificate being
// written, a big number, a TLS configuration and one TLS session.
using PkKey = MbedObject<mbedtls_pk_context, mbedtls_pk_init, mbedtls_pk_free>;
using X509Certificate = MbedObject<mbedtls_x509_crt, mbedtls_x509_crt_init, mbedtls_x509_crt_free>;
using X509Writer = MbedObject<mbedtls_x509write_cert, mbedtls_x509write_crt_init, mbedtls_x509write_crt_free>;
using BigNumber = MbedObject<mbedtls_mpi, mbedtls_mpi_init, mbedtls_mpi_free>;
using SslConfig = MbedObject<mbedtls_ssl_config, mbedtls_ssl_config_init, mbedtls_ssl_config_free>;
using SslContext = MbedObject<mbedtls_ssl_context, mbedtls_ssl_init, mbedtls_ssl_free>;

// "STEP failed: mbed TLS's own words (-0xCODE)".
inline std::string MbedError(const std::string& step, int code) {
  char text[160];
  mbedtls_strerror(code, text, sizeof text);
  char number[16];
  std::snprintf(number, sizeof number, "-0x%04X", static_cast<unsigned>(-code));
  return step + " failed: " + text + " (" + number + ")";
}
