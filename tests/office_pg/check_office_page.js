// The office view in a real browser over HTTPS: a wrong password is refused on the page; the
// login gives a Secure, HttpOnly, SameSite=Strict cookie; the fleet shows the rig with its
// depths and a chart; the rig's page shows its live values, draws a run's history and hands
// out its LAS and CSV.
//   node check_office_page.js <https url> <user> <password> <rig> <screenshot.png>
"use strict";

const fs = require("fs");
const path = require("path");
const { fail, until, launch, problemsOf, run } = require("../support/browser");

const [url, user, password, rig, screenshot] = process.argv.slice(2);
let page = null;

async function main() {
  const browser = await launch();
  // The test's certificate is its own, signed by nobody the browser trusts.
  const context = await browser.newContext({ ignoreHTTPSErrors: true,
                                             viewport: { width: 1400, height: 1000 } });
  page = await context.newPage();
  const problems = problemsOf(page, false);

  await page.goto(url);
  await page.waitForSelector("#login-box:not([hidden])");
  await page.fill("#login-user", user);
  await page.fill("#login-password", "not the password");
  await page.click("#login button");
  await until("the refusal", 10, async () =>
    (await page.textContent("#login-error")).includes("wrong name or password"));
  await page.fill("#login-password", password);
  await page.click("#login button");

  const row = `#fleet tr[data-rig="${rig}"]`;
  await until("the rig in the fleet", 15, () => page.$(row));
  const cookie = (await context.cookies()).find((c) => c.name === "office_session");
  if (!cookie || !cookie.secure || !cookie.httpOnly || cookie.sameSite !== "Strict")
    fail("the session cookie is " + JSON.stringify(cookie));
  const bottom = Number(await page.textContent(row + " td.bottom"));
  if (!(Math.abs(bottom - 1000) < 1)) fail("the fleet shows the bottom at " + bottom + ", not 1000 m");
  await until("the fleet's chart", 10, () => page.$(row + " td.chart canvas"));
  const operation = (await page.textContent(row + " td.operation")).trim();
  if (!operation || operation === "–") fail("the fleet shows no operation");

  await page.click(row + " a");
  await until("the rig's live values", 15, async () =>
    (await page.$$("#params tbody tr")).length > 5);
  if ((await page.textContent("#rig-name")) !== rig) fail("the rig page names another rig");
  const run = '#runs li[data-race="3"]';
  await until("run 3 in the list", 10, () => page.$(run));
  await page.click("#h-show");
  await until("the history chart", 10, () => page.$("#history canvas"));
  const note = await page.textContent("#history-note");
  if (!/^\d+ lines/.test(note) || note.startsWith("0 ")) fail("the history says: " + note);

  // The downloads, as the links hand them out.
  const get = (selector) => page.$eval(selector, async (a) => {
    const r = await fetch(a.href);
    return { status: r.status, body: await r.text(), type: r.headers.get("content-disposition") };
  });
  const las = await get(run + " .file:first-of-type a.las");
  if (las.status !== 200 || !las.body.startsWith("~V") || !/attachment/.test(las.type))
    fail("the LAS download: " + las.status + " " + las.body.slice(0, 80));
  const csv = await get(run + " .file:first-of-type a.csv");
  if (csv.status !== 200 || !csv.body.startsWith("time;")) fail("the CSV download: " + csv.body.slice(0, 80));
  // The history holds the recorded values: the hook load line for line as the CSV has it.
  const hook = "вес_на_крюке";
  const history = await page.evaluate(async (q) => (await fetch("/api/history?" + q)).json(),
    "rig=" + encodeURIComponent(rig) + "&race=3&file=time&params=" + encodeURIComponent(hook));
  const lines = csv.body.trim().split("\n");
  const column = lines[0].split(";").indexOf(hook);
  const recorded = lines.slice(1).map((l) => Math.fround(Number(l.split(";")[column])));
  const shown = (history.values[hook] || []).map((v) => Math.fround(v));
  if (column < 0 || recorded.length === 0 || JSON.stringify(shown) !== JSON.stringify(recorded))
    fail("the history of " + hook + " is " + JSON.stringify(shown) + ", recorded " +
         JSON.stringify(recorded));
  if (problems.length) fail("the page reported errors: " + problems.join("; "));

  fs.mkdirSync(path.dirname(screenshot), { recursive: true });
  await page.screenshot({ path: screenshot, fullPage: true });
  console.log("office page: bottom " + bottom + ", " + operation + ", " + note + "; LAS " +
              las.body.length + " bytes, CSV " + csv.body.length + " bytes");
}

// What the page itself said, to tell a refusal from a slow server.
run("office page test", main, async () => !page ? "" : "the page said " + await page.evaluate(
  () => ["login-error", "problem"].map(
    (id) => id + ": " + document.getElementById(id).textContent).join("; ")));
