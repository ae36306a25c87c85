// The page against a real presenter: zkhost present under Wine (run inside
// tools/wine-session.sh, which ctest of the cross build does) shares
// zkcontent playing the screen corpus, with a bridge port behind
// web-viewer.sh. After the corpus plays, canvas#screen must hold the
// presenter's area within 5-6-5 precision; a page that joins late gets the
// picture too; a page in control types into notepad on the presenter, and
// loses control when the presenter takes it back; the presenter stopping
// closes both pages.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { freePort, launchBrowser, startBridge, waitForViewer } from './browser-kit.mjs';

const bin = process.env.ZK_WIN32_BIN;
const corpus = process.env.ZK_CORPUS;
const key = 'BrowserJoins2026';
const area = { width: 624, height: 600 };
const work = mkdtempSync(join(tmpdir(), 'zk-web-e2e-'));
const started = [];
let chromium, bridge, presenter, content;
const pages = [];

// A Wine program whose output lines the test waits on: one of ours, or
// Wine's own.
function run(program, args) {
  const path = program === 'notepad.exe' ? program : join(bin, program);
  const child = spawn('wine', [path, ...args], { cwd: work, stdio: ['ignore', 'pipe', 'pipe'] });
  let output = '';
  child.stdout.on('data', (d) => { output += d; });
  child.stderr.on('data', (d) => { output += d; });
  const exited = new Promise((resolve) => child.on('exit', resolve));
  const handle = {
    child, exited,
    output: () => output,
    waitFor: (pattern, seconds) => new Promise((resolve, reject) => {
      const check = () => {
        const m = output.match(pattern);
        if (!m) return false;
        resolve(m);
        return true;
      };
      if (check()) return;
      const timer = setTimeout(() => reject(new Error(`${program}: no ${pattern} in ${seconds} s:\n${output}`)), seconds * 1000);
      const onData = () => { if (check()) { clearTimeout(timer); off(); } };
      const off = () => { child.stdout.off('data', onData); child.stderr.off('data', onData); };
      child.stdout.on('data', onData);
      child.stderr.on('data', onData);
      child.on('exit', () => { if (!check()) { clearTimeout(timer); reject(new Error(`${program} ended:\n${output}`)); } });
    }),
  };
  started.push(handle);
  return handle;
}

function wineOutput(program, args) {
  try {
    return execFileSync('wine', [join(bin, program), ...args],
      { cwd: work, encoding: 'latin1', stdio: ['ignore', 'pipe', 'pipe'] });
  } catch (e) {
    throw new Error(`${program} ${args.join(' ')} failed (${e.status}): ${e.stdout}${e.stderr}`);
  }
}

// The presenter's area as the screen holds it, top-down RGB.
function grabArea() {
  const file = join(work, 'area.png');
  wineOutput('zkcontent.exe', ['--grab', `0,0,${area.width},${area.height}`, `Z:${file}`]);
  return execFileSync('convert', [file, '-depth', '8', 'rgb:-'], { maxBuffer: 1 << 26 });
}

async function canvasRgba(page) {
  const base64 = await page.evaluate(() => {
    const canvas = document.getElementById('screen');
    const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    let text = '';
    for (let i = 0; i < data.length; i += 0x8000) text += String.fromCharCode(...data.subarray(i, i + 0x8000));
    return btoa(text);
  });
  return Buffer.from(base64, 'base64');
}

// Pixels of the canvas outside 5-6-5 precision of the grab (PictureMatch).
function mismatched(rgba, rgb) {
  let count = 0;
  for (let i = 0, j = 0; j < rgb.length; i += 4, j += 3)
    if (Math.abs(rgba[i] - rgb[j]) > 7 || Math.abs(rgba[i + 1] - rgb[j + 1]) > 3 ||
        Math.abs(rgba[i + 2] - rgb[j + 2]) > 7) ++count;
  return count;
}

// The presenter sends changes as it sees them: the canvas catches up.
async function expectPresenterArea(page) {
  const wanted = grabArea();
  let left = Infinity;
  for (const deadline = Date.now() + 30000; Date.now() < deadline;) {
    left = mismatched(await canvasRgba(page), wanted);
    if (left === 0) return;
    await new Promise((r) => setTimeout(r, 200));  // polling the canvas with a deadline
  }
  assert.fail(`${left} pixels of the canvas differ from the presenter's area`);
}

async function openPage() {
  const page = await chromium.browser.newPage();
  await page.setViewport({ width: 1000, height: 800 });
  await page.goto(bridge.url);
  pages.push(page);
  return page;
}

