#include "NatsTransport.h"

#include "PosixSocket.h"

std::unique_ptr<ByteStream> ConnectNatsTransport(const std::string& host, uint16_t port, std::string* error) {
  auto socket = std::make_unique<PosixSocket>(PosixSocket::Connect(host, port, error));
  if (!socket->IsOpen()) return nullptr;
  return socket;
}
