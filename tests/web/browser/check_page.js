// The web view in a real browser: a station on the emulator plays a scripted overpull with
// its web view on; headless Chromium opens the page and checks that the values move each
// second, a chart grows, and the hook load's row turns red once it crosses its threshold.
//   node check_page.js <rigstation> <scenario> <temporary folder> <screenshot.png>
"use strict";

const { spawnSync } = require("child_process");
const fs = require("fs");
const path = require("path");
const { fail, sleep, until, launch, problemsOf, startStation, run } =
  require("../../support/browser");

const [rigstation, scenario, tempRoot, screenshot] = process.argv.slice(2);
const kHook = "вес_на_крюке";
const home = fs.mkdtempSync(path.join(tempRoot || require("os").tmpdir(), "web-page-")) + "/";
process.on("exit", () => fs.rmSync(home, { recursive: true, force: true }));

// A home with one threshold: the hook load above 100 t.
function prepareHome() {
  const made = spawnSync(rigstation, ["run", "--home", home, "--seconds", "1", "--no-restore"],
                         { encoding: "utf8", timeout: 60000 });
  if (made.status !== 0) fail("preparing the home failed: " + made.stderr);
  const ini = path.join(home, "global.ini");
  const text = fs.readFileSync(ini, "utf8");
  const start = text.indexOf("[MinMaxValues]");
  if (start < 0) fail("no [MinMaxValues] in " + ini);
  const next = text.indexOf("\n[", start + 1);
  const section = "[MinMaxValues]\nsize=1\nversion=1\nitem0=\"0," + kHook + ",0,0,1,100\"\n";
  fs.writeFileSync(ini, text.slice(0, start) + section + (next < 0 ? "" : text.slice(next + 1)));
}

async function main() {
  const browser = await launch();
  prepareHome();
  const url = await startStation(rigstation, ["--home", home, "--no-restore", "--scenario", scenario]);
  const page = await browser.newPage({ viewport: { width: 1280, height: 900 } });
  const problems = problemsOf(page, true);
  await page.goto(url + "?charts=" + encodeURIComponent(kHook) + ",rig.bit");

  const row = `#params tr[data-id="${kHook}"]`;
  await until("the first tick", 20, () => page.$(row));
  // The values move each second: the tick number and the time shown advance about once a
  // second (between 2 and 5 ticks in 3.5 s, the pace of the station's clock).
  const tick0 = Number(await page.getAttribute("body", "data-tick"));
  const time0 = await page.textContent("#time");
  await sleep(3500);
  const tick1 = Number(await page.getAttribute("body", "data-tick"));
  const time1 = await page.textContent("#time");
  if (!(tick1 - tick0 >= 2 && tick1 - tick0 <= 5))
    fail("ticks " + tick0 + " -> " + tick1 + " in 3.5 s: not one a second");
  if (time0 === time1) fail("the time shown stayed " + time0);
  const hook0 = await page.textContent(row + " td.value");
  // The scenario's 80 t, as the station averages it.
  if (!(Math.abs(Number(hook0) - 80) < 2)) fail("the hook load shows '" + hook0 + "', not 80 t");

  // A chart grows: its points (history at connect, then one a tick) increase.
  const chart = `.chart[data-id="${kHook}"]`;
  await until("the hook load's chart", 10, () => page.$(chart + " canvas"));
  const points0 = Number(await page.getAttribute(chart, "data-points"));
  await until("the chart to grow", 10, async () =>
    Number(await page.getAttribute(chart, "data-points")) >= points0 + 2);

  // The overpull: the row turns red while its alarm flag is up, and the alarm is listed.
  await until("the hook load's alarm", 60, async () =>
    (await page.getAttribute(row, "class") || "").split(" ").includes("alarm"));
  const hook1 = await page.textContent(row + " td.value");
  if (Number(hook1) <= 100) fail("the row is red at a hook load of " + hook1);
  const background = await page.$eval(row + " td", (td) => getComputedStyle(td).backgroundColor);
  if (background !== "rgb(198, 40, 40)") fail("the alarm row's colour is " + background);
  const alarms = await page.$$eval("#alarms li:not(.none)", (li) => li.map((x) => x.textContent));
  if (alarms.length === 0) fail("the alarm is not listed");
  const operation = await page.textContent("#operation");
  if (!operation.trim() || operation.trim() === "–") fail("no operation is shown");
  if (problems.length) fail("the page reported errors: " + problems.join("; "));

  fs.mkdirSync(path.dirname(screenshot), { recursive: true });
  await page.screenshot({ path: screenshot, fullPage: true });
  console.log("web page: ticks " + tick0 + " -> " + tick1 + ", hook " + hook0 + " -> " + hook1 +
              ", chart points " + points0 + "+, alarm: " + alarms[0] + "; screenshot " + screenshot);
}

run("web page test", main);
