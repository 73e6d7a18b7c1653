// The mud log page: a run's log by depth, drawn on a canvas from the station's depth log
// windows (/api/depthlog). The station places every curve across its track by the same model
// the printed log is drawn from; this page only lays the tracks side by side, scales depth
// to the screen, and draws. It fetches windows of 200 m as the log scrolls, and while
// "follow" is on it asks again every few seconds and keeps the newest depth in view.
"use strict";

const kWindow = 200;        // metres a request asks for
const kFollowMs = 4000;     // how often a followed run is asked again
const kPxPerMm = 96 / 25.4; // CSS pixels of a millimetre
const kHeadPx = 86;
const kFont = "'DejaVu Sans', sans-serif";

const $ = (id) => document.getElementById(id);
const params = new URLSearchParams(location.search);
const state = {
  run: null, runs: [], from: 0, to: 0, scale: 500, layout: null, first: NaN, last: NaN,
  windows: new Map(), // window index -> answer (or "loading")
  drawn: 0, userRange: params.has("from") || params.has("to"),
};

function pxPerMetre() { return (1000 / state.scale) * kPxPerMm; }
function yOf(depth) { return (depth - state.from) * pxPerMetre(); }
function status(text) { $("status").textContent = text; }

async function getJson(url) {
  const r = await fetch(url, { cache: "no-store" });
  const body = await r.json().catch(() => ({}));
  if (!r.ok) throw new Error(body.error || r.status + " " + r.statusText);
  return body;
}

function windowUrl(index) {
  const from = state.from + index * kWindow;
  const to = Math.min(state.to, from + kWindow);
  return "api/depthlog?run=" + state.run + "&from=" + from + "&to=" + to;
}

async function loadWindow(index, force) {
  const have = state.windows.get(index);
  if (have && (!force || have === "loading")) return;
  state.windows.set(index, "loading");
  try {
    const w = await getJson(windowUrl(index));
    state.windows.set(index, w);
    if (!state.layout || !state.layout.tracks) state.layout = w;
    state.last = w.last;
    document.body.dataset.last = w.last;
    showNotes(w.notes || []);
  } catch (e) {
    state.windows.delete(index);
    status(e.message);
  }
  draw();
}

function showNotes(notes) {
  const ul = $("notes");
  ul.replaceChildren(...notes.map((n) => { const li = document.createElement("li"); li.textContent = n; return li; }));
}

// ---- drawing -------------------------------------------------------------------------------
function trackXs(tracks) {
  let x = 0;
  return tracks.map((t) => { const at = { x, w: t.width * kPxPerMm }; x += at.w; return at; });
}

function dash(ctx, style) {
  ctx.setLineDash(style === "dashed" ? [6, 3] : style === "dotted" ? [1.5, 2.5] : []);
}

function drawHeads(layout) {
  const c = $("heads");
  const xs = trackXs(layout.tracks);
  const width = xs.length ? xs[xs.length - 1].x + xs[xs.length - 1].w : 600;
  c.width = width; c.height = kHeadPx;
  const ctx = c.getContext("2d");
  ctx.fillStyle = "#fff"; ctx.fillRect(0, 0, width, kHeadPx);
  ctx.textBaseline = "alphabetic";
  layout.tracks.forEach((t, i) => {
    const at = xs[i];
    ctx.strokeStyle = "#000"; ctx.lineWidth = 1; ctx.setLineDash([]);
    ctx.strokeRect(at.x + 0.5, 0.5, at.w - 1, kHeadPx - 1);
    ctx.fillStyle = "#000"; ctx.textAlign = "center";
    ctx.font = "bold 11px " + kFont;
    const title = t.title || (t.kind === "depth" ? "Depth, m" : "");
    if (t.kind === "operations" && ctx.measureText(title).width > at.w - 4) {
      // The narrow operation band has the head's height for its title, upright.
      ctx.save();
      ctx.translate(at.x + at.w / 2 + 4, kHeadPx - 4);
      ctx.rotate(-Math.PI / 2);
      ctx.textAlign = "left";
      ctx.fillText(title, 0, 0, kHeadPx - 8);
      ctx.restore();
    } else {
      ctx.fillText(title, at.x + at.w / 2, 13, at.w - 4);
    }
    if (t.kind === "depth") {
      ctx.font = "10px " + kFont;
      ctx.fillText("1:" + state.scale, at.x + at.w / 2, 30);
    }
    (t.curves || []).forEach((cv, k) => {
      const y = 20 + k * 11;
      ctx.font = "9px " + kFont; ctx.fillStyle = cv.colour;
      ctx.textAlign = "center";
      const name = cv.name + (cv.unit ? ", " + cv.unit : "") + (cv.values ? "" : " (no values)");
      ctx.fillText(name, at.x + at.w / 2, y + 7, at.w - 30);
      ctx.textAlign = "left"; ctx.fillText(String(cv.left), at.x + 2, y + 7);
      ctx.textAlign = "right"; ctx.fillText(String(cv.right), at.x + at.w - 2, y + 7);
      ctx.strokeStyle = cv.colour; ctx.lineWidth = Math.max(1, cv.width * kPxPerMm);
      dash(ctx, cv.style);
      ctx.beginPath(); ctx.moveTo(at.x + 2, y + 9.5); ctx.lineTo(at.x + at.w - 2, y + 9.5); ctx.stroke();
    });
  });
  return width;
}

