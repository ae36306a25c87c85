// Feeds a NATS server's side of the protocol to the client's parser twice:
// whole, and cut in two at a point the first input byte chooses. Both must
// read the same events and fail (or not) the same way, since the parser is a
// state machine over bytes; no payload may exceed the limit in force; and
// every INFO must also parse on its own without reading outside its text.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "NatsParser.h"

namespace {

class Transcript : public NatsParserSink {
 public:
  std::vector<std::string> events;
  const NatsParser* parser = nullptr;  // the one feeding this transcript

  void OnInfo(const NatsServerInfo& info) override {
    if (info.connectUrls.size() > kNatsInfoMaxUrls || info.serverId.size() > kNatsInfoMaxString) std::abort();
    events.push_back("INFO " + info.serverId + std::to_string(info.maxPayload) +
                     std::to_string(info.connectUrls.size()));
  }
  void OnMessage(const NatsDelivery& m) override {
    if (m.length > parser->PayloadLimit() || m.length > NatsParser::kPayloadCap) std::abort();
    events.push_back("MSG " + std::string(m.subject) + " " + std::to_string(m.sid) + " " + std::string(m.replyTo) +
                     " " + std::string(reinterpret_cast<const char*>(m.data), m.length));
  }
  void OnPing() override { events.push_back("PING"); }
  void OnPong() override { events.push_back("PONG"); }
  void OnServerError(std::string_view text) override { events.push_back("ERR " + std::string(text)); }
};

struct Run {
  std::vector<std::string> events;
  bool ok;
  std::string error;
};

Run Parse(const uint8_t* data, size_t size, size_t cut) {
  Transcript transcript;
  NatsParser parser(transcript);
  transcript.parser = &parser;
  bool ok = parser.Feed(data, cut) && parser.Feed(data + cut, size - cut);
  return {transcript.events, ok, parser.Error()};
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t cut = size > 1 ? data[0] % size : 0;
  ++data;
  --size;
  Run whole = Parse(data, size, size);
  Run split = Parse(data, size, cut > size ? size : cut);
  if (whole.events != split.events || whole.ok != split.ok || whole.error != split.error) std::abort();
  NatsServerInfo info;
  ParseNatsServerInfo(std::string_view(reinterpret_cast<const char*>(data), size), &info);
  return 0;
}
