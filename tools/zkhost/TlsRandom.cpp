#include "TlsRandom.h"

#include "SystemRandom.h"

namespace {
int SystemEntropy(void*, unsigned char* output, size_t length) {
  return FillSystemRandom(output, length) ? 0 : MBEDTLS_ERR_CTR_DRBG_ENTROPY_SOURCE_FAILED;
}

// Sets this program's generators apart from any other that might be seeded
// from the same source at the same moment.
constexpr unsigned char kPersonalisation[] = "zkhost link";
}  // namespace

TlsRandom::TlsRandom() {
  mbedtls_ctr_drbg_init(&drbg_);
  seeded_ = mbedtls_ctr_drbg_seed(&drbg_, SystemEntropy, nullptr, kPersonalisation,
                                  sizeof kPersonalisation - 1) == 0;
}

TlsRandom::~TlsRandom() { mbedtls_ctr_drbg_free(&drbg_); }

int TlsRandom::Generate(void* self, unsigned char* output, size_t length) {
  auto* random = static_cast<TlsRandom*>(self);
  if (!random->seeded_) return MBEDTLS_ERR_CTR_DRBG_ENTROPY_SOURCE_FAILED;
  return mbedtls_ctr_drbg_random(&random->drbg_, output, length);
}
