#include "panel/panel_page.h"

namespace qmdc::cli::panel {

// The page loads the chart library and its script with the token of its own
// address; everything else it builds from the state.
const char* const kPanelPage = R"PAGE(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>qmdc panel</title>
<meta name="viewport" content="width=device-width, initial-scale=1">
<style>
body { font-family: sans-serif; margin: 0; background: #eef0f2; color: #1d2329; }
header { background: #1d2329; color: #fff; padding: 8px 16px; display: flex; gap: 16px;
         align-items: baseline; }
header h1 { font-size: 18px; margin: 0; }
#link { margin-left: auto; font-size: 13px; }
#link.down { color: #ff8a80; }
main { display: flex; flex-wrap: wrap; gap: 16px; padding: 16px; }
.supply { background: #fff; border-radius: 6px; box-shadow: 0 1px 3px #0003; padding: 12px 16px;
          width: 560px; }
.supply h2 { font-size: 16px; margin: 0 0 2px 0; }
.identity { font-size: 12px; color: #555; margin-bottom: 8px; }
.lost { background: #b71c1c; color: #fff; padding: 6px 8px; border-radius: 4px; margin: 6px 0;
        font-size: 13px; }
.readouts { display: flex; gap: 12px; }
.readout { flex: 1; background: #101418; color: #7cf29c; border-radius: 4px; padding: 6px 10px;
           text-align: right; font-family: monospace; }
.readout .value { font-size: 30px; }
.readout .unit { font-size: 14px; color: #9ab; }
.readout.amps { color: #ffd54f; }
.indicators { display: flex; gap: 8px; margin: 8px 0; }
.indicator { font-size: 13px; font-weight: bold; padding: 3px 8px; border-radius: 3px;
             background: #dde1e5; color: #8a949e; }
.indicator.on { background: #2e7d32; color: #fff; }
.indicator.trip.on { background: #d32f2f; color: #fff; }
.indicator.cc.on { background: #ef6c00; }
.chart { height: 200px; margin: 6px 0; }
.legend { font-size: 12px; min-height: 16px; }
.errors:empty { display: none; }
.controls { display: grid; grid-template-columns: auto 90px auto auto; gap: 4px 8px;
            align-items: center; font-size: 13px; }
.controls input { width: 84px; }
.actions { display: flex; gap: 8px; margin: 8px 0; flex-wrap: wrap; }
.message { font-size: 13px; min-height: 18px; }
.message.refused { color: #b71c1c; }
.errors { font-size: 12px; font-family: monospace; background: #f5f5f5; max-height: 90px;
          overflow: auto; padding: 4px; margin: 4px 0; list-style: none; }
</style>
</head>
<body>
<header><h1>qmdc panel</h1><span id="rate"></span><span id="link">connecting</span></header>
<main id="supplies"></main>
<template id="supply-card">
<section class="supply">
  <h2 class="name"></h2>
  <div class="identity"></div>
  <div class="lost" hidden></div>
  <div class="readouts">
    <div class="readout volts"><span class="value">-</span> <span class="unit">V</span></div>
    <div class="readout amps"><span class="value">-</span> <span class="unit">A</span></div>
    <div class="readout watts"><span class="value">-</span> <span class="unit">W</span></div>
  </div>
  <div class="indicators">
    <span class="indicator output">OUTPUT</span>
    <span class="indicator cv">CV</span>
    <span class="indicator cc">CC</span>
    <span class="indicator trip ovp">OVP</span>
    <span class="indicator trip ocp">OCP</span>
  </div>
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
    <button data-do="reset-protection">Reset protection</button>
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
const token = new URLSearchParams(location.search).get('token') || '';
const withToken = (path) => path + '?token=' + encodeURIComponent(token);
const cards = [];
let chartSeconds = 600;

function units(value, digits) {
  return typeof value === 'number' ? value.toFixed(digits) : '-';
}

function show(card, text, refused) {
  const message = card.root.querySelector('.message');
  message.textContent = text;
  message.className = 'message' + (refused ? ' refused' : '');
}

async function send(card, command, value) {
  show(card, command + ' ...', false);
  try {
    const response = await fetch(withToken('/api/supplies/' + card.index + '/' + command), {
      method: 'POST',
      headers: {'Content-Type': 'application/json', 'X-Panel-Token': token},
      body: JSON.stringify(value === undefined ? {} : {value: value}),
    });
    const answer = await response.json();
    if (response.ok) show(card, command + ': done', false);
    else show(card, command + ' refused: ' + answer.error, true);
  } catch (error) {
    show(card, command + ' failed: ' + error, true);
  }
}

function makeCard(index) {
  const root = document.getElementById('supply-card').content.firstElementChild.cloneNode(true);
  root.dataset.supply = index;
  document.getElementById('supplies').appendChild(root);
  const card = {index: index, root: root, points: [], chart: null};
  root.querySelector('.csv').href = withToken('/api/log/' + index + '.csv');
  for (const button of root.querySelectorAll('[data-set]')) {
    const name = button.dataset.set;
    const input = root.querySelector('input[name=' + name + ']');
    button.addEventListener('click', () => send(card, name, input.value.trim()));
    input.addEventListener('keydown', (e) => { if (e.key === 'Enter') button.click(); });
  }
  const actions = {
    'output-on': () => send(card, 'output', 'on'),
    'output-off': () => send(card, 'output', 'off'),
    'reset-protection': () => send(card, 'reset-protection'),
    'read-errors': () => send(card, 'read-errors'),
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
  fetch(withToken('/api/history/' + index)).then((r) => r.json()).then((history) => {
    card.points = history.map((p) => [new Date(p[0] * 1000), p[1], p[2]]).concat(card.points);
    redraw(card);
  });
  return card;
}

function redraw(card) {
  if (card.points.length === 0) return;
  const from = card.points[card.points.length - 1][0].getTime() - chartSeconds * 1000;
  while (card.points.length && card.points[0][0].getTime() < from) card.points.shift();
  card.chart.updateOptions({file: card.points});
}

function lit(root, selector, on) {
  root.querySelector(selector).classList.toggle('on', !!on);
}

function update(card, s) {
  const root = card.root;
  const id = s.identity || {};
  root.querySelector('.name').textContent = s.name;
  root.querySelector('.identity').textContent = id.model
    ? id.manufacturer + ' ' + id.model + ', firmware ' + id.firmware + ' - rated ' +
      id.max_volts + ' V, ' + id.max_amps + ' A' + (id.simulated ? ' (simulated)' : '')
    : '';
  const lost = root.querySelector('.lost');
  lost.hidden = s.connected;
  lost.textContent = s.connected ? '' : 'Lost: ' + s.problem + ' - trying again';
  root.classList.toggle('is-lost', !s.connected);
  const r = s.reading || {};
  root.querySelector('.volts .value').textContent = units(r.volts, 3);
  root.querySelector('.amps .value').textContent = units(r.amps, 3);
  root.querySelector('.watts .value').textContent = units(r.watts, 2);
  lit(root, '.output', s.output);
  lit(root, '.cv', s.connected && s.mode === 'CV');
  lit(root, '.cc', s.connected && s.mode === 'CC');
  lit(root, '.ovp', s.protection === 'OV');
  lit(root, '.ocp', s.protection === 'OC');
  const levels = s.levels || {};
  for (const name of ['voltage', 'current', 'ovp', 'ocp']) {
    root.querySelector('.now.' + name).textContent =
      typeof levels[name] === 'number' ? 'now ' + levels[name] : '';
  }
  const errors = root.querySelector('.errors');
  errors.replaceChildren(...(s.errors || []).map((text) => {
    const item = document.createElement('li');
    item.textContent = text;
    return item;
  }));
  if (s.connected && typeof s.time === 'number') {
    const at = new Date(s.time * 1000);
    const last = card.points[card.points.length - 1];
    if (!last || last[0].getTime() < at.getTime()) {
      card.points.push([at, r.volts, r.amps]);
      redraw(card);
    }
  }
}

function apply(state) {
  document.getElementById('rate').textContent = 'updates ' + state.rate_hz + ' /s';
  state.supplies.forEach((s, i) => {
    if (!cards[i]) cards[i] = makeCard(i);
    update(cards[i], s);
  });
}

function listen() {
  const link = document.getElementById('link');
  const events = new EventSource(withToken('/api/events'));
  events.onopen = () => { link.textContent = 'live'; link.className = ''; };
  events.onmessage = (e) => apply(JSON.parse(e.data));
  events.onerror = () => { link.textContent = 'panel not reachable - retrying'; link.className = 'down'; };
}

fetch(withToken('/api/state')).then((r) => r.json()).then((state) => {
  chartSeconds = state.chart_seconds || chartSeconds;
  apply(state);
  listen();
});
)SCRIPT";

}  // namespace qmdc::cli::panel