function depthLines(ctx, at, top, bottom, h) {
  const ppm = pxPerMetre();
  const major = ppm * 1000 / kPxPerMm / 1000 >= 4 ? 2.5 : 5;
  for (let d = Math.ceil(top); d <= bottom; d += 1) {
    const y = Math.round(yOf(d) - h.offset) + 0.5;
    const isMajor = Math.abs(d / major - Math.round(d / major)) < 1e-9;
    if (!isMajor && ppm < 3) continue;
    ctx.strokeStyle = isMajor ? "#a8a8a8" : "#e4e4e4";
    ctx.beginPath(); ctx.moveTo(at.x, y); ctx.lineTo(at.x + at.w, y); ctx.stroke();
  }
}

function draw() {
  const layout = state.layout;
  const canvas = $("log");
  const scroller = $("log-scroll");
  if (!layout || !layout.tracks) return;
  const width = drawHeads(layout);
  const total = Math.max(1, (state.to - state.from) * pxPerMetre());
  $("log-space").style.height = total + "px";
  $("sheet").style.width = width + "px";
  const height = Math.max(50, Math.min(scroller.clientHeight || 600, total));
  if (canvas.width !== width || canvas.height !== height) { canvas.width = width; canvas.height = height; }
  const ctx = canvas.getContext("2d");
  ctx.fillStyle = "#fff"; ctx.fillRect(0, 0, width, height);
  const offset = scroller.scrollTop;
  const top = state.from + offset / pxPerMetre();
  const bottom = top + height / pxPerMetre();
  const h = { offset };
  const xs = trackXs(layout.tracks);
  const first = Math.max(0, Math.floor((top - state.from) / kWindow));
  const last = Math.floor((Math.min(bottom, state.to) - state.from - 1e-9) / kWindow);
  let paths = 0;
  for (let index = first; index <= Math.max(first, last); ++index) {
    const w = state.windows.get(index);
    if (!w) { loadWindow(index); continue; }
    if (w === "loading" || !w.tracks) continue;
    const y0 = yOf(w.from) - offset, y1 = yOf(w.to) - offset;
    w.tracks.forEach((t, i) => {
      const at = xs[i];
      if (!at) return;
      ctx.save();
      ctx.beginPath(); ctx.rect(at.x, Math.max(0, y0), at.w, Math.min(height, y1) - Math.max(0, y0)); ctx.clip();
      ctx.lineWidth = 1; ctx.setLineDash([]);
      if (t.kind === "curves") {
        depthLines(ctx, at, Math.max(top, w.from), Math.min(bottom, w.to), h);
        ctx.strokeStyle = "#c8c8c8";
        for (let g = 1; g < t.grid; ++g) {
          const x = Math.round(at.x + at.w * g / t.grid) + 0.5;
          ctx.beginPath(); ctx.moveTo(x, 0); ctx.lineTo(x, height); ctx.stroke();
        }
        for (const cv of t.curves) {
          ctx.strokeStyle = cv.colour; ctx.lineWidth = Math.max(1, cv.width * kPxPerMm);
          dash(ctx, cv.style);
          for (const p of cv.paths) {
            ctx.beginPath();
            for (let k = 0; k < p.length; k += 2) {
              const x = at.x + p[k + 1] * at.w, y = yOf(p[k]) - offset;
              if (k === 0) ctx.moveTo(x, y); else ctx.lineTo(x, y);
            }
            ctx.stroke();
            ++paths;
          }
        }
        // Values held at an edge: the peak of each stretch, with an arrow out of the track.
        ctx.font = "9px " + kFont; ctx.setLineDash([]);
        for (const cv of t.curves) {
          for (const [d, right, value] of cv.marks || []) {
            const label = right ? value + " \u25b6" : "\u25c0 " + value;
            const w = ctx.measureText(label).width + 2;
            const x = right ? at.x + at.w - w : at.x, y = yOf(d) - offset;
            ctx.fillStyle = "#fff"; ctx.fillRect(x, y - 5, w, 10);
            ctx.fillStyle = cv.colour; ctx.textAlign = right ? "right" : "left";
            ctx.fillText(label, right ? x + w - 1 : x + 1, y + 3.5);
          }
        }
      } else if (t.kind === "depth") {
        ctx.fillStyle = "#000"; ctx.strokeStyle = "#000"; ctx.font = "10px " + kFont;
        ctx.textAlign = "right";
        const labels = pxPerMetre() >= 4 * kPxPerMm ? 5 : 10;
        for (let d = Math.ceil(Math.max(top, w.from)); d <= Math.min(bottom, w.to); d += 1) {
          const y = Math.round(yOf(d) - offset) + 0.5;
          const major = d % (labels / 2) === 0;
          ctx.beginPath(); ctx.moveTo(at.x + at.w - (major ? 9 : 4), y); ctx.lineTo(at.x + at.w, y); ctx.stroke();
          if (d % labels === 0) ctx.fillText(String(d), at.x + at.w - 11, y + 4);
        }
      } else if (t.kind === "operations") {
        for (const [a, b, colour] of t.spans) {
          ctx.fillStyle = colour;
          ctx.fillRect(at.x, yOf(a) - offset, at.w, (b - a) * pxPerMetre());
        }
      } else if (t.kind === "text") {
        depthLines(ctx, at, Math.max(top, w.from), Math.min(bottom, w.to), h);
        let taken = -Infinity;
        ctx.font = "9px " + kFont; ctx.textAlign = "left";
        for (const item of t.texts) {
          const colour = item.mud ? "#004c99" : "#000";
          const y = yOf(item.d) - offset;
          const lines = wrap(ctx, item.time + " " + item.text, at.w - 12);
          const start = Math.max(y - 3, taken);
          ctx.strokeStyle = colour; ctx.fillStyle = colour;
          ctx.beginPath(); ctx.moveTo(at.x, y); ctx.lineTo(at.x + 5, y); ctx.stroke();
          lines.forEach((l, k) => ctx.fillText(l, at.x + 8, start + 8 + k * 10));
          taken = start + lines.length * 10 + 2;
        }
      }
      ctx.restore();
    });
  }
  ctx.setLineDash([]); ctx.strokeStyle = "#000"; ctx.lineWidth = 1;
  xs.forEach((at) => ctx.strokeRect(at.x + 0.5, -1, at.w - 1, height + 2));
  state.drawn += 1;
  document.body.dataset.drawn = state.drawn;
  document.body.dataset.paths = paths;
  document.body.dataset.top = top.toFixed(2);
  document.body.dataset.bottom = bottom.toFixed(2);
}

