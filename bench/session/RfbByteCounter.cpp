// rfb_byte_counter: the viewer side of the session benchmark's comparison
// baseline. It connects to a VNC server as a client asking for 16-bit 5-6-5
// pixels (the precision the engine sends) in ZRLE, CopyRect or raw encoding,
// keeps asking for incremental updates, and counts the bytes it receives
// without decoding them.
//
//   rfb_byte_counter HOST PORT
//
// Prints "ready" once the first whole-screen update has arrived, then after
// every update a line "rfb seconds=T bytes=B updates=U" with running totals
// and a line "update at=U rects=X,Y,W,H;..." with the wall-clock time (Unix
// seconds) at which the update had arrived whole and the rectangles it
// covered, from which a script times each change on screen.
// Runs until the server closes the connection or the process is ended.

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

constexpr int32_t kEncodingRaw = 0;
constexpr int32_t kEncodingCopyRect = 1;
constexpr int32_t kEncodingZRLE = 16;
constexpr int32_t kEncodingDesktopSize = -223;
constexpr uint32_t kBytesPerPixel = 2;

class Connection {
 public:
  bool Open(const char* host, const char* port) {
    addrinfo hints = {}, *found = nullptr;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    if (getaddrinfo(host, port, &hints, &found) != 0) return false;
    fd_ = socket(found->ai_family, found->ai_socktype, found->ai_protocol);
    bool connected = fd_ >= 0 && connect(fd_, found->ai_addr, found->ai_addrlen) == 0;
    freeaddrinfo(found);
    return connected;
  }
  ~Connection() {
    if (fd_ >= 0) close(fd_);
  }
  bool Read(void* data, size_t length) {
    auto* p = static_cast<uint8_t*>(data);
    while (length > 0) {
      ssize_t n = recv(fd_, p, length, 0);
      if (n <= 0) return false;
      p += n, length -= static_cast<size_t>(n), received += static_cast<uint64_t>(n);
    }
    return true;
  }
  bool Skip(uint64_t length) {
    uint8_t buffer[65536];
    while (length > 0) {
      size_t chunk = length < sizeof buffer ? static_cast<size_t>(length) : sizeof buffer;
      if (!Read(buffer, chunk)) return false;
      length -= chunk;
    }
    return true;
  }
  bool Write(const void* data, size_t length) {
    return send(fd_, data, length, 0) == static_cast<ssize_t>(length);
  }
  uint8_t U8() {
    uint8_t v = 0;
    ok = ok && Read(&v, 1);
    return v;
  }
  uint16_t U16() {
    uint8_t b[2] = {};
    ok = ok && Read(b, 2);
    return static_cast<uint16_t>(b[0] << 8 | b[1]);
  }
  uint32_t U32() {
    uint8_t b[4] = {};
    ok = ok && Read(b, 4);
    return static_cast<uint32_t>(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3];
  }

  uint64_t received = 0;
  bool ok = true;

 private:
  int fd_ = -1;
};

void Put16(std::vector<uint8_t>& out, uint16_t v) { out.push_back(v >> 8), out.push_back(v & 0xFF); }
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

bool Handshake(Connection& c, uint16_t* width, uint16_t* height) {
  char version[12];
  if (!c.Read(version, sizeof version) || std::strncmp(version, "RFB 003.", 8) != 0) return false;
  if (!c.Write("RFB 003.008\n", 12)) return false;
  uint8_t count = c.U8();
  bool none = false;
  for (uint8_t i = 0; i < count; ++i) none |= c.U8() == 1;
  uint8_t choice = 1;
  if (!c.ok || !none || !c.Write(&choice, 1) || c.U32() != 0) return false;
  uint8_t shared = 1;
  if (!c.Write(&shared, 1)) return false;
  *width = c.U16();
  *height = c.U16();
  c.Skip(16);  // the server's pixel format: replaced below
  c.Skip(c.U32());
  if (!c.ok) return false;

  std::vector<uint8_t> m = {0, 0, 0, 0};  // SetPixelFormat
  m.insert(m.end(), {16, 16, 0, 1});      // 16 bits, depth 16, little-endian, true colour
  Put16(m, 31), Put16(m, 63), Put16(m, 31);
  m.insert(m.end(), {11, 5, 0, 0, 0, 0});
  m.insert(m.end(), {2, 0});  // SetEncodings
  Put16(m, 3);
  Put32(m, kEncodingZRLE), Put32(m, kEncodingCopyRect), Put32(m, kEncodingRaw);
  return c.Write(m.data(), m.size());
}

