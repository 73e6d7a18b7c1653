// What the office pages share: the API with its refusals shown, the login, the header's
// account links. fmt() and text() come from the web view's param_table.js, loaded before.
"use strict";

const $ = (id) => document.getElementById(id);
const office = { user: null, role: null, onLogin: null };

// The part of every page this file drives: the account links at the header's end, then the
// problem banner and the login form. Written here, before the page's own script runs, so that
// the pages carry only what is theirs.
document.querySelector("body > header").insertAdjacentHTML("beforeend", `
  <span class="spacer"></span>
  <a id="users-link" href="users.html" hidden>Accounts</a>
  <span id="who"></span>
  <button id="logout" hidden>Log out</button>`);
document.querySelector("body > header").insertAdjacentHTML("afterend", `
<p id="problem" hidden></p>
<section id="login-box" hidden>
  <form id="login">
    <label>Account <input id="login-user" autocomplete="username" required></label>
    <label>Password <input id="login-password" type="password" autocomplete="current-password"
      required></label>
    <button type="submit">Log in</button>
    <p id="login-error"></p>
  </form>
</section>`);

// A rig's clock as it recorded it (the database keeps the rig's local time).
function rigTime(seconds) {
  if (typeof seconds !== "number") return "–";
  return new Date(seconds * 1000).toISOString().slice(0, 19).replace("T", " ");
}

function age(seconds) {
  if (typeof seconds !== "number") return "never";
  if (seconds < 90) return Math.round(seconds) + " s ago";
  if (seconds < 5400) return Math.round(seconds / 60) + " min ago";
  if (seconds < 172800) return Math.round(seconds / 3600) + " h ago";
  return Math.round(seconds / 86400) + " days ago";
}

// The banner says what went wrong (the database gone, a refusal) until the next success.
function problem(message) {
  const b = $("problem");
  b.hidden = !message;
  text(b, message || "");
}

async function api(path, body) {
  const init = body === undefined ? {} : {
    method: "POST", headers: { "Content-Type": "application/json" }, body: JSON.stringify(body) };
  const r = await fetch(path, init);
  let json = null;
  try { json = await r.json(); } catch (e) { json = null; }
  if (r.status === 401 && path !== "/api/login") {
    showLogin(true);
    throw new Error("log in first");
  }
  if (!r.ok) {
    const why = (json && json.error) || r.status + " " + r.statusText;
    if (r.status >= 500) problem(why);
    throw new Error(why);
  }
  problem("");
  return json;
}

function showLogin(show) {
  $("login-box").hidden = !show;
  $("content").hidden = show;
}

function showUser() {
  text($("who"), office.user ? office.user + " (" + office.role + ")" : "");
  $("logout").hidden = !office.user;
  $("users-link").hidden = office.role !== "write";
}

async function start(onLogin) {
  office.onLogin = onLogin;
  $("login").addEventListener("submit", async (e) => {
    e.preventDefault();
    try {
      const me = await api("/api/login", { user: $("login-user").value,
                                            password: $("login-password").value });
      $("login-password").value = "";
      text($("login-error"), "");
      loggedIn(me);
    } catch (err) {
      text($("login-error"), err.message);
    }
  });
  $("logout").addEventListener("click", async () => {
    try { await api("/api/logout", {}); } catch (e) { /* the session is gone either way */ }
    office.user = office.role = null;
    showUser();
    showLogin(true);
  });
  try {
    loggedIn(await api("/api/me"));
  } catch (e) {
    if (!office.user) showLogin(true);
  }
}

function loggedIn(me) {
  office.user = me.user;
  office.role = me.role;
  showUser();
  showLogin(false);
  office.onLogin();
}

// A chart over `xs` of the named series; x is the rig's time or a depth.
function chart(box, title, xs, series, byTime, width, height) {
  box.replaceChildren();
  if (typeof uPlot === "undefined") return null;
  const colours = ["#1565c0", "#c62828", "#2e7d32", "#6a1b9a", "#ef6c00", "#00838f"];
  return new uPlot({
    title, width, height,
    scales: { x: { time: byTime } },
    tzDate: (ts) => uPlot.tzDate(new Date(ts * 1000), "Etc/UTC"),
    series: [{ label: byTime ? "time" : "depth, m" }].concat(series.map((s, i) => ({
      label: s.label, stroke: colours[i % colours.length], spanGaps: false }))),
  }, [xs].concat(series.map((s) => s.values)), box);
}
