// The fleet page: every rig's link, depths, operation, alarms and last day, from /api/fleet.
"use strict";

const rows = new Map();  // rig name -> {tr, plot, key}

function row(rig) {
  let r = rows.get(rig.name);
  if (r) return r;
  const tr = document.createElement("tr");
  tr.dataset.rig = rig.name;
  tr.innerHTML = "<td class=name><a></a><div class=title></div></td><td class=contact></td>" +
    "<td class=backlog></td><td class=bottom></td><td class=bit></td><td class=operation></td>" +
    "<td class=alarms></td><td class=chart></td>";
  const a = tr.querySelector("a");
  a.textContent = rig.name;
  a.href = "rig.html?rig=" + encodeURIComponent(rig.name);
  $("fleet").tBodies[0].appendChild(tr);
  r = { tr, plot: null, key: "" };
  rows.set(rig.name, r);
  return r;
}

function show(fleet) {
  $("no-rigs").hidden = fleet.length > 0;
  for (const rig of fleet) {
    const r = row(rig);
    const c = (name) => r.tr.querySelector("." + name);
    text(c("title"), rig.title || "");
    text(c("contact"), age(rig.contact_age));
    text(c("backlog"), rig.backlog_lines ? rig.backlog_lines + " lines (" +
      fmt(rig.backlog_seconds / 60, 0) + " min)" : "none");
    text(c("bottom"), rig.live ? fmt(rig.bottom) : "–");
    text(c("bit"), rig.live ? fmt(rig.bit) : "–");
    text(c("operation"), rig.operation || "–");
    text(c("alarms"), rig.alarms.length ? rig.alarms.join("; ") : "none");
    c("alarms").classList.toggle("alarm", rig.alarms.length > 0);
    // An old frame is no picture of the rig now.
    r.tr.classList.toggle("stale", rig.stale);
    const key = rig.chart.t.length + ":" + rig.chart.t[rig.chart.t.length - 1];
    if (key !== r.key) {
      r.key = key;
      r.plot = chart(c("chart"), "", rig.chart.t, [
        { label: "bottom", values: rig.chart.bottom },
        { label: "bit", values: rig.chart.bit }], true, 320, 110);
    }
  }
  text($("updated"), "updated " + new Date().toLocaleTimeString());
}

async function refresh() {
  try {
    show(await api("/api/fleet"));
  } catch (e) { /* shown in the banner or the login */ }
}

let timer = null;
start(() => {
  refresh();
  if (!timer) timer = setInterval(() => { if (office.user) refresh(); }, 5000);
});
