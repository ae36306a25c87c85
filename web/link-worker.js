// The page's link to the presenter, off the painting thread: the WebSocket
// (raw bytes of the presenter's bridge port, carried by the bridge), the
// join exchange, the link's framing and the viewer model, the token
// service's side of input control. It posts to the page what to paint (the
// changed rectangles' pixels, transferred, not copied), the pointer, the
// marks, its state and its figures; the page posts the key, control
// requests and input. One worker per connection.
'use strict';
importScripts('zkviewer.js', 'model-core.js', 'protocol.js');

let core = null;
let socket = null;
// What the page sees ('connecting', 'viewing', 'closed', 'error'), and
// 'joining' between the join sent and the presenter's answer.
let state = 'connecting';
let key = '';
let name = 'browser';
const figures = { bytes: 0, updates: 0, since: 0 };
const control = { token: 0, requesting: false, unanswered: 0 };

function post(message, transfer) { self.postMessage(message, transfer || []); }

function setState(next, message) {
  if (state === 'error' || state === 'closed') return;
  state = next;
  post({ op: 'state', state, message: message || '' });
  if (next !== 'error' && next !== 'closed') return;
  clearInterval(figuresTimer);
  if (socket) {
    socket.onmessage = socket.onclose = socket.onerror = null;
    socket.close();
  }
}

function fail(message) { setState('error', message); }

function send(frame) {
  if (socket && socket.readyState === WebSocket.OPEN) socket.send(frame);
}

// HMAC-SHA256 under the normalised key of the label and the nonce
// (JoinProof.h); WebCrypto does the cryptography.
async function prove(nonce) {
  const label = new TextEncoder().encode(ZkProtocol.joinLabel);
  const message = new Uint8Array(label.length + nonce.length);
  message.set(label);
  message.set(nonce, label.length);
  const secret = await crypto.subtle.importKey(
    'raw', new TextEncoder().encode(ZkProtocol.normalisedKey(key)),
    { name: 'HMAC', hash: 'SHA-256' }, false, ['sign']);
  return new Uint8Array(await crypto.subtle.sign('HMAC', secret, message));
}

async function onChallenge() {
  const challenge = core.challenge();
  if (!challenge) return fail('the presenter did not challenge this viewer as expected');
  if (challenge.version !== core.joinVersion())
    return fail(`the presenter speaks another version (${challenge.version})`);
  if (!self.crypto || !crypto.subtle)
    return fail('this page needs a secure context for the join (https, or http on localhost)');
  send(core.joinFrame(await prove(challenge.nonce), name));
  state = 'joining';
}

// The join exchange, before any event flows (JoinHandshake.h).
async function onJoinFrame(type) {
  if (type === ZkProtocol.ZKH_REFUSED) {
    const reason = core.refusal();
    return fail(reason < 0 ? 'refused' : ZkProtocol.describeRefusal(reason));
  }
  if (state === 'connecting') {
    if (type !== ZkProtocol.ZKH_CHALLENGE)
      return fail('the presenter did not challenge this viewer as expected');
    return onChallenge();
  }
  const viewer = type === ZkProtocol.ZKH_WELCOME ? core.welcome() : -1;
  if (viewer < 0) return fail('the presenter answered the join with something else');
  setState('viewing');
  post({ op: 'welcome', viewer });
}

function onGrant() {
  const token = core.grant();
  if (token === null || token === 0) return;
  if (control.unanswered > 0) --control.unanswered;
  if (control.unanswered > 0) return;  // an older request's: the newer one's follows
  if (control.requesting || control.token !== 0) {
    control.requesting = false;
    control.token = token;
    return post({ op: 'control', holding: true, message: 'in control' });
  }
  send(core.releaseFrame());  // a grant nobody waits for goes straight back
}

function onDenial() {
  if (control.unanswered > 0) --control.unanswered;
  if (control.unanswered > 0 || !control.requesting) return;
  control.requesting = false;
  post({ op: 'control', holding: false, message: 'the presenter denied control' });
}

function endControl(message) {
  if (control.token === 0) return;
  control.token = 0;
  post({ op: 'control', holding: false, message });
}

