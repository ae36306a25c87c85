#include "NatsJoin.h"

#include "NatsSessionStream.h"

std::unique_ptr<ByteStream> JoinThroughNats(const ViewCommandLine& line, int* exitCode,
                                            std::string* error) {
  *exitCode = 1;
  const std::string name = line.name.empty() ? "zkview" : line.name;
  return JoinNatsSession(line.natsServers, line.session, name, line.connectSeconds, error);
}
