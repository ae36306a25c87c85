// The page: starts the link worker with the bridge's address and the join
// key (from the URL's fragment, which never reaches a server, or the
// prompt), paints the rectangles it sends into canvas#screen, draws the
// pointer and marks over them, shows state, errors and figures, and, while
// this viewer holds control, sends mouse and keys over the picture to the
// presenter. window.zkViewer is the page's state for people and tests.
import { drawOverlay } from './overlay.js';
import { keyMessage, mouseMessage } from './input.js';

const screen = document.getElementById('screen');
const overlay = document.getElementById('overlay');
const stateText = document.getElementById('state');
const figuresText = document.getElementById('figures');
const messageText = document.getElementById('message');
const controlButton = document.getElementById('control');
const controlText = document.getElementById('controlState');

const viewer = (window.zkViewer = {
  state: 'connecting',
  frames: 0,
  lastError: '',
  width: 0,
  height: 0,
  bytesPerSecond: 0,
  latencyMs: 0,
  holdingControl: false,
  controlMessage: '',
  pointer: null,
  marks: [],
});
let worker = null;

function bridgeUrl() {
  const connect = new URLSearchParams(location.search).get('connect');
  if (connect) return connect;
  return `${location.protocol === 'https:' ? 'wss' : 'ws'}://${location.host}/`;
}

function showState(state, message) {
  viewer.state = state;
  stateText.textContent = state;
  if (state === 'error') viewer.lastError = message;
  messageText.hidden = !message;
  messageText.textContent = message || '';
  if (state !== 'viewing') setControl(false, viewer.controlMessage);
  controlButton.disabled = state !== 'viewing';
}

function showFigures() {
  figuresText.textContent = `${viewer.width}×${viewer.height} · ${viewer.frames} updates · ` +
    `${(viewer.bytesPerSecond / 1024).toFixed(1)} KiB/s · last ${viewer.latencyMs.toFixed(1)} ms`;
}

function onFormat(width, height) {
  // Resizing clears the canvases: the worker sends the whole picture next.
  screen.width = overlay.width = viewer.width = width;
  screen.height = overlay.height = viewer.height = height;
  drawOverlay(overlay, viewer.marks, viewer.pointer);
}

const context = screen.getContext('2d');

function onPaint(message) {
  for (const r of message.rects) context.putImageData(new ImageData(r.pixels, r.w, r.h), r.x, r.y);
  if (message.pointer !== undefined || message.marks !== undefined) {
    if (message.pointer !== undefined) viewer.pointer = message.pointer;
    if (message.marks !== undefined) viewer.marks = message.marks;
    drawOverlay(overlay, viewer.marks, viewer.pointer);
  }
  viewer.frames += message.updates;
  viewer.latencyMs = performance.timeOrigin + performance.now() - message.received;
  showFigures();
}

function setControl(holding, message) {
  viewer.holdingControl = holding;
  viewer.controlMessage = message;
  controlButton.textContent = holding ? 'Give back' : 'Take control';
  controlText.textContent = message;
  screen.classList.toggle('controlled', holding);
}

function onWorkerMessage(e) {
  const message = e.data;
  if (message.op === 'paint') onPaint(message);
  else if (message.op === 'format') onFormat(message.width, message.height);
  else if (message.op === 'state') showState(message.state, message.message);
  else if (message.op === 'control') setControl(message.holding, message.message);
  else if (message.op === 'figures') {
    viewer.bytesPerSecond = message.bytesPerSecond;
    showFigures();
  }
}

function sendInput(input) {
  if (input && viewer.holdingControl) worker.postMessage(input);
}

function onMouse(event) {
  if (!viewer.holdingControl) return;
  event.preventDefault();
  sendInput(mouseMessage(screen, event));
}

function onKey(event) {
  if (!viewer.holdingControl) return;
  event.preventDefault();
  sendInput(keyMessage(event, event.type === 'keydown'));
}

function listen() {
  for (const type of ['mousemove', 'mousedown', 'mouseup', 'wheel'])
    screen.addEventListener(type, onMouse, { passive: false });
  screen.addEventListener('contextmenu', (e) => viewer.holdingControl && e.preventDefault());
  document.addEventListener('keydown', onKey);
  document.addEventListener('keyup', onKey);
  controlButton.addEventListener('click', () => {
    worker.postMessage({ op: 'control', want: !viewer.holdingControl });
    controlButton.blur();  // keys typed next go to the presenter, not to the button
  });
}

function start(key) {
  worker = new Worker('link-worker.js');
  worker.onmessage = onWorkerMessage;
  worker.onerror = (e) => showState('error', `the viewer's worker failed: ${e.message}`);
  const name = new URLSearchParams(location.search).get('name') || 'browser';
  worker.postMessage({ op: 'start', url: bridgeUrl(), key, name });
}

function keyFromFragment() {
  const fragment = new URLSearchParams(location.hash.slice(1));
  return fragment.get('key') || fragment.get('invite') || '';
}

function main() {
  listen();
  showState('connecting', '');
  const key = keyFromFragment();
  if (key) return start(ZkProtocol.keyOf(key));
  const form = document.getElementById('keyForm');
  form.hidden = false;
  form.addEventListener('submit', (e) => {
    e.preventDefault();
    form.hidden = true;
    start(ZkProtocol.keyOf(document.getElementById('keyField').value));
  });
}

main();
