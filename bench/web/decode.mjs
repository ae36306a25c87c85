// Replays a recorded link through the browser viewer's module in node, as
// zk_web_replay does natively: the WebAssembly side of the decode
// comparison. Feeds the stream in WebSocket-sized pieces of 64 KiB.
//
//   node bench/web/decode.mjs WASM_DIR FILE.link ROUNDS
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';

const [wasmDir, file, roundsText] = process.argv.slice(2);
const require = createRequire(import.meta.url);
const { ModelCore } = require(join(fileURLToPath(import.meta.url), '../../../web/model-core.js'));
const module = await require(join(wasmDir, 'zkviewer.js'))(
  { wasmBinary: readFileSync(join(wasmDir, 'zkviewer.wasm')) });
const link = readFileSync(file);

function round() {
  const core = new ModelCore(module);
  core.skipJoin();  // recorded streams start after the join
  let events = 0;
  for (let at = 0; at < link.length; at += 65536) {
    if (!core.feed(link.subarray(at, at + 65536))) throw new Error(core.framingError());
    // Events the model refuses (a recorded corrupt update) count too.
    for (let type = core.next(); type >= 0; type = core.next(), ++events) core.apply();
  }
  core.free();
  return events;
}

const ms = [];
let events = 0;
for (let i = 0; i < Math.max(1, Number(roundsText)); ++i) {
  const start = performance.now();
  events = round();
  ms.push(performance.now() - start);
}
ms.sort((a, b) => a - b);
const median = ms[ms.length >> 1];
console.log(`figures side=wasm ms_per_round=${median.toFixed(2)} events_per_s=${(events * 1000 / median).toFixed(0)} ` +
  `link_mb_per_s=${(link.length / 1e3 / median).toFixed(2)}`);
