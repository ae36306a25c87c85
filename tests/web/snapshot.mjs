// The demo's browser viewer (tools/demo.sh): the page in headless chromium
// through web-viewer.sh to a presenter's bridge port, joined with the
// invitation's key; once it shows the presenter's picture and stops
// changing, saves the canvas as a PNG and prints the page's figures.
//
//   node tests/web/snapshot.mjs BRIDGE_PORT INVITATION OUT.png
import { launchBrowser, startBridge, waitForViewer } from './browser-kit.mjs';

const [port, invitation, file] = process.argv.slice(2);
const bridge = await startBridge(Number(port), invitation.split('-')[0]);
const chromium = await launchBrowser();
try {
  const page = await chromium.browser.newPage();
  await page.setViewport({ width: 1400, height: 1100 });
  await page.goto(bridge.url);
  let shown = await waitForViewer(page, "(z) => z.frames > 0 || z.state === 'error'");
  if (shown.state === 'error') throw new Error(shown.lastError);
  // Settled: no update for a second.
  for (let frames = -1; frames !== shown.frames;) {
    frames = shown.frames;
    await new Promise((r) => setTimeout(r, 1000));
    shown = await page.evaluate(() => ({ ...window.zkViewer }));
  }
  await (await page.$('#screen')).screenshot({ path: file });
  console.log(`browser viewer: ${shown.state}, ${shown.width}x${shown.height}, ${shown.frames} updates, ` +
    `last decode-to-paint ${shown.latencyMs.toFixed(1)} ms; saved ${file}`);
} finally {
  await chromium.close();
  await bridge.stop();
}
