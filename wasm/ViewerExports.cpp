// The module's C surface for the page's worker (web/model-worker.js). Every
// pointer handed out points into the module's memory and is read through a
// view of it before the next call; numbers that do not fit go through the
// two-word scratch area (zkv_scratch). Parsers return -1 for a payload that
// is not exactly the message.
#include <emscripten/emscripten.h>

#include <cstring>

#include "WebViewer.h"
#include "events/ControlTokenMessages.h"
#include "events/InputMessages.h"
#include "events/JoinMessages.h"

namespace {
int32_t scratch[2];

template <typename Message>
bool ParseExactly(const ReceivedEvent& event, Message* message) {
  const uint32_t size = static_cast<uint32_t>(event.payload.size());
  return ParseMessage(event.payload.data(), size, message) && MessageSize(*message) == size;
}

template <typename Message>
int32_t Frame(WebViewer* v, uint32_t type, const Message& message) {
  return static_cast<int32_t>(v->BuildFrame(type, message).size());
}
}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE WebViewer* zkv_create() { return new WebViewer(); }
EMSCRIPTEN_KEEPALIVE void zkv_free(WebViewer* v) { delete v; }
EMSCRIPTEN_KEEPALIVE int32_t* zkv_scratch() { return scratch; }

// Received bytes: write `size` of them at zkv_input, then zkv_feed.
EMSCRIPTEN_KEEPALIVE uint8_t* zkv_input(WebViewer* v, uint32_t size) { return v->InputBuffer(size); }
EMSCRIPTEN_KEEPALIVE int32_t zkv_feed(WebViewer* v, uint32_t size) { return v->Feed(size); }
EMSCRIPTEN_KEEPALIVE void zkv_skip_join(WebViewer* v) { v->SkipJoin(); }
// 1 when no frame was begun and not finished: a stream closed now ended cleanly.
EMSCRIPTEN_KEEPALIVE int32_t zkv_at_frame_boundary(WebViewer* v) { return v->AtFrameBoundary(); }
EMSCRIPTEN_KEEPALIVE const char* zkv_framing_error(WebViewer* v) {
  return v->FramingError().c_str();
}

// The next completed event: its type, or -1 when none is left.
EMSCRIPTEN_KEEPALIVE int32_t zkv_next(WebViewer* v) {
  return v->Next() ? static_cast<int32_t>(v->Current().type) : -1;
}
EMSCRIPTEN_KEEPALIVE const uint8_t* zkv_payload(WebViewer* v) { return v->Current().payload.data(); }
EMSCRIPTEN_KEEPALIVE uint32_t zkv_payload_size(WebViewer* v) {
  return static_cast<uint32_t>(v->Current().payload.size());
}
// 0 applied, 1 ignored, 2 refused (ViewerEventResult).
EMSCRIPTEN_KEEPALIVE int32_t zkv_apply(WebViewer* v) { return static_cast<int32_t>(v->ApplyCurrent()); }

// The join exchange. A challenge gives its version, its nonce at
// zkv_payload + 4.
EMSCRIPTEN_KEEPALIVE int32_t zkv_challenge_version(WebViewer* v) {
  ChallengeMessage challenge;
  return ParseExactly(v->Current(), &challenge) ? static_cast<int32_t>(challenge.version) : -1;
}
EMSCRIPTEN_KEEPALIVE int32_t zkv_welcome_viewer(WebViewer* v) {
  WelcomeMessage welcome;
  return ParseExactly(v->Current(), &welcome) ? static_cast<int32_t>(welcome.viewer) : -1;
}
EMSCRIPTEN_KEEPALIVE int32_t zkv_refusal_reason(WebViewer* v) {
  RefusedMessage refused;
  return ParseExactly(v->Current(), &refused) ? refused.reason : -1;
}
EMSCRIPTEN_KEEPALIVE int32_t zkv_join_version() { return kJoinVersion; }
EMSCRIPTEN_KEEPALIVE int32_t zkv_max_name_size() { return kMaxViewerNameSize; }

