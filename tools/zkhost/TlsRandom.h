#pragma once

#include <mbedtls/ctr_drbg.h>

#include <cstddef>

// TlsRandom: mbed TLS's CTR_DRBG, seeded and reseeded from the operating
// system's random source (FillSystemRandom), for the keys, signatures and
// handshakes that mbed TLS makes. Owned by the object that makes them; one
// caller at a time (a TLS stream calls it under its own lock).
class TlsRandom {
 public:
  TlsRandom();
  ~TlsRandom();
  TlsRandom(const TlsRandom&) = delete;
  TlsRandom& operator=(const TlsRandom&) = delete;

  // False when the system's source failed: nothing may be made with it then.
  bool Seeded() const { return seeded_; }
  // mbed TLS's f_rng, with the TlsRandom as its p_rng.
  static int Generate(void* self, unsigned char* output, size_t length);

 private:
  mbedtls_ctr_drbg_context drbg_;
  bool seeded_ = false;
};
