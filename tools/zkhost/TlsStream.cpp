#include "TlsStream.h"

#include <mbedtls/net_sockets.h>

#include <algorithm>
#include <utility>

#include "ConstantTime.h"
#include "MbedObject.h"
#include "TlsRandom.h"

namespace {
using Clock = std::chrono::steady_clock;

// Forward secrecy from ECDHE, the server's key signing it, and ciphers that
// authenticate every record; ChaCha20 first, being the faster in software
// (the 32-bit Windows build has no AES instructions).
constexpr int kCipherSuites[] = {
    MBEDTLS_TLS_ECDHE_ECDSA_WITH_CHACHA20_POLY1305_SHA256,
    MBEDTLS_TLS_ECDHE_ECDSA_WITH_AES_128_GCM_SHA256,
    MBEDTLS_TLS_ECDHE_ECDSA_WITH_AES_256_GCM_SHA384,
    0,
};
constexpr mbedtls_ecp_group_id kCurves[] = {MBEDTLS_ECP_DP_CURVE25519, MBEDTLS_ECP_DP_SECP256R1,
                                            MBEDTLS_ECP_DP_SECP384R1, MBEDTLS_ECP_DP_NONE};
constexpr int kSignatureHashes[] = {MBEDTLS_MD_SHA256, MBEDTLS_MD_SHA384, MBEDTLS_MD_NONE};

// How long Close tries to hand close_notify to a peer that is not reading.
constexpr auto kCloseNotifyTime = std::chrono::milliseconds(500);

bool MustWait(int code) { return code == MBEDTLS_ERR_SSL_WANT_READ || code == MBEDTLS_ERR_SSL_WANT_WRITE; }

struct Transport {
  ByteStream* stream;
  // Set while the session reads. In a session past its handshake, reading
  // writes only to refuse a peer's request for a new handshake (or to report
  // a fatal error): a record written then could stay half sent, and the
  // sender's next write would take it for its own and drop its data, or
  // send it twice. So the write fails, and with it the stream.
  bool reading = false;
};

int SendToTransport(void* context, const unsigned char* data, size_t length) {
  auto* transport = static_cast<Transport*>(context);
  if (transport->reading) return MBEDTLS_ERR_NET_SEND_FAILED;
  int sent = transport->stream->TrySend(data, length);
  if (sent == ByteStream::kWouldBlock) return MBEDTLS_ERR_SSL_WANT_WRITE;
  return sent > 0 ? sent : MBEDTLS_ERR_NET_SEND_FAILED;
}

int ReceiveFromTransport(void* context, unsigned char* buffer, size_t capacity) {
  int received = static_cast<Transport*>(context)->stream->TryReceive(buffer, capacity);
  if (received == ByteStream::kWouldBlock) return MBEDTLS_ERR_SSL_WANT_READ;
  return received >= 0 ? received : MBEDTLS_ERR_NET_RECV_FAILED;
}

int WaitMs(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, ByteStream::kHandshakeCheckMs));
}
}  // namespace

struct TlsStream::Session {
  Transport transport;
  TlsRandom random;
  SslConfig config;
  X509Certificate certificate;  // the server's own, with its key
  PkKey key;
  CertificateFingerprint expected = {};  // what the client pins
  bool pinRefused = false;
  SslContext ssl;

  // The client's look at the server's certificate chain, from its root down
  // to depth 0, the server's own certificate: only that one is judged, by its
  // hash alone. An error return ends the handshake, whatever the authmode.
  static int CheckPin(void* self, mbedtls_x509_crt* certificate, int depth, uint32_t* flags) {
    auto* session = static_cast<Session*>(self);
    *flags = 0;
    if (depth > 0) return 0;
    CertificateFingerprint got = FingerprintOf(certificate->raw.p, certificate->raw.len);
    if (EqualInConstantTime(got.data(), session->expected.data(), got.size())) return 0;
    session->pinRefused = true;
    *flags = MBEDTLS_X509_BADCERT_NOT_TRUSTED;
    return MBEDTLS_ERR_X509_CERT_VERIFY_FAILED;
  }

