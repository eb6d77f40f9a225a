// The published site as its visitors meet it, in Debian's Chromium: an accessibility audit with
// axe-core of the top page (its frames included), the menu page and an album page, and the layouts
// a desktop browser and a phone give them.
//
//   node site_audit.mjs --chromium /usr/bin/chromium --screenshots DIR \
//        --look default=http://127.0.0.1:PORT/default/Tessaly.html [--look NAME=URL ...]
//
// Each look is one published site. axe's figures are printed for every page of every look; any
// violation of impact "serious" or "critical" fails the run, as does a phone layout wider than the
// screen, menu text under 12 CSS px, or a desktop album page whose first row no longer lies in one
// line. The first look's pages are photographed at 1280 and 390 px wide into DIR.
import { readFile, mkdtemp, rm } from "node:fs/promises";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import path from "node:path";
import process from "node:process";
import puppeteer from "puppeteer-core";

const require = createRequire(import.meta.url);
const AXE_SOURCE = await readFile(require.resolve("axe-core/axe.min.js"), "utf8");
const AXE_VERSION = require("axe-core/package.json").version;

const DESKTOP = { width: 1280, height: 900 };
const PHONE = { width: 390, height: 844, isMobile: true, hasTouch: true, deviceScaleFactor: 1 };
const SMALLEST_MENU_TEXT = 12; // CSS px
const FAILING_IMPACTS = new Set(["serious", "critical"]);
// Generous: a loaded machine is slow, but nothing here should take this long.
const STEP_TIMEOUT = 30000;

function parseArguments(argv) {
  const options = { looks: [], chromium: "/usr/bin/chromium", screenshots: null };
  for (let i = 0; i < argv.length; i += 2) {
    const [flag, value] = [argv[i], argv[i + 1]];
    if (value === undefined) throw new Error(`${flag} needs a value`);
    if (flag === "--look") {
      const at = value.indexOf("=");
      if (at < 1) throw new Error(`--look takes NAME=URL, not ${value}`);
      options.looks.push({ name: value.slice(0, at), top: value.slice(at + 1) });
    } else if (flag === "--chromium") {
      options.chromium = value;
    } else if (flag === "--screenshots") {
      options.screenshots = value;
    } else {
      throw new Error(`unknown option ${flag}`);
    }
  }
  if (!options.looks.length) throw new Error("no --look given");
  return options;
}

const failures = [];
function check(condition, message) {
  if (!condition) failures.push(message);
  return condition;
}

// --- axe ------------------------------------------------------------------------------------------

// axe in every frame of the page, then one run from the top document: axe asks the frames'
// copies itself, so a frame is audited as a frame (no language or title of its own demanded).
async function audit(page) {
  for (const frame of page.frames()) {
    await frame.evaluate(AXE_SOURCE);
  }
  return page.evaluate(async () => {
    const results = await window.axe.run(document, {
      resultTypes: ["violations"],
      iframes: true,
    });
    const brief = (rule) => ({
      id: rule.id,
      impact: rule.impact,
      help: rule.help,
      nodes: rule.nodes.map((node) => ({
        target: node.target.join(" "),
        summary: node.failureSummary,
      })),
    });
    return {
      violations: results.violations.map(brief),
      incomplete: results.incomplete.length,
      passes: results.passes.length,
    };
  });
}

const figures = [];
function record(look, pageName, result) {
  const count = (impact) =>
    result.violations.filter((rule) => rule.impact === impact).length;
  figures.push({
    look,
    page: pageName,
    passes: result.passes,
    critical: count("critical"),
    serious: count("serious"),
    moderate: count("moderate"),
    minor: count("minor"),
    incomplete: result.incomplete,
    rules: result.violations.map((rule) => `${rule.id} (${rule.impact})`).join(", "),
  });
  for (const rule of result.violations) {
    if (!FAILING_IMPACTS.has(rule.impact)) continue;
    const where = rule.nodes
      .slice(0, 3)
      .map((node) => `      ${node.target}: ${node.summary.replace(/\n\s*/g, " ")}`)
      .join("\n");
    check(false, `${look}, ${pageName}: ${rule.id} (${rule.impact}) ${rule.help}\n${where}`);
  }
}

