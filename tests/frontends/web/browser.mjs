// Headless Debian Chromium driven by playwright-core: never a browser of its
// own, no network, a fresh profile, and every console message and request kept.
import { mkdtempSync, rmSync } from "node:fs";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import { join, resolve } from "node:path";
import { pathToFileURL } from "node:url";

// The pinned packages, as the web build installs them in its tree.
export const requirePackage = createRequire(
  resolve(process.env.VANTREL_NODE_PACKAGES || "build/web/node/package.json"));
const { chromium } = requirePackage("playwright-core");

export const PAGE = resolve(process.env.VANTREL_PAGE || "build/web/vantrel.html");
export const PAGE_URL = pathToFileURL(PAGE).href;

export async function launch() {
  const profile = mkdtempSync(join(tmpdir(), "vantrel-chromium-"));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
    headless: true,
    args: [
      "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
      "--disable-background-networking", "--disable-component-update", "--disable-sync",
      '--host-resolver-rules=MAP * ~NOTFOUND',
    ],
  });
  const console_ = [];
  const requests = [];
  context.on("console", (message) => {
    if (["error", "warning"].includes(message.type())) console_.push(`${message.type()}: ${message.text()}`);
  });
  context.on("weberror", (error) => console_.push(`pageerror: ${error.error().message}`));
  context.on("request", (request) => requests.push(request.url()));
  return {
    context,
    profile,
    console: console_,
    requests,
    async open(hash = "", viewport = { width: 1280, height: 900 }) {
      const page = context.pages()[0] || (await context.newPage());
      await page.setViewportSize(viewport);
      await page.goto(`${PAGE_URL}${hash}`);
      await page.waitForSelector("body[data-ready=true]");
      return page;
    },
    async close() {
      await context.close();
      rmSync(profile, { recursive: true, force: true });
    },
  };
}

// Collects results as "ok"/"not ok" lines and ends with the count.
export function reporter() {
  let passed = 0;
  let failed = 0;
  return {
    check(ok, name, detail = "") {
      if (ok) passed++;
      else failed++;
      console.log(`${ok ? "ok" : "not ok"} - ${name}${ok || !detail ? "" : `\n  ${detail}`}`);
    },
    end() {
      console.log(`${passed} passed, ${failed} failed`);
      process.exitCode = failed === 0 ? 0 : 1;
    },
  };
}
