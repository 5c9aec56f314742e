// Records the bytes node-simconnect (the pinned copy) sends for the SimConnect requests the
// program makes, in the program's order and with its arguments, as a simulator's TCP server
// receives them: the reference the program's own SimConnect client is compared with.
//
// To capture again (after a change to the program's registration or commands, or to the pin),
// from the checkout, and commit the result:
//
//     scripts/capture-requests
//
// which builds build/tests/node/node_program_calls and runs, inside scripts/netns (this opens
// sockets on loopback):
//
//     node tests/node/capture-requests.js build/tests/node/node_program_calls tests/node/captured-requests.hex
//
// node_program_calls runs the program's connection against the tests' SimConnect double and
// writes its calls as JSON. A listener on 127.0.0.1 answers the Open with a RECV_OPEN
// (node-simconnect lets no call through before it) and records every byte; node-simconnect opens
// with Protocol.KittyHawk and makes the calls in order. The output: lines beginning with "#" are
// comments; every other line is one request, whole (its 16-byte header included, the send id as
// node-simconnect numbers it), as lowercase hex, in the order sent. With --check the file is
// compared instead of written (the CTest entry node_capture_current).
'use strict';
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const net = require('node:net');
const os = require('node:os');
const path = require('node:path');
const { open, Protocol } = require('node-simconnect');
const { version } = require('node-simconnect/package.json');

const HOST = '127.0.0.1';
const LARGEST_REQUEST = 1 << 20;
const TYPES = {
  Open: 0x01,
  MapClientEventToSimEvent: 0x04,
  TransmitClientEvent: 0x05,
  AddToDataDefinition: 0x0c,
  RequestDataOnSimObject: 0x0e,
  SubscribeToSystemEvent: 0x17,
};

function fail(message) {
  console.error(`capture-requests: ${message}`);
  process.exit(1);
}

// SIMCONNECT_RECV_OPEN: the 12-byte header (size, version, id 2), the application's name[256],
// its version and build, SimConnect's version and build, two reserved words.
function recvOpen() {
  const m = Buffer.alloc(308);
  m.writeUInt32LE(308, 0);
  m.writeUInt32LE(Protocol.KittyHawk, 4);
  m.writeUInt32LE(2, 8);
  m.write('KittyHawk', 12, 'latin1');
  [11, 0, 282174, 999, 11, 0, 62651, 3, 0, 0].forEach((w, i) => m.writeUInt32LE(w, 268 + 4 * i));
  return m;
}

// Starts the listener; resolves with its port and a promise of the first `count` requests.
function listen(count) {
  return new Promise((resolveListening) => {
    let resolveRequests;
    const requests = new Promise((r) => { resolveRequests = r; });
    const server = net.createServer((socket) => {
      server.close();
      const got = [];
      let pending = Buffer.alloc(0);
      socket.on('data', (chunk) => {
        pending = Buffer.concat([pending, chunk]);
        while (pending.length >= 4) {
          const size = pending.readUInt32LE(0);
          if (size < 16 || size > LARGEST_REQUEST) fail(`request ${got.length} has the size ${size}`);
          if (pending.length < size) break;
          const request = pending.subarray(0, size);
          pending = pending.subarray(size);
          got.push(Buffer.from(request));
          if (got.length === 1) socket.write(recvOpen());
        }
        if (got.length >= count) {
          if (got.length > count || pending.length > 0) fail(`more than the ${count} requests arrived`);
          socket.destroy();
          resolveRequests(got);
        }
      });
      socket.on('error', (e) => fail(`the listener's connection: ${e.message}`));
    });
    server.on('error', (e) => fail(`the listener: ${e.message}`));
    server.listen(0, HOST, () => resolveListening({ port: server.address().port, requests }));
  });
}

