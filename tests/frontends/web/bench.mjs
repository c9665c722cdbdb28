// A benchmark, not a test: CSV files through the page's table tool and through
// `vantrel NAME --csv FILE`, side by side on the same files: 10^6 rows, and a
// file of about a gigabyte (VANTREL_BENCH_BYTES; 0 leaves it out). For the
// large file the page's result is downloaded and compared with the tool's byte
// for byte, and the browser's peak memory is sampled while it runs.
//
//   node tests/frontends/web/bench.mjs   (after the web and native or dev builds)
//   VANTREL_BENCH_RUNS=8 for more pairs of the 10^6 rows (3 by default)
//   VANTREL_BENCH_WORKERS=1 to have the page see that many processors, and so
//   run a file in at most that many parts side by side
import { spawnSync } from "node:child_process";
import { createHash } from "node:crypto";
import { closeSync, createReadStream, existsSync, mkdtempSync, openSync, readdirSync, readFileSync,
  rmSync, statSync, writeSync } from "node:fs";
import { loadavg, tmpdir } from "node:os";
import { join, resolve } from "node:path";
import { launch } from "./browser.mjs";

const CLI = resolve(process.env.VANTREL_CLI ||
  ["build/native", "build/dev"].map((b) => `${b}/frontends/cli/vantrel`).find(existsSync) || "vantrel");
const NAME = "FlippingRatioSDev";
const LARGE = Number(process.env.VANTREL_BENCH_BYTES ?? 1e9);
const dir = mkdtempSync(join(tmpdir(), "vantrel-bench-"));

// Rows of NAME written in blocks until `rows` rows or `bytes` bytes.
function write(file, { rows = Infinity, bytes = Infinity }) {
  const fd = openSync(file, "w");
  let size = writeSync(fd, "Npp,Nbp,Npm,Nbm,sigmaPp,sigmaBp,sigmaPm,sigmaBm\n");
  let i = 0;
  while (i < rows && size < bytes) {
    const block = [];
    for (let k = 0; k < 10000 && i < rows; k++, i++) {
      block.push(`${1000 + (i % 9973)},${10 + (i % 31)},${100 + (i % 997)},${10 + (i % 29)},31.6,3.2,10,3.2\n`);
    }
    size += writeSync(fd, block.join(""));
  }
  closeSync(fd);
  return { rows: i, bytes: size };
}

function sha256(file) {
  return new Promise((done, fail) => {
    const hash = createHash("sha256");
    createReadStream(file).on("data", (d) => hash.update(d)).on("end", () => done(hash.digest("hex"))).on("error", fail);
  });
}

function nativeRun(file) {
  const start = process.hrtime.bigint();
  // Into a file, as one would use it; a pipe into this script would cost more.
  const out = openSync(`${file}.out`, "w");
  const result = spawnSync(CLI, [NAME, "--csv", file], { stdio: ["ignore", out, "pipe"] });
  closeSync(out);
  if (result.status !== 0) throw new Error(result.stderr.toString());
  return Number(process.hrtime.bigint() - start) / 1e6;
}

// The resident memory of every process of the browser, summed (kB), by /proc.
function browserMemory(profile) {
  let total = 0;
  for (const pid of readdirSync("/proc").filter((p) => /^\d+$/.test(p))) {
    try {
      if (!readFileSync(`/proc/${pid}/cmdline`, "latin1").includes(profile)) continue;
      total += Number(readFileSync(`/proc/${pid}/status`, "latin1").match(/VmRSS:\s+(\d+)/)?.[1] ?? 0);
    } catch { /* ended meanwhile */ }
  }
  return total;
}

const b = await launch();
const WORKERS = Number(process.env.VANTREL_BENCH_WORKERS ?? 0);
if (WORKERS > 0) {
  await b.context.addInitScript((n) => {
    Object.defineProperty(Navigator.prototype, "hardwareConcurrency", { get: () => n });
  }, WORKERS);
}
const page = await b.open("#table");
const index = await page.evaluate((n) => String(window.vantrelPage.library.byName.get(n).index), NAME);
await page.selectOption("#table-function", index);

