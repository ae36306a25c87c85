#include "HostEvents.h"

#include <windows.h>

namespace {
uint32_t Remaining(DWORD start, uint32_t timeoutMs) {
  DWORD spent = GetTickCount() - start;
  return spent >= timeoutMs ? 0 : timeoutMs - spent;
}
}  // namespace

uint32_t ReadU32(const Bytes& bytes, size_t offset) {
  if (offset + 4 > bytes.size()) return 0;
  return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
         static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

uint16_t ReadU16(const Bytes& bytes, size_t offset) {
  if (offset + 2 > bytes.size()) return 0;
  return static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

void AppendU32(Bytes* bytes, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) bytes->push_back(static_cast<uint8_t>(value >> shift));
}

void AppendU16(Bytes* bytes, uint16_t value) {
  bytes->push_back(static_cast<uint8_t>(value));
  bytes->push_back(static_cast<uint8_t>(value >> 8));
}

EventList TakeQueuedEvents(const ZKApi& zk) {
  EventList taken;
  HostEvent event;
  while (zk.GetQueuedEvent(&event)) {
    taken.push_back(ReceivedEvent{event.type, Bytes(event.payload, event.payload + event.size)});
    if (event.payload) GlobalFree(event.payload);
  }
  return taken;
}

bool CollectUntil(const ZKApi& zk, EventList* events,
                  const std::function<bool(const EventList&)>& done, uint32_t timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    EventList more = TakeQueuedEvents(zk);
    events->insert(events->end(), more.begin(), more.end());
    if (done(*events)) return true;
    uint32_t left = Remaining(start, timeoutMs);
    if (left == 0) return false;
    zk.WaitForEvents(left);
  }
}

EventList OfType(const EventList& events, uint32_t type) {
  EventList selected;
  for (const ReceivedEvent& e : events)
    if (e.type == type) selected.push_back(e);
  return selected;
}

bool ParseFullUpdate(const Bytes& payload, FullUpdate* out) {
  if (payload.size() < 8) return false;
  out->tag = ReadU32(payload, 0);
  uint32_t recordBytes = ReadU32(payload, 4);
  if (recordBytes != payload.size() - 8) return false;
  out->records.clear();
  size_t at = 8;
  while (at < payload.size()) {
    if (payload.size() - at < 8) return false;
    uint32_t type = ReadU32(payload, at), size = ReadU32(payload, at + 4);
    at += 8;
    if (size > payload.size() - at) return false;
    out->records.push_back(ReceivedEvent{type, Bytes(payload.begin() + at, payload.begin() + at + size)});
    at += size;
  }
  return true;
}

Bytes DisplayFormatPayload(uint32_t token, uint16_t width, uint16_t height) {
  Bytes p;
  AppendU32(&p, token);
  AppendU16(&p, width);
  AppendU16(&p, height);
  return p;
}

Bytes DisplayUpdatePayload(uint32_t token, uint16_t left, uint16_t top, uint16_t width,
                           uint16_t height, const Bytes& stream) {
  Bytes p;
  AppendU32(&p, token);
  p.push_back(1);
  AppendU16(&p, left);
  AppendU16(&p, top);
  AppendU16(&p, width);
  AppendU16(&p, height);
  AppendU32(&p, static_cast<uint32_t>(stream.size()));
  p.insert(p.end(), stream.begin(), stream.end());
  p.push_back(0);
  return p;
}

Bytes PalettePayload(uint32_t token) {
  Bytes p;
  AppendU32(&p, token);
  for (uint32_t i = 0; i < 256; ++i) AppendU32(&p, i * 0x010101u);
  return p;
}

Bytes InputPayload(uint32_t token, uint32_t message, uint32_t wParam, uint32_t last) {
  Bytes p;
  AppendU32(&p, token);
  AppendU32(&p, message);
  AppendU32(&p, wParam);
  AppendU32(&p, last);
  return p;
}

Bytes AnnotationModePayload(uint32_t token, uint8_t on) {
  Bytes p;
  AppendU32(&p, token);
  p.push_back(on);
  return p;
}

Bytes HighlightPayload() {
  Bytes p(wire::kAnnotationSize, 0);
  p[0] = 0;  // highlight
  p[1] = 1;
  return p;
}

Bytes FullUpdatePayload(uint32_t tag, const EventList& records) {
  Bytes body;
  for (const ReceivedEvent& r : records) {
    AppendU32(&body, r.type);
    AppendU32(&body, static_cast<uint32_t>(r.payload.size()));
    body.insert(body.end(), r.payload.begin(), r.payload.end());
  }
  Bytes p;
  AppendU32(&p, tag);
  AppendU32(&p, static_cast<uint32_t>(body.size()));
  p.insert(p.end(), body.begin(), body.end());
  return p;
}

bool PostReceived(const ZKApi& zk, uint32_t type, const Bytes& payload, size_t missing) {
  size_t size = missing < payload.size() ? payload.size() - missing : 0;
  Bytes copy(payload.begin(), payload.begin() + size);
  HostEvent event = {type, static_cast<uint32_t>(size), size ? copy.data() : nullptr};
  return zk.PostEvent(&event) != 0;
}
