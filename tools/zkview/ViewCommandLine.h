#pragma once

#include <cstdint>
#include <string>

// What zkview was asked to do, as its command line says it:
//
//   zkview (--connect HOST:PORT | --nats URL[,URL...] --session NAME)
//          [--invite CODE] [--bridge] [--name NAME] [--seconds S]
//          [--connect-seconds S] [--save FILE.png]
//
// Portable, no state; parsed once on the main thread and passed down.
struct ViewCommandLine {
  // --connect: a presenter's host directly.
  bool direct = false;
  std::string host;
  uint16_t port = 0;
  // --nats: a session named on NATS servers instead.
  std::string natsServers;  // as given, comma-separated
  std::string session;

  std::string invite;     // the presenter's invitation (key and certificate)
  bool bridge = false;    // a presenter's plain loopback bridge port: no TLS
  std::string name;       // what the presenter's person sees this viewer as
  double seconds = 0;     // 0: until the presenter ends the session
  double connectSeconds = 5;  // the presenter may still be starting
  std::string savePath;   // empty: no PNG
};

// False, with `error` saying why, for a line that names no way to reach a
// session, both ways, an unknown option or a value that does not parse.
bool ParseViewCommandLine(int argc, const char* const* argv, ViewCommandLine* line,
                          std::string* error);

const char* ViewUsage();
