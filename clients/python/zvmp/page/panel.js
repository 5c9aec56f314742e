// The cockpit panel's behaviour: follows the server's event stream (/events), shows the
// program's values in the units a pilot reads, and sends what the pilot sets to /send, one
// command at a time and in the order made. Values are named as zvmp-monitor names them.
"use strict";

const FT_PER_M = 3.28084;
const KT_PER_M_S = 1.943844;
const HPA_PER_INHG = 33.86;
// A value set shows in its window until the data shows it, or for this long (ms).
const PENDING_MS = 2000;
// Pixels of drag, and wheel distance, per step; holding a step button repeats it.
const DRAG_PX = 10;
const WHEEL_STEP = 40;
const REPEAT_DELAY_MS = 400;
const REPEAT_MS = 120;
const RANGES = [5, 10, 20, 40, 80, 160, 320, 640];
const SAMPLES = 5000;

let values = {};
let status = { status: "no-answer", text: "connecting", program: "" };
// Whether the event stream is open; null until it has opened or failed once.
let connected = null;
let baroHpa = localStorage.getItem("zvmp-baro-unit") === "hpa";
const pending = {};
// Milliseconds from a data packet's arrival at the server to this page's update.
const latencies = [];
window.zvmpPanel = { latencies, get values() { return values; }, events: 0 };

const clamp = (x, lo, hi) => Math.min(hi, Math.max(lo, x));
const wrap = (x, m) => ((x % m) + m) % m;
const known = (x) => typeof x === "number";
const fixed = (x, decimals) => (known(x) ? x.toFixed(decimals) : null);
const signed = (x) => (known(x) ? (Math.round(x) > 0 ? "+" : "") + Math.round(x) : null);
const three = (x) => String(Math.trunc(x)).padStart(3, "0");

// ---- the windows that can be set: how each shows, steps and is sent ----

function course() {
  return { show: three, step: (v, d) => wrap(Math.trunc(v) + d, 360), text: (v) => String(v) };
}

function radio(lo, hi) {
  return {
    show: (v) => v.toFixed(2),
    step: (v, d) => {
      const next = Math.round(v * 100 + 5 * d) / 100;
      return next > hi + 1e-6 ? lo : next < lo - 1e-6 ? hi : next;
    },
    text: (v) => v.toFixed(2),
  };
}

const DIALS = {
  crs1: course(),
  crs2: course(),
  hdg: course(),
  alt: { show: (v) => String(Math.round(v)), step: (v, d) => clamp(Math.round(v / 100) * 100 + 100 * d, 0, 50000), text: String },
  vs: { show: signed, step: (v, d) => clamp(Math.round(v / 100) * 100 + 100 * d, -10000, 10000), text: String },
  // Below 5 the speed is a Mach number, which the program cuts to hundredths: the middle of the
  // hundredth is sent so that the float it travels as does not fall below it.
  spd: {
    show: (v) => (v < 5 ? v.toFixed(2).replace(/^0/, "") : String(Math.round(v))),
    step: (v, d) => (v < 5 ? clamp(Math.round(v * 100) / 100 + 0.01 * d, 0.01, 4.99) : clamp(Math.round(v) + d, 5, 999)),
    text: (v) => (v < 5 ? (v + 0.005).toFixed(3) : String(v)),
  },
  baro: {
    show: (v) => (baroHpa ? String(Math.round(v * HPA_PER_INHG)) : v.toFixed(2)),
    step: (v, d) => (baroHpa ? clamp(Math.round(v * HPA_PER_INHG) + d, 850, 1100) / HPA_PER_INHG
                             : clamp(Math.round(v * 100) / 100 + 0.01 * d, 25, 35)),
    text: (v) => (baroHpa ? String(Math.round(v * HPA_PER_INHG)) : v.toFixed(2)),
  },
  // The mode selector steps 0, 1, 2, 4 as the program's own EFIS panel does.
  "efis-mode": {
    show: String,
    step: (v, d) => {
      let m = v + d;
      if (m === 3) m = d > 0 ? 4 : 2;
      return m > 4 ? 0 : m < 0 ? 4 : m;
    },
    text: String,
  },
  "efis-range": {
    show: (v) => String(Math.round(v * 10) / 10),
    step: (v, d) => (d > 0 ? RANGES.find((r) => r > v + 1e-3) || RANGES[RANGES.length - 1]
                           : [...RANGES].reverse().find((r) => r < v - 1e-3) || RANGES[0]),
    text: String,
  },
  nav1s: radio(108.0, 117.95),
  nav2s: radio(108.0, 117.95),
  com1s: radio(118.0, 136.99),
  com2s: radio(118.0, 136.99),
};

