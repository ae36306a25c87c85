#include "PresenterJoin.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <unistd.h>

#include "Invitation.h"
#include "JoinHandshake.h"
#include "PeerLimits.h"
#include "PosixSocket.h"
#include "TlsStream.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr auto kConnectRetry = std::chrono::milliseconds(100);

Clock::time_point After(double seconds) {
  return Clock::now() +
         std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

std::unique_ptr<ByteStream> ConnectWithin(const ViewCommandLine& line, std::string* error) {
  const Clock::time_point giveUp = After(line.connectSeconds);
  for (;;) {
    auto socket = std::make_unique<PosixSocket>(PosixSocket::Connect(line.host, line.port, error));
    if (socket->IsOpen()) return socket;
    if (Clock::now() >= giveUp) return nullptr;
    // Nothing to wait on: the presenter is not listening yet.
    std::this_thread::sleep_for(kConnectRetry);
  }
}

std::string Where(const ViewCommandLine& line) {
  return line.host + ":" + std::to_string(line.port);
}
}  // namespace

std::unique_ptr<ByteStream> JoinPresenterDirectly(const ViewCommandLine& line, std::string* error) {
  Invitation invitation;
  if (!ParseInvitation(line.invite, &invitation)) {
    *error = "not an invitation: " + line.invite;
    return nullptr;
  }
  std::unique_ptr<ByteStream> stream = ConnectWithin(line, error);
  if (!stream) {
    *error = "cannot reach " + Where(line) + ": " + *error;
    return nullptr;
  }
  const std::atomic<bool> never{false};
  const Clock::time_point deadline = After(kJoinSeconds);
  if (!line.bridge) {
    const auto limit = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    stream = TlsStream::Connect(std::move(stream), invitation.fingerprint, limit, never, error);
    if (!stream) {
      *error = "no secure link to " + Where(line) + ": " + *error;
      return nullptr;
    }
  }
  const std::string name = line.name.empty() ? "zkview-" + std::to_string(getpid()) : line.name;
  uint32_t viewerNumber = 0;
  if (!JoinPresenter(*stream, invitation.key, name, JoinLimits{deadline, &never}, &viewerNumber,
                     error)) {
    *error = "not admitted by " + Where(line) + ": " + *error;
    return nullptr;
  }
  return stream;
}