// One event of the link. False once the connection must end.
function onLinkEvent(type) {
  if (type === ZkProtocol.ZKH_GRANTCONTROL) return onGrant(), true;
  if (type === ZkProtocol.ZKH_DENYCONTROL) return onDenial(), true;
  const result = core.apply();
  if (result === ZkProtocol.REFUSED) {
    fail(`the presenter sent an event this viewer cannot read (type ${type}, ${core.payloadSize()} bytes)`);
    return false;
  }
  if (result === ZkProtocol.APPLIED &&
      (type === ZkProtocol.ZKP_DISPLAYUPDATE || type === ZkProtocol.ZKP_FULLUPDATE))
    ++figures.updates;
  return true;
}

// The picture's size as the page last heard it.
let format = { width: 0, height: 0 };

// What changed goes to the page in one message: format first, then the
// pixels of each rectangle, the pointer and the marks.
function postChanges(received) {
  const changes = core.takeChanges();
  const width = core.width(), height = core.height();
  if (width !== format.width || height !== format.height) {
    format = { width, height };
    post({ op: 'format', width, height });
  }
  const rects = [], transfer = [];
  for (const r of changes.rects) {
    const pixels = core.rgba(r.left, r.top, r.right - r.left, r.bottom - r.top);
    if (!pixels) continue;
    rects.push({ x: r.left, y: r.top, w: r.right - r.left, h: r.bottom - r.top, pixels });
    transfer.push(pixels.buffer);
  }
  if (changes.inputControlCancelled) endControl('input control cancelled by the presenter');
  const updates = figures.updates;
  figures.updates = 0;
  if (!rects.length && !changes.pointer && !changes.marks && !updates) return;
  post({
    op: 'paint', rects, updates, received,
    pointer: changes.pointer ? core.pointer() : undefined,
    marks: changes.marks ? core.marks() : undefined,
  }, transfer);
}

async function onBytes(data) {
  const received = performance.timeOrigin + performance.now();
  figures.bytes += data.length;
  if (!core.feed(data)) return fail(core.framingError());
  for (let type = core.next(); type >= 0; type = core.next()) {
    if (state === 'connecting' || state === 'joining') await onJoinFrame(type);
    else if (!onLinkEvent(type)) return;
    if (state === 'error') return;
  }
  if (state === 'viewing') postChanges(received);
}

// Bytes are handled strictly in arrival order, the join's awaits included.
let pending = Promise.resolve();

function connect(url) {
  socket = new WebSocket(url);
  socket.binaryType = 'arraybuffer';
  socket.onmessage = (e) => {
    const data = new Uint8Array(e.data);
    pending = pending.then(() => onBytes(data)).catch((err) => fail(String(err)));
  };
  socket.onclose = () => pending.then(() => {
    if (state === 'viewing' && core.atFrameBoundary()) setState('closed', 'the presenter ended the session');
    else if (state === 'viewing') fail('the connection ended inside a frame');
    else fail('the connection closed before the presenter welcomed this viewer (is the bridge running, and the key right?)');
  });
  socket.onerror = () => {};  // onclose follows with what is known
}

function onInput(message) {
  if (state !== 'viewing' || control.token === 0) return;
  if (message.op === 'mouse')
    send(core.mouseFrame(control.token, message.message, message.wParam, message.x, message.y));
  else
    send(core.keyFrame(control.token, message.message, message.wParam, message.lParam));
}

function onControl(want) {
  if (state !== 'viewing') return;
  if (want) {
    control.requesting = true;
    ++control.unanswered;
    send(core.requestFrame());
    post({ op: 'control', holding: false, message: 'asking the presenter for control' });
  } else if (control.token !== 0) {
    send(core.releaseFrame());
    endControl('control given back');
  } else {
    control.requesting = false;
  }
}

const figuresTimer = setInterval(() => {
  const now = performance.now();
  if (figures.since) post({ op: 'figures', bytesPerSecond: (figures.bytes * 1000) / (now - figures.since) });
  figures.bytes = 0;
  figures.since = now;
}, 1000);

self.onmessage = async (e) => {
  const message = e.data;
  if (message.op === 'start') {
    key = message.key;
    name = message.name || name;
    try {
      core = new ModelCore(await createZkViewerModule());
    } catch (err) {
      return fail(`the viewer module did not load: ${err}`);
    }
    connect(message.url);
  } else if (message.op === 'control') {
    onControl(message.want);
  } else {
    onInput(message);
  }
};
