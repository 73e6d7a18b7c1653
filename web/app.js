// The station's live page: the tick's picture from /ws, the charts' past from /api/history.
"use strict";

const $ = (id) => document.getElementById(id);
const liveTable = paramTable($("params"));
const state = {
  charts: [],           // {id, plot, data: [t[], v[]], box}
  chartIds: [],
  hours: 1,
  socket: null,
};

function showRig(tick) {
  const rig = tick.rig;
  text($("bottom"), fmt(rig.bottom));
  text($("bit"), fmt(rig.bit));
  text($("lag"), fmt(rig.lag));
  text($("block"), fmt(rig.block));
  const op = $("operation");
  text(op, rig.operation.name + (rig.operation.forced ? " (forced)" : ""));
  op.style.background = rig.operation.colour || "transparent";
  text($("work_type"), rig.work_type || "–");
  text($("stands"), rig.stands + (rig.pipes ? " + " + rig.pipes + " pipes" : ""));
  const gain = tick.mud.pit_gain;
  text($("pit_gain"), typeof gain === "number" ? (gain >= 0 ? "+" : "") + gain.toFixed(2) : "–");
}

function list(el, items, make) {
  el.replaceChildren(...items.map(make));
}

function showSide(tick) {
  const alarms = tick.alarms;
  if (alarms.length === 0) {
    list($("alarms"), [null], () => Object.assign(document.createElement("li"),
      { className: "none", textContent: "none" }));
  } else {
    list($("alarms"), alarms, (a) => Object.assign(document.createElement("li"),
      { className: a.acknowledged ? "acknowledged" : "", textContent: a.text }));
  }
  text($("source"), tick.source.text);
  list($("wits"), tick.wits, (w) => Object.assign(document.createElement("li"),
    { textContent: w.text }));
  const rec = tick.recording;
  text($("recording"), (rec.active ? "recording" : "not recording") + ", queue " + rec.queue +
    (rec.refused ? ", " + rec.refused + " lines lost" : ""));
  list($("rec-files"), rec.files, (f) => Object.assign(document.createElement("li"),
    { textContent: f }));
  const office = tick.office;
  text($("office"), !office ? "no forwarder on this home" :
    office.state + (office.state === "connected" || office.backlog_lines ?
      ", backlog " + office.backlog_lines + " lines (" + Math.round(office.backlog_seconds) + " s)" : "") +
    (office.last_commit ? ", last commit " + office.last_commit : "") +
    (office.error ? ": " + office.error : ""));
  list($("remarks"), tick.remarks.slice().reverse(), (r) => {
    const li = document.createElement("li");
    const time = document.createElement("time");
    time.textContent = r.time;
    li.append(time, r.text);
    return li;
  });
}

// ---- charts -----------------------------------------------------------------------------
function chartWidth() {
  return Math.max(300, $("charts").clientWidth || 600);
}

function makeChart(id, t, v) {
  const box = document.createElement("div");
  box.className = "chart";
  box.dataset.id = id;
  $("charts").appendChild(box);
  const row = liveTable.rows.get(id);
  const label = row ? row.cells[0].textContent : id;
  const chart = { id, box, data: [t, v], plot: null };
  if (typeof uPlot === "undefined") {
    box.dataset.points = String(t.length);
    return chart;
  }
  chart.plot = new uPlot({
    width: chartWidth(),
    height: 160,
    // The station's times are its local clock: shown as they are, not moved to the browser's zone.
    tzDate: (ts) => uPlot.tzDate(new Date(ts * 1e3), "Etc/UTC"),
    series: [{}, { label, stroke: "#1565c0", width: 1.5, spanGaps: false }],
    axes: [{}, { size: 60 }],
    legend: { live: false },
  }, chart.data, box);
  box.dataset.points = String(t.length);
  return chart;
}

async function loadCharts(lastT) {
  for (const c of state.charts) {
    if (c.plot) c.plot.destroy();
    c.box.remove();
  }
  state.charts = [];
  if (state.chartIds.length === 0) return;
  const since = lastT - state.hours * 3600;
  const url = "api/history?params=" + state.chartIds.map(encodeURIComponent).join(",") +
    "&since=" + since;
  const reply = await fetch(url);
  if (!reply.ok) throw new Error("history: " + reply.status);
  const h = await reply.json();
  for (const id of state.chartIds) {
    const values = h.values[id];
    if (!values) continue;
    state.charts.push(makeChart(id, h.t.slice(), values.slice()));
  }
}

