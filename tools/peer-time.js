// Times the w3gjs replay parser on each .w3g file of a folder, as a player's script
// would call it: one new parser, one parse of the file's bytes already in memory.
//
//   node tools/peer-time.js PEER_DIR REPLAY_FOLDER [RUNS]
//
// Prints "peer_file_us FILE MEDIAN_MICROSECONDS", or "peer_file_us FILE failed" when
// the parser rejects the file.
"use strict";

const fs = require("fs");
const path = require("path");

const [peerDir, folder, runsText] = process.argv.slice(2);
if (!peerDir || !folder) {
  console.error("usage: node peer-time.js PEER_DIR REPLAY_FOLDER [RUNS]");
  process.exit(2);
}
const runs = Math.max(1, parseInt(runsText || "15", 10));
const W3GReplay = require(path.join(path.resolve(peerDir), "node_modules", "w3gjs")).default;

function median(values) {
  const sorted = values.slice().sort((a, b) => a - b);
  const middle = sorted.length >> 1;
  return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

async function timeOne(bytes) {
  const start = process.hrtime.bigint();
  await new W3GReplay().parse(bytes);
  return Number(process.hrtime.bigint() - start) / 1000;
}

async function main() {
  const names = fs.readdirSync(folder).filter((name) => name.endsWith(".w3g")).sort();
  for (const name of names) {
    const bytes = fs.readFileSync(path.join(folder, name));
    const samples = [];
    try {
      // Two untimed parses first, so the JIT has compiled the parser.
      for (let i = -2; i < runs; ++i) {
        const us = await timeOne(bytes);
        if (i >= 0) samples.push(us);
      }
      console.log(`peer_file_us ${name} ${median(samples).toFixed(1)}`);
    } catch (error) {
      console.log(`peer_file_us ${name} failed`);
    }
  }
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