// Windows that only show (or take typed values).
const SHOWN = {
  com1: (v) => v.toFixed(2), com2: (v) => v.toFixed(2), nav1: (v) => v.toFixed(2), nav2: (v) => v.toFixed(2),
  xpdr: (v) => String(v).padStart(4, "0"),
};

// The flight values strip, in the units a pilot reads.
const STRIP = {
  ias: (v) => fixed(v.ias, 0),
  mach: (v) => fixed(v.mach, 3),
  altitude: (v) => (known(v["ind-alt"]) ? (v["ind-alt"] * FT_PER_M).toFixed(0) : null),
  vsi: (v) => signed(v.vsi),
  heading: (v) => (known(v["true-hdg"]) && known(v.magvar) ? three(wrap(Math.round(v["true-hdg"] + v.magvar), 360)) : null),
  "ground-speed": (v) => (known(v.gs) ? (v.gs * KT_PER_M_S).toFixed(0) : null),
};

// ---- mode buttons: their lamps as the program publishes the modes, and what a press sends ----

const on = (name) => (v) => v[name] === 2;
const toggle = (name) => (v) => ({ [name]: v[name] ? "off" : "on" });
const option = (bits) => ({
  lit: (v) => known(v["efis-options"]) && (v["efis-options"] & bits) !== 0,
  press: (v) => {
    const options = v["efis-options"] || 0;
    // STA is two bits that go on and off together.
    const next = (options & bits) === 0 ? options | bits : bits === 0x30 ? options & ~bits : options ^ bits;
    return { "efis-options": next >>> 0 };
  },
});

const MODES = {
  fd: {
    lit: (v) => v["fd-mode"] >= 1,
    press: (v) => (v["fd-mode"] === 2 ? "the flight director stays on while the autopilot is engaged"
                                       : { "fd-mode": v["fd-mode"] ? 0 : 1 }),
  },
  cmd: { lit: (v) => v["fd-mode"] === 2, press: (v) => ({ "fd-mode": v["fd-mode"] === 2 ? 1 : 2 }) },
  "at-arm": { lit: (v) => v["spd-hold"] > 0, press: (v) => ({ "spd-hold": v["spd-hold"] ? 0 : 1 }) },
  speed: { lit: on("spd-hold"), press: (v) => ({ "spd-hold": v["spd-hold"] === 2 ? 1 : 2 }) },
  n1: { lit: on("n1-hold"), press: toggle("n1-hold") },
  "lvl-chg": { lit: on("lc-hold"), press: toggle("lc-hold") },
  vnav: { lit: on("vnav-hold"), press: toggle("vnav-hold") },
  "hdg-sel": { lit: on("hdg-hold"), press: toggle("hdg-hold") },
  lnav: { lit: on("lnav-hold"), press: toggle("lnav-hold") },
  loc: { lit: (v) => v["loc-hold"] > 0, press: toggle("loc-hold") },
  app: { lit: (v) => v["app-hold"] > 0, press: toggle("app-hold") },
  "alt-hld": { lit: on("alt-hold"), press: toggle("alt-hold") },
  vs: { lit: on("vs-hold"), press: toggle("vs-hold") },
  co: { press: (v) => ({ "spd-mach": v["spd-mach"] ? 0 : 1 }) },
  std: { press: () => ({ baro: "29.92" }) },
  "baro-unit": { press: () => { baroHpa = !baroHpa; localStorage.setItem("zvmp-baro-unit", baroHpa ? "hpa" : "in"); return null; } },
  wxr: option(0x1), tfc: option(0x2), arpt: option(0x4), wpt: option(0x8), sta: option(0x30), ctr: option(0x200),
};

