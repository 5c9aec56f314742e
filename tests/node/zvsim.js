// zvsim served to node-simconnect, a SimConnect client its users fly the real simulator with:
// one row per behaviour, each against a zvsim of its own on a free port of loopback.
//
//     node tests/node/zvsim.js ZVSIM NODE_SIM_BLOCK RECORDING
//
// NODE_SIM_BLOCK prints the program's data definition and the block the in-process built-in
// simulator gives for it (tests/node/sim_block.cpp); RECORDING is a recording of the built-in
// simulator (recordings/). Runs inside scripts/netns (tests/node/run, CTest's node_zvsim).
'use strict';
const { execFileSync, spawn } = require('node:child_process');
const fs = require('node:fs');
const net = require('node:net');
const { open, Protocol, SimConnectDataType, SimConnectPeriod } = require('node-simconnect');

const [zvsimPath, simBlockPath, recording] = process.argv.slice(2);
const HOST = '127.0.0.1';
const EXCEPTION = { SIZE_MISMATCH: 2, UNRECOGNIZED_ID: 3, UNOPENED: 4, VERSION_MISMATCH: 5, NAME_UNRECOGNIZED: 7 };
const FRAMES_PER_SECOND = 36;
const program = JSON.parse(execFileSync(simBlockPath, { encoding: 'latin1' }));

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

function check(condition, what) {
  if (!condition) throw new Error(what);
}

function freePort() {
  return new Promise((resolve) => {
    const s = net.createServer().listen(0, HOST, () => {
      const { port } = s.address();
      s.close(() => resolve(port));
    });
  });
}

// Waits until `test()` holds, for at most `ms`.
async function until(test, ms, what) {
  const end = Date.now() + ms;
  while (!test()) {
    if (Date.now() > end) throw new Error(`timed out: ${what}`);
    await sleep(10);
  }
}

// Starts zvsim and resolves once it says it serves.
async function zvsim(args = [], env = {}) {
  const port = await freePort();
  const child = spawn(zvsimPath, ['--port', String(port), '-v', ...args], {
    env: { ...process.env, ...env },
    stdio: ['ignore', 'pipe', 'pipe'],
  });
  const z = { child, port, out: '', err: '', exit: null };
  child.stdout.on('data', (d) => (z.out += d));
  child.stderr.on('data', (d) => (z.err += d));
  child.on('exit', (code, signal) => (z.exit = { code, signal, at: Date.now() }));
  await until(() => z.out.includes('zvsim: serving') || z.exit, 5000, 'zvsim serving');
  check(!z.exit, `zvsim ended at start: ${z.err}`);
  return z;
}

async function stop(z) {
  if (!z.exit) z.child.kill('SIGTERM');
  await until(() => z.exit, 3000, 'zvsim to end');
}

function connect(z, name = 'zvsim test', protocol = Protocol.KittyHawk) {
  return open(name, protocol, { host: HOST, port: z.port });
}

// Registers the program's data definition (the null units of "TITLE" as node-simconnect sends
// them, an all-NUL field) and requests the block every visual frame; keeps every block.
function requestProgramBlock(handle) {
  for (const row of program.rows) handle.addToDataDefinition(0, row.name, row.units, row.type);
  handle.requestDataOnSimObject(0, 0, 0, SimConnectPeriod.VISUAL_FRAME);
  const blocks = [];
  handle.on('simObjectData', (d) => {
    if (d.requestID === 0) blocks.push({ at: Date.now(), bytes: d.data.readBytes(d.data.remaining()) });
  });
  return blocks;
}

const row = (name) => program.rows.find((r) => r.name === name);
const f64 = (bytes, name) => bytes.readDoubleLE(row(name).offset);

// A raw connection, for what node-simconnect would never send.
function raw(z) {
  return new Promise((resolve, reject) => {
    const s = net.connect(z.port, HOST, () => resolve(s));
    s.on('error', reject);
    s.received = Buffer.alloc(0);
    s.ended = false;
    s.on('data', (d) => (s.received = Buffer.concat([s.received, d])));
    s.on('close', () => (s.ended = true));
  });
}

