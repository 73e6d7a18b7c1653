// The table of live parameters, as the station's page and the office's page of a rig both show
// it (style.css draws it), with the number and text helpers their scripts share. A row a
// parameter, kept across updates so that the table does not flicker: red while its alarm is up,
// dim while its value is stale.
"use strict";

function fmt(v, digits = 2) {
  return typeof v === "number" && isFinite(v) ? v.toFixed(digits) : "–";
}

// Writes only a change: the page redraws what moved, not every cell on every update.
function text(el, value) {
  if (el.textContent !== value) el.textContent = value;
}

// Fills the empty `table`; `rows` maps a parameter's id to its row, `show(values)` adds the
// parameters not seen yet and updates the others ({id, name, value, unit, valid, alarm, stale}).
function paramTable(table) {
  table.innerHTML = "<thead><tr><th>Parameter</th><th>Value</th><th>Unit</th></tr></thead><tbody></tbody>";
  const rows = new Map();
  const show = (values) => {
    for (const v of values) {
      let tr = rows.get(v.id);
      if (!tr) {
        tr = document.createElement("tr");
        tr.dataset.id = v.id;
        tr.innerHTML = "<td class=name></td><td class=value></td><td class=unit></td>";
        tr.cells[0].textContent = v.name || v.id;
        tr.cells[0].title = v.id;
        table.tBodies[0].appendChild(tr);
        rows.set(v.id, tr);
      }
      text(tr.cells[1], v.valid && typeof v.value === "number" ? fmt(v.value) : "not valid");
      text(tr.cells[2], v.unit || "");
      tr.classList.toggle("alarm", !!v.alarm);
      tr.classList.toggle("stale", !!v.stale);
    }
  };
  return { rows, show };
}