bool RequestUpdate(Connection& c, bool incremental, uint16_t width, uint16_t height) {
  std::vector<uint8_t> m = {3, static_cast<uint8_t>(incremental)};
  Put16(m, 0), Put16(m, 0), Put16(m, width), Put16(m, height);
  return c.Write(m.data(), m.size());
}

// Reads one server message; false when the stream ends or cannot be followed.
// The rectangles of an update are listed in `rects` as "X,Y,W,H;" each.
bool ReadMessage(Connection& c, bool* wasUpdate, std::string* rectList) {
  uint8_t type = c.U8();
  *wasUpdate = false;
  rectList->clear();
  switch (type) {
    case 0: {  // FramebufferUpdate
      c.U8();
      uint16_t rects = c.U16();
      for (uint16_t i = 0; i < rects && c.ok; ++i) {
        uint32_t x = c.U16(), y = c.U16();
        uint32_t w = c.U16(), h = c.U16();
        int32_t encoding = static_cast<int32_t>(c.U32());
        if (encoding != kEncodingDesktopSize)
          *rectList += std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(w) +
                       "," + std::to_string(h) + ";";
        if (encoding == kEncodingRaw) c.Skip(uint64_t(w) * h * kBytesPerPixel);
        else if (encoding == kEncodingCopyRect) c.Skip(4);
        else if (encoding == kEncodingZRLE) c.Skip(c.U32());
        else if (encoding != kEncodingDesktopSize) return false;
      }
      *wasUpdate = true;
      return c.ok;
    }
    case 1:  // SetColourMapEntries
      c.U8(), c.U16();
      return c.Skip(uint64_t(c.U16()) * 6) && c.ok;
    case 2:  // Bell
      return c.ok;
    case 3:  // ServerCutText
      c.Skip(3);
      return c.Skip(c.U32()) && c.ok;
    default:
      return false;
  }
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: rfb_byte_counter HOST PORT\n");
    return 2;
  }
  Connection c;
  uint16_t width = 0, height = 0;
  if (!c.Open(argv[1], argv[2]) || !Handshake(c, &width, &height)) {
    std::fprintf(stderr, "rfb_byte_counter: no RFB session with %s:%s\n", argv[1], argv[2]);
    return 1;
  }
  if (!RequestUpdate(c, false, width, height)) return 1;
  Clock::time_point start = Clock::now();
  uint64_t updates = 0;
  bool ready = false;
  for (;;) {
    bool wasUpdate = false;
    std::string rects;
    if (!ReadMessage(c, &wasUpdate, &rects)) break;
    double arrived =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    if (!wasUpdate) continue;
    ++updates;
    if (!ready) {
      std::printf("ready %ux%u\n", width, height);
      std::fflush(stdout);
      ready = true;
    }
    if (!RequestUpdate(c, true, width, height)) break;
    std::printf("update at=%.4f rects=%s\n", arrived, rects.c_str());
    std::printf("rfb seconds=%.2f bytes=%llu updates=%llu\n",
                std::chrono::duration<double>(Clock::now() - start).count(),
                static_cast<unsigned long long>(c.received),
                static_cast<unsigned long long>(updates));
    std::fflush(stdout);
  }
  std::printf("rfb seconds=%.2f bytes=%llu updates=%llu closed\n",
              std::chrono::duration<double>(Clock::now() - start).count(),
              static_cast<unsigned long long>(c.received), static_cast<unsigned long long>(updates));
  return 0;
}
