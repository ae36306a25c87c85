// A 1920 x 1080 full frame in the page: a scripted presenter sends the
// first picture of a recorded stream (format and whole update) to a fresh
// page behind the bridge; the page's own figure (window.zkViewer.latencyMs,
// from the last received piece to the painted canvas: decode in the worker,
// transfer, putImageData) is read once it shows it. Median of ROUNDS pages.
//
//   node bench/web/paint.mjs STREAMS_DIR [ROUNDS]
import { launchBrowser, recorded, startBridge, waitForViewer } from '../../tests/web/browser-kit.mjs';
import { startFakePresenter } from '../../tests/web/fake-presenter.mjs';

const rounds = Math.max(1, Number(process.argv[3] || 7));
const scroll = recorded('scroll');
// Format and the whole first picture: the first two frames of the link.
const firstTwo = scroll.link.subarray(0, 8 + scroll.link.readUInt32LE(4) +
  8 + scroll.link.readUInt32LE(8 + scroll.link.readUInt32LE(4) + 4));

const key = 'BenchKey2026';
const presenter = await startFakePresenter(key, (socket) => socket.write(firstTwo));
const bridge = await startBridge(presenter.port, key);
const chromium = await launchBrowser();
const ms = [];
try {
  for (let i = 0; i < rounds; ++i) {
    const page = await chromium.browser.newPage();
    await page.goto(bridge.url);
    const shown = await waitForViewer(page, '(z) => z.frames >= 1 || z.state === "error"');
    if (shown.state === 'error') throw new Error(shown.lastError);
    ms.push(shown.latencyMs);
    await page.close();
  }
} finally {
  await chromium.close();
  await bridge.stop();
  await presenter.close();
}
ms.sort((a, b) => a - b);
console.log(`figures side=page frame=1920x1080 bytes=${firstTwo.length} ` +
  `decode_paint_ms_median=${ms[ms.length >> 1].toFixed(1)} min=${ms[0].toFixed(1)} max=${ms[ms.length - 1].toFixed(1)}`);
