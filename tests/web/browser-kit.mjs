// What the browser tests share: the bridge (tools/web-viewer.sh, websockify)
// started on a free port in front of a presenter's bridge port, a headless
// chromium driven by puppeteer-core with a fresh profile, waits on the
// page's own state (window.zkViewer), a digest of canvas#screen, and what
// the recorded streams (zk_web_streams) hold.
import { spawn } from 'node:child_process';
import { createHash } from 'node:crypto';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import net from 'node:net';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';
import puppeteer from 'puppeteer-core';

export const root = join(fileURLToPath(import.meta.url), '../../..');
export const wasmDir = process.env.ZK_WASM_DIR || join(root, 'build/wasm/web');
export const streamsDir = process.env.ZK_WEB_STREAMS || join(root, 'build/native/tests/web');

// websockify takes a port number: one the system just handed out.
export function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.on('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

function accepts(port) {
  return new Promise((resolve) => {
    const socket = net.connect(port, '127.0.0.1');
    socket.on('connect', () => socket.end(() => resolve(true)));
    socket.on('error', () => resolve(false));
  });
}

// The bridge in front of 127.0.0.1:targetPort; resolves once it accepts, with
// the address web-viewer.sh printed.
export async function startBridge(targetPort, key) {
  const listen = await freePort();
  const child = spawn(join(root, 'tools/web-viewer.sh'),
    ['--connect', `127.0.0.1:${targetPort}`, '--listen', String(listen), '--web', wasmDir,
     ...(key ? ['--key', key] : [])],
    { stdio: ['ignore', 'pipe', 'pipe'] });
  let log = '';
  child.stderr.on('data', (d) => { log += d; });
  const printed = await new Promise((resolve, reject) => {
    let out = '';
    child.stdout.on('data', (d) => {
      out += d;
      const m = out.match(/open (\S+)/);
      if (m) resolve(m[1]);
    });
    child.on('exit', (code) => reject(new Error(`web-viewer.sh exited (${code}): ${log}`)));
  });
  while (!(await accepts(listen))) await new Promise((r) => setImmediate(r));
  return {
    url: printed,
    port: listen,
    log: () => log,
    stop: () => new Promise((resolve) => {
      if (child.exitCode !== null) return resolve();
      child.on('exit', resolve);
      child.kill('SIGTERM');
    }),
  };
}

export async function launchBrowser() {
  const profile = mkdtempSync(join(tmpdir(), 'zk-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: process.env.ZK_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    userDataDir: profile,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  return {
    browser,
    close: async () => {
      await browser.close();
      rmSync(profile, { recursive: true, force: true });
    },
  };
}

// Waits until the page's state object satisfies `predicate` (a function
// source evaluated in the page against window.zkViewer).
export async function waitForViewer(page, predicate, timeout = 60000) {
  await page.waitForFunction(`window.zkViewer && (${predicate})(window.zkViewer)`,
    { timeout, polling: 50 });  // a page in the background gets no animation frames
  return page.evaluate(() => ({ ...window.zkViewer }));
}

// SHA-256 of canvas#screen's RGBA, and its size.
export function canvasDigest(page) {
  return page.evaluate(async () => {
    const canvas = document.getElementById('screen');
    const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    const digest = await crypto.subtle.digest('SHA-256', data);
    return {
      width: canvas.width, height: canvas.height,
      sha256: [...new Uint8Array(digest)].map((b) => b.toString(16).padStart(2, '0')).join(''),
    };
  });
}

// The top-down RGBA of a picture given bottom-up blue-green-red, as a canvas holds it.
export function rgbaOf(width, height, bgr) {
  const rgba = Buffer.alloc(width * height * 4);
  for (let y = 0; y < height; ++y) {
    const row = (height - 1 - y) * width * 3;
    for (let x = 0; x < width; ++x) {
      const from = row + x * 3, to = (y * width + x) * 4;
      rgba[to] = bgr[from + 2];
      rgba[to + 1] = bgr[from + 1];
      rgba[to + 2] = bgr[from];
      rgba[to + 3] = 255;
    }
  }
  return rgba;
}

export const sha256 = (bytes) => createHash('sha256').update(bytes).digest('hex');

export function recorded(name) {
  const link = readFileSync(join(streamsDir, `${name}.link`));
  const expected = readFileSync(join(streamsDir, `${name}.expected`));
  const count = expected.readUInt32LE(0);
  const results = [...expected.subarray(4, 4 + count)];
  const width = expected.readUInt32LE(4 + count), height = expected.readUInt32LE(8 + count);
  return { link, results, width, height, pixels: expected.subarray(12 + count) };
}
