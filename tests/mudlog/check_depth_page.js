// The mud log page in a real browser. A station runs on the home the test recorded (run 1)
// with its web view on, drilling a new run 2 live from live-drilling.txt. Headless Chromium
// opens the page, which starts on the newest run and must follow its new depth lines; then
// it shows run 1 from 1000 to 1028 m at 1:200, and the log sheet is saved as a picture for
// the test to compare.
//   node check_depth_page.js <rigstation> <home> <screenshot.png>
"use strict";

const { spawn } = require("child_process");
const fs = require("fs");
const path = require("path");

const [rigstation, home, screenshot] = process.argv.slice(2);
const kChromium = process.env.RIGCORE_CHROMIUM || "/usr/bin/chromium";
const kLive = path.join(__dirname, "live-drilling.txt");

let station = null;
let browser = null;

function fail(message) { throw new Error(message); }
function sleep(ms) { return new Promise((resolve) => setTimeout(resolve, ms)); }

async function until(what, seconds, condition) {
  const end = Date.now() + seconds * 1000;
  for (;;) {
    const value = await condition();
    if (value) return value;
    if (Date.now() > end) fail("waited " + seconds + " s in vain for " + what);
    await sleep(200);
  }
}

function startStation() {
  return new Promise((resolve, reject) => {
    station = spawn(rigstation, ["run", "--home", home, "--no-restore", "--no-sound",
                                 "--scenario", kLive, "--http", "127.0.0.1:0"],
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

async function main() {
  if (!fs.existsSync(kChromium)) fail(kChromium + " is missing: run scripts/setup.sh");
  let playwright;
  try {
    playwright = require(path.resolve(__dirname, "../../web/node_modules/playwright-core"));
  } catch (e) {
    fail("playwright-core is missing from web/node_modules: run scripts/setup.sh");
  }
  const url = await startStation();
  // The browser's profile and its socket go into a short folder of their own: a unix socket's
  // path must stay under 108 bytes whatever the checkout's path. Removed at exit.
  const profile = fs.mkdtempSync("/tmp/rigcore-browser-");
  process.on("exit", () => fs.rmSync(profile, { recursive: true, force: true }));
  process.env.TMPDIR = profile;
  browser = await playwright.chromium.launch({
    executablePath: kChromium,
    args: ["--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage", "--font-render-hinting=none"],
  });
  const page = await browser.newPage({ viewport: { width: 1000, height: 1000 }, deviceScaleFactor: 1 });
  const problems = [];
  page.on("pageerror", (e) => problems.push(e.message));
  page.on("console", (m) => { if (m.type() === "error") problems.push(m.text()); });

  // The newest run is followed: its last depth grows while the page watches.
  await page.goto(url + "depth.html");
  await until("the live run 2", 30, async () =>
    (await page.getAttribute("body", "data-run")) === "2" &&
    Number(await page.getAttribute("body", "data-last")) > 1028);
  const last0 = Number(await page.getAttribute("body", "data-last"));
  await until("new depth lines of run 2 on the page", 30, async () =>
    Number(await page.getAttribute("body", "data-last")) >= last0 + 2);
  const last1 = Number(await page.getAttribute("body", "data-last"));
  const bottom = Number(await page.getAttribute("body", "data-bottom"));
  if (!(bottom >= last1 - 1)) fail("the log shows down to " + bottom + " m, not the newest " + last1 + " m");

  // Run 1 as the test recorded it, picked by the address.
  await page.goto(url + "depth.html?run=1&from=1000&to=1028&scale=200&follow=0");
  await until("run 1 drawn", 20, async () =>
    (await page.getAttribute("body", "data-run")) === "1" &&
    Number(await page.getAttribute("body", "data-paths")) > 0);
  await sleep(500);  // the last window's answer drawn
  const paths = Number(await page.getAttribute("body", "data-paths"));
  const notes = await page.$$eval("#notes li", (li) => li.map((x) => x.textContent));
  if (notes.length) fail("the page notes: " + notes.join("; "));
  if (problems.length) fail("the page reported errors: " + problems.join("; "));
  const sheet = await page.$("#sheet");
  await sheet.screenshot({ path: screenshot });
  console.log("depth page: run 2 followed " + last0 + " -> " + last1 + " m; run 1 drawn with " +
              paths + " lines; picture " + screenshot);
}

async function cleanUp() {
  if (browser) await browser.close().catch(() => {});
  if (station && station.exitCode === null) {
    const ended = new Promise((resolve) => station.on("exit", resolve));
    station.kill("SIGTERM");
    await Promise.race([ended, sleep(15000)]);
  }
}

main().then(
  async () => { await cleanUp(); process.exit(0); },
  async (e) => { console.error("depth page test: " + e.message); await cleanUp(); process.exit(1); });
