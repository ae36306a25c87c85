// The page's input as the presenter's library replays it: key messages with
// virtual key, scan code and the extended and release bits; mouse messages
// at picture coordinates of a canvas that CSS scales.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { keyMessage, mouseMessage } from '../../web/input.js';

test('keys become key messages with their virtual key and scan code', () => {
  assert.deepEqual(keyMessage({ code: 'KeyA', altKey: false }, true),
    { op: 'key', message: 0x100, wParam: 0x41, lParam: 0x1e0001 });
  assert.deepEqual(keyMessage({ code: 'KeyA', altKey: false }, false),
    { op: 'key', message: 0x101, wParam: 0x41, lParam: 0xc01e0001 });
  assert.equal(keyMessage({ code: 'ArrowLeft', altKey: false }, true).lParam, 0x14b0001);
  assert.equal(keyMessage({ code: 'KeyF', altKey: true }, true).message, 0x104);
  assert.equal(keyMessage({ code: 'AltLeft', altKey: false }, false).message, 0x105);
  assert.equal(keyMessage({ code: 'Digit0', altKey: false }, true).wParam, 0x30);
  assert.equal(keyMessage({ code: 'IntlRo', altKey: false }, true), null);
});

test('the mouse lands on the picture\'s pixel however the canvas is scaled', () => {
  const canvas = { width: 1920, height: 1080,
    getBoundingClientRect: () => ({ left: 10, top: 40, width: 960, height: 540 }) };
  const at = (type, extra) => mouseMessage(canvas,
    { type, clientX: 10 + 480, clientY: 40 + 270.5, button: 0, buttons: 0, ...extra });
  assert.deepEqual(at('mousemove', {}), { op: 'mouse', message: 0x200, wParam: 0, x: 960, y: 541 });
  assert.deepEqual(at('mousedown', { buttons: 1, shiftKey: true }),
    { op: 'mouse', message: 0x201, wParam: 5, x: 960, y: 541 });
  assert.equal(at('mouseup', { button: 2 }).message, 0x205);
  assert.equal(at('wheel', { deltaY: 100 }).wParam >>> 16, 0xff88);  // -120: towards the user
  assert.equal(at('mousedown', { button: 3 }), null);
});
