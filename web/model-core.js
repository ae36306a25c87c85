// ModelCore: the viewer model, the link's framing and the protocol's message
// writers as the WebAssembly module (zkviewer.js) gives them, with the
// module's memory read through fresh views (it may grow at any call). Every
// array it returns is a copy the caller owns. One instance per connection;
// used by the page's worker and by node's tests, one thread.
'use strict';

class ModelCore {
  constructor(module) {
    this.m = module;
    this.v = module._zkv_create();
  }

  free() {
    this.m._zkv_free(this.v);
    this.v = 0;
  }

  bytes(ptr, size) { return this.m.HEAPU8.slice(ptr, ptr + size); }
  words(ptr, count) { return this.m.HEAP32.slice(ptr >> 2, (ptr >> 2) + count); }
  scratch(count) { return this.words(this.m._zkv_scratch(), count); }
  text(ptr) {
    const heap = this.m.HEAPU8;
    let end = ptr;
    while (heap[end]) ++end;
    return new TextDecoder().decode(heap.subarray(ptr, end));
  }

  // Received bytes: false once the stream is malformed (framingError says why).
  feed(data) {
    const ptr = this.m._zkv_input(this.v, data.length);
    this.m.HEAPU8.set(data, ptr);
    return this.m._zkv_feed(this.v, data.length) === 1;
  }
  // For a stream that starts after the join (recorded streams, benchmarks).
  skipJoin() { this.m._zkv_skip_join(this.v); }
  framingError() { return this.text(this.m._zkv_framing_error(this.v)); }
  atFrameBoundary() { return this.m._zkv_at_frame_boundary(this.v) === 1; }

  // The type of the next completed event, or -1.
  next() { return this.m._zkv_next(this.v); }
  payloadSize() { return this.m._zkv_payload_size(this.v); }
  payload() { return this.bytes(this.m._zkv_payload(this.v), this.payloadSize()); }
  // Applies the current event to the model: 0 applied, 1 ignored, 2 refused.
  apply() { return this.m._zkv_apply(this.v); }

  // The current event read as a join message; null (or -1) when it is not one.
  challenge() {
    const version = this.m._zkv_challenge_version(this.v);
    if (version < 0) return null;
    return { version, nonce: this.payload().slice(4) };
  }
  welcome() { return this.m._zkv_welcome_viewer(this.v); }
  refusal() { return this.m._zkv_refusal_reason(this.v); }
  grant() { return this.m._zkv_grant_token(this.v) === 1 ? this.scratch(1)[0] >>> 0 : null; }
  joinVersion() { return this.m._zkv_join_version(); }

  out(size) { return this.bytes(this.m._zkv_out(this.v), size); }
  joinFrame(proof, name) {
    const nameBytes = new TextEncoder().encode(name).slice(0, this.m._zkv_max_name_size());
    const ptr = this.m._malloc(proof.length + nameBytes.length + 1);
    this.m.HEAPU8.set(proof, ptr);
    this.m.HEAPU8.set(nameBytes, ptr + proof.length);
    const size = this.m._zkv_join_frame(this.v, ptr, ptr + proof.length, nameBytes.length);
    this.m._free(ptr);
    return this.out(size);
  }
  requestFrame() { return this.out(this.m._zkv_request_frame(this.v)); }
  releaseFrame() { return this.out(this.m._zkv_release_frame(this.v)); }
  mouseFrame(token, message, wParam, x, y) {
    return this.out(this.m._zkv_mouse_frame(this.v, token, message, wParam, x, y));
  }
  keyFrame(token, message, wParam, lParam) {
    return this.out(this.m._zkv_key_frame(this.v, token, message, wParam, lParam));
  }

  width() { return this.m._zkv_width(this.v); }
  height() { return this.m._zkv_height(this.v); }
  // The picture as the model holds it: bottom-up rows of blue, green, red.
  picture() { return this.bytes(this.m._zkv_picture(this.v), this.width() * this.height() * 3); }
  // Top-down RGBA of a rectangle, as ImageData takes it.
  rgba(left, top, width, height) {
    const ptr = this.m._zkv_rgba(this.v, left, top, width, height);
    return ptr ? new Uint8ClampedArray(this.bytes(ptr, width * height * 4).buffer) : null;
  }

  // What changed since the last call.
  takeChanges() {
    const bits = this.m._zkv_take_changes(this.v);
    const count = this.m._zkv_rect_count(this.v);
    const fields = this.words(this.m._zkv_rects(this.v), count * 4);
    const rects = [];
    for (let i = 0; i < count; ++i) {
      const [left, top, right, bottom] = fields.subarray(i * 4, i * 4 + 4);
      rects.push({ left, top, right, bottom });
    }
    return {
      rects,
      pointer: (bits & 1) !== 0,
      marks: (bits & 2) !== 0,
      annotationMode: (bits & 4) !== 0,
      inputControlCancelled: (bits & 8) !== 0,
    };
  }
  pointer() {
    return this.m._zkv_pointer(this.v) ? { x: this.scratch(2)[0], y: this.scratch(2)[1] } : null;
  }
  marks() {
    const ptr = this.m._zkv_mark_fields(this.v);
    const count = this.scratch(1)[0];
    const fields = this.words(ptr, count * 6);
    const marks = [];
    for (let i = 0; i < count; ++i) {
      const [kind, left, top, right, bottom, colour] = fields.subarray(i * 6, i * 6 + 6);
      marks.push({ kind, left, top, right, bottom, colour: colour >>> 0 });
    }
    return marks;
  }
  annotationMode() { return this.m._zkv_annotation_mode(this.v) === 1; }
}

if (typeof module !== 'undefined') module.exports = { ModelCore };