async function pageRun(file, timeout) {
  await page.evaluate(() => { delete document.body.dataset.tableMilliseconds; });
  await page.setInputFiles("#table-file", file);
  await page.waitForFunction(() => document.body.dataset.tableMilliseconds, null, { timeout, polling: 200 });
  const status = await page.textContent("#table-status");
  if (!status.startsWith("All")) throw new Error(status);
  return {
    ms: Number(await page.evaluate(() => document.body.dataset.tableMilliseconds)),
    first: Number(await page.evaluate(() => document.body.dataset.tableFirstMilliseconds)),
    parts: Number(await page.evaluate(() => document.body.dataset.tableParts)),
  };
}

const best = (times) => Math.min(...times);
const list = (times) => times.map((x) => x.toFixed(0)).join(", ");

// On a shared machine every pair is shown with the load average when it ran:
// the tool and the page take turns, so that both see the same load.
const RUNS = Number(process.env.VANTREL_BENCH_RUNS ?? 3);
const million = join(dir, "rows.csv");
const small = write(million, { rows: 1e6 });
const native = [];
const inPage = [];
const ratios = [];
const processors = await page.evaluate(() => navigator.hardwareConcurrency);
console.log(`${small.rows} rows of ${NAME} (${small.bytes} bytes), tool and page in turn; ` +
  `the page sees ${processors} processor${processors === 1 ? "" : "s"}`);
for (let run = 0; run < RUNS; run++) {
  native.push(nativeRun(million));
  inPage.push(await pageRun(million, 120000));
  ratios.push(inPage[run].ms / native[run]);
  console.log(`  pair ${run + 1}: tool ${native[run].toFixed(0)} ms, page ${inPage[run].ms.toFixed(0)} ms, ` +
    `ratio ${ratios[run].toFixed(2)}, ${inPage[run].parts} part${inPage[run].parts === 1 ? "" : "s"}, load average ${loadavg().map((x) => x.toFixed(2)).join(" ")}`);
}
const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor((xs.length - 1) / 2)];
console.log(`best of ${RUNS}`);
console.log(`vantrel --csv        ${best(native).toFixed(0)} ms   (${list(native)})`);
console.log(`page (file → result) ${best(inPage.map((r) => r.ms)).toFixed(0)} ms   (${list(inPage.map((r) => r.ms))})`);
console.log(`page, first rows    ${best(inPage.map((r) => r.first)).toFixed(0)} ms   (${list(inPage.map((r) => r.first))})`);
console.log(`ratio                ${(best(inPage.map((r) => r.ms)) / best(native)).toFixed(2)} (best to best), ` +
  `${median(ratios).toFixed(2)} (median of the pairs)`);

if (LARGE > 0) {
  const large = join(dir, "large.csv");
  const written = write(large, { bytes: LARGE });
  const nativeMs = nativeRun(large);
  const profile = b.profile;
  const before = browserMemory(profile);
  let peak = before;
  const sampler = setInterval(() => { peak = Math.max(peak, browserMemory(profile)); }, 100);
  const run = await pageRun(large, 3600000);
  const computing = peak;
  const heap = Number(await page.evaluate(() => document.body.dataset.tableHeapBytes));
  // The download, assembled from the result's parts, against the tool's file.
  const [download] = await Promise.all([page.waitForEvent("download", { timeout: 600000 }), page.click("#table-download")]);
  const saved = join(dir, "large-page.csv");
  await download.saveAs(saved);
  clearInterval(sampler);
  const same = statSync(saved).size === statSync(`${large}.out`).size &&
    (await sha256(saved)) === (await sha256(`${large}.out`));
  console.log(`\n${written.rows} rows of ${NAME} (${written.bytes} bytes, ${statSync(`${large}.out`).size} bytes of result), once`);
  console.log(`vantrel --csv        ${nativeMs.toFixed(0)} ms`);
  console.log(`page (file → result) ${run.ms.toFixed(0)} ms, in ${run.parts} parts`);
  console.log(`ratio                ${(run.ms / nativeMs).toFixed(2)}`);
  console.log(`the download is the tool's output byte for byte: ${same ? "yes" : "NO"}`);
  console.log(`browser's memory     ${(before / 1024).toFixed(0)} MB before, at most ${(computing / 1024).toFixed(0)} MB during the run, ${(peak / 1024).toFixed(0)} MB with the download`);
  console.log(`the worker's module  ${(heap / 2 ** 20).toFixed(0)} MB of memory at the end`);
}
await b.close();
rmSync(dir, { recursive: true, force: true });
