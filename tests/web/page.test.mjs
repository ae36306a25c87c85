// The page in a real (headless) chromium behind the real bridge, against a
// scripted presenter: the recorded streams must paint exactly what the
// native model holds, and broken streams, wrong keys and a presenter that
// leaves must end the connection with the state and message a person needs.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { canvasDigest, freePort, launchBrowser, recorded, rgbaOf, sha256, startBridge, waitForViewer }
  from './browser-kit.mjs';
import { startFakePresenter } from './fake-presenter.mjs';

const key = 'Testkey2345';
let chromium;

before(async () => { chromium = await launchBrowser(); });
after(async () => { await chromium.close(); });

// Serves `afterWelcome` to one page opened through web-viewer.sh's address.
async function view(afterWelcome, pageKey = key) {
  const presenter = await startFakePresenter(key, afterWelcome);
  const bridge = await startBridge(presenter.port, pageKey);
  const page = await chromium.browser.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(String(e)));
  await page.goto(bridge.url);
  return {
    page, presenter, bridge, errors,
    done: async () => {
      await page.close();
      await bridge.stop();
      await presenter.close();
    },
  };
}

test('a recorded session paints the native model\'s picture exactly, then the presenter leaving closes it', async () => {
  const scroll = recorded('scroll');
  const v = await view((socket) => socket.end(scroll.link));
  try {
    const state = await waitForViewer(v.page, "(z) => z.state !== 'connecting' && z.state !== 'viewing'");
    assert.equal(state.state, 'closed', state.lastError);
    assert.match(await v.page.$eval('#message', (e) => e.textContent), /presenter ended/);
    assert.equal(state.frames, scroll.results.length - 1);  // all but the format
    const shown = await canvasDigest(v.page);
    assert.deepEqual([shown.width, shown.height], [scroll.width, scroll.height]);
    assert.equal(shown.sha256, sha256(rgbaOf(scroll.width, scroll.height, scroll.pixels)));
    assert.equal(v.presenter.joins[0].name, 'browser');
    assert.deepEqual(v.errors, []);
  } finally {
    await v.done();
  }
});

test('an event the model refuses ends the connection with an error, and the page stays usable', async () => {
  const mixed = recorded('mixed');
  const v = await view((socket) => socket.write(mixed.link));  // the presenter stays
  try {
    const state = await waitForViewer(v.page, "(z) => z.state === 'error'");
    assert.match(state.lastError, /cannot read \(type 1,/);
    assert.equal(await v.page.$eval('#state', (e) => e.textContent), 'error');
    assert.equal(await v.page.$eval('#control', (e) => e.disabled), true);
    assert.equal(await v.page.evaluate(() => 6 * 7), 42);
  } finally {
    await v.done();
  }
});

test('a frame of an unknown type ends the connection with the framing\'s reason', async () => {
  const v = await view((socket) => socket.write(Buffer.from([0x77, 0x77, 0, 0, 4, 0, 0, 0, 1, 2, 3, 4])));
  try {
    const state = await waitForViewer(v.page, "(z) => z.state === 'error'");
    assert.match(state.lastError, /unknown event type 30583/);
  } finally {
    await v.done();
  }
});

test('a presenter leaving inside a frame is an error, not an orderly end', async () => {
  const scroll = recorded('scroll');
  const v = await view((socket) => socket.end(scroll.link.subarray(0, 5000)));
  try {
    const state = await waitForViewer(v.page, "(z) => z.state === 'error' || z.state === 'closed'");
    assert.equal(state.state, 'error');
    assert.match(state.lastError, /inside a frame/);
  } finally {
    await v.done();
  }
});

test('a wrong key is refused with the presenter\'s reason', async () => {
  const v = await view(() => assert.fail('welcomed with a wrong key'), 'wrongkey99');
  try {
    const state = await waitForViewer(v.page, "(z) => z.state === 'error'");
    assert.match(state.lastError, /refused the join key/);
    assert.equal(v.presenter.joins[0].proved, false);
  } finally {
    await v.done();
  }
});

// The recorded link up to its last `drop` frames.
function framesBefore(link, drop) {
  const ends = [];
  for (let at = 0; at < link.length; at += 8 + link.readUInt32LE(at + 4)) ends.push(at);
  return link.subarray(0, ends[ends.length - drop]);
}

test('a change of format, 8-bit colour, the pointer and marks show as the model holds them', async () => {
  const mixed = recorded('mixed');
  // Without the corrupt and the stale update, which change nothing.
  const v = await view((socket) => socket.end(framesBefore(mixed.link, 2)));
  try {
    const state = await waitForViewer(v.page, "(z) => z.state === 'closed' || z.state === 'error'");
    assert.equal(state.state, 'closed', state.lastError);
    const shown = await canvasDigest(v.page);
    assert.deepEqual([shown.width, shown.height], [1280, 1024]);
    assert.equal(shown.sha256, sha256(rgbaOf(mixed.width, mixed.height, mixed.pixels)));
    assert.deepEqual(state.pointer, { x: 300, y: 200 });
    assert.deepEqual(state.marks.map((m) => [m.kind, m.left, m.top, m.colour]),
      [[0, 100, 100, 0], [1, 400, 300, 0xff]]);
    const overlayAt = (x, y) => v.page.evaluate((x, y) => [...document.getElementById('overlay')
      .getContext('2d').getImageData(x, y, 1, 1).data], x, y);
    const [hr, hg, hb, ha] = await overlayAt(150, 125);  // inside the highlight: translucent yellow
    assert.ok(hr === 255 && hg === 255 && hb === 0 && ha > 0 && ha < 255, `${[hr, hg, hb, ha]}`);
    assert.deepEqual(await overlayAt(400, 300), [255, 0, 0, 255]);  // the marker's tip, red
    assert.equal((await overlayAt(301, 210))[3], 255);  // the pointer
    assert.equal((await overlayAt(600, 600))[3], 0);  // nothing elsewhere
  } finally {
    await v.done();
  }
});

test('without a key in the fragment the page asks for one, takes an invitation code, and ?connect names the bridge', async () => {
  const scroll = recorded('scroll');
  const presenter = await startFakePresenter(key, (socket) => socket.end(scroll.link));
  const bridge = await startBridge(presenter.port);
  // The page comes from a bridge to nowhere: only ?connect leads to the presenter.
  const other = await startBridge(await freePort());
  const page = await chromium.browser.newPage();
  try {
    assert.doesNotMatch(other.url, /#/);
    await page.goto(`${other.url}?connect=ws://127.0.0.1:${bridge.port}/`);
    await page.waitForSelector('#keyForm:not([hidden])');
    await page.type('#keyField', `${key.toUpperCase()}-${'a'.repeat(52)}`);
    await page.click('#keyForm button');
    const state = await waitForViewer(page, "(z) => z.state === 'closed' || z.state === 'error'");
    assert.equal(state.state, 'closed', state.lastError);
    assert.equal(state.frames, scroll.results.length - 1);
    assert.equal(presenter.joins[0].proved, true);
  } finally {
    await page.close();
    await other.stop();
    await bridge.stop();
    await presenter.close();
  }
});