// --- pages ----------------------------------------------------------------------------------------

function frameNamed(page, name) {
  return page.frames().find((frame) => frame.name() === name);
}

async function waitForFrame(page, name, predicate) {
  const deadline = Date.now() + STEP_TIMEOUT;
  for (;;) {
    const frame = frameNamed(page, name);
    if (frame && (await predicate(frame).catch(() => false))) return frame;
    if (Date.now() > deadline) throw new Error(`the frame "${name}" never got ready`);
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
}

const loaded = (frame) =>
  frame.evaluate(
    () =>
      document.readyState === "complete" &&
      [...document.images].every((image) => image.complete),
  );

// The first album link of the menu that leads to a page with pictures.
async function firstAlbumLink(frame) {
  const href = await frame.evaluate(() => document.querySelector("a")?.href ?? null);
  if (!href) throw new Error(`the menu at ${frame.url()} lists no album`);
  return href;
}

async function layoutWidths(page) {
  return page.evaluate(() => ({
    viewport: window.innerWidth,
    document: document.documentElement.scrollWidth,
    body: document.body ? document.body.scrollWidth : 0,
  }));
}

async function desktop(browser, look, shots) {
  const page = await browser.newPage();
  await page.setViewport(DESKTOP);
  await page.goto(look.top, { waitUntil: "load" });
  const menu = await waitForFrame(page, "menu", (frame) =>
    frame.evaluate(() => document.readyState === "complete" && !!document.querySelector("a")),
  );
  const album = await firstAlbumLink(menu);
  // The frame is as narrow as a phone; it must still show the menu as it always has, its text at
  // the person's size and its heading for screen readers only.
  const framed = await menu.evaluate(() => ({
    heading: document.querySelector("h1")?.getBoundingClientRect().height ?? 0,
    link: parseFloat(getComputedStyle(document.querySelector("a")).fontSize),
    font: parseFloat(getComputedStyle(document.querySelector("font")).fontSize),
  }));
  check(framed.heading <= 1 && framed.link === framed.font,
        `${look.name}: the menu frame takes the phone's layout: heading ${framed.heading} px ` +
        `high, links ${framed.link} px against the menu's ${framed.font} px`);

  // Choosing an album fills the picture frame, as it always has; the audit takes in both frames.
  await menu.click("a");
  await waitForFrame(page, "picture", async (frame) => frame.url() === album && loaded(frame));
  record(look.name, "top page (desktop)", await audit(page));
  if (shots) await page.screenshot({ path: path.join(shots, "site-desktop.png") });

  await page.goto(new URL("Contents/menu.html", look.top).href, { waitUntil: "load" });
  record(look.name, "menu page (desktop)", await audit(page));

  await page.goto(album, { waitUntil: "load" });
  record(look.name, "album page (desktop)", await audit(page));
  // Today's layout: the album's first row of pictures lies in one line.
  const rows = await page.evaluate(() =>
    [...document.querySelectorAll("tr")].slice(0, 1).map((row) =>
      [...row.cells].map((cell) => Math.round(cell.getBoundingClientRect().top)),
    ),
  );
  check(
    rows.length === 1 && new Set(rows[0]).size === 1 && rows[0].length > 1,
    `${look.name}: the desktop album page's first row is not one line of cells: tops ${rows}`,
  );
  if (shots) await page.screenshot({ path: path.join(shots, "site-desktop-album.png") });
  await page.close();
}

async function phone(browser, look, shots) {
  const page = await browser.newPage();
  await page.setViewport(PHONE);
  // The top page leaves its frames for the menu on a narrow screen.
  await page.goto(look.top, { waitUntil: "load" });
  await page.waitForFunction(() => location.pathname.endsWith("/Contents/menu.html"), {
    timeout: STEP_TIMEOUT,
  }).catch(() => {});
  const menuUrl = page.url();
  if (!check(menuUrl.endsWith("/Contents/menu.html"),
             `${look.name}: on a phone the top page shows ${menuUrl}, not the menu`)) {
    await page.close();
    return;
  }
  await page.waitForFunction(() => document.readyState === "complete", { timeout: STEP_TIMEOUT });
  record(look.name, "top page (phone, the menu)", await audit(page));
  const menuWidths = await layoutWidths(page);
  check(menuWidths.document <= menuWidths.viewport,
        `${look.name}: the phone menu is ${menuWidths.document} px wide on a ` +
        `${menuWidths.viewport} px screen`);
  const smallest = await page.evaluate(() =>
    Math.min(...[...document.querySelectorAll("a")].map(
      (link) => parseFloat(getComputedStyle(link).fontSize))),
  );
  check(smallest >= SMALLEST_MENU_TEXT,
        `${look.name}: the phone menu's text is ${smallest} px, under ${SMALLEST_MENU_TEXT} px`);
  if (shots) await page.screenshot({ path: path.join(shots, "site-phone.png") });

  // Choosing an album shows its page in the same tab.
  const album = await page.evaluate(() => document.querySelector("a").href);
  const opened = browser.waitForTarget((target) => target.opener() === page.target(),
                                       { timeout: 2000 }).catch(() => null);
  await Promise.all([
    page.waitForNavigation({ waitUntil: "load", timeout: STEP_TIMEOUT }).catch(() => {}),
    page.tap("a"),
  ]);
  check(page.url() === album,
        `${look.name}: choosing an album on a phone shows ${page.url()} in the tab, not ${album}` +
        ((await opened) ? " (it opened another tab)" : ""));
  await page.goto(album, { waitUntil: "load" });
  record(look.name, "album page (phone)", await audit(page));
  const albumWidths = await layoutWidths(page);
  check(albumWidths.document <= albumWidths.viewport,
        `${look.name}: the phone album page is ${albumWidths.document} px wide on a ` +
        `${albumWidths.viewport} px screen`);
  // The cells wrap to the screen instead; no thumbnail grows past the size the person chose.
  const oversized = await page.evaluate(() =>
    [...document.images].filter((image) =>
      image.getBoundingClientRect().width > Number(image.getAttribute("width")) + 0.5).length,
  );
  check(oversized === 0, `${look.name}: ${oversized} phone thumbnails are enlarged`);
  if (shots) await page.screenshot({ path: path.join(shots, "site-phone-album.png") });
  await page.close();
}

// --- the run --------------------------------------------------------------------------------------

function printFigures() {
  const columns = ["look", "page", "passes", "critical", "serious", "moderate", "minor",
                   "incomplete", "rules"];
  const widths = columns.map((column) =>
    Math.max(column.length, ...figures.map((row) => String(row[column]).length)));
  const line = (cells) => cells.map((cell, i) => String(cell).padEnd(widths[i])).join("  ");
  console.log(`axe-core ${AXE_VERSION}: rules passed and violations by impact`);
  console.log(line(columns));
  for (const row of figures) console.log(line(columns.map((column) => row[column])));
}

async function main() {
  const options = parseArguments(process.argv.slice(2));
  const profile = await mkdtemp(path.join(tmpdir(), "tessaly-audit-"));
  const browser = await puppeteer.launch({
    executablePath: options.chromium,
    headless: true,
    userDataDir: path.join(profile, "profile"),
    env: { ...process.env, HOME: profile, XDG_CONFIG_HOME: path.join(profile, ".config"),
           XDG_CACHE_HOME: path.join(profile, ".cache") },
    args: ["--no-sandbox", "--disable-gpu", "--no-first-run", "--no-proxy-server",
           "--disable-background-networking", "--disable-component-update", "--disable-sync"],
  });
  try {
    for (const [index, look] of options.looks.entries()) {
      const shots = index === 0 ? options.screenshots : null;
      await desktop(browser, look, shots);
      await phone(browser, look, shots);
    }
  } finally {
    await browser.close();
    await rm(profile, { recursive: true, force: true });
  }
  printFigures();
  if (failures.length) {
    console.error(`FAIL: ${failures.length} problems\n  ` + failures.join("\n  "));
    process.exit(1);
  }
  console.log("site_audit: no serious or critical violation; phone and desktop layouts hold");
}

main().catch((error) => {
  console.error(`FAIL: ${error.stack || error}`);
  process.exit(1);
});