function wrap(ctx, text, width) {
  const words = text.split(/\s+/).filter(Boolean);
  const lines = [];
  let line = "";
  for (const word of words) {
    const joined = line ? line + " " + word : word;
    if (!line || ctx.measureText(joined).width <= width) { line = joined; } else { lines.push(line); line = word; }
  }
  if (line) lines.push(line);
  return lines.slice(0, 8);
}

// ---- choosing the run, the range and the scale -----------------------------------------------
function setRange(from, to) {
  state.from = Math.min(from, to);
  state.to = Math.max(from, to, state.from + 1);
  $("from").value = state.from;
  $("to").value = state.to;
  state.windows.clear();
  document.body.dataset.from = state.from;
  document.body.dataset.to = state.to;
}

function defaultRange(run) {
  const last = Number.isFinite(run.last) ? Math.ceil(run.last) : 0;
  const first = Number.isFinite(run.first) ? Math.floor(run.first) : last;
  return [Math.max(first, last - kWindow), Math.max(last, first + 1)];
}

async function chooseRun(number) {
  const run = state.runs.find((r) => r.run === number) || state.runs[0];
  if (!run) { status("no run is recorded yet"); return; }
  if (!Number.isFinite(run.last)) {
    // An older run is listed without its depths: its last window tells them.
    const w = await getJson("api/depthlog?run=" + run.run).catch(() => ({}));
    if (Number.isFinite(w.last)) { run.first = w.first; run.last = w.last; }
  }
  state.run = run.run;
  state.layout = null;
  document.body.dataset.run = run.run;
  $("run").value = String(run.run);
  state.first = run.first; state.last = run.last;
  if (state.userRange) {
    setRange(Number(params.get("from") ?? run.first), Number(params.get("to") ?? run.last));
  } else {
    const [a, b] = defaultRange(run);
    setRange(a, b);
  }
  status("run " + run.run + (run.well ? ", well " + run.well : "") + ": " +
         fmtDepth(run.first) + "–" + fmtDepth(run.last) + " m");
  await loadWindow(0);
  if ($("follow").checked) scrollToEnd();
}

