#include "panel/panel_page.h"

namespace qmdc::cli::panel {

// The page loads the chart library and its script with the token of its own
// address; everything else it builds from what the event stream sends. The
// first screen is the rack: a row per supply; a row opens that supply's card.
const char* const kPanelPage = R"PAGE(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>qmdc panel</title>
<meta name="viewport" content="width=device-width, initial-scale=1">
<style>
body { font-family: sans-serif; margin: 0; background: #eef0f2; color: #1d2329; }
header { background: #1d2329; color: #fff; padding: 8px 16px; display: flex; gap: 16px;
         align-items: center; flex-wrap: wrap; }
header h1 { font-size: 18px; margin: 0; }
#summary { display: flex; gap: 6px; font-size: 13px; align-items: center; }
#summary span { padding: 1px 7px; border-radius: 9px; background: #37414b; }
#summary .count-tripped { background: #d32f2f; }
#summary .count-lost { background: #6d4c41; }
#summary .count-off { background: #546e7a; }
#summary .count-errors { background: #b26a00; }
#rate { font-size: 13px; color: #9ab; }
#link { margin-left: auto; font-size: 13px; }
#link.down { color: #ff8a80; }
main { padding: 12px 16px; }
#rack { border-collapse: collapse; background: #fff; box-shadow: 0 1px 3px #0003; font-size: 13px;
        width: 100%; }
#rack th { position: sticky; top: 0; background: #dde1e5; text-align: left; padding: 4px 8px;
           cursor: pointer; user-select: none; white-space: nowrap; }
#rack th.sorted::after { content: ' \25B2'; font-size: 10px; }
#rack th.sorted.down::after { content: ' \25BC'; }
#rack td { padding: 2px 8px; border-top: 1px solid #e4e7ea; white-space: nowrap; }
#rack tbody tr { cursor: pointer; border-left: 5px solid transparent; }
#rack tbody tr:hover { background: #f0f6ff; }
#rack td.num { text-align: right; font-family: monospace; font-size: 14px; }
#rack .badge { display: inline-block; min-width: 62px; text-align: center; font-size: 11px;
               font-weight: bold; border-radius: 3px; padding: 1px 4px; background: #2e7d32;
               color: #fff; }
#rack tr.st-off .badge { background: #78909c; }
#rack tr.st-connecting .badge { background: #b0bec5; }
#rack tr.st-tripped { background: #fdecea; border-left-color: #d32f2f; }
#rack tr.st-tripped .badge, #rack tr.st-tripped td.protection { background: #d32f2f; color: #fff; }
#rack tr.st-lost { background: repeating-linear-gradient(135deg, #f3f1f0 0 8px, #e9e5e3 8px 16px);
                   border-left-color: #6d4c41; color: #6d6d6d; }
#rack tr.st-lost .badge { background: #6d4c41; }
#rack tr.has-errors td.state::after { content: attr(data-errors); margin-left: 4px; color: #fff;
                                      background: #b26a00; border-radius: 3px; padding: 0 4px;
                                      font-size: 11px; font-weight: bold; }
