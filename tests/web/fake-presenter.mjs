// A presenter's bridge port played by a script: it challenges the viewer as
// zkhost does (JoinHandshake.h), checks the proof with node's HMAC, and then
// sends what the test gives it (recorded link bytes, or bytes no presenter
// would send) and closes. For the page's tests that need no Wine.
import { createHmac, randomBytes } from 'node:crypto';
import net from 'node:net';

const ZKH_CHALLENGE = 0x103, ZKH_JOIN = 0x104, ZKH_WELCOME = 0x105, ZKH_REFUSED = 0x106;

function frame(type, payload) {
  const bytes = Buffer.alloc(8 + payload.length);
  bytes.writeUInt32LE(type, 0);
  bytes.writeUInt32LE(payload.length, 4);
  payload.copy(bytes, 8);
  return bytes;
}

// afterWelcome(socket) sends what follows the welcome; the server serves one viewer.
export function startFakePresenter(key, afterWelcome) {
  const joins = [];
  const server = net.createServer((socket) => {
    const nonce = randomBytes(32);
    const version = Buffer.alloc(4);
    version.writeUInt32LE(1);
    socket.write(frame(ZKH_CHALLENGE, Buffer.concat([version, nonce])));
    let received = Buffer.alloc(0);
    socket.on('data', (data) => {
      received = Buffer.concat([received, data]);
      if (received.length < 8 || received.length < 8 + received.readUInt32LE(4)) return;
      socket.removeAllListeners('data');
      const type = received.readUInt32LE(0);
      const payload = received.subarray(8, 8 + received.readUInt32LE(4));
      const proof = createHmac('sha256', key.toLowerCase())
        .update(Buffer.concat([Buffer.from('zkhost join v1'), nonce])).digest();
      const proved = type === ZKH_JOIN && payload.subarray(4, 36).equals(proof);
      joins.push({ proved, name: payload.subarray(37).toString() });
      if (!proved) return socket.end(frame(ZKH_REFUSED, Buffer.from([1])));
      const number = Buffer.alloc(4);
      number.writeUInt32LE(1);
      socket.write(frame(ZKH_WELCOME, number));
      afterWelcome(socket);
    });
    socket.on('error', () => {});
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve({
    port: server.address().port,
    joins,
    close: () => new Promise((r) => server.close(r)),
  })));
}