// Makes one of the program's calls through node-simconnect with the program's arguments;
// returns the send id node-simconnect gives it.
function make(handle, c) {
  switch (c.call) {
    case 'AddToDataDefinition':
      return handle.addToDataDefinition(c.define_id, c.datum_name, c.units, c.type, c.epsilon, c.datum_id);
    case 'MapClientEventToSimEvent':
      return handle.mapClientEventToSimEvent(c.event_id, c.event_name);
    case 'SubscribeToSystemEvent':
      return handle.subscribeToSystemEvent(c.event_id, c.event_name);
    case 'RequestDataOnSimObject':
      return handle.requestDataOnSimObject(c.request_id, c.define_id, c.object_id, c.period, c.flags, c.origin,
        c.interval, c.limit);
    case 'TransmitClientEvent':
      return handle.transmitClientEvent(c.object_id, c.event_id, c.data, c.group_id, c.flags);
    default:
      return fail(`no node-simconnect call for "${c.call}"`);
  }
}

// The program's calls, from node_program_calls.
function programCalls(program) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'capture-requests-'));
  try {
    const file = path.join(dir, 'calls.json');
    execFileSync(program, [file], { stdio: ['ignore', 'ignore', 'inherit'] });
    return JSON.parse(fs.readFileSync(file, 'utf8'));
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

async function main() {
  const args = process.argv.slice(2);
  const check = args[2] === '--check';
  if (args.length !== (check ? 3 : 2)) {
    fail('usage: node tests/node/capture-requests.js NODE_PROGRAM_CALLS OUTPUT.hex [--check]');
  }
  const [program, outFile] = args;
  const calls = programCalls(program);
  if (calls.length === 0 || calls[0].call !== 'Open') fail(`${program} wrote no Open first`);

  const timer = setTimeout(() => fail('the requests did not all arrive within 10 s'), 10000);
  const { port, requests } = await listen(calls.length);
  const { handle } = await open(calls[0].name, Protocol.KittyHawk, { host: HOST, port });
  handle.on('error', (e) => fail(`node-simconnect: ${e.message}`));
  const sendIds = [0];  // the Open's, which node-simconnect does not return
  for (const c of calls.slice(1)) sendIds.push(make(handle, c));
  const got = await requests;
  handle.close();
  clearTimeout(timer);

  got.forEach((r, i) => {
    const type = r.readUInt32LE(8);
    const expected = (0xf0000000 | TYPES[calls[i].call]) >>> 0;
    if (type !== expected) fail(`request ${i} is of type 0x${type.toString(16)}, ${calls[i].call} expected`);
    if (r.readUInt32LE(4) !== Protocol.KittyHawk) fail(`request ${i} carries the protocol ${r.readUInt32LE(4)}`);
    if (r.readUInt32LE(12) !== sendIds[i]) fail(`request ${i} carries the send id ${r.readUInt32LE(12)}`);
  });
  const lines = [
    `# The requests node-simconnect ${version} sends, opened with Protocol.KittyHawk, for the program's`,
    '# SimConnect calls in the program\'s order: one request per line, whole, as hex. Written by',
    '# tests/node/capture-requests.js (run scripts/capture-requests); do not edit.',
    ...got.map((r) => r.toString('hex')),
  ];
  const text = `${lines.join('\n')}\n`;
  if (check) {
    const committed = fs.readFileSync(outFile, 'utf8').split('\n').filter((l) => l !== '' && !l.startsWith('#'));
    const first = got.findIndex((r, i) => committed[i] !== r.toString('hex'));
    if (first >= 0 || committed.length !== got.length) {
      const at = first >= 0 ? first : Math.min(got.length, committed.length);
      fail(`${outFile} differs from what node-simconnect sends for the program's calls now, from request ${at} ` +
        `(${calls[at] ? calls[at].call : 'none'}): run scripts/capture-requests`);
    }
    console.log(`capture-requests: ${outFile} holds the ${got.length} requests node-simconnect sends now`);
    return;
  }
  fs.writeFileSync(outFile, text);

  const sizes = new Map();
  got.forEach((r, i) => {
    const key = calls[i].call;
    const s = sizes.get(key) || new Set();
    s.add(r.length);
    sizes.set(key, s);
  });
  console.log(`capture-requests: ${got.length} requests into ${outFile}`);
  for (const [call, s] of sizes) console.log(`  ${call}: ${[...s].join(', ')} bytes`);
}

main().catch((e) => fail(e.stack || String(e)));
