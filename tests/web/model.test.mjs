// The browser viewer's module against the native viewer model: the same
// recorded link bytes (zk_web_streams), split into chunks as a WebSocket
// may deliver them, must give the same result for every event and the same
// picture to the byte. Needs ZK_WASM_DIR (the built module) and
// ZK_WEB_STREAMS (the recorded streams); ctest sets both.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';

const require = createRequire(import.meta.url);
const wasmDir = process.env.ZK_WASM_DIR;
const streamsDir = process.env.ZK_WEB_STREAMS;
const webDir = join(fileURLToPath(import.meta.url), '../../../web');
const { ModelCore } = require(join(webDir, 'model-core.js'));

async function loadModule() {
  const create = require(join(wasmDir, 'zkviewer.js'));
  // This emscripten fetches by URL unless it is handed the bytes.
  return create({ wasmBinary: readFileSync(join(wasmDir, 'zkviewer.wasm')) });
}

function readExpected(name) {
  const bytes = readFileSync(join(streamsDir, `${name}.expected`));
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  const count = view.getUint32(0, true);
  const results = [...bytes.subarray(4, 4 + count)];
  const width = view.getUint32(4 + count, true);
  const height = view.getUint32(8 + count, true);
  return { results, width, height, pixels: bytes.subarray(12 + count) };
}

// Chunk sizes from a fixed seed: the same run every time.
function* chunks(data, largest) {
  let seed = 12345;
  for (let at = 0; at < data.length;) {
    seed = (seed * 1103515245 + 12345) >>> 0;
    const size = 1 + (seed % largest);
    yield data.subarray(at, at + size);
    at += size;
  }
}

function play(core, pieces) {
  const results = [];
  for (const piece of pieces) {
    assert.ok(core.feed(piece), core.framingError());
    while (core.next() >= 0) results.push(core.apply());
  }
  return results;
}

const module = await loadModule();

// A model for a recorded stream, which starts after the join.
function linked() {
  const core = new ModelCore(module);
  core.skipJoin();
  return core;
}

function frame(type, payload) {
  const bytes = Buffer.alloc(8 + payload.length);
  bytes.writeUInt32LE(type, 0);
  bytes.writeUInt32LE(payload.length, 4);
  payload.copy(bytes, 8);
  return bytes;
}

for (const name of ['mixed', 'scroll']) {
  const link = readFileSync(join(streamsDir, `${name}.link`));
  const expected = readExpected(name);
  for (const [split, pieces] of [
    ['in one piece', () => [link]],
    ['in chunks of up to 64 KiB', () => chunks(link, 65536)],
    ['in chunks of up to 13 bytes', () => chunks(link, 13)],
  ]) {
    test(`the ${name} stream ${split} gives the native model's results and picture`, () => {
      const core = linked();
      try {
        assert.deepEqual(play(core, pieces()), expected.results);
        assert.equal(core.width(), expected.width);
        assert.equal(core.height(), expected.height);
        assert.ok(Buffer.from(core.picture()).equals(expected.pixels), 'pictures differ');
      } finally {
        core.free();
      }
    });
  }
}

test('the mixed stream refuses the corrupt update and ignores the stale one', () => {
  const results = readExpected('mixed').results;
  assert.deepEqual(results.slice(-2), [2, 1]);
  assert.ok(results.slice(0, -2).every((r) => r === 0));
});

test('a rectangle handed to the page is the picture, top-down, in RGBA', () => {
  const core = linked();
  try {
    play(core, [readFileSync(join(streamsDir, 'mixed.link'))]);
    const [w, h] = [core.width(), core.height()];
    const picture = core.picture();
    const rgba = core.rgba(5, 7, 40, 30);
    for (const [x, y] of [[0, 0], [39, 0], [0, 29], [17, 11]]) {
      const from = ((h - 1 - (7 + y)) * w + 5 + x) * 3;
      const to = (y * 40 + x) * 4;
      assert.deepEqual([...rgba.subarray(to, to + 4)],
        [picture[from + 2], picture[from + 1], picture[from], 255]);
    }
    assert.equal(core.rgba(w - 10, 0, 11, 1), null);
  } finally {
    core.free();
  }
});

test('the first changes cover the whole picture, the pointer and nothing more', () => {
  const core = linked();
  try {
    play(core, [readFileSync(join(streamsDir, 'scroll.link'))]);
    const changes = core.takeChanges();
    assert.deepEqual(changes.rects, [{ left: 0, top: 0, right: 1920, bottom: 1080 }]);
    assert.equal(core.takeChanges().rects.length, 0);
    assert.equal(core.pointer(), null);
  } finally {
    core.free();
  }
});

test('a frame of a type no one defines breaks the stream for good', () => {
  const core = linked();
  try {
    const frame = new Uint8Array([0x77, 0x77, 0, 0, 0, 0, 0, 0]);
    assert.equal(core.feed(frame), false);
    assert.match(core.framingError(), /unknown event type/);
    assert.equal(core.feed(new Uint8Array(8)), false);
  } finally {
    core.free();
  }
});

test('the frames the page sends are the protocol\'s, header first', () => {
  const core = new ModelCore(module);
  try {
    const join = core.joinFrame(new Uint8Array(32).fill(9), 'browser');
    const header = new DataView(join.buffer);
    assert.equal(header.getUint32(0, true), 0x104);
    assert.equal(header.getUint32(4, true), 4 + 32 + 1 + 7);
    assert.equal(header.getUint32(8, true), core.joinVersion());
    assert.equal(join[8 + 36], 7);
    const mouse = new DataView(core.mouseFrame(5, 0x201, 1, 300, -2).buffer);
    assert.deepEqual([0, 4, 8, 12, 16].map((o) => mouse.getUint32(o, true)), [3, 16, 5, 0x201, 1]);
    assert.equal(mouse.getInt16(20, true), 300);
    assert.equal(mouse.getInt16(22, true), -2);
    const key = new DataView(core.keyFrame(5, 0x100, 0x41, 0x1E0000).buffer);
    assert.deepEqual([0, 4, 8, 12, 16, 20].map((o) => key.getUint32(o, true)), [4, 16, 5, 0x100, 0x41, 0x1E0000]);
    assert.deepEqual([...core.requestFrame()], [0, 1, 0, 0, 0, 0, 0, 0]);
  } finally {
    core.free();
  }
});

test('before the join is answered a frame longer than any join frame breaks the stream', () => {
  const core = new ModelCore(module);
  try {
    assert.equal(core.feed(frame(0x103, Buffer.alloc(200))), false);
    assert.match(core.framingError(), /payload of 200 bytes/);
  } finally {
    core.free();
  }
});

test('the bytes after the welcome are the link\'s, in the same piece', () => {
  const core = new ModelCore(module);
  try {
    const link = readFileSync(join(streamsDir, 'scroll.link'));
    const welcome = Buffer.alloc(4);
    welcome.writeUInt32LE(3);
    assert.ok(core.feed(Buffer.concat([frame(0x103, Buffer.alloc(36)), frame(0x105, welcome),
      link.subarray(0, 100000)])), core.framingError());
    assert.equal(core.next(), 0x103);
    assert.equal(core.challenge().version, 0);
    assert.equal(core.next(), 0x105);
    assert.equal(core.welcome(), 3);
    assert.equal(core.next(), 0);  // the display format
    assert.equal(core.apply(), 0);
  } finally {
    core.free();
  }
});
