// The mud log page in a real browser. A station runs on the home the test recorded (run 1)
// with its web view on, drilling a new run 2 live from live-drilling.txt. Headless Chromium
// opens the page, which starts on the newest run and must follow its new depth lines; then
// it shows run 1 from 1000 to 1028 m at 1:200, and the log sheet is saved as a picture for
// the test to compare.
//   node check_depth_page.js <rigstation> <home> <screenshot.png>
"use strict";

const path = require("path");
const { fail, sleep, until, launch, problemsOf, startStation, run } = require("../support/browser");

const [rigstation, home, screenshot] = process.argv.slice(2);
const kLive = path.join(__dirname, "live-drilling.txt");

async function main() {
  const browser = await launch(["--font-render-hinting=none"]);
  const url = await startStation(rigstation, ["--home", home, "--no-restore", "--no-sound",
                                              "--scenario", kLive]);
  const page = await browser.newPage({ viewport: { width: 1000, height: 1000 }, deviceScaleFactor: 1 });
  const problems = problemsOf(page, true);

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

run("depth page test", main);