#rack tr.st-off td.output { color: #78909c; font-weight: bold; }
#rack td.output.on { color: #2e7d32; font-weight: bold; }
#rack td.mode.cc { color: #ef6c00; font-weight: bold; }
.unknown { color: #9e9e9e !important; }
#rack canvas { display: block; }
#detail[hidden], #rackview[hidden] { display: none; }
#back { margin-bottom: 10px; }
.supply { background: #fff; border-radius: 6px; box-shadow: 0 1px 3px #0003; padding: 12px 16px;
          max-width: 760px; }
.supply h2 { font-size: 16px; margin: 0 0 2px 0; }
.identity { font-size: 12px; color: #555; margin-bottom: 4px; }
.last { font-size: 12px; color: #555; margin-bottom: 8px; }
.lost { background: #6d4c41; color: #fff; padding: 6px 8px; border-radius: 4px; margin: 6px 0;
        font-size: 13px; }
.readouts { display: flex; gap: 12px; }
.readout { flex: 1; background: #101418; color: #7cf29c; border-radius: 4px; padding: 6px 10px;
           text-align: right; font-family: monospace; }
.readout .value { font-size: 30px; }
.readout .unit { font-size: 14px; color: #9ab; }
.readout.amps { color: #ffd54f; }
.readout.unknown { background: #3a3f44; }
.readout.unknown .value { color: #8a949e; }
.indicators { display: flex; gap: 8px; margin: 8px 0; }
.indicator { font-size: 13px; font-weight: bold; padding: 3px 8px; border-radius: 3px;
             background: #dde1e5; color: #8a949e; }
.indicator.on { background: #2e7d32; color: #fff; }
.indicator.trip.on { background: #d32f2f; color: #fff; }
.indicator.cc.on { background: #ef6c00; }
.indicators.unknown .indicator { background: #fff; border: 1px dashed #b0b7be; color: #b0b7be; }
.tripbox, .confirm { background: #fdecea; border: 1px solid #d32f2f; border-radius: 4px;
                  padding: 6px 8px; margin: 6px 0; font-size: 13px; display: flex; gap: 8px;
                  align-items: center; flex-wrap: wrap; }
.confirm { background: #fff8e1; border-color: #ef6c00; }
.tripbox[hidden], .confirm[hidden] { display: none; }
.chart { height: 220px; margin: 6px 0; }
.legend { font-size: 12px; min-height: 16px; }
.controls { display: grid; grid-template-columns: auto 90px auto auto; gap: 4px 8px;
            align-items: center; justify-content: start; font-size: 13px; }
.controls input { width: 84px; }
.actions { display: flex; gap: 8px; margin: 8px 0; flex-wrap: wrap; }
.message { font-size: 13px; min-height: 18px; }
.message.refused { color: #b71c1c; }
.errors { font-size: 12px; font-family: monospace; background: #f5f5f5; max-height: 90px;
          overflow: auto; padding: 4px; margin: 4px 0; list-style: none; }
.errors:empty { display: none; }
</style>
</head>
<body>
<header><h1>qmdc panel</h1><span id="summary"></span><span id="rate"></span>
<span id="link">connecting</span></header>
<main>
<section id="rackview">
<table id="rack"><thead><tr></tr></thead><tbody></tbody></table>
</section>
<section id="detail" hidden><button id="back">&#8592; Rack</button><div id="card"></div></section>
</main>
<template id="supply-card">
<section class="supply">
  <h2 class="name"></h2>
  <div class="identity"></div>
  <div class="last"></div>
  <div class="lost" hidden></div>
  <div class="readouts">
    <div class="readout volts"><span class="value">&#8212;</span> <span class="unit">V</span></div>
    <div class="readout amps"><span class="value">&#8212;</span> <span class="unit">A</span></div>
    <div class="readout watts"><span class="value">&#8212;</span> <span class="unit">W</span></div>
  </div>
  <div class="indicators">
    <span class="indicator output">OUTPUT</span>
    <span class="indicator cv">CV</span>
    <span class="indicator cc">CC</span>
    <span class="indicator trip ovp">OVP</span>
    <span class="indicator trip ocp">OCP</span>
  </div>
  <div class="tripbox" hidden><span class="trip-text"></span>
    <button data-do="reset-protection">Reset protection and switch output on</button></div>
  <div class="confirm" hidden><span class="confirm-text"></span>
    <button data-do="confirm-reset">Reset and switch on</button>
    <button data-do="cancel-reset">Cancel</button></div>
  <div class="chart"></div>
  <div class="legend"></div>
  <div class="controls">
    <label>Voltage level</label><input name="voltage"><button data-set="voltage">Set</button><span class="now voltage"></span>
    <label>Current level</label><input name="current"><button data-set="current">Set</button><span class="now current"></span>
    <label>OVP level</label><input name="ovp"><button data-set="ovp">Set</button><span class="now ovp"></span>
    <label>OCP level</label><input name="ocp"><button data-set="ocp">Set</button><span class="now ocp"></span>
  </div>
  <div class="actions">
    <button data-do="output-on">Output on</button>
    <button data-do="output-off">Output off</button>
    <button data-do="read-errors">Read error queue</button>
    <a class="csv" download>Download CSV</a>
  </div>
  <div class="message"></div>
  <ul class="errors"></ul>
</section>
</template>
<script src="/dygraph.min.js?token=%TOKEN%"></script>
<script src="/panel.js?token=%TOKEN%"></script>
</body>
</html>
)PAGE";

const char* const kPanelScript = R"SCRIPT('use strict';
// The page keeps what the panel sent (the whole state first, then each tick's
// changes) and redraws what changed at most once a frame.
const token = new URLSearchParams(location.search).get('token') || '';
const withToken = (path) => path + '?token=' + encodeURIComponent(token);
const DASH = '\u2014';
const supplies = [];  // {index, f: fields, points: [[ms, volts, amps]], row, cells}
let settings = {rate_hz: 4, chart_seconds: 600, tick_ms: 200};
let clockOffset = 0;  // the panel's clock minus this one, ms
let sortKey = 'index', sortDown = false, orderChanged = true;
let card = null;      // the supply shown whole
let frameWanted = false;
const dirty = new Set();
// What a measurement reads: messages, bytes, frames, and per supply the time
// of the newest reading drawn (rack row and open chart).
window.panelStats = {messages: 0, bytes: 0, frames: 0, snapshots: 0, drawn: [], chartDrawn: 0};

const TRIPS = {OV: 'over-voltage protection (OVP)', OC: 'over-current protection (OCP)'};
const RANKS = {tripped: 0, lost: 1, errors: 2, off: 3, connecting: 4, on: 5};

function fixed(value, digits) {
  return typeof value === 'number' ? value.toFixed(digits) : DASH;
}

function newest(s) {
  return s.points.length ? s.points[s.points.length - 1] : null;
}

// The readings only while the supply answers: a lost one's are unknown.
function reading(s) {
  const p = newest(s);
  if (!s.f.connected || !p) return {};
  return {volts: p[1], amps: p[2], watts: p[1] * p[2]};
}

function status(s) {
  const f = s.f;
  if (!f.connected) return f.identity || f.problem !== 'connecting' ? 'lost' : 'connecting';
  if (f.protection && f.protection !== 'none') return 'tripped';
  if ((f.errors || []).length) return 'errors';
  return f.output ? 'on' : 'off';
}

function clock(ms) {
  const d = new Date(ms);
  return d.toLocaleTimeString([], {hour12: false}) + '.' + String(d.getMilliseconds()).padStart(3, '0').slice(0, 1);
}

function age(ms) {
  const seconds = Math.max(0, (Date.now() + clockOffset - ms) / 1000);
  if (seconds < 10) return seconds.toFixed(1) + ' s';
  if (seconds < 120) return Math.round(seconds) + ' s';
  if (seconds < 7200) return Math.round(seconds / 60) + ' min';
  return Math.round(seconds / 3600) + ' h';
}

function lastReading(s) {
  const p = newest(s);
  if (!p) return DASH;
  return s.f.connected ? age(p[0]) : clock(p[0]) + ' (' + age(p[0]) + ' ago)';
}

const identity = (s) => s.f.identity || {};
// The rack's columns: title, the text of a cell, the value it sorts by.
const COLUMNS = [
  {key: 'state', title: 'State', text: (s) => status(s).toUpperCase(), sort: (s) => RANKS[status(s)]},
  {key: 'name', title: 'Supply', text: (s) => s.f.name, sort: (s) => s.f.name},
  {key: 'serial', title: 'Serial', text: (s) => identity(s).serial || DASH, sort: (s) => identity(s).serial || ''},
  {key: 'model', title: 'Model', text: (s) => identity(s).model || DASH, sort: (s) => identity(s).model || ''},
  {key: 'volts', title: 'V', num: true, text: (s) => fixed(reading(s).volts, 3), sort: (s) => reading(s).volts},
  {key: 'amps', title: 'A', num: true, text: (s) => fixed(reading(s).amps, 3), sort: (s) => reading(s).amps},
  {key: 'watts', title: 'W', num: true, text: (s) => fixed(reading(s).watts, 2), sort: (s) => reading(s).watts},
  {key: 'mode', title: 'Mode', text: (s) => (s.f.connected ? s.f.mode : null) || DASH, sort: (s) => s.f.mode || ''},
  {key: 'output', title: 'Output', text: (s) => s.f.output == null ? DASH : s.f.output ? 'on' : 'off',
   sort: (s) => s.f.output == null ? -1 : +s.f.output},
  {key: 'protection', title: 'Protection', text: (s) => s.f.protection == null ? DASH :
     s.f.protection === 'none' ? 'armed' : s.f.protection + ' tripped', sort: (s) => s.f.protection || ''},
  {key: 'age', title: 'Last reading', text: lastReading, sort: (s) => newest(s) ? -newest(s)[0] : Infinity},
  {key: 'trend', title: 'Voltage trend'},
];

function buildHeader() {
  const head = document.querySelector('#rack thead tr');
  for (const column of COLUMNS) {
    const th = document.createElement('th');
    th.textContent = column.title;
    th.dataset.sort = column.key;
    if (column.sort) th.addEventListener('click', () => sortBy(column.key));
    head.appendChild(th);
  }
  sortBy('state');
}

function sortBy(key) {
  sortDown = key === sortKey ? !sortDown : false;
  sortKey = key;
  for (const th of document.querySelectorAll('#rack th')) {
    th.classList.toggle('sorted', th.dataset.sort === key);
    th.classList.toggle('down', th.dataset.sort === key && sortDown);
  }
  orderChanged = true;
  wantFrame();
}

function makeRow(s) {
  const row = document.createElement('tr');
  row.dataset.supply = s.index;
  s.cells = {};
  for (const column of COLUMNS) {
    const td = document.createElement('td');
    td.className = column.key + (column.num ? ' num' : '');
    if (column.key === 'trend') {
      td.appendChild(document.createElement('canvas'));
      td.firstChild.width = 120;
      td.firstChild.height = 20;
    } else if (column.key === 'state') {
      td.innerHTML = '<span class="badge"></span>';
    }
    s.cells[column.key] = td;
    row.appendChild(td);
  }
  row.addEventListener('click', () => { location.hash = 'supply-' + s.index; });
  s.row = row;
  s.texts = {};
}

function setText(s, key, element, text) {
  if (s.texts[key] === text) return;
  s.texts[key] = text;
  element.textContent = text;
}

function drawTrend(s) {
  const canvas = s.cells.trend.firstChild;
  const g = canvas.getContext('2d');
  g.clearRect(0, 0, canvas.width, canvas.height);
  const points = s.points;
  if (points.length < 2) return;
  let low = Infinity, high = -Infinity;
  for (const p of points) { low = Math.min(low, p[1]); high = Math.max(high, p[1]); }
  if (high - low < 1e-3) { high += 0.5; low -= 0.5; }
  const first = points[0][0], span = Math.max(1, points[points.length - 1][0] - first);
  g.strokeStyle = s.f.connected ? '#2e7d32' : '#9e9e9e';
  g.lineWidth = 1.5;
  g.beginPath();
  points.forEach((p, i) => {
    const x = 1 + (p[0] - first) / span * (canvas.width - 2);
    const y = canvas.height - 2 - (p[1] - low) / (high - low) * (canvas.height - 4);
    if (i) g.lineTo(x, y); else g.moveTo(x, y);
  });
  g.stroke();
}

function drawRow(s) {
  const state = status(s);
  s.row.className = 'st-' + state + ((s.f.errors || []).length ? ' has-errors' : '');
  s.cells.state.dataset.errors = (s.f.errors || []).length ? '\u26A0 ' + s.f.errors.length : '';
  s.cells.state.title = (s.f.errors || []).slice(-1)[0] || s.f.problem || '';
  for (const column of COLUMNS) {
    if (!column.text) continue;
    const cell = column.key === 'state' ? s.cells.state.firstChild : s.cells[column.key];
    setText(s, column.key, cell, column.text(s));
  }
  const live = s.f.connected;
  for (const key of ['volts', 'amps', 'watts', 'mode', 'output', 'protection']) {
    s.cells[key].classList.toggle('unknown', !live);
  }
  s.cells.output.classList.toggle('on', live && !!s.f.output);
  s.cells.mode.classList.toggle('cc', live && s.f.mode === 'CC');
  drawTrend(s);
  const p = newest(s);
  panelStats.drawn[s.index] = p ? p[0] : 0;
}

function drawOrder() {
  const column = COLUMNS.find((c) => c.key === sortKey);
  const value = (s) => { const v = column.sort(s); return v === undefined || v === null ? -Infinity : v; };
  const order = supplies.slice().sort((a, b) => {
    const x = value(a), y = value(b);
    const c = x < y ? -1 : x > y ? 1 : 0;
    return (sortDown ? -c : c) || a.index - b.index;
  });
  const body = document.querySelector('#rack tbody');
  const rows = body.children;
  if (order.length === rows.length && order.every((s, i) => rows[i] === s.row)) return;
  body.replaceChildren(...order.map((s) => s.row));
}

function drawSummary() {
  const counts = {};
  for (const s of supplies) { const st = status(s); counts[st] = (counts[st] || 0) + 1; }
  const parts = [['all', supplies.length + (supplies.length === 1 ? ' supply' : ' supplies')]];
  for (const st of ['on', 'off', 'tripped', 'lost', 'errors', 'connecting']) {
    if (counts[st]) parts.push([st, counts[st] + ' ' + (st === 'errors' ? 'with errors' : st)]);
  }
  document.getElementById('summary').replaceChildren(...parts.map(([st, text]) => {
    const span = document.createElement('span');
    span.className = 'count-' + st;
    span.textContent = text;
    return span;
  }));
}

function wantFrame() {
  if (frameWanted) return;
  frameWanted = true;
  requestAnimationFrame(frame);
}

function frame() {
  frameWanted = false;
  panelStats.frames++;
  const sortsByLive = !['index', 'name', 'serial', 'model'].includes(sortKey);
  for (const index of dirty) drawRow(supplies[index]);
  if (dirty.size) drawSummary();
  if (orderChanged || (sortsByLive && dirty.size)) drawOrder();
  orderChanged = false;
  if (card && (dirty.has(card.index) || card.chartChanged)) drawCard();
  dirty.clear();
}

// One message: the whole state (full) or a tick's changes.
function take(message) {
  const now = message.now * 1000;
  clockOffset = now - Date.now();
  const absolute = (p) => [now + p[0], p[1], p[2]];
  if (message.full) {
    panelStats.snapshots++;
    settings = {rate_hz: message.rate_hz, chart_seconds: message.chart_seconds, tick_ms: message.tick_ms};
    document.getElementById('rate').textContent = 'read ' + message.rate_hz + ' /s';
    const body = document.querySelector('#rack tbody');
    supplies.length = 0;
    for (const f of message.supplies) {
      const s = {index: f.index, f: f, points: f.p.map(absolute)};
      delete f.p;
      makeRow(s);
      supplies.push(s);
      dirty.add(s.index);
    }
    body.replaceChildren(...supplies.map((s) => s.row));
    orderChanged = true;
    route();
  } else {
    for (const [key, change] of Object.entries(message.s)) {
      const s = supplies[+key];
      if (!s) continue;
      const points = (change.p || []).map(absolute);
      delete change.p;
      Object.assign(s.f, change);
      const last = newest(s);
      for (const p of points) if (!last || p[0] > last[0]) s.points.push(p);
      if (s.points.length > 120) s.points.splice(0, s.points.length - 120);
      if (card && card.index === s.index && points.length) {
        addChartPoints(points);
      }
      dirty.add(s.index);
    }
  }
  wantFrame();
}

function listen() {
  const link = document.getElementById('link');
  const events = new EventSource(withToken('/api/events'));
  events.onopen = () => { link.textContent = 'live'; link.className = ''; };
  events.onmessage = (e) => {
    panelStats.messages++;
    panelStats.bytes += e.data.length;
    take(JSON.parse(e.data));
  };
  events.onerror = () => { link.textContent = 'panel not reachable - retrying'; link.className = 'down'; };
}

// The card: one supply whole, with its chart and controls.
function show(text, refused) {
  const message = card.root.querySelector('.message');
  message.textContent = text;
  message.className = 'message' + (refused ? ' refused' : '');
}

async function send(command, value) {
  const index = card.index;
  show(command + ' ...', false);
  try {
    const response = await fetch(withToken('/api/supplies/' + index + '/' + command), {
      method: 'POST',
      headers: {'Content-Type': 'application/json', 'X-Panel-Token': token},
      body: JSON.stringify(value === undefined ? {} : {value: value}),
    });
    const answer = await response.json();
    if (!card || card.index !== index) return;
    if (response.ok) show(command + ': done', false);
    else show(command + ' refused: ' + answer.error, true);
  } catch (error) {
    if (card && card.index === index) show(command + ' failed: ' + error, true);
  }
}

function confirmReset(open) {
  const s = supplies[card.index];
  const box = card.root.querySelector('.confirm');
  box.hidden = !open;
  if (!open) return;
  const levels = s.f.levels || {};
  box.querySelector('.confirm-text').textContent = 'This switches the output of ' + s.f.name +
    ' on again, at ' + fixed(levels.voltage, 3) + ' V and ' + fixed(levels.current, 3) +
    ' A. Switch it on?';
}

function openCard(index) {
  const s = supplies[index];
  const root = document.getElementById('supply-card').content.firstElementChild.cloneNode(true);
  root.dataset.supply = index;
  document.getElementById('card').replaceChildren(root);
  card = {index: index, root: root, points: [], chart: null, chartChanged: false, texts: {}};
  root.querySelector('.csv').href = withToken('/api/log/' + index + '.csv');
  for (const button of root.querySelectorAll('[data-set]')) {
    const name = button.dataset.set;
    const input = root.querySelector('input[name=' + name + ']');
    button.addEventListener('click', () => send(name, input.value.trim()));
    input.addEventListener('keydown', (e) => { if (e.key === 'Enter') button.click(); });
  }
  const actions = {
    'output-on': () => send('output', 'on'),
    'output-off': () => send('output', 'off'),
    'reset-protection': () => confirmReset(true),
    'confirm-reset': () => { confirmReset(false); send('reset-protection'); },
    'cancel-reset': () => confirmReset(false),
    'read-errors': () => send('read-errors'),
  };
  for (const button of root.querySelectorAll('[data-do]')) {
    button.addEventListener('click', actions[button.dataset.do]);
  }
  card.chart = new Dygraph(root.querySelector('.chart'), [[new Date(), null, null]], {
    labels: ['Time', 'Voltage (V)', 'Current (A)'],
    series: {'Current (A)': {axis: 'y2'}},
    legend: 'always', labelsDiv: root.querySelector('.legend'),
    colors: ['#2e7d32', '#ef6c00'], axes: {y: {valueRange: [0, null]}, y2: {valueRange: [0, null]}},
  });
  const opened = card;
  fetch(withToken('/api/history/' + index)).then((r) => r.json()).then((history) => {
    if (card !== opened) return;
    const first = card.points.length ? card.points[0][0].getTime() : Infinity;
    const older = history.filter((p) => p[0] * 1000 < first)
      .map((p) => [new Date(p[0] * 1000), p[1], p[2]]);
    card.points = older.concat(card.points);
    card.chartChanged = true;
    wantFrame();
  });
  addChartPoints(s.points);
  drawCard();
}

function addChartPoints(points) {
  const last = card.points.length ? card.points[card.points.length - 1][0].getTime() : 0;
  for (const p of points) if (p[0] > last) card.points.push([new Date(p[0]), p[1], p[2]]);
  card.chartChanged = true;
}

function drawLastReading() {
  const p = newest(supplies[card.index]);
  card.root.querySelector('.last').textContent =
    p ? 'Last reading ' + clock(p[0]) + ' (' + age(p[0]) + ' ago)' : 'No reading yet';
}

function lit(selector, on) {
  card.root.querySelector(selector).classList.toggle('on', !!on);
}

function drawCard() {
  const s = supplies[card.index];
  const root = card.root;
  const f = s.f, id = identity(s);
  const live = !!f.connected;
  root.querySelector('.name').textContent = f.name;
  root.querySelector('.identity').textContent = id.model
    ? id.manufacturer + ' ' + id.model + ', serial number ' + id.serial + ', firmware ' +
      id.firmware + ' - rated ' + id.max_volts + ' V, ' + id.max_amps + ' A' +
      (id.simulated ? ' (simulated)' : '') + (id.resource !== f.name ? ' - ' + id.resource : '')
    : f.resource || '';
  const p = newest(s);
  drawLastReading();
  const lost = root.querySelector('.lost');
  lost.hidden = live;
  lost.textContent = live ? '' : 'Lost: ' + f.problem + ' - trying again every second. ' +
    'What it does now is unknown' + (p ? '; last good reading at ' + clock(p[0]) : '') + '.';
  const r = reading(s);
  root.querySelector('.volts .value').textContent = fixed(r.volts, 3);
  root.querySelector('.amps .value').textContent = fixed(r.amps, 3);
  root.querySelector('.watts .value').textContent = fixed(r.watts, 2);
  for (const readout of root.querySelectorAll('.readout')) readout.classList.toggle('unknown', !live);
  root.querySelector('.indicators').classList.toggle('unknown', !live);
  lit('.output', live && f.output);
  lit('.cv', live && f.mode === 'CV');
  lit('.cc', live && f.mode === 'CC');
  lit('.ovp', live && f.protection === 'OV');
  lit('.ocp', live && f.protection === 'OC');
  const tripped = live && !!TRIPS[f.protection];
  const trip = root.querySelector('.tripbox');
  trip.hidden = !tripped;
  trip.querySelector('.trip-text').textContent =
    tripped ? 'The ' + TRIPS[f.protection] + ' tripped: the output is off.' : '';
  if (!tripped) root.querySelector('.confirm').hidden = true;
  const levels = f.levels || {};
  for (const name of ['voltage', 'current', 'ovp', 'ocp']) {
    root.querySelector('.now.' + name).textContent =
      live && typeof levels[name] === 'number' ? 'now ' + levels[name] : '';
  }
  const errors = (f.errors || []).join('\n');
  if (card.texts.errors !== errors) {
    card.texts.errors = errors;
    root.querySelector('.errors').replaceChildren(...(f.errors || []).map((text) => {
      const item = document.createElement('li');
      item.textContent = text;
      return item;
    }));
  }
  if (card.chartChanged && card.points.length) {
    const from = card.points[card.points.length - 1][0].getTime() - settings.chart_seconds * 1000;
    let drop = 0;
    while (drop < card.points.length && card.points[drop][0].getTime() < from) drop++;
    if (drop) card.points.splice(0, drop);
    card.chart.updateOptions({file: card.points});
    panelStats.chartDrawn = card.points[card.points.length - 1][0].getTime();
  }
  card.chartChanged = false;
}

// #supply-N shows that supply's card; anything else the rack.
function route() {
  const match = /^#supply-(\d+)$/.exec(location.hash);
  const index = match && supplies[+match[1]] ? +match[1] : null;
  if (card && card.index !== index) {
    card.chart.destroy();
    card = null;
    document.getElementById('card').replaceChildren();
  }
  document.getElementById('rackview').hidden = index !== null;
  document.getElementById('detail').hidden = index === null;
  if (index !== null && !card) openCard(index);
}

buildHeader();
window.addEventListener('hashchange', route);
document.getElementById('back').addEventListener('click', () => { location.hash = ''; });
// The ages go on while nothing is sent.
setInterval(() => {
  for (const s of supplies) setText(s, 'age', s.cells.age, lastReading(s));
  if (card) drawLastReading();
}, 1000);
listen();
)SCRIPT";

}  // namespace qmdc::cli::panel