  int Configure(int endpoint) {
    mbedtls_ssl_config* c = config.get();
    int code = mbedtls_ssl_config_defaults(c, endpoint, MBEDTLS_SSL_TRANSPORT_STREAM, MBEDTLS_SSL_PRESET_DEFAULT);
    if (code != 0) return code;
    mbedtls_ssl_conf_min_version(c, MBEDTLS_SSL_MAJOR_VERSION_3, MBEDTLS_SSL_MINOR_VERSION_3);
    mbedtls_ssl_conf_max_version(c, MBEDTLS_SSL_MAJOR_VERSION_3, MBEDTLS_SSL_MINOR_VERSION_3);
    mbedtls_ssl_conf_ciphersuites(c, kCipherSuites);
    mbedtls_ssl_conf_curves(c, kCurves);
    mbedtls_ssl_conf_sig_hashes(c, kSignatureHashes);
    mbedtls_ssl_conf_renegotiation(c, MBEDTLS_SSL_RENEGOTIATION_DISABLED);
    mbedtls_ssl_conf_rng(c, TlsRandom::Generate, &random);
    if (endpoint == MBEDTLS_SSL_IS_CLIENT) {
      mbedtls_ssl_conf_session_tickets(c, MBEDTLS_SSL_SESSION_TICKETS_DISABLED);
      // "Optional" because no authority is configured; CheckPin decides.
      mbedtls_ssl_conf_authmode(c, MBEDTLS_SSL_VERIFY_OPTIONAL);
      mbedtls_ssl_conf_verify(c, CheckPin, this);
    } else {
      code = mbedtls_ssl_conf_own_cert(c, certificate.get(), key.get());
      if (code != 0) return code;
    }
    code = mbedtls_ssl_setup(ssl.get(), c);
    mbedtls_ssl_set_bio(ssl.get(), &transport, SendToTransport, ReceiveFromTransport, nullptr);
    return code;
  }

  int LoadIdentity(const TlsIdentity& identity) {
    int code = mbedtls_x509_crt_parse_der(certificate.get(), identity.CertificateDer().data(),
                                          identity.CertificateDer().size());
    if (code != 0) return code;
    return mbedtls_pk_parse_key(key.get(), identity.PrivateKeyDer().data(), identity.PrivateKeyDer().size(),
                                nullptr, 0);
  }
};

TlsStream::TlsStream(std::unique_ptr<ByteStream> transport)
    : transport_(std::move(transport)), session_(new Session) {
  session_->transport.stream = transport_.get();
}

TlsStream::~TlsStream() { Close(); }

std::unique_ptr<TlsStream> TlsStream::Accept(std::unique_ptr<ByteStream> transport, const TlsIdentity& identity,
                                             std::chrono::milliseconds timeLimit,
                                             const std::atomic<bool>& cancel, std::string* error) {
  std::unique_ptr<TlsStream> stream(new TlsStream(std::move(transport)));
  Session& session = *stream->session_;
  int code = session.random.Seeded() ? session.LoadIdentity(identity) : MBEDTLS_ERR_CTR_DRBG_ENTROPY_SOURCE_FAILED;
  if (code == 0) code = session.Configure(MBEDTLS_SSL_IS_SERVER);
  if (code != 0) {
    *error = MbedError("setting up TLS", code);
    return nullptr;
  }
  if (!stream->Handshake(timeLimit, cancel, error)) return nullptr;
  return stream;
}

std::unique_ptr<TlsStream> TlsStream::Connect(std::unique_ptr<ByteStream> transport,
                                              const CertificateFingerprint& expected,
                                              std::chrono::milliseconds timeLimit,
                                              const std::atomic<bool>& cancel, std::string* error) {
  std::unique_ptr<TlsStream> stream(new TlsStream(std::move(transport)));
  Session& session = *stream->session_;
  session.expected = expected;
  int code = session.random.Seeded() ? session.Configure(MBEDTLS_SSL_IS_CLIENT)
                                     : MBEDTLS_ERR_CTR_DRBG_ENTROPY_SOURCE_FAILED;
  if (code != 0) {
    *error = MbedError("setting up TLS", code);
    return nullptr;
  }
  if (!stream->Handshake(timeLimit, cancel, error)) return nullptr;
  if (!stream->PinnedCertificateMatches()) {
    *error = "the server's certificate does not have the expected fingerprint";
    return nullptr;
  }
  return stream;
}