function fmtDepth(d) { return Number.isFinite(d) ? d.toFixed(1) : "–"; }

function scrollToEnd() {
  const s = $("log-scroll");
  s.scrollTop = s.scrollHeight;
  draw();
}

// While following, the run's log grows at its end: ask for its last window again, and move
// the range down with the newest depth.
async function follow() {
  if ($("follow").checked && state.run !== null && !state.userRange) {
    try {
      const w = await getJson("api/depthlog?run=" + state.run);
      if (Number.isFinite(w.last)) {
        state.first = w.first;
        if (w.last > state.to - 1e-6) setRange(...defaultRange(w));
        const index = Math.max(0, Math.floor((Math.min(w.last, state.to) - state.from - 1e-9) / kWindow));
        await loadWindow(index, true);
        scrollToEnd();
      }
    } catch (e) {
      status(e.message);
    }
  }
  setTimeout(follow, kFollowMs);
}

async function main() {
  const scale = Number(params.get("scale"));
  if (params.get("follow") === "0") $("follow").checked = false;
  const { runs } = await getJson("api/depthlog/runs");
  state.runs = runs;
  $("run").replaceChildren(...runs.map((r) => {
    const o = document.createElement("option");
    o.value = String(r.run); o.textContent = r.run + (r.well ? " · " + r.well : "");
    return o;
  }));
  state.scale = [200, 500, 1000].includes(scale) ? scale : 500;
  $("scale").value = String(state.scale);
  await chooseRun(params.has("run") ? Number(params.get("run")) : runs.length ? runs[0].run : null);
  $("run").addEventListener("change", () => { state.userRange = false; chooseRun(Number($("run").value)); });
  $("scale").addEventListener("change", () => { state.scale = Number($("scale").value); draw(); });
  for (const id of ["from", "to"]) {
    $(id).addEventListener("change", () => {
      const a = Number($("from").value), b = Number($("to").value);
      if (!Number.isFinite(a) || !Number.isFinite(b)) return;
      state.userRange = true;
      $("follow").checked = false;
      setRange(a, b);
      $("log-scroll").scrollTop = 0;
      draw();
    });
  }
  $("log-scroll").addEventListener("scroll", () => requestAnimationFrame(draw));
  window.addEventListener("resize", () => draw());
  setTimeout(follow, kFollowMs);
}

main().catch((e) => status(e.message));
