// A benchmark, not a test: one 10^6-row CSV through the page's table tool and
// through `vantrel NAME --csv FILE`, side by side on the same file.
//
//   node tests/frontends/web/bench.mjs   (after the web and native or dev builds)
import { spawnSync } from "node:child_process";
import { closeSync, existsSync, mkdtempSync, openSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join, resolve } from "node:path";
import { launch } from "./browser.mjs";

const CLI = resolve(process.env.VANTREL_CLI ||
  ["build/native", "build/dev"].map((b) => `${b}/frontends/cli/vantrel`).find(existsSync) || "vantrel");
const ROWS = 1e6;
const NAME = "FlippingRatioSDev";

const rows = ["Npp,Nbp,Npm,Nbm,sigmaPp,sigmaBp,sigmaPm,sigmaBm"];
for (let i = 0; i < ROWS; i++) {
  rows.push(`${1000 + (i % 9973)},${10 + (i % 31)},${100 + (i % 997)},${10 + (i % 29)},31.6,3.2,10,3.2`);
}
const file = join(mkdtempSync(join(tmpdir(), "vantrel-bench-")), "rows.csv");
writeFileSync(file, rows.join("\n") + "\n");

const native = [];
for (let run = 0; run < 3; run++) {
  const start = process.hrtime.bigint();
  // Into a file, as one would use it; a pipe into this script would cost more.
  const out = openSync(`${file}.out`, "w");
  const result = spawnSync(CLI, [NAME, "--csv", file], { stdio: ["ignore", out, "pipe"] });
  closeSync(out);
  native.push(Number(process.hrtime.bigint() - start) / 1e6);
  if (result.status !== 0) throw new Error(result.stderr.toString());
}

const b = await launch();
const page = await b.open("#table");
const index = await page.evaluate((n) => String(window.vantrelPage.library.byName.get(n).index), NAME);
await page.selectOption("#table-function", index);
const inPage = [];
const first = [];
for (let run = 0; run < 3; run++) {
  await page.evaluate(() => { delete document.body.dataset.tableMilliseconds; });
  await page.setInputFiles("#table-file", file);
  await page.waitForFunction(() => document.body.dataset.tableMilliseconds, null, { timeout: 120000 });
  inPage.push(Number(await page.evaluate(() => document.body.dataset.tableMilliseconds)));
  first.push(Number(await page.evaluate(() => document.body.dataset.tableFirstMilliseconds)));
}
await b.close();

const best = (times) => Math.min(...times);
console.log(`${ROWS} rows of ${NAME} (${rows.join("\n").length + 1} bytes), best of 3`);
console.log(`vantrel --csv        ${best(native).toFixed(0)} ms   (${native.map((x) => x.toFixed(0)).join(", ")})`);
console.log(`page (file → result) ${best(inPage).toFixed(0)} ms   (${inPage.map((x) => x.toFixed(0)).join(", ")})`);
console.log(`page, first rows    ${best(first).toFixed(0)} ms   (${first.map((x) => x.toFixed(0)).join(", ")})`);
console.log(`ratio                ${(best(inPage) / best(native)).toFixed(2)}`);
