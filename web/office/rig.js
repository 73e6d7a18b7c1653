// One rig's page: its live frame as the rig's own page shows it, its runs with their
// history by time or depth, and LAS and CSV of every recording.
"use strict";

const rigName = new URLSearchParams(location.search).get("rig") || "";
const kinds = { 1: "time", 2: "depth", 3: "lag", 4: "fast" };
const liveTable = paramTable($("params"));
let runs = [];

function showLive(live) {
  for (const k of ["bottom", "bit", "lag", "block"]) text($(k), live ? fmt(live[k]) : "–");
  text($("operation"), live ? live.operation : "–");
  text($("race"), live ? live.race + (live.race_active ? "" : " (stopped)") : "–");
  text($("time"), live ? rigTime(live.time) : "–");
  const link = $("link");
  text(link, !live ? "no live frame yet" : live.stale ?
    "stale: the last frame came " + age(live.received_age) : "live");
  link.className = live && !live.stale ? "link-up" : "link-down";
  $("rig").classList.toggle("stale", !live || live.stale);
  const alarms = live ? live.alarms : [];
  $("alarms").replaceChildren(...(alarms.length ? alarms : [null]).map((a) =>
    Object.assign(document.createElement("li"), a === null ?
      { className: "none", textContent: "none" } : { textContent: a })));
  if (live) liveTable.show(live.values);
}

function showRuns(list) {
  const key = JSON.stringify(list.map((r) => [r.race, r.files.map((f) => f.lines)]));
  if (key === showRuns.key) return;
  showRuns.key = key;
  runs = list;
  $("runs").replaceChildren(...list.map((run) => {
    const li = document.createElement("li");
    li.dataset.race = run.race;
    li.append("Run " + run.race + ": ");
    for (const f of run.files) {
      const kind = kinds[f.kind];
      const q = "rig=" + encodeURIComponent(rigName) + "&race=" + run.race + "&file=" + kind;
      const span = document.createElement("span");
      span.className = "file";
      span.append(kind + " (" + f.lines + " lines) ");
      for (const format of ["las", "csv"]) {
        const a = document.createElement("a");
        a.href = "/api/export?" + q + "&format=" + format;
        a.textContent = format.toUpperCase();
        a.className = format;
        span.append(a, " ");
      }
      li.append(span);
    }
    return li;
  }));
  const select = $("h-run");
  const chosen = select.value;
  select.replaceChildren(...list.map((r) => new Option(String(r.race), String(r.race))));
  if (chosen) select.value = chosen;
  fillParams();
}

function fillParams() {
  const run = runs.find((r) => String(r.race) === $("h-run").value);
  const want = Number(Object.keys(kinds).find((k) => kinds[k] === $("h-file").value));
  const file = run && run.files.find((f) => f.kind === want);
  const select = $("h-params");
  const chosen = new Set([...select.selectedOptions].map((o) => o.value));
  select.replaceChildren(...((file && file.params) || []).map((id) => {
    const o = new Option(id, id);
    o.selected = chosen.has(id);
    return o;
  }));
  if (select.selectedOptions.length === 0 && select.options.length) select.options[0].selected = true;
}

async function showHistory() {
  const params = [...$("h-params").selectedOptions].map((o) => o.value);
  const file = $("h-file").value;
  const q = "rig=" + encodeURIComponent(rigName) + "&race=" + $("h-run").value + "&file=" + file +
    "&params=" + encodeURIComponent(params.join(","));
  try {
    const h = await api("/api/history?" + q);
    const series = Object.keys(h.values).map((id) => ({ label: id, values: h.values[id] }));
    chart($("history"), "", h.x, series, h.index === "time",
      Math.max(400, $("charts-box").clientWidth - 10), 300);
    text($("history-note"), h.lines + " lines" + (h.thinned > 1 ? ", every " + h.thinned +
      "th shown" : "") + (h.unknown.length ? "; not recorded: " + h.unknown.join(", ") : ""));
  } catch (e) {
    text($("history-note"), e.message);
  }
}

async function refresh() {
  try {
    const rig = await api("/api/rig?rig=" + encodeURIComponent(rigName));
    text($("rig-name"), rig.name);
    text($("rig-title"), rig.title);
    document.title = "rigstation office: " + rig.name;
    text($("office"), "last contact " + age(rig.contact_age) + ", backlog " +
      (rig.backlog_lines ? rig.backlog_lines + " lines" : "none") +
      (rig.forwarder ? " (" + rig.forwarder + ")" : ""));
    showLive(rig.live);
    showRuns(rig.runs);
    $("title-form").hidden = office.role !== "write";
  } catch (e) {
    if (office.user) text($("rig-name"), e.message);
  }
}

$("h-run").addEventListener("change", fillParams);
$("h-file").addEventListener("change", fillParams);
$("h-show").addEventListener("click", showHistory);
$("title-form").addEventListener("submit", async (e) => {
  e.preventDefault();
  try {
    await api("/api/rig/title", { rig: rigName, title: $("title-input").value });
    refresh();
  } catch (err) { /* shown in the banner */ }
});

let timer = null;
start(() => {
  refresh();
  if (!timer) timer = setInterval(() => { if (office.user) refresh(); }, 3000);
});
