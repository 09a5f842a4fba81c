// Times the w3gjs replay parser on each .w3g and .nwg file of a folder, as a player's script
// would call it: one new parser, one parse of the file's bytes already in memory.
//
//   node tools/peer-time.js PEER_DIR REPLAY_FOLDER [RUNS]
//
// Prints "peer_file_us FILE MEDIAN_MICROSECONDS", or "peer_file_us FILE failed" when
// the parser rejects the file.
//
// Whole processes, many files each: a script of w3gjs reading FILES in turn (this
// one, started with --parse), against brindlecap-cli info of the same FILES.
//
//   node tools/peer-time.js --processes PEER_DIR CLI RUNS FILE...
//
// Prints "peer_process_ms MEDIAN" and "info_process_ms MEDIAN" (milliseconds from
// start to exit), the two taken in turns, and "info_process_files N".
"use strict";

const childProcess = require("child_process");
const fs = require("fs");
const path = require("path");

function loadPeer(peerDir) {
  return require(path.join(path.resolve(peerDir), "node_modules", "w3gjs")).default;
}

const mode = process.argv[2];
if (mode === "--parse") {
  // A player's script: each file read and parsed once; exits 1 when one fails.
  const [peerDir, ...files] = process.argv.slice(3);
  const Parser = loadPeer(peerDir);
  (async () => {
    for (const file of files) await new Parser().parse(fs.readFileSync(file));
  })().catch(() => process.exit(1));
  return;
}
if (mode === "--processes") {
  const [peerDir, cli, runsText, ...files] = process.argv.slice(3);
  const runs = Math.max(1, parseInt(runsText || "5", 10));
  const timed = (command, args) => {
    const start = process.hrtime.bigint();
    const run = childProcess.spawnSync(command, args, { stdio: "ignore" });
    const ms = Number(process.hrtime.bigint() - start) / 1e6;
    if (run.status !== 0) throw new Error(`${command} exited with ${run.status}`);
    return ms;
  };
  const peer = [];
  const ours = [];
  for (let i = 0; i < runs; ++i) {
    const peerRun = () => peer.push(timed(process.execPath, [__filename, "--parse", peerDir, ...files]));
    const ourRun = () => ours.push(timed(cli, ["info", ...files]));
    if (i % 2 === 0) {
      peerRun();
      ourRun();
    } else {
      ourRun();
      peerRun();
    }
  }
  console.log(`info_process_files ${files.length}`);
  console.log(`peer_process_ms ${median(peer).toFixed(1)}`);
  console.log(`info_process_ms ${median(ours).toFixed(1)}`);
  return;
}

const [peerDir, folder, runsText] = process.argv.slice(2);
if (!peerDir || !folder) {
  console.error("usage: node peer-time.js PEER_DIR REPLAY_FOLDER [RUNS]");
  console.error("       node peer-time.js --processes PEER_DIR CLI RUNS FILE...");
  process.exit(2);
}
const runs = Math.max(1, parseInt(runsText || "15", 10));
const W3GReplay = loadPeer(peerDir);

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
  const names = fs.readdirSync(folder).filter((name) => name.endsWith(".w3g") || name.endsWith(".nwg")).sort();
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