before(async () => {
  const bridgePort = await freePort();
  presenter = run('zkhost.exe', ['present', '--port', '0', '--bridge-port', String(bridgePort),
    '--key', key, '--rect', `0,0,${area.width},${area.height}`, '--share', 'zkcontent',
    '--allow-control', '--name', 'web-presenter']);
  content = run('zkcontent.exe', ['--rect', `0,0,${area.width},${area.height}`,
    '--corpus', `Z:${corpus}`, '--hold', '25']);
  await presenter.waitFor(/bridge port (\d+)/, 60);
  bridge = await startBridge(bridgePort, key);
  chromium = await launchBrowser();
});

after(async () => {
  // What the presenter said, for a failure's report.
  if (presenter) console.log(presenter.output().replace(/^/gm, '# presenter: '));
  for (const page of pages) await page.close().catch(() => {});
  if (chromium) await chromium.close();
  if (bridge) await bridge.stop();
  // Later tests on this display must not find notepad, nor its question
  // whether to save what was typed.
  try { execFileSync('wine', ['taskkill', '/F', '/IM', 'notepad.exe'], { stdio: 'ignore' }); } catch {}
  for (const { child, exited } of started) {
    if (child.exitCode === null) child.kill('SIGTERM');
    await exited;
  }
  rmSync(work, { recursive: true, force: true });
});

test('after the corpus plays, the canvas holds the presenter\'s area', async () => {
  const page = await openPage();
  const joined = await waitForViewer(page, "(z) => z.state !== 'connecting'");
  assert.equal(joined.state, 'viewing', joined.lastError);
  await content.waitFor(/^phase held/m, 240);
  await expectPresenterArea(page);
  const shown = await waitForViewer(page, '(z) => z.frames > 0');
  assert.deepEqual([shown.width, shown.height], [area.width, area.height]);
  assert.deepEqual(await page.$eval('#screen', (c) => [c.width, c.height]), [area.width, area.height]);
});

test('a page that joins late gets the picture', async () => {
  const page = await openPage();
  await waitForViewer(page, "(z) => z.state === 'viewing' && z.frames > 0");
  await expectPresenterArea(page);
});

test('a page in control types into notepad on the presenter', async () => {
  await content.exited;
  run('notepad.exe', []);
  wineOutput('zkhost.exe', ['send', 'web-presenter', 'share', 'Notepad', '20']);
  const page = pages[0];
  await page.bringToFront();
  await page.click('#control');
  const state = await waitForViewer(page, '(z) => z.holdingControl || /denied/.test(z.controlMessage)', 30000);
  assert.equal(state.holdingControl, true, state.controlMessage);
  // Into notepad's text, at a point of the picture that its window covers.
  const box = await (await page.$('#screen')).boundingBox();
  await page.mouse.click(box.x + (300 * box.width) / area.width, box.y + (300 * box.height) / area.height);
  const typed = 'typed in a browser 42';
  await page.keyboard.type(typed);
  let text = '';
  for (const deadline = Date.now() + 30000; Date.now() < deadline && !text.includes(typed);) {
    try { text = wineOutput('zk_window_text.exe', ['Notepad']); } catch { text = ''; }
    if (!text.includes(typed)) await new Promise((r) => setTimeout(r, 300));  // polling notepad with a deadline
  }
  assert.ok(text.includes(typed), `notepad holds ${JSON.stringify(text)}`);
  assert.ok(!text.includes(typed + typed), 'every key went once');
  await page.click('#control');
  await waitForViewer(page, '(z) => !z.holdingControl');
});

test('the presenter taking control back ends it on the page', async () => {
  const page = pages[0];
  await page.click('#control');
  await waitForViewer(page, '(z) => z.holdingControl', 30000);
  wineOutput('zkhost.exe', ['send', 'web-presenter', 'revoke']);
  const state = await waitForViewer(page, '(z) => !z.holdingControl', 30000);
  assert.match(state.controlMessage, /cancelled by the presenter/);
  assert.equal(await page.$eval('#control', (b) => b.textContent), 'Take control');
});

test('the presenter stopping closes every page with a message', async () => {
  wineOutput('zkhost.exe', ['send', 'web-presenter', 'stop']);
  for (const page of pages) {
    const state = await waitForViewer(page, "(z) => z.state === 'closed' || z.state === 'error'");
    assert.equal(state.state, 'closed', state.lastError);
    assert.match(await page.$eval('#message', (e) => e.textContent), /presenter ended/);
  }
});
