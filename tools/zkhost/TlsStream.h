#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "ByteStream.h"
#include "TlsIdentity.h"

// TlsStream: TLS 1.2 (mbed TLS) over another ByteStream, for the links
// between zkhost processes. The presenter serves with its TlsIdentity; the
// viewer accepts the one certificate whose SHA-256 fingerprint it was given,
// whatever its names, dates or issuer, so that a man in the middle is refused
// without any certificate authority. ECDHE key exchange signed with ECDSA and
// AEAD ciphers only; no renegotiation, no session resumption. Both factories
// run the whole handshake within a time limit: a peer that stays silent,
// sends too slowly or sends what is not TLS is refused within it.
//
// Owns the stream it runs over and closes it. Threads: as ByteStream says,
// one sender and one receiver at once. mbed TLS's session is not for
// concurrent use, so every call into it is made under one lock; nothing waits
// for the network under that lock (the transport never blocks, and the waits
// happen outside it), so a receiver waiting for data never holds up a sender,
// nor the other way round. Close sends close_notify. The peer's close_notify
// reads as the end of the stream (0); a transport that ends without one fails
// the read instead, since that is what a cut connection looks like.
class TlsStream : public ByteStream {
 public:
  // The server's side; null (and `error` says why) when the handshake failed,
  // ran out of time or was cancelled. The transport is closed then.
  static std::unique_ptr<TlsStream> Accept(std::unique_ptr<ByteStream> transport, const TlsIdentity& identity,
                                           std::chrono::milliseconds timeLimit,
                                           const std::atomic<bool>& cancel, std::string* error);
  // The client's side: the handshake fails unless the server's certificate
  // hashes to `expected`.
  static std::unique_ptr<TlsStream> Connect(std::unique_ptr<ByteStream> transport,
                                            const CertificateFingerprint& expected,
                                            std::chrono::milliseconds timeLimit,
                                            const std::atomic<bool>& cancel, std::string* error);
  ~TlsStream() override;
  TlsStream(const TlsStream&) = delete;
  TlsStream& operator=(const TlsStream&) = delete;

  int TrySend(const uint8_t* data, size_t length) override;
  int TryReceive(uint8_t* buffer, size_t capacity) override;
  bool WaitReadable(int timeoutMs) override;
  bool WaitWritable(int timeoutMs) override;
  void Interrupt() override { transport_->Interrupt(); }
  void Close() override;

  // "TLSv1.2, TLS-ECDHE-ECDSA-WITH-CHACHA20-POLY1305-SHA256", for the host's log.
  std::string Description();

 private:
  struct Session;

  explicit TlsStream(std::unique_ptr<ByteStream> transport);
  bool Handshake(std::chrono::milliseconds timeLimit, const std::atomic<bool>& cancel, std::string* error);
  bool PinnedCertificateMatches();
  void SendCloseNotify(std::unique_lock<std::mutex>& lock);

  std::unique_ptr<ByteStream> transport_;
  std::unique_ptr<Session> session_;
  std::mutex mutex_;  // every call into session_'s TLS context, and the flags below
  bool established_ = false;
  bool peerClosed_ = false;
  bool failed_ = false;
  // A record that mbed TLS has sealed but not yet handed whole to the
  // transport: it goes out before anything else does.
  bool recordPending_ = false;
};