function request(type, sendId, body, protocol = Protocol.KittyHawk) {
  const header = Buffer.alloc(16);
  header.writeUInt32LE(16 + body.length, 0);
  header.writeUInt32LE(protocol, 4);
  header.writeUInt32LE((0xf0000000 | type) >>> 0, 8);
  header.writeUInt32LE(sendId, 12);
  return Buffer.concat([header, body]);
}

function openRequest(protocol) {
  const body = Buffer.alloc(280);
  body.write('raw client', 0, 'latin1');
  Buffer.from([0, 0x48, 0x4b, 0]).copy(body, 260);
  [11, 0, 62651, 3].forEach((w, i) => body.writeUInt32LE(w, 264 + 4 * i));
  return request(0x01, 0, body, protocol);
}

function messages(buffer) {
  const out = [];
  for (let at = 0; at + 12 <= buffer.length; ) {
    const size = buffer.readUInt32LE(at);
    if (size < 12 || at + size > buffer.length) break;
    out.push(buffer.subarray(at, at + size));
    at += size;
  }
  return out;
}

function rss(pid) {
  const status = fs.readFileSync(`/proc/${pid}/status`, 'latin1');
  return Number(/VmRSS:\s+(\d+)/.exec(status)[1]) * 1024;
}

const rows = [
  ['KittyHawk: the program\'s block every frame, as the in-process simulator gives it', async () => {
    const z = await zvsim();
    const { recvOpen, handle } = await connect(z);
    check(recvOpen.applicationName === 'Built-in simulator', `name ${recvOpen.applicationName}`);
    check(recvOpen.applicationVersionMajor === 11, 'version');
    const blocks = requestProgramBlock(handle);
    await sleep(1500);
    handle.close();
    await stop(z);
    check(blocks.length >= 40 && blocks.length <= 60, `${blocks.length} blocks in 1.5 s`);
    const first = Buffer.from(program.first, 'hex');
    const later = Buffer.from(program.later, 'hex');
    let steady = 0;
    for (const b of blocks) check(b.bytes.length === first.length, `a block of ${b.bytes.length} bytes`);
    // Rows that do not change in cruise equal the in-process simulator's to the byte; the others
    // (the clock, the position) move on.
    for (const r of program.rows) {
      const a = first.subarray(r.offset, r.offset + r.size);
      if (!a.equals(later.subarray(r.offset, r.offset + r.size))) continue;
      ++steady;
      const got = blocks[blocks.length - 1].bytes.subarray(r.offset, r.offset + r.size);
      check(got.equals(a), `${r.name}: ${got.toString('hex')} where the in-process simulator gives ${a.toString('hex')}`);
    }
    check(steady >= program.rows.length - 8, `only ${steady} steady rows`);
    for (let i = 1; i < blocks.length; ++i) {
      const step = f64(blocks[i].bytes, 'ABSOLUTE TIME') - f64(blocks[i - 1].bytes, 'ABSOLUTE TIME');
      check(Math.abs(step * FRAMES_PER_SECOND - Math.round(step * FRAMES_PER_SECOND)) < 1e-3 && step > 0,
        `the clock stepped by ${step} s`);
    }
  }],

  ['HEADING_BUG_SET from one client moves the bug that another reads; the other protocols', async () => {
    const z = await zvsim();
    const a = await connect(z, 'first', Protocol.FSX_SP2);
    const b = await connect(z, 'second', Protocol.SunRise);
    const seen = [];
    b.handle.addToDataDefinition(1, 'AUTOPILOT HEADING LOCK DIR', 'Degrees', SimConnectDataType.FLOAT64);
    b.handle.requestDataOnSimObject(1, 1, 0, SimConnectPeriod.VISUAL_FRAME);
    b.handle.on('simObjectData', (d) => seen.push(d.data.readFloat64()));
    await until(() => seen.length > 0, 2000, 'the bug');
    check(Math.abs(seen[seen.length - 1] - 123) > 1, 'the bug is at 123 already');
    a.handle.mapClientEventToSimEvent(1, 'HEADING_BUG_SET');
    a.handle.transmitClientEvent(0, 1, 123, 1, 16);
    await until(() => Math.abs(seen[seen.length - 1] - 123) < 1e-6, 2000, 'the bug at 123 for the other client');
    check(z.out.includes('opened as "first" (protocol 4)') && z.out.includes('opened as "second" (protocol 6)'), z.out);
    a.handle.close();
    b.handle.close();
    await stop(z);
  }],

  ['an unknown name: exception 7 with the send id as sent and the parameter\'s index', async () => {
    const z = await zvsim();
    const { handle } = await connect(z);
    const exceptions = [];
    handle.on('exception', (e) => exceptions.push([e.exception, e.sendId, e.index]));
    handle.addToDataDefinition(1, 'PLANE ALTITUDE', 'Feet', SimConnectDataType.FLOAT64);
    handle.addToDataDefinition(1, 'NO SUCH VARIABLE', 'Feet', SimConnectDataType.FLOAT64);
    const variable = handle.getLastSentPacketID();
    handle.addToDataDefinition(1, 'PLANE ALTITUDE', 'Furlongs', SimConnectDataType.FLOAT64);
    const units = handle.getLastSentPacketID();
    handle.mapClientEventToSimEvent(1, 'NO_SUCH_EVENT');
    const event = handle.getLastSentPacketID();
    await until(() => exceptions.length === 3, 2000, 'three exceptions');
    const expected = [[EXCEPTION.NAME_UNRECOGNIZED, variable, 2], [EXCEPTION.NAME_UNRECOGNIZED, units, 3],
      [EXCEPTION.NAME_UNRECOGNIZED, event, 2]];
    check(JSON.stringify(exceptions) === JSON.stringify(expected), JSON.stringify(exceptions));
    handle.close();
    await stop(z);
  }],

  ['SIGTERM: every client hears the quit message, zvsim ends with 0 within a second', async () => {
    const z = await zvsim();
    const clients = [await connect(z, 'one'), await connect(z, 'two')];
    const quits = [0, 0];
    clients.forEach((c, i) => c.handle.on('quit', () => ++quits[i]));
    const sent = Date.now();
    z.child.kill('SIGTERM');
    await until(() => z.exit, 1500, 'zvsim to end');
    check(z.exit.code === 0 && z.exit.at - sent < 1000, `ended ${JSON.stringify(z.exit)} after ${z.exit.at - sent} ms`);
    await until(() => quits[0] === 1 && quits[1] === 1, 1000, 'both quit messages');
  }],

  ['SIGUSR1: "SimStop", the quit message, 2 s refused, then a fresh world', async () => {
    const z = await zvsim();
    const { handle } = await connect(z);
    const heard = [];
    handle.subscribeToSystemEvent(6, 'SimStop');
    handle.on('event', (e) => heard.push(`event ${e.clientEventId}`));
    handle.on('quit', () => heard.push('quit'));
    await sleep(100);
    z.child.kill('SIGUSR1');
    await until(() => heard.includes('quit'), 1000, 'the quit message');
    check(JSON.stringify(heard) === '["event 6","quit"]', JSON.stringify(heard));
    await sleep(300);
    let refused = false;
    await connect(z).then((c) => c.handle.close(), () => (refused = true));
    check(refused, 'a connection was taken during the restart');
    await sleep(2200);
    const again = await connect(z);
    again.handle.close();
    await stop(z);
  }],

  ['the controls: ZVSIM_OFFLINE_S, ZVSIM_CLOCK_STEP, ZVSIM_UNKNOWN and SIGUSR2 act on the one world', async () => {
    const started = Date.now();
    const z = await zvsim([], { ZVSIM_OFFLINE_S: '1.2', ZVSIM_CLOCK_STEP: '1', ZVSIM_UNKNOWN: 'AIRSPEED TRUE' });
    check(Date.now() - started >= 1100, `listening after ${Date.now() - started} ms`);
    const { handle } = await connect(z);
    const exceptions = [];
    handle.on('exception', (e) => exceptions.push(e.exception));
    handle.addToDataDefinition(1, 'AIRSPEED TRUE', 'Knots', SimConnectDataType.FLOAT64);
    handle.addToDataDefinition(2, 'ABSOLUTE TIME', 'Seconds', SimConnectDataType.FLOAT64);
    handle.requestDataOnSimObject(2, 2, 0, SimConnectPeriod.VISUAL_FRAME);
    const times = [];
    handle.on('simObjectData', (d) => times.push(d.data.readFloat64()));
    await until(() => times.length >= 10, 2000, 'blocks');
    check(exceptions.length === 1 && exceptions[0] === EXCEPTION.NAME_UNRECOGNIZED, JSON.stringify(exceptions));
    check(times.every((t) => Number.isInteger(t)), `a clock in whole seconds: ${times.slice(0, 3)}`);
    const before = times[times.length - 1];
    z.child.kill('SIGUSR2');
    await until(() => times[times.length - 1] < before - 3000, 2000, 'the clock set back an hour');
    handle.close();
    await stop(z);
  }],

  ['a replay of a recording served to a client', async () => {
    const z = await zvsim([], { ZVSIM_REPLAY: recording });
    check(z.out.includes(`zvsim: serving the recording ${recording} on ${HOST}:${z.port}`), z.out);
    const { recvOpen, handle } = await connect(z);
    check(recvOpen.applicationName === 'Built-in simulator', recvOpen.applicationName);
    const blocks = requestProgramBlock(handle);
    await until(() => blocks.length >= 36, 3000, 'a second of recorded blocks');
    const times = blocks.map((b) => f64(b.bytes, 'ABSOLUTE TIME'));
    check(times.every((t, i) => i === 0 || t > times[i - 1]), 'the recorded clock does not go forward');
    handle.close();
    await stop(z);
  }],

  ['a client that stops reading loses data blocks, never the others\' service', async () => {
    const z = await zvsim();
    // 64 requests a frame for a block of the program's rows ten times over: about 17 MB/s.
    const slow = await raw(z);
    slow.write(openRequest(Protocol.KittyHawk));
    await until(() => messages(slow.received).length >= 1, 2000, 'the open message');
    let id = 1;
    for (let k = 0; k < 10; ++k)
      for (const r of program.rows) {
        const body = Buffer.alloc(528);
        body.writeUInt32LE(1, 0);
        body.write(r.name, 4, 'latin1');
        if (r.units) body.write(r.units, 260, 'latin1');
        body.writeUInt32LE(r.type, 516);
        body.writeUInt32LE(0xffffffff, 524);
        slow.write(request(0x0c, id++, body));
      }
    for (let n = 0; n < 64; ++n) {
      const body = Buffer.alloc(32);
      [n, 1, 0, SimConnectPeriod.VISUAL_FRAME].forEach((w, i) => body.writeUInt32LE(w, 4 * i));
      slow.write(request(0x0e, id++, body));
    }
    slow.pause();
    const { handle } = await connect(z);
    const blocks = requestProgramBlock(handle);
    await sleep(3000);
    const count = blocks.length;
    const memory = rss(z.child.pid);
    check(count >= 72, `the reading client had ${count} blocks in 3 s`);
    check(memory < 64 << 20, `zvsim holds ${memory} bytes`);
    const before = slow.received.length;
    slow.resume();
    await until(() => slow.received.length > before + (1 << 20), 5000, 'the slow client reading again');
    slow.destroy();
    handle.close();
    await stop(z);
  }],

  ['a malformed request, an unknown type, a wrong size, a request before the open, a protocol it does not speak', async () => {
    const z = await zvsim();
    const r = await raw(z);
    r.write(request(0x0c, 7, Buffer.alloc(528)));  // before the open
    r.write(openRequest(Protocol.KittyHawk));
    r.write(request(0x99, 8, Buffer.alloc(4)));  // a type the simulator does not know
    r.write(request(0x05, 9, Buffer.alloc(24)));  // TransmitClientEvent is 36 bytes, not 40
    await until(() => messages(r.received).length >= 4, 2000, 'four messages');
    const got = messages(r.received).map((m) => [m.readUInt32LE(8), m.length === 24 ? [m.readUInt32LE(12), m.readUInt32LE(16), m.readUInt32LE(20)] : m.length]);
    const expected = [[1, [EXCEPTION.UNOPENED, 7, 0]], [2, 308], [1, [EXCEPTION.UNRECOGNIZED_ID, 8, 0]],
      [1, [EXCEPTION.SIZE_MISMATCH, 9, 0]]];
    check(JSON.stringify(got) === JSON.stringify(expected), JSON.stringify(got));
    const bad = Buffer.alloc(4);
    bad.writeUInt32LE(8, 0);
    r.write(bad);
    await until(() => r.ended, 1000, 'the connection closed');
    await until(() => z.out.includes('disconnected: sent a malformed request (size 8)'), 1000, z.out);

    const old = await raw(z);
    old.write(openRequest(3));
    await until(() => old.ended, 1000, 'a protocol 3 client closed');
    const m = messages(old.received);
    check(m.length === 1 && m[0].readUInt32LE(8) === 1 && m[0].readUInt32LE(12) === EXCEPTION.VERSION_MISMATCH,
      `protocol 3: ${old.received.toString('hex')}`);
    await stop(z);
  }],

  ['64 clients at once; the 65th is closed at once', async () => {
    const z = await zvsim();
    const sockets = [];
    for (let i = 0; i < 64; ++i) sockets.push(await raw(z));
    await until(() => (z.out.match(/ connected\n/g) || []).length === 64, 2000, '64 connections');
    const extra = await raw(z);
    await until(() => extra.ended, 1000, 'the 65th closed');
    check(z.out.includes('refused: 64 clients are connected'), z.out);
    check(sockets.every((s) => !s.ended), 'one of the 64 was closed');
    sockets.forEach((s) => s.destroy());
    await stop(z);
  }],

  ['the command line: --help, a bad option, a port that is taken', async () => {
    const run = (args) => new Promise((resolve) => {
      const c = spawn(zvsimPath, args);
      let out = '', err = '';
      c.stdout.on('data', (d) => (out += d));
      c.stderr.on('data', (d) => (err += d));
      c.on('exit', (code) => resolve({ code, out, err }));
    });
    let r = await run(['--help']);
    check(r.code === 0 && r.out.startsWith('usage: zvsim [--listen ADDRESS] [--port N] [-v]'), JSON.stringify(r));
    for (const args of [['--port', '0'], ['--port', '65536'], ['--listen', '010.0.0.1'], ['--listen'], ['-x']]) {
      r = await run(args);
      check(r.code === 2 && r.err.startsWith('zvsim: ') && r.err.includes('usage: zvsim'), `${args}: ${JSON.stringify(r)}`);
    }
    const taken = net.createServer().listen(0, HOST);
    await new Promise((res) => taken.once('listening', res));
    r = await run(['--port', String(taken.address().port)]);
    taken.close();
    check(r.code === 2 && /^zvsim: cannot listen on 127\.0\.0\.1:\d+: .*--port/.test(r.err), JSON.stringify(r));
  }],
];

(async () => {
  let failed = 0;
  for (const [name, run] of rows) {
    try {
      await run();
      console.log(`ok: ${name}`);
    } catch (e) {
      ++failed;
      console.log(`FAILED: ${name}: ${e.message}`);
    }
  }
  process.exit(failed === 0 ? 0 : 1);
})();