// ---- commands, one at a time ----

const queue = [];
let sending = false;

function say(text, bad) {
  const message = document.getElementById("message");
  message.textContent = text;
  message.classList.toggle("bad", Boolean(bad));
}

// Queues commands; a command for the same names as the last one still waiting replaces it.
function send(commands) {
  const key = Object.keys(commands).sort().join(" ");
  const last = queue[queue.length - 1];
  if (last && last.key === key) last.commands = commands;
  else queue.push({ key, commands });
  if (!sending) drain();
}

async function drain() {
  sending = true;
  while (queue.length) {
    const { commands } = queue.shift();
    try {
      const answer = await fetch("send", {
        method: "POST", headers: { "Content-Type": "application/json" }, body: JSON.stringify(commands),
      });
      const reply = await answer.json().catch(() => ({}));
      if (answer.ok) say("");
      else refused(commands, reply.error || "the panel server answered " + answer.status);
    } catch (e) {
      refused(commands, "the panel server cannot be reached");
    }
  }
  sending = false;
}

function refused(commands, why) {
  for (const name of Object.keys(commands)) delete pending[name];
  say(why, true);
  render();
}

// ---- setting values ----

function current(name) {
  const p = pending[name];
  return p && performance.now() < p.until ? p.value : values[name];
}

function step(name, direction) {
  const dial = DIALS[name];
  const value = current(name);
  if (!known(value)) return;
  const next = dial.step(value, direction);
  pending[name] = { value: next, shown: dial.show(next), until: performance.now() + PENDING_MS };
  send({ [name]: dial.text(next) });
  render();
}

function press(mode) {
  const v = Object.assign({}, values);
  const result = MODES[mode].press(v);
  if (typeof result === "string") say(result, true);
  else if (result) send(result);
  render();
}

function swap(radioName) {
  const active = values[radioName];
  const standby = values[radioName + "s"];
  if (!known(active) || !known(standby)) return;
  send({ [radioName]: standby.toFixed(2), [radioName + "s"]: active.toFixed(2) });
}

function edit(out) {
  const name = out.dataset.name;
  if (out.hidden || !(name in values)) return;
  const input = document.createElement("input");
  input.className = "window editing";
  input.dataset.name = name;
  input.value = out.textContent.trim().replace(/^\+/, "");
  input.inputMode = name === "xpdr" ? "numeric" : "decimal";
  input.enterKeyHint = "send";
  input.setAttribute("aria-label", "type a value for " + name);
  out.hidden = true;
  out.after(input);
  let done = false;
  const finish = () => {
    if (done) return;
    done = true;
    input.remove();
    out.hidden = false;
  };
  input.addEventListener("keydown", (e) => {
    if (e.key !== "Enter" && e.key !== "Escape") return;
    if (e.key === "Enter") send({ [name]: input.value.trim() });
    finish();
    out.focus({ preventScroll: true });
  });
  input.addEventListener("blur", finish);
  input.focus();
  input.select();
}

// A window turns when dragged up or down or scrolled over, and takes a typed value when tapped.
function bindWindow(out) {
  const name = out.dataset.name;
  let start = null;
  let stepsDone = 0;
  let moved = 0;
  out.addEventListener("pointerdown", (e) => {
    start = e.clientY;
    stepsDone = 0;
    moved = 0;
    out.setPointerCapture(e.pointerId);
  });
  out.addEventListener("pointermove", (e) => {
    if (start === null) return;
    moved = Math.max(moved, Math.abs(e.clientY - start));
    if (!DIALS[name]) return;
    const steps = Math.trunc((start - e.clientY) / DRAG_PX);
    while (stepsDone !== steps) {
      const d = Math.sign(steps - stepsDone);
      step(name, d);
      stepsDone += d;
    }
  });
  const end = () => {
    const tapped = start !== null && moved < 6;
    start = null;
    if (tapped) edit(out);
  };
  out.addEventListener("pointerup", end);
  // From a keyboard: the arrows step, Enter opens the window for a typed value.
  out.tabIndex = 0;
  out.addEventListener("keydown", (e) => {
    if (e.key === "Enter") edit(out);
    else if (DIALS[name] && (e.key === "ArrowUp" || e.key === "ArrowDown")) step(name, e.key === "ArrowUp" ? 1 : -1);
    else return;
    e.preventDefault();
  });
  out.addEventListener("pointercancel", () => { start = null; });
  let wheel = 0;
  out.addEventListener("wheel", (e) => {
    if (!DIALS[name]) return;
    e.preventDefault();
    wheel -= e.deltaY;
    while (Math.abs(wheel) >= WHEEL_STEP) {
      step(name, Math.sign(wheel));
      wheel -= Math.sign(wheel) * WHEEL_STEP;
    }
  }, { passive: false });
}

