#include "NatsJoin.h"

std::unique_ptr<ByteStream> JoinThroughNats(const ViewCommandLine&, int* exitCode,
                                            std::string* error) {
  *exitCode = 2;
  *error = "NATS not available in this build";
  return nullptr;
}
