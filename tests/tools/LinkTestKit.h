#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "TlsStream.h"
#ifdef _WIN32
#include "TcpSocket.h"
using LoopbackSocket = TcpSocket;
#else
#include "PosixSocket.h"
using LoopbackSocket = PosixSocket;
#endif

// Two ends of one TCP connection over loopback, on a port the system chose.
struct SocketPair {
  std::unique_ptr<LoopbackSocket> server;
  std::unique_ptr<LoopbackSocket> client;
};

inline SocketPair ConnectLoopback() {
  std::string error;
  LoopbackSocket listener = LoopbackSocket::Listen(0, &error);
  SocketPair pair;
  if (!listener.IsOpen()) return pair;
  pair.client.reset(new LoopbackSocket(LoopbackSocket::Connect("127.0.0.1", listener.LocalPort(), &error)));
  std::atomic<bool> never{false};
  pair.server.reset(new LoopbackSocket(listener.Accept(never)));
  return pair;
}

// Both ends' handshakes at once, the server's on a thread of its own. A
// stream is null when its side failed, and its error says why.
struct TlsPair {
  std::unique_ptr<TlsStream> server;
  std::unique_ptr<TlsStream> client;
  std::string serverError;
  std::string clientError;
};

inline TlsPair Handshake(std::unique_ptr<ByteStream> serverEnd, std::unique_ptr<ByteStream> clientEnd,
                         const TlsIdentity& identity, const CertificateFingerprint& expected,
                         std::chrono::milliseconds timeLimit = std::chrono::seconds(30)) {
  TlsPair pair;
  std::atomic<bool> never{false};
  std::thread server([&] {
    pair.server = TlsStream::Accept(std::move(serverEnd), identity, timeLimit, never, &pair.serverError);
  });
  pair.client = TlsStream::Connect(std::move(clientEnd), expected, timeLimit, never, &pair.clientError);
  server.join();
  return pair;
}

inline TlsPair Handshake(const TlsIdentity& identity, const CertificateFingerprint& expected) {
  SocketPair sockets = ConnectLoopback();
  return Handshake(std::move(sockets.server), std::move(sockets.client), identity, expected);
}