function growCharts(tick) {
  const values = new Map();
  for (const r of tick.rows) values.set(r.id, r.valid ? r.value : null);
  for (const k of ["bottom", "bit", "lag", "block"]) values.set("rig." + k, tick.rig[k]);
  values.set("mud.pit_gain", tick.mud.pit_gain);
  const oldest = tick.t - state.hours * 3600;
  for (const c of state.charts) {
    const [t, v] = c.data;
    if (t.length && tick.t <= t[t.length - 1]) continue;  // a tick seen in the history already
    t.push(tick.t);
    v.push(values.has(c.id) ? values.get(c.id) : null);
    let cut = 0;
    while (cut < t.length && t[cut] < oldest) cut++;
    if (cut) { t.splice(0, cut); v.splice(0, cut); }
    if (c.plot) c.plot.setData(c.data);
    c.box.dataset.points = String(t.length);
  }
}

function fillChartChoice(tick) {
  const select = $("chart-params");
  if (select.options.length) return;
  const choices = tick.rows.map((r) => [r.id, r.name || r.id])
    .concat([["rig.bit", "Bit depth"], ["rig.block", "Block"], ["mud.pit_gain", "Pit gain"]]);
  for (const [id, name] of choices) {
    const o = new Option(name, id, false, state.chartIds.includes(id));
    select.add(o);
  }
}

function chosenCharts(tick) {
  const asked = new URLSearchParams(location.search).get("charts");
  if (asked) return asked.split(",").filter(Boolean);
  try {
    const saved = JSON.parse(localStorage.getItem("rigstation.charts") || "null");
    if (Array.isArray(saved) && saved.length) return saved;
  } catch (e) { /* a damaged choice: the default */ }
  return tick.rows.slice(0, 3).map((r) => r.id);
}

// ---- the stream -------------------------------------------------------------------------
let lastTick = null;
// The rows' names of the last full message: brief ones carry only values and flags.
let names = null;  // {table, rows: [{id, name, unit}]}
const BRIEF_VALID = 1, BRIEF_STALE = 2, BRIEF_ALARM = 4;

// The tick a message tells, or null when it is a brief one for names this page does not hold
// (a full one follows).
function tickOf(message) {
  if (Array.isArray(message.rows)) {
    names = { table: message.table, rows: message.rows.map((r) => ({ id: r.id, name: r.name, unit: r.unit })) };
    return message;
  }
  if (!names || message.table !== names.table || !Array.isArray(message.values)) return null;
  message.rows = names.rows.map((n, i) => {
    const f = message.flags.charCodeAt(i) - 48;
    return { id: n.id, name: n.name, unit: n.unit, value: message.values[i],
             valid: (f & BRIEF_VALID) !== 0, stale: (f & BRIEF_STALE) !== 0, alarm: (f & BRIEF_ALARM) !== 0 };
  });
  return message;
}

function onTick(tick) {
  const first = lastTick === null;
  lastTick = tick;
  text($("time"), tick.time);
  document.body.dataset.tick = String(tick.tick);
  liveTable.show(tick.rows);
  showRig(tick);
  showSide(tick);
  if (first) {
    state.chartIds = chosenCharts(tick);
    fillChartChoice(tick);
    loadCharts(tick.t).catch(showChartError);
  } else {
    growCharts(tick);
  }
}

function showChartError(e) {
  const note = $("charts-note");
  note.hidden = false;
  note.textContent = "charts: " + e.message;
}

function connect() {
  const url = (location.protocol === "https:" ? "wss://" : "ws://") + location.host + "/ws";
  const ws = new WebSocket(url);
  state.socket = ws;
  ws.onopen = () => { text($("link"), "live"); $("link").className = "link-up"; };
  ws.onmessage = (m) => {
    try {
      const tick = tickOf(JSON.parse(m.data));
      if (tick) onTick(tick);
    } catch (e) {
      console.error("a tick message could not be shown", e);
    }
  };
  ws.onclose = () => {
    text($("link"), "no connection: retrying");
    $("link").className = "link-down";
    lastTick = null;  // the history is fetched again after a gap
    names = null;     // and the names come again in the first message
    setTimeout(connect, 2000);
  };
}

$("chart-params").addEventListener("change", () => {
  state.chartIds = Array.from($("chart-params").selectedOptions, (o) => o.value);
  localStorage.setItem("rigstation.charts", JSON.stringify(state.chartIds));
  if (lastTick) loadCharts(lastTick.t).catch(showChartError);
});
$("chart-hours").addEventListener("change", () => {
  state.hours = Number($("chart-hours").value);
  if (lastTick) loadCharts(lastTick.t).catch(showChartError);
});
window.addEventListener("resize", () => {
  for (const c of state.charts) if (c.plot) c.plot.setSize({ width: chartWidth(), height: 160 });
});
if (window.RIGSTATION_NO_CHARTS) {
  $("charts-note").hidden = false;
  $("charts-note").textContent = window.RIGSTATION_NO_CHARTS;
}
connect();