function bindStep(button) {
  let timer = null;
  const stop = () => { clearTimeout(timer); clearInterval(timer); timer = null; };
  const once = () => step(button.dataset.name, Number(button.dataset.dir));
  button.addEventListener("pointerdown", (e) => {
    if (e.button !== 0) return;
    once();
    stop();
    timer = setTimeout(() => { timer = setInterval(once, REPEAT_MS); }, REPEAT_DELAY_MS);
  });
  for (const ending of ["pointerup", "pointerleave", "pointercancel"]) button.addEventListener(ending, stop);
  // A press from the keyboard comes as a click alone.
  button.addEventListener("click", (e) => { if (e.detail === 0) once(); });
}

// ---- showing ----

function setText(element, text) {
  if (element.textContent !== text) element.textContent = text;
}

function render() {
  const now = performance.now();
  for (const element of document.querySelectorAll("[data-show]")) {
    setText(element, STRIP[element.dataset.show](values) ?? "---");
  }
  for (const out of document.querySelectorAll("output.window")) {
    const name = out.dataset.name;
    const dial = DIALS[name];
    const show = dial ? dial.show : SHOWN[name];
    const p = pending[name];
    const published = known(values[name]) ? show(values[name]) : null;
    if (p && (now >= p.until || p.shown === published)) delete pending[name];
    setText(out, pending[name] ? pending[name].shown : published ?? "---");
    out.classList.toggle("pending", Boolean(pending[name]));
  }
  for (const button of document.querySelectorAll("button.mode")) {
    const mode = MODES[button.dataset.mode];
    if (mode.lit) button.classList.toggle("lit", Boolean(mode.lit(values)));
  }
  setText(document.getElementById("baro-unit"), baroHpa ? "HPA" : "IN");
  const live = connected && status.status === "streaming";
  document.body.classList.toggle("stale", !live);
  const said = connected ? status.text : connected === null ? "connecting" : "no connection to the panel server";
  setText(document.getElementById("status"), said);
  document.getElementById("status").className = "status " + (connected ? status.status : "no-server");
  setText(document.getElementById("program"), status.program ? "program " + status.program : "");
}

// ---- the event stream ----

function follow() {
  const source = new EventSource("events");
  source.onopen = () => { connected = true; render(); };
  source.onerror = () => { connected = false; render(); };
  source.onmessage = (message) => {
    const event = JSON.parse(message.data);
    connected = true;
    if (event.full) {
      values = {};
      status = event;
    }
    for (const [name, value] of Object.entries(event.values)) {
      if (value === null) delete values[name];
      else values[name] = value;
    }
    for (const name of event.removed || []) delete values[name];
    render();
    window.zvmpPanel.events += 1;
    if (!event.full && event.received) {
      latencies.push(performance.timeOrigin + performance.now() - event.received);
      if (latencies.length > SAMPLES) latencies.shift();
    }
  };
  source.addEventListener("status", (message) => {
    status = JSON.parse(message.data);
    render();
  });
}

document.addEventListener("DOMContentLoaded", () => {
  for (const out of document.querySelectorAll("output.window")) bindWindow(out);
  for (const button of document.querySelectorAll("button.step")) bindStep(button);
  for (const button of document.querySelectorAll("button.mode")) {
    button.addEventListener("click", () => press(button.dataset.mode));
  }
  for (const button of document.querySelectorAll("button.swap")) {
    button.addEventListener("click", () => swap(button.dataset.swap));
  }
  render();
  follow();
});