// The token service's grant: 1 with the token in scratch[0], or -1.
EMSCRIPTEN_KEEPALIVE int32_t zkv_grant_token(WebViewer* v) {
  ControlGrantMessage grant;
  if (!ParseExactly(v->Current(), &grant)) return -1;
  scratch[0] = static_cast<int32_t>(grant.token);
  return 1;
}

// Frames to send: each returns its size, its bytes at zkv_out.
EMSCRIPTEN_KEEPALIVE const uint8_t* zkv_out(WebViewer* v) { return v->Out().data(); }
EMSCRIPTEN_KEEPALIVE int32_t zkv_join_frame(WebViewer* v, const uint8_t* proof, const uint8_t* name,
                                            uint32_t nameLength) {
  if (nameLength > kMaxViewerNameSize) nameLength = kMaxViewerNameSize;
  return Frame(v, ZKH_JOIN,
               JoinMessage{kJoinVersion, proof, static_cast<uint8_t>(nameLength), name});
}
EMSCRIPTEN_KEEPALIVE int32_t zkv_request_frame(WebViewer* v) {
  return Frame(v, ZKH_REQUESTCONTROL, ControlRequestMessage{});
}
EMSCRIPTEN_KEEPALIVE int32_t zkv_release_frame(WebViewer* v) {
  return Frame(v, ZKH_RELEASECONTROL, ControlReleaseMessage{});
}
EMSCRIPTEN_KEEPALIVE int32_t zkv_mouse_frame(WebViewer* v, uint32_t token, uint32_t message,
                                             uint32_t wParam, int32_t x, int32_t y) {
  const PackedPoint point{static_cast<int16_t>(x), static_cast<int16_t>(y)};
  return Frame(v, ZKP_MOUSEUPDATE, MouseMessage{token, message, wParam, point});
}
EMSCRIPTEN_KEEPALIVE int32_t zkv_key_frame(WebViewer* v, uint32_t token, uint32_t message,
                                           uint32_t wParam, uint32_t lParam) {
  return Frame(v, ZKP_KEYBOARDUPDATE, KeyboardMessage{token, message, wParam, lParam});
}

// The picture: its size, its raw bytes (PictureView), RGBA of a rectangle.
EMSCRIPTEN_KEEPALIVE int32_t zkv_width(WebViewer* v) { return v->Model().Picture().width; }
EMSCRIPTEN_KEEPALIVE int32_t zkv_height(WebViewer* v) { return v->Model().Picture().height; }
EMSCRIPTEN_KEEPALIVE const uint8_t* zkv_picture(WebViewer* v) { return v->Model().Picture().pixels; }
EMSCRIPTEN_KEEPALIVE const uint8_t* zkv_rgba(WebViewer* v, int32_t left, int32_t top, int32_t width,
                                             int32_t height) {
  return v->Rgba(left, top, width, height);
}

// Changes since the last call: bits (WebViewer.h), zkv_rect_count
// rectangles of four words at zkv_rects.
EMSCRIPTEN_KEEPALIVE uint32_t zkv_take_changes(WebViewer* v) { return v->TakeChanges(); }
EMSCRIPTEN_KEEPALIVE int32_t zkv_rect_count(WebViewer* v) {
  return static_cast<int32_t>(v->Rects().size() / 4);
}
EMSCRIPTEN_KEEPALIVE const int32_t* zkv_rects(WebViewer* v) { return v->Rects().data(); }

// The presenter's pointer: 1 with x, y in scratch, 0 before any.
EMSCRIPTEN_KEEPALIVE int32_t zkv_pointer(WebViewer* v) {
  return v->Model().GetPointer(&scratch[0], &scratch[1]) ? 1 : 0;
}
// Marks: six words each (WebViewer::MarkFields), their count in scratch[0].
EMSCRIPTEN_KEEPALIVE const int32_t* zkv_mark_fields(WebViewer* v) {
  const std::vector<int32_t>& fields = v->MarkFields();
  scratch[0] = static_cast<int32_t>(fields.size() / 6);
  return fields.data();
}
EMSCRIPTEN_KEEPALIVE int32_t zkv_annotation_mode(WebViewer* v) {
  return v->Model().IsAnnotationModeOn() ? 1 : 0;
}
}
