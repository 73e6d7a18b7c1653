// What the browser tests share: headless Chromium under Playwright, a station started with its
// web view, waiting for what a page should come to show, and an ending that closes both.
"use strict";

const { spawn } = require("child_process");
const fs = require("fs");
const path = require("path");

const kChromium = process.env.RIGCORE_CHROMIUM || "/usr/bin/chromium";
let browser = null;
let station = null;

function fail(message) {
  throw new Error(message);
}

function sleep(ms) {
  return new Promise((resolve) => setTimeout(resolve, ms));
}

async function until(what, seconds, condition) {
  const end = Date.now() + seconds * 1000;
  for (;;) {
    const value = await condition();
    if (value) return value;
    if (Date.now() > end) fail("waited " + seconds + " s in vain for " + what);
    await sleep(200);
  }
}

// The browser's profile and its socket go into a short folder of their own: a unix socket's
// path must stay under 108 bytes whatever the checkout's path. Removed at exit.
async function launch(extraArgs = []) {
  if (!fs.existsSync(kChromium)) fail(kChromium + " is missing: run scripts/setup.sh");
  let playwright;
  try {
    playwright = require(path.resolve(__dirname, "../../web/node_modules/playwright-core"));
  } catch (e) {
    fail("playwright-core is missing from web/node_modules: run scripts/setup.sh");
  }
  const profile = fs.mkdtempSync("/tmp/rigcore-browser-");
  process.on("exit", () => fs.rmSync(profile, { recursive: true, force: true }));
  process.env.TMPDIR = profile;
  browser = await playwright.chromium.launch({
    executablePath: kChromium,
    args: ["--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage", ...extraArgs],
  });
  return browser;
}

// The errors `page` reports, and with `consoleToo` what it logs as errors, as they come.
function problemsOf(page, consoleToo) {
  const problems = [];
  page.on("pageerror", (e) => problems.push(e.message));
  if (consoleToo) page.on("console", (m) => { if (m.type() === "error") problems.push(m.text()); });
  return problems;
}

// `rigstation run` with `args` and its web view on a free loopback port; resolves to the
// view's address once the station says where it serves.
function startStation(rigstation, args) {
  return new Promise((resolve, reject) => {
    station = spawn(rigstation, ["run", ...args, "--http", "127.0.0.1:0"],
                    { stdio: ["ignore", "ignore", "pipe"] });
    let err = "";
    station.stderr.setEncoding("utf8");
    station.stderr.on("data", (chunk) => {
      err += chunk;
      const m = err.match(/web: serving (http:\/\/127\.0\.0\.1:\d+\/)/);
      if (m) resolve(m[1]);
    });
    station.on("exit", (code) => reject(new Error("rigstation ended (" + code + "): " + err)));
    setTimeout(() => reject(new Error("rigstation did not start its web view: " + err)), 30000);
  });
}

async function cleanUp() {
  if (browser) await browser.close().catch(() => {});
  if (station && station.exitCode === null) {
    const ended = new Promise((resolve) => station.on("exit", resolve));
    station.kill("SIGTERM");
    await Promise.race([ended, sleep(15000)]);
  }
}

// Runs the test's `main`, then ends the browser and the station: exit 0, or 1 with the failure
// named after `name` and what `explain()` adds about the page's state.
function run(name, main, explain = async () => "") {
  main().then(
    async () => { await cleanUp(); process.exit(0); },
    async (e) => {
      console.error(name + ": " + e.message);
      const more = await explain().catch(() => "");
      if (more) console.error(more);
      await cleanUp();
      process.exit(1);
    });
}

module.exports = { fail, sleep, until, launch, problemsOf, startStation, run };
