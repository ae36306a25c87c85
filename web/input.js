// Turns the browser's mouse and key events over the picture into the
// window messages the presenter's library replays (InputMessages.h): mouse
// messages with their button flags at picture coordinates, key messages
// with the virtual key and the scan code. Main thread.

const WM_KEYDOWN = 0x100, WM_KEYUP = 0x101, WM_SYSKEYDOWN = 0x104, WM_SYSKEYUP = 0x105;
const WM_MOUSEMOVE = 0x200, WM_MOUSEWHEEL = 0x20a;
const kButtonDown = [0x201, 0x207, 0x204];  // left, middle, right
const kButtonUp = [0x202, 0x208, 0x205];
const MK_LBUTTON = 1, MK_RBUTTON = 2, MK_SHIFT = 4, MK_CONTROL = 8, MK_MBUTTON = 0x10;

// KeyboardEvent.code to [virtual key, scan code, extended].
const kKeys = new Map();
'QWERTYUIOP'.split('').forEach((c, i) => kKeys.set(`Key${c}`, [c.charCodeAt(0), 0x10 + i, 0]));
'ASDFGHJKL'.split('').forEach((c, i) => kKeys.set(`Key${c}`, [c.charCodeAt(0), 0x1e + i, 0]));
'ZXCVBNM'.split('').forEach((c, i) => kKeys.set(`Key${c}`, [c.charCodeAt(0), 0x2c + i, 0]));
'1234567890'.split('').forEach((c, i) => kKeys.set(`Digit${c}`, [c.charCodeAt(0), 0x02 + i, 0]));
for (let i = 1; i <= 10; ++i) kKeys.set(`F${i}`, [0x6f + i, 0x3a + i, 0]);
for (const [code, vk, scan, ext] of [
  ['F11', 0x7a, 0x57, 0], ['F12', 0x7b, 0x58, 0],
  ['Space', 0x20, 0x39, 0], ['Enter', 0x0d, 0x1c, 0], ['NumpadEnter', 0x0d, 0x1c, 1],
  ['Backspace', 0x08, 0x0e, 0], ['Tab', 0x09, 0x0f, 0], ['Escape', 0x1b, 0x01, 0],
  ['ShiftLeft', 0x10, 0x2a, 0], ['ShiftRight', 0x10, 0x36, 0],
  ['ControlLeft', 0x11, 0x1d, 0], ['ControlRight', 0x11, 0x1d, 1],
  ['AltLeft', 0x12, 0x38, 0], ['AltRight', 0x12, 0x38, 1], ['CapsLock', 0x14, 0x3a, 0],
  ['ArrowLeft', 0x25, 0x4b, 1], ['ArrowUp', 0x26, 0x48, 1], ['ArrowRight', 0x27, 0x4d, 1],
  ['ArrowDown', 0x28, 0x50, 1], ['Home', 0x24, 0x47, 1], ['End', 0x23, 0x4f, 1],
  ['PageUp', 0x21, 0x49, 1], ['PageDown', 0x22, 0x51, 1], ['Insert', 0x2d, 0x52, 1],
  ['Delete', 0x2e, 0x53, 1],
  ['Minus', 0xbd, 0x0c, 0], ['Equal', 0xbb, 0x0d, 0], ['BracketLeft', 0xdb, 0x1a, 0],
  ['BracketRight', 0xdd, 0x1b, 0], ['Semicolon', 0xba, 0x27, 0], ['Quote', 0xde, 0x28, 0],
  ['Backquote', 0xc0, 0x29, 0], ['Backslash', 0xdc, 0x2b, 0], ['Comma', 0xbc, 0x33, 0],
  ['Period', 0xbe, 0x34, 0], ['Slash', 0xbf, 0x35, 0],
]) kKeys.set(code, [vk, scan, ext]);

export function keyMessage(event, down) {
  const key = kKeys.get(event.code);
  if (!key) return null;
  const [vk, scan, ext] = key;
  const alt = event.altKey || vk === 0x12;  // with Alt, keys are system keys
  const message = alt ? (down ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (down ? WM_KEYDOWN : WM_KEYUP);
  // Repeat count 1; a release has the previous-state and transition bits.
  const lParam = (1 | (scan << 16) | (ext << 24) | (down ? 0 : 0xc0000000)) >>> 0;
  return { op: 'key', message, wParam: vk, lParam };
}

function buttonFlags(event) {
  let flags = 0;
  if (event.buttons & 1) flags |= MK_LBUTTON;
  if (event.buttons & 2) flags |= MK_RBUTTON;
  if (event.buttons & 4) flags |= MK_MBUTTON;
  if (event.shiftKey) flags |= MK_SHIFT;
  if (event.ctrlKey) flags |= MK_CONTROL;
  return flags;
}

// The canvas is scaled by CSS; the presenter wants picture coordinates.
function pictureAt(canvas, event) {
  const box = canvas.getBoundingClientRect();
  return {
    x: Math.floor(((event.clientX - box.left) * canvas.width) / box.width),
    y: Math.floor(((event.clientY - box.top) * canvas.height) / box.height),
  };
}

export function mouseMessage(canvas, event) {
  const { x, y } = pictureAt(canvas, event);
  let message = WM_MOUSEMOVE, wParam = buttonFlags(event);
  if (event.type === 'mousedown') message = kButtonDown[event.button];
  else if (event.type === 'mouseup') message = kButtonUp[event.button];
  else if (event.type === 'wheel') {
    message = WM_MOUSEWHEEL;
    wParam |= ((Math.sign(-event.deltaY) * 120) & 0xffff) << 16;
  }
  if (message === undefined) return null;
  return { op: 'mouse', message, wParam: wParam >>> 0, x, y };
}
