// The page where a user strays: broken or mistyped links, fields emptied or
// made invalid under computed results, inputs no physics allows, every view at
// a phone's width, and tables larger than a slice of the reader, stopped or
// cancelled part-way. Run by page.test.mjs, which passes its reporter and its
// way to the native tool.
import { readFileSync, writeFileSync, mkdtempSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { PAGE_URL, requirePackage } from "./browser.mjs";

const text = (page, selector) => page.evaluate((s) => document.querySelector(s)?.textContent ?? "", selector);
const problems = (page) => page.evaluate(() => [...document.querySelectorAll("#link-problems li")].map((li) => li.textContent).join(" | "));

async function open(page, hash) {
  await page.goto("about:blank");
  await page.goto(`${PAGE_URL}${hash}`);
  await page.waitForSelector("body[data-ready=true]");
}

// ---- Links --------------------------------------------------------------------

// [link, function shown, fields as shown, what the message says (or "" for
// none), the arguments the native tool gets for the same value, or null when
// no value is due].
const LINKS = [
  ["#CountRate?N=100%&t=1", "CountRate", { N: "100%", t: "1" }, "broken escape", null],
  ["#%E0%A4%A", null, {}, "broken escape", null],
  ["#FlipingRatio?Npp=1", null, {}, "did you mean FlippingRatio", null],
  ["#CountRate?N=1000&t=50&x=3", "CountRate", { N: "1000", t: "50" }, "has no argument “x”", ["1000", "50"]],
  ["#CountRate?n=1000&t=50", "CountRate", { N: "", t: "50" }, "case-sensitive", null],
  ["#CountRate?N=1000&N=2000&t=50", "CountRate", { N: "1000", t: "50" }, "N twice", ["1000", "50"]],
  ["#He3Transmission?p=1&T=293&L=10&lambda_=4&PHe=0.5", "He3Transmission",
    { p: "1", T: "293", L: "10", lambda: "4", PHe: "0.5" }, "", ["1", "293", "10", "4", "0.5"]],
  ["#CountRate?N=1e+5&t=1", "CountRate", { N: "1e+5", t: "1" }, "", ["1e+5", "1"]],
];

async function links(t, page, native) {
  for (const [hash, name, fields, said, args] of LINKS) {
    // Opened with the link, and entered after the page is open.
    for (const how of ["opened", "entered"]) {
      if (how === "opened") await open(page, hash);
      else {
        await open(page, "#STLcubic");
        // The page's own listener came first: this one runs after it.
        await page.evaluate((h) => new Promise((done) => {
          window.addEventListener("hashchange", done, { once: true });
          location.hash = h;
        }), hash);
      }
      // A link that names no function leaves the function shown before: the
      // first of the catalogue when the page opens with it.
      const known = name !== null;
      const before = known ? name : how === "opened" ? "CountRate" : "STLcubic";
      const shown = await text(page, "#function-name");
      const values = await page.evaluate((names) => Object.fromEntries(names.map((n) => [n, document.getElementById(`arg-${n}`)?.value])), Object.keys(fields));
      const told = await problems(page);
      const value = await page.locator("#result").getAttribute("data-value");
      const expected = args ? native([name, "--", ...args]).out.trim() : "";
      // A working page: the example fills in and computes.
      await page.click("#example");
      const example = await page.locator("#result").getAttribute("data-value");
      const ok = shown === before && (!known || JSON.stringify(values) === JSON.stringify(fields)) &&
        (said ? told.includes(said) : told === "") && value === expected && example !== "";
      t.check(ok, `link ${hash} (${how}): ${said || "read whole"}, beside a working page`,
        `${shown} ${JSON.stringify(values)} told "${told}" value ${value} vs ${expected}, example ${example}`);
    }
  }

  // Texts as typed come back through the link exactly, whatever they hold.
  const typed = ["1e+5", "0x1.8p3", " 2.5", "100%", "a&b=c", "#?", "λ+1", "-0"];
  await open(page, "#CountRate");
  let kept = true;
  let detail = "";
  for (const value of typed) {
    await page.fill("#arg-N", value);
    await page.fill("#arg-t", "1");
    const link = await page.evaluate(() => location.hash);
    await open(page, link);
    const back = await page.inputValue("#arg-N");
    if (back !== value || (await problems(page)) !== "") {
      kept = false;
      detail += `${JSON.stringify(value)} → ${link} → ${JSON.stringify(back)}; `;
    }
  }
  t.check(kept, "every text typed comes back through the link as it was", detail);
}

// ---- Results follow their inputs ---------------------------------------------------

// [view, field, text that is not valid there, the field's error]. The results
// and the plot go; valid again, they come back.
const STALE = [
  ["plan-lattice", "#lattice-hkl", "", "at least one reflection"],
  ["plan-lattice", "#lattice-a", "3,5", "not a number"],
  ["plan-lattice", "#lattice-lambda", "0", "must be more than 0"],
  ["plan-counting", "#counting-T", "7200 s", "not a number"],
  ["plan-counting", "#counting-T", "-3600", "must be more than 0"],
  ["plan-counting", "#counting-Npp", "-12", "cannot be negative"],
  ["plan-helium3", "#helium3-p", "-1.2", "pressure cannot be negative"],
  ["plan-helium3", "#helium3-L", "-10", "cell length cannot be negative"],
  ["plan-helium3", "#helium3-PHe", "nan", "NaN is no polarisation"],
  ["plan-decay", "#decay-p", "", "Enter a number"],
  ["plan-decay", "#decay-sigmaTratio", "0", "The fit weighs each measurement by its standard deviation: it must be more than 0."],
  ["plan-decay", "#decay-sigmaTratio", "-0.01", "A standard deviation cannot be negative."],
  ["plan-decay", "#decay-sigmaTratio", "nan", "NaN is no standard deviation"],
  ["plan-decay", "#decay-data", "0 2.0359\n12 x", "Line 2 is not two numbers"],
  ["plan-decay", "#decay-data", "0 2.0359\n12 0.95", "Line 2: the ratio 0.95 is below 1, so the polarised cell transmitted less than the unpolarised one"],
  ["plan-decay", "#decay-data", "0 2.0359\n\n12 1", "Line 3: the ratio 1 means an unpolarised gas"],
  ["plan-decay", "#decay-data", "0 2.0359\n12 nan", "Line 2: “nan” is NaN"],
  ["plan-peaks", "#peaks-A1", "x", "not a number"],
  ["plan-peaks", "#peaks-B2", "-1", "count cannot be negative"],
];

async function staleResults(t, page) {
  for (const [view, field, bad, error] of STALE) {
    await open(page, `#${view}`);
    const before = await page.inputValue(field);
    const out = `#view-${view} .plan-out`;
    const plotted = () => page.locator(`#view-${view} .plot canvas`).count();
    const had = (await plotted()) === 1 && (await text(page, out)).length > 0;
    await page.fill(field, bad);
    const said = await text(page, `${field}-error`);
    const shown = await text(page, out);
    const cleared = (await plotted()) === 0 && (await page.getAttribute(out, "data-stale")) === "true" &&
      !/\d\.\d/.test(shown);
    await page.fill(field, before);
    const back = (await plotted()) === 1 && (await page.getAttribute(out, "data-stale")) === null;
    t.check(had && said.includes(error) && cleared && back,
      `${view}: ${field} = ${JSON.stringify(bad)} clears the results and says “${error}”`,
      `had ${had}, said "${said}", shown "${shown}", back ${back}`);
  }

  // The function view: an invalid field leaves no value and says why; a NaN
  // given is named before any rule of the function's.
  const CASES = [
    ["#CountRate?N=nan&t=50", "The value is NaN because N is NaN."],
    ["#CountRate?N=nan&t=nan", "because N and t are NaN"],
    ["#CountRate?N=1000&t=0", "gives NaN when t = 0"],
  ];
  for (const [hash, why] of CASES) {
    await open(page, hash);
    const said = await text(page, "#nan-reason");
    t.check(said.includes(why), `${hash} explains its NaN: ${why}`, said);
  }
}

// The counting planner's four equal quarters of 3600 s, σ(R) and σ(A) both, as
// the native tool gives them from the rates' standard deviations.
async function quarters(t, page, native) {
  await open(page, "#plan-counting");
  const shown = (await text(page, "#view-plan-counting .plan-out")).match(/σ\(R\) = (\S+), σ\(A\) = (\S+) with four equal quarters/);
  const rates = ["12", "1.5", "8", "1.5"];
  // Counts of each rate in 900 s, exact in binary.
  const counts = ["10800", "1350", "7200", "1350"];
  const sigmas = counts.map((n) => native(["CountRateSDev", "--", n, "900"]).out.trim());
  const R = native(["FlippingRatioSDev", "--", ...rates, ...sigmas]).out.trim();
  const A = native(["AsymmetrySDev", "--", ...rates, ...sigmas]).out.trim();
  t.check(shown?.[1] === R && shown?.[2] === A, "the counting planner gives σ(R) and σ(A) with four equal quarters",
    `${shown?.slice(1)} vs ${R}, ${A}`);
}

// ---- Every width ---------------------------------------------------------------------

async function widths(t, page, catalogue) {
  const hashes = [...catalogue.map((e) => `#${e.name}`), "#table", "#plan-counting", "#plan-helium3",
    "#plan-decay", "#plan-lattice", "#plan-peaks", "#magnetic"];
  for (const width of [320, 360, 375, 390]) {
    await page.setViewportSize({ width, height: 800 });
    // From a link of none of them, so that each one changes the link.
    await open(page, "#functions");
    const wide = [];
    for (const hash of hashes) {
      const over = await page.evaluate((h) => new Promise((done) => {
        window.addEventListener("hashchange", () => done(document.documentElement.scrollWidth - window.innerWidth), { once: true });
        location.hash = h;
      }), hash);
      if (over > 0) wide.push(`${hash} ${over} px`);
    }
    t.check(wide.length === 0, `at ${width} px no view is wider than the window`, wide.join(", "));
  }
  await page.setViewportSize({ width: 1280, height: 900 });
}

// ---- Tables ---------------------------------------------------------------------------

async function table(page, name, file) {
  await open(page, "#table");
  const index = await page.evaluate((n) => String(window.vantrelPage.library.byName.get(n).index), name);
  await page.selectOption("#table-function", index);
  await page.setInputFiles("#table-file", file);
  await page.waitForFunction(() => /computed|Stopped/.test(document.getElementById("table-status").textContent), null, { timeout: 120000 });
  return page.evaluate(async () => ({
    out: await window.vantrelPage.tableOutput(),
    err: document.getElementById("table-messages").textContent,
    status: document.getElementById("table-status").textContent,
    download: !document.getElementById("table-download").disabled,
  }));
}

// Records with quoted commas, quotes and line ends, so that slices of the
// file and parts of the result fall inside them as well as between them.
function awkwardRecords(count, bad) {
  const rows = ["note,N,t"];
  for (let i = 0; i < count; i++) {
    const note = i % 7 === 0 ? `"row ${i}, ""quoted""\nacross lines"` : i % 5 === 0 ? `plain"quote ${i}` : `r${i}`;
    rows.push(i === bad ? `${note},x,1` : `${note},${1000 + i},${1 + (i % 13)}`);
  }
  return rows;
}
const awkwardRows = (count, bad) => awkwardRecords(count, bad).join("\n") + "\n";

async function tables(t, page, native) {
  const dir = mkdtempSync(join(tmpdir(), "vantrel-tables-"));
  // [file, what it is]: a few MiB, beyond one slice and one part; the same
  // stopped at a bad row far in; and stopped before or just after the header.
  const CASES = [
    [awkwardRows(150000, -1), "150000 awkward rows (several slices)", /^All 150000 rows computed/, true],
    [awkwardRows(150000, 123456), "a bad row after 123456 rows", /^Stopped after 123456 rows: the result holds the header and those 123456 rows, each whole\.$/, true],
    ["N,T\n1,2\n", "a header without the arguments", /^Stopped before the header was written: nothing is kept\.$/, false],
    ["N,t\n1,x\n", "a bad first row", /^Stopped after the header: the result holds the header alone\.$/, true],
    ["", "an empty file", /^Stopped before the header was written: nothing is kept\.$/, false],
  ];
  for (const [csv, what, status, download] of CASES) {
    const file = join(dir, "input.csv");
    writeFileSync(file, csv, "latin1");
    const expected = native(["CountRate", "--csv", file]);
    const shown = await table(page, "CountRate", file);
    t.check(shown.out === expected.out && shown.err === expected.err && status.test(shown.status) && shown.download === download,
      `table of ${what}: as vantrel --csv, and said so`,
      `${shown.out.length} vs ${expected.out.length} bytes; "${shown.err}" vs "${expected.err}"; ${shown.status}; download ${shown.download}`);
  }

  // Files of 18 to 24 MiB run in two parts side by side, cut at the first line
  // end past the middle: the parts must add up to the tool's one run, its
  // messages included, when the cut falls between records, inside a quoted
  // field of many lines (the run goes on past the cut), or before a bad row in
  // the second part (whose line and rows count from the file's start). Then
  // three parts, as on a machine of three processors (in a page of its own):
  // the rows and lines of two parts taken before a bad row in the third, and a
  // quoted field across the second cut, after which the run goes on in one
  // piece from the second part.
  const MIB = 2 ** 20;
  const sized = (rows, bytes, lines) => {
    while (lines.join("\n").length < bytes) lines.push(...awkwardRecords(rows, -1).slice(1));
    return lines;
  };
  const longField = `"${"a line of a note, with a comma\n".repeat(90000)}",5,7`;
  const withBadRow = (share, lines) => {
    lines[Math.floor(lines.length * share)] = "x,1,y";
    return lines;
  };
  const two = Math.min(2, await page.evaluate(() => navigator.hardwareConcurrency || 1));
  const three = await page.context().newPage();
  await three.addInitScript(() => Object.defineProperty(Navigator.prototype, "hardwareConcurrency", { get: () => 3 }));
  // [what, the page and the parts it runs, the records, the part run again from its start to the end]
  const SPLIT = [
    ["rows in two parts, the result column named already", page, two,
      () => sized(20000, 19 * MIB, ["note,N,t,CountRate"]).map((line, i) => (i > 0 ? `${line},0` : line)), undefined],
    ["a quoted field across the cut", page, two,
      () => [...sized(20000, 8 * MIB, ["note,N,t"]), longField, ...sized(20000, 8 * MIB, [])], "0"],
    ["a bad row in the second part", page, two, () => withBadRow(0.8, sized(20000, 19 * MIB, ["note,N,t"])), "1"],
    ["a bad row in the third part", three, 3, () => withBadRow(0.9, sized(20000, 26 * MIB, ["note,N,t"])), "2"],
    ["a quoted field across the second cut", three, 3,
      () => [...sized(20000, 16 * MIB, ["note,N,t"]), longField, ...sized(20000, 8 * MIB, [])], "1"],
  ];
  for (const [what, on, parts, records, again] of SPLIT) {
    const file = join(dir, "split.csv");
    writeFileSync(file, records().join("\n") + "\n", "latin1");
    const expected = native(["CountRate", "--csv", file]);
    const shown = await table(on, "CountRate", file);
    const [split, ranAgain] = await on.evaluate(() => [document.body.dataset.tableParts, document.body.dataset.tableRunAgain]);
    t.check(split === String(parts) && ranAgain === (parts > 1 ? again : undefined) && shown.out === expected.out && shown.err === expected.err &&
        (expected.status === 0) === shown.status.startsWith("All"),
      `table of ${what}: run in ${parts} parts, as vantrel --csv`,
      `${split} parts, again from ${ranAgain}; ${shown.out.length} vs ${expected.out.length} bytes; "${shown.err}" vs "${expected.err}"; ${shown.status}`);
  }
  await three.close();

  // Cancel as soon as the run starts, and after the first rows show: nothing
  // of the run stays, and the next run is whole. The file (16.6 MiB) runs in
  // parts where there are processors for them, each of which is ended.
  const big = join(dir, "big.csv");
  writeFileSync(big, awkwardRows(750000, -1), "latin1");
  for (const when of ["at once", "after the first rows"]) {
    await open(page, "#table");
    await page.setInputFiles("#table-file", big);
    if (when !== "at once") await page.waitForSelector("#table-preview table");
    await page.click("#table-cancel");
    const left = await page.evaluate(async () => ({
      status: document.getElementById("table-status").textContent,
      rows: document.querySelectorAll("#table-preview tr").length,
      download: !document.getElementById("table-download").disabled,
      out: (await window.vantrelPage.tableOutput()).length,
    }));
    t.check(left.status === "Cancelled: nothing is kept." && left.rows === 0 && !left.download && left.out === 0,
      `a run cancelled ${when} leaves nothing of it`, JSON.stringify(left));
  }
  // A file changed on disk after it was chosen can no longer be read: the run
  // stops at the last whole record before the slice it could not read, says
  // so, and keeps those records; the rest of the file is never taken for its end.
  // The file is large enough (about 55 MB, a second of computing) that slices
  // are still to be read when it changes, however fast the slices before go.
  const changing = join(dir, "changing.csv");
  const records = awkwardRecords(1500000, -1);
  writeFileSync(changing, records.join("\n") + "\n", "latin1");
  const whole = native(["CountRate", "--csv", changing]).out;
  await open(page, "#table");
  await page.setInputFiles("#table-file", changing);
  await page.waitForSelector("#table-preview table");
  writeFileSync(changing, "N,t\n1,2\n");
  await page.waitForFunction(() => /computed|Stopped/.test(document.getElementById("table-status").textContent), null, { timeout: 120000 });
  const cut = await page.evaluate(async () => ({
    out: await window.vantrelPage.tableOutput(),
    err: document.getElementById("table-messages").textContent,
    status: document.getElementById("table-status").textContent,
  }));
  const rows = Number(cut.status.match(/^Stopped after (\d+) rows/)?.[1]);
  // The header and exactly the rows it names, each whole.
  const kept = rows > 0 && cut.out.length < whole.length &&
    native(["CountRate", "--csv", "-"], records.slice(0, rows + 1).join("\n") + "\n").out === cut.out;
  t.check(kept && cut.err.startsWith("vantrel: cannot read 'changing.csv': ") &&
      cut.err.includes(`stopped after the header and ${rows} rows`),
    "a file that cannot be read further stops at a whole record, says why and after which row",
    `${cut.status} | ${cut.err} | ${cut.out.length} of ${whole.length} bytes`);

  // The worker's protocol: a request it cannot carry out is answered with its
  // id and the error's message, and the next request is served afresh.
  await open(page, "#table");
  const answers = await page.evaluate(() => new Promise((done) => {
    const source = `${document.getElementById("vantrel-glue").textContent}\n${document.getElementById("vantrel-worker").textContent}`;
    const worker = new Worker(URL.createObjectURL(new Blob([source], { type: "text/javascript" })));
    const got = [];
    worker.onmessage = ({ data }) => {
      if (data.type === "preview" || data.type === "progress") return;
      got.push({ id: data.id, type: data.type, message: data.message, status: data.status, records: data.records });
      if (got.length === 2) {
        worker.terminate();
        done(got);
      }
    };
    worker.postMessage({ id: 7, index: 0, file: null, name: "none.csv" });
    worker.postMessage({ id: 8, index: 0, file: new Blob(["N,t\n1000,50\n"]), name: "a.csv" });
  }));
  t.check(answers[0].id === 7 && answers[0].type === "error" && answers[0].message !== "" &&
      answers[1].id === 8 && answers[1].type === "done" && answers[1].status === 0 && answers[1].records === 2,
    "the worker answers a failed request with its id and the error, then serves the next", JSON.stringify(answers));

  // A result that cannot be kept further (the browser refuses the memory for
  // the third part): the run stops, says why, and keeps whole records only.
  const refusing = awkwardRecords(150000, -1);
  const refused = await page.evaluate(async (csv) => {
    const refuse = `{
      const slice = Uint8Array.prototype.slice;
      let parts = 0;
      Uint8Array.prototype.slice = function (...range) {
        // Only copies out of the module's memory, which is far larger than a part.
        if (this.length >= 2 ** 24 && ++parts > 2) throw new RangeError("Array buffer allocation failed");
        return slice.apply(this, range);
      };
    }`;
    const source = `${refuse}\n${document.getElementById("vantrel-glue").textContent}\n${document.getElementById("vantrel-worker").textContent}`;
    const worker = new Worker(URL.createObjectURL(new Blob([source], { type: "text/javascript" })));
    const data = await new Promise((done) => {
      worker.onmessage = ({ data }) => { if (data.type === "done" || data.type === "error") done(data); };
      worker.postMessage({ id: 1, index: 0, file: new Blob([csv]), name: "a.csv" });
    });
    worker.terminate();
    const bytes = new Uint8Array(await data.result.arrayBuffer());
    return { ...data, result: Array.from(bytes, (c) => String.fromCharCode(c)).join("") };
  }, refusing.join("\n") + "\n");
  const keptRows = refused.records - 1;
  t.check(refused.type === "done" && refused.status !== 0 && keptRows > 0 && keptRows < 150000 &&
      refused.messages === "vantrel: cannot write the output\n" && refused.problem === "Array buffer allocation failed" &&
      refused.result === native(["CountRate", "--csv", "-"], refusing.slice(0, keptRows + 1).join("\n") + "\n").out,
    "a result that cannot be kept stops at a whole record and says why",
    `${refused.type} ${refused.status} ${refused.records} ${JSON.stringify(refused.messages)} ${refused.problem} ${refused.result?.length}`);

  // Two runs in quick succession: the second's result only.
  await open(page, "#table");
  await page.setInputFiles("#table-file", big);
  const small = "N,t\n1000,50\n";
  await page.fill("#table-text", small);
  await page.click("#table-run");
  await page.waitForFunction(() => /computed|Stopped/.test(document.getElementById("table-status").textContent));
  await page.waitForTimeout(300);
  const out = await page.evaluate(() => window.vantrelPage.tableOutput());
  t.check(out === native(["CountRate", "--csv", "-"], small).out, "a second run cancels the first and shows its own result", out.slice(0, 80));
}

// A trap the worker cannot catch itself, reported as an error of the worker
// after its first rows were shown: the view says the computation failed, ends
// the run, offers nothing of it, and the next run is served by a fresh worker.
export async function workerTrap(t, page, native) {
  const dir = mkdtempSync(join(tmpdir(), "vantrel-trap-"));
  const file = join(dir, "input.csv");
  writeFileSync(file, awkwardRows(150000, -1), "latin1");
  // The worker's script is read when the table view is first shown: changed
  // before, so that its first preview is followed by the trap.
  await open(page, "#functions");
  await page.evaluate(() => {
    document.getElementById("vantrel-worker").textContent += `
{
  const post = postMessage;
  postMessage = (data, transfer) => {
    // Not for the small run after it, which the restarted worker serves.
    const trap = data.type === "preview" && data.bytes.length > 1000;
    post(data, transfer);
    if (trap) reportError(new WebAssembly.RuntimeError("unreachable"));
  };
}`;
  });
  await page.evaluate(() => { location.hash = "#table"; });
  await page.waitForSelector("#table-file");
  await page.setInputFiles("#table-file", file);
  await page.waitForFunction(() => /failed|computed|Stopped/.test(document.getElementById("table-status").textContent), null, { timeout: 120000 });
  const left = await page.evaluate(async () => ({
    status: document.getElementById("table-status").textContent,
    rows: document.querySelectorAll("#table-preview tr").length,
    download: !document.getElementById("table-download").disabled,
    cancel: !document.getElementById("table-cancel").disabled,
    out: (await window.vantrelPage.tableOutput()).length,
  }));
  t.check(left.status === "The computation failed: Uncaught RuntimeError: unreachable. Nothing is kept." &&
      left.rows === 0 && !left.download && !left.cancel && left.out === 0,
    "a trap the worker reports as its own error ends the run and offers nothing of it", JSON.stringify(left));
  const small = "N,t\n1000,50\n";
  await page.fill("#table-text", small);
  await page.click("#table-run");
  await page.waitForFunction(() => /failed|computed|Stopped/.test(document.getElementById("table-status").textContent));
  const out = await page.evaluate(() => window.vantrelPage.tableOutput());
  t.check(out === native(["CountRate", "--csv", "-"], small).out, "after a trap the next run is served whole", out.slice(0, 80));
}

// What these cases show, read by axe-core at a laptop's and a phone's width:
// the messages of a broken link, a planner's cleared results, a stopped table.
const SHOWN = [
  ["a link's messages", "#FlipingRatio?Npp=1%", null],
  ["a planner's cleared results", "#plan-helium3", ["#helium3-p", "-1"]],
  ["the decay planner's line", "#plan-decay", ["#decay-data", "0 2\n1 0.5"]],
];

async function accessible(t, page) {
  const axe = readFileSync(requirePackage.resolve("axe-core/axe.min.js"), "utf8");
  for (const [what, hash, edit] of SHOWN) {
    for (const width of [1280, 390]) {
      await page.setViewportSize({ width, height: 860 });
      await open(page, hash);
      if (edit) await page.fill(...edit);
      await page.evaluate(axe);
      const violations = await page.evaluate(async () =>
        (await window.axe.run(document)).violations.map((v) => `${v.id}: ${v.nodes.map((n) => n.target).join(" ")}`));
      t.check(violations.length === 0, `${what} at ${width} px: axe-core finds no violation`, violations.join("\n  "));
    }
  }
  await page.setViewportSize({ width: 1280, height: 900 });
}

export async function edges(t, page, native, catalogue) {
  await accessible(t, page);
  await links(t, page, native);
  await staleResults(t, page);
  await quarters(t, page, native);
  await widths(t, page, catalogue);
  await tables(t, page, native);
  await workerTrap(t, page, native);
}
