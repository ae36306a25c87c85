#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ByteStream.h"
#include "NatsParser.h"
#include "NatsUrl.h"
#include "TlsIdentity.h"

// What a NatsConnection is configured with.
struct NatsOptions {
  // Tried in turn; the servers' own announced addresses are added as they come.
  std::vector<NatsServerAddress> servers;
  std::string name = "zkhost";
  // A tls:// server, or one that requires TLS, must present the certificate
  // with this SHA-256 fingerprint (the same pinning as the direct link; no
  // certificate authority is consulted). Without a pin, TLS is refused.
  bool pinned = false;
  CertificateFingerprint pin = {};
  // What may wait to be sent; beyond it a publish is refused, not queued.
  size_t maxPendingBytes = 16 * 1024 * 1024;
  // From the start of the TCP connection to the server's answer to CONNECT.
  std::chrono::milliseconds handshakeTimeLimit{5000};
  // Between rounds in which every known server failed.
  std::chrono::milliseconds reconnectWait{250};
  // Silence this long sends a PING; two PINGs unanswered end the link.
  std::chrono::milliseconds pingInterval{20000};
};

// A change of the connection's state, for the owner's log and decisions.
struct NatsStatus {
  enum class Kind { kConnected, kConnectFailed, kDisconnected, kServerError };
  Kind kind;
  std::string server;  // NatsServerAddress::Describe(), no credentials
  std::string text;    // why, for a failure or a server's -ERR
};

// NatsConnection: a NATS client over zkhost's own byte streams (TCP, or
// TLS for tls:// or a server that requires it). It connects to the first
// server of its list that answers, presents the credentials of that address,
// subscribes again to everything it was subscribed to, and on any failure
// moves to the next server of the list, to which the servers' announced
// cluster members are added. Publishes are queued in a bounded buffer and
// refused while no link is up: the caller learns what was not sent instead
// of it being sent late.
//
// Owned by its creator. Threads: two of its own, one reading (it connects,
// parses, answers PINGs and calls both handlers) and one writing what is
// queued. Publish, Subscribe, Unsubscribe, Flush, WaitConnected and the
// getters may be called from any thread, the handlers' included, except
// Flush and WaitConnected, which wait for the reading thread and so must not
// be called from a handler. Stop (and the destructor) from the owner's thread.
class NatsConnection : private NatsParserSink {
 public:
  // Called on the reading thread; the views last until it returns.
  using MessageHandler = std::function<void(const NatsDelivery&)>;
  using StatusHandler = std::function<void(const NatsStatus&)>;
  enum class PublishResult { kQueued, kNotConnected, kTooLarge, kBackedUp, kBadSubject };

  NatsConnection(NatsOptions options, MessageHandler onMessage, StatusHandler onStatus);
  ~NatsConnection() override;
  NatsConnection(const NatsConnection&) = delete;
  NatsConnection& operator=(const NatsConnection&) = delete;

  void Start();
  void Stop();
  bool WaitConnected(std::chrono::milliseconds timeout);
  // A subscription id, kept across reconnections; 0 for an invalid subject.
  uint64_t Subscribe(std::string_view subject);
  void Unsubscribe(uint64_t sid);
  // kTooLarge when over the server's max_payload: callers split.
  PublishResult Publish(std::string_view subject, const uint8_t* data, size_t length);
  // True once the server has answered a PING sent after everything queued
  // before it, i.e. has processed it all.
  bool Flush(std::chrono::milliseconds timeout);
  bool Connected() const;
  // The current server's max_payload (within the parser's cap); 0 when down.
  size_t MaxPayload() const;
  std::string CurrentServer() const;

 private:
  using Clock = std::chrono::steady_clock;

  void ReadThread();
  void WriteThread();
  const NatsServerAddress& NextServer();
  bool ServeServer(const NatsServerAddress& address, std::string* why);
  std::unique_ptr<ByteStream> Open(const NatsServerAddress& address, NatsParser& parser, std::string* why);
  std::unique_ptr<ByteStream> StartTls(std::unique_ptr<ByteStream> stream, Clock::time_point deadline,
                                       std::string* why);
  bool ReadUntil(ByteStream& stream, NatsParser& parser, Clock::time_point deadline,
                 const std::function<bool()>& done, std::string* why);
  int ReceiveInto(ByteStream& stream, NatsParser& parser, std::string* why);
  std::string SubscriptionsForHandshake();
  void BringUp(ByteStream& stream, const NatsServerAddress& address);
  void Serve(ByteStream& stream, NatsParser& parser, std::string* why);
  bool KeepAlive();
  void QueueReplies();
  void TearDown();
  void AddAnnouncedServers(const NatsServerInfo& info);
  void Report(NatsStatus::Kind kind, const NatsServerAddress& address, std::string text);

  void OnInfo(const NatsServerInfo& info) override;
  void OnMessage(const NatsDelivery& message) override;
  void OnPing() override;
  void OnPong() override;
  void OnServerError(std::string_view text) override;

  const NatsOptions options_;
  const MessageHandler onMessage_;
  const StatusHandler onStatus_;
  std::thread reader_;
  std::thread writer_;
  std::atomic<bool> stop_{false};
  // Set to end the current link: by Stop, by the writer when sending failed,
  // and by the reader as it takes the link down.
  std::atomic<bool> linkCancel_{false};

  // The reading thread's own.
  std::vector<NatsServerAddress> servers_;
  size_t nextServer_ = 0;
  NatsServerAddress current_;
  bool live_ = false;  // past the handshake
  bool infoSeen_ = false;
  bool serverWantsTls_ = false;
  int handshakePongs_ = 0;
  std::string serverError_;  // a -ERR during the handshake
  std::string replies_;      // PONGs owed to the server

  mutable std::mutex mutex_;
  std::condition_variable changed_;  // any of the below changed
  bool linkUp_ = false;
  uint64_t epoch_ = 0;  // counts links taken down
  ByteStream* stream_ = nullptr;
  std::string pending_;
  size_t inFlight_ = 0;  // what the writer took and is sending
  bool writerBusy_ = false;
  uint64_t pingsQueued_ = 0;
  uint64_t pongsReceived_ = 0;
  size_t maxPayload_ = 0;
  std::string serverName_;
  std::map<uint64_t, std::string> subscriptions_;
  uint64_t nextSid_ = 1;
  uint64_t sentInHandshake_ = 0;  // sids up to this were sent with CONNECT
};