bool TlsStream::Handshake(std::chrono::milliseconds timeLimit, const std::atomic<bool>& cancel,
                          std::string* error) {
  const Clock::time_point deadline = Clock::now() + timeLimit;
  for (;;) {
    int code;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      code = mbedtls_ssl_handshake(session_->ssl.get());
      established_ = code == 0;
    }
    if (code == 0) return true;
    if (session_->pinRefused) {
      *error = "the server's certificate does not have the expected fingerprint";
      return false;
    }
    if (!MustWait(code)) {
      *error = MbedError("the TLS handshake", code);
      return false;
    }
    if (cancel) {
      *error = "the TLS handshake was cancelled";
      return false;
    }
    if (Clock::now() >= deadline) {
      *error = "the TLS handshake did not finish in time";
      return false;
    }
    if (code == MBEDTLS_ERR_SSL_WANT_READ)
      transport_->WaitReadable(WaitMs(deadline));
    else
      transport_->WaitWritable(WaitMs(deadline));
  }
}

// CheckPin has passed the certificate already; this looks again at the one
// the session kept, so that no path through the handshake skips the pin.
bool TlsStream::PinnedCertificateMatches() {
  std::lock_guard<std::mutex> lock(mutex_);
  const mbedtls_x509_crt* peer = mbedtls_ssl_get_peer_cert(session_->ssl.get());
  if (!peer || mbedtls_ssl_get_verify_result(session_->ssl.get()) != 0) return false;
  CertificateFingerprint got = FingerprintOf(peer->raw.p, peer->raw.len);
  return EqualInConstantTime(got.data(), session_->expected.data(), got.size());
}

int TlsStream::TrySend(const uint8_t* data, size_t length) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (failed_) return kFailed;
  int code = mbedtls_ssl_write(session_->ssl.get(), data, length);
  recordPending_ = code == MBEDTLS_ERR_SSL_WANT_WRITE;
  if (code > 0) return code;
  if (MustWait(code)) return kWouldBlock;
  failed_ = true;
  return kFailed;
}

int TlsStream::TryReceive(uint8_t* buffer, size_t capacity) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (peerClosed_) return 0;
  if (failed_) return kFailed;
  session_->transport.reading = true;
  int code = mbedtls_ssl_read(session_->ssl.get(), buffer, capacity);
  session_->transport.reading = false;
  if (code > 0) return code;
  if (code == MBEDTLS_ERR_SSL_PEER_CLOSE_NOTIFY) {
    peerClosed_ = true;
    return 0;
  }
  if (MustWait(code)) return kWouldBlock;
  failed_ = true;  // mbed TLS's session is not to be used after an error
  return kFailed;
}

bool TlsStream::WaitReadable(int timeoutMs) {
  {
    // Bytes mbed TLS holds already would never wake a wait on the transport.
    std::lock_guard<std::mutex> lock(mutex_);
    if (peerClosed_ || mbedtls_ssl_check_pending(session_->ssl.get())) return true;
  }
  return transport_->WaitReadable(timeoutMs);
}

bool TlsStream::WaitWritable(int timeoutMs) { return transport_->WaitWritable(timeoutMs); }

void TlsStream::Close() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (established_ && !failed_) SendCloseNotify(lock);
  established_ = false;
  transport_->Close();
}

// With a record half sent, mbed TLS's close_notify call only finishes that
// record and reports success; the alert itself goes with the next call.
void TlsStream::SendCloseNotify(std::unique_lock<std::mutex>& lock) {
  const Clock::time_point deadline = Clock::now() + kCloseNotifyTime;
  int calls = recordPending_ ? 2 : 1;
  while (calls > 0) {
    int code = mbedtls_ssl_close_notify(session_->ssl.get());
    if (code == 0) {
      --calls;
      continue;
    }
    if (code != MBEDTLS_ERR_SSL_WANT_WRITE || Clock::now() >= deadline) return;
    lock.unlock();
    transport_->WaitWritable(WaitMs(deadline));
    lock.lock();
  }
}

std::string TlsStream::Description() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::string(mbedtls_ssl_get_version(session_->ssl.get())) + ", " +
         mbedtls_ssl_get_ciphersuite(session_->ssl.get());
}
