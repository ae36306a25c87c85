#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "ByteStream.h"
#include "JoinAttempts.h"
#include "TcpSocket.h"
#include "TlsIdentity.h"

struct AdmissionOptions {
  uint16_t port = 5900;  // every address, TLS; 0 lets the system choose
  // The loopback address only, without TLS, when given; 0 lets the system
  // choose.
  std::optional<uint16_t> bridgePort;
  std::string joinKey;
  std::shared_ptr<const TlsIdentity> identity;
  int socketSendBuffer = 256 * 1024;
};

struct AdmissionFigures {
  uint64_t wrongKeys = 0;      // joins refused for their key
  uint64_t failedJoins = 0;    // TLS or join that failed, ran out of time or was given up
  uint64_t refusedConnections = 0;  // closed at once: too many admissions under way
};

// ViewerAdmission: who becomes a viewer of the presenter's session. It
// listens on every address with TLS under the presenter's identity and,
// when asked, on the loopback address without TLS for a bridge on this
// machine (a browser's WebSocket bridge). Each connection is admitted on a
// thread of its own: its TLS handshake, then the join key's challenge
// (JoinHandshake.h), within kJoinSeconds in all. One that proves the key is
// handed to the host, which welcomes it; any other is refused and closed,
// having seen nothing of the session. Wrong keys from one address slow that
// address down (JoinAttempts), and unfinished admissions are bounded
// (PeerLimits.h).
//
// Threads: Listen and Stop on the host's thread; one accepting thread per
// listener; the taker runs on admission threads, several at once.
class ViewerAdmission {
 public:
  struct Admitted {
    std::unique_ptr<ByteStream> stream;
    std::string name;
    std::string address;
  };
  // Takes an admitted viewer: welcomes it and serves it. False when the
  // host serves as many viewers as it can; the viewer is refused then.
  using Taker = std::function<bool(Admitted& viewer)>;

  ViewerAdmission(const AdmissionOptions& options, Taker taker);
  ~ViewerAdmission();
  ViewerAdmission(const ViewerAdmission&) = delete;
  ViewerAdmission& operator=(const ViewerAdmission&) = delete;

  bool Listen(std::string* error);
  uint16_t Port() const { return port_; }
  uint16_t BridgePort() const { return bridgePort_; }
  // Stops accepting, gives up every admission under way and waits for them.
  void Stop();
  AdmissionFigures Figures() const;

 private:
  struct Pending {
    std::atomic<bool> cancel{false};
    std::atomic<bool> done{false};
    std::chrono::steady_clock::time_point started;
    std::thread thread;
  };
  void AcceptLoop(TcpSocket* listener, bool tls);
  // Starts an admission, or refuses the connection when too many are under
  // way; the lock is on mutex_.
  void Begin(std::unique_lock<std::mutex>& lock, TcpSocket socket, bool tls);
  bool MakeRoom(std::unique_lock<std::mutex>& lock);
  void ReapFinished();
  void Admit(Pending& pending, TcpSocket socket, bool tls);
  void Judge(std::unique_ptr<ByteStream> stream, const std::string& address, Pending& pending);

  const AdmissionOptions options_;
  Taker taker_;
  TcpSocket listener_, bridgeListener_;
  uint16_t port_ = 0, bridgePort_ = 0;
  std::atomic<bool> stop_{false};
  std::thread acceptor_, bridgeAcceptor_;

  mutable std::mutex mutex_;  // the admissions under way, the attempts and the figures
  std::condition_variable finished_;  // an admission's thread is about to end
  std::list<std::unique_ptr<Pending>> pending_;
  JoinAttempts attempts_;
  AdmissionFigures figures_;
};
