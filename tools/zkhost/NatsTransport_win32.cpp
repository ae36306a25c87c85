#include "NatsTransport.h"

#include "TcpSocket.h"

std::unique_ptr<ByteStream> ConnectNatsTransport(const std::string& host, uint16_t port, std::string* error) {
  auto socket = std::make_unique<TcpSocket>(TcpSocket::Connect(host, port, error));
  if (!socket->IsOpen()) return nullptr;
  return socket;
}
