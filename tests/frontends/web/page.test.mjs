// The page in headless Chromium against the native command-line tool: the same
// bits for every function, its error against the exact values within the page
// column of the accuracy table, the same CSV output and messages, the link round
// trip, fields with text, cancelling a long run, no network, no accessibility
// violations, no console messages. With VANTREL_FIGURES set (tools/figures.sh)
// it also writes a screenshot of each view for the docs there; a test run
// alone writes nothing into the source tree.
//
//   node tests/frontends/web/page.test.mjs   (from the repository, after the web and dev builds)
import { spawnSync } from "node:child_process";
import { existsSync, mkdirSync, readFileSync, writeFileSync, mkdtempSync } from "node:fs";
import { tmpdir } from "node:os";
import { join, resolve } from "node:path";
import { launch, reporter, requirePackage, PAGE, PAGE_URL } from "./browser.mjs";
import { edges } from "./edges.mjs";

const CLI = resolve(process.env.VANTREL_CLI ||
  ["build/native", "build/dev"].map((b) => `${b}/frontends/cli/vantrel`).find(existsSync) || "vantrel");
const FIGURES = process.env.VANTREL_FIGURES ? resolve(process.env.VANTREL_FIGURES) : null;
const ROWS = Number(process.env.VANTREL_WEB_ROWS || 10000);
if (!existsSync(PAGE)) {
  console.log(`skipped: no page at ${PAGE} (cmake --workflow --preset web builds it)`);
  process.exit(0);
}
const t = reporter();

// Where the page's C library (musl) rounds differently from the native one
// (glibc) in pow, exp, cos, cosh, tanh, …: the largest relative difference
// over the realistic random rows, measured with 10^4 rows of each function
// (how many of the 10^4 differ at all, in brackets), and the bound allowed.
// The only place a difference is allowed: every other function gives the
// native bits, and so does every function at its example.
const TOLERANCE = {
  CountRateDDTSDev: 1e-15, // 1.9e-16 (5)
  CountRateMonitorSDev: 1e-15, // 2.2e-16 (4)
  FlippingRatioOptDDTSDev: 1e-15, // 2.1e-16 (6)
  PeakCentringGauss: 1e-15, // 0 (5, all wild: 4.1e-15)
  PeakCentringGaussSDev: 1e-15, // 1.7e-16 (9)
  STLrhombohedral: 1e-13, // 2.0e-14 (500)
  STLmonoclinicB: 2e-13, // 3.6e-14 (278)
  STLmonoclinicC: 1e-13, // 1.4e-14 (294)
  STLtriclinic: 5e-13, // 1.1e-13 (712), near-flat cells
  AsymmetryOptDDTSDev: 1e-15, // 1.6e-16 (2)
  He3Efficiency: 2e-15, // 4.4e-16 (1496)
  He3EfficiencySDev: 3e-15, // 8.0e-16 (178)
  He3Efficiency2SDev: 1e-15, // 2.9e-16 (7)
  He3Transmission: 2e-15, // 3.8e-16 (160)
  He3TransmissionSDev: 1e-13, // 1.4e-14 (188), where its terms nearly cancel
  He3PolarisationAtTime: 1e-15, // 1.8e-16 (4)
  He3PolarisationAtTimeSDev: 2e-15, // 4.5e-16 (5)
  He3PolarisationFromTransmission: 1e-15, // 1.9e-16 (1)
  He3PolarisationFromTransmissionSDev: 1e-15, // 1.4e-16 (1)
  TwoTheta: 1e-15, // 2.5e-16 (75), the runtimes' asin
  TwoThetaSDev: 2e-15, // 4.4e-16 (986), their asin and hypot
  He3FigureOfMeritSDev: 1e-15, // 2.2e-16 (735), their hypot
};

function native(args, input) {
  const run = spawnSync(CLI, args, { input, maxBuffer: 1 << 30 });
  if (run.error) throw run.error;
  return { status: run.status, out: run.stdout.toString("latin1"), err: run.stderr.toString("latin1") };
}

// A deterministic generator, so that a failure can be rerun.
function random(seed) {
  let s = BigInt(seed);
  return () => {
    s = (s * 6364136223846793005n + 1442695040888963407n) & 0xffffffffffffffffn;
    return Number(s >> 11n) / 2 ** 53;
  };
}

// Realistic rows, each argument between a quarter and twice its example's, and
// wild ones, each argument zero or of any sign and size from 1e-4 to 1e6.
function randomRows(entry, n, next) {
  const example = entry.example.map(Number);
  const wild = Array.from({ length: n }, () => next() < 0.2);
  const columns = example.map((x) => {
    const column = new Float64Array(n);
    for (let i = 0; i < n; i++) {
      if (!wild[i]) column[i] = (x === 0 ? 1 : x) * (0.25 + 1.75 * next());
      else if (next() < 0.1) column[i] = 0;
      else column[i] = (next() < 0.5 ? -1 : 1) * 10 ** (-4 + 10 * next());
    }
    return column;
  });
  return { columns, wild };
}

function relative(a, b) {
  const x = Number(a);
  const y = Number(b);
  if (x === y) return 0;
  return Math.abs(x - y) / Math.max(Math.abs(x), Math.abs(y));
}

// ---- Same bits as the native library ---------------------------------------

async function sameBits(page, catalogue) {
  const tmp = mkdtempSync(join(tmpdir(), "vantrel-web-"));
  for (const entry of catalogue) {
    const { columns, wild } = randomRows(entry, ROWS, random(entry.index + 1));
    const names = entry.arguments.map((a) => a.name);
    const csv = [names.join(",")];
    csv.push(entry.example.join(","));
    for (let i = 0; i < ROWS; i++) csv.push(columns.map((c) => String(c[i])).join(","));
    const file = join(tmp, `${entry.name}.csv`);
    writeFileSync(file, csv.join("\n") + "\n");
    const run = native([entry.name, "--csv", file]);
    const expected = run.out.trim().split("\n").slice(1).map((line) => line.slice(line.lastIndexOf(",") + 1));

    const shown = await page.evaluate(({ name, example, columns }) => {
      const lib = window.vantrelPage.library;
      const entry = lib.byName.get(name);
      const all = columns.map((c, k) => [Number(example[k]), ...c]);
      return lib.formatColumn(lib.evaluate(entry, all));
    }, { name: entry.name, example: entry.example, columns: columns.map((c) => Array.from(c)) });

    // Realistic rows within the tolerance; wild ones (row 0 is the example)
    // at least NaN, infinite or finite alike, their difference only reported.
    let differing = 0;
    let worst = 0;
    let worstWild = 0;
    let classMismatch = "";
    shown.forEach((text, i) => {
      if (text === expected[i]) return;
      differing++;
      if ((text === "nan") !== (expected[i] === "nan") || !Number.isFinite(Number(text)) !== !Number.isFinite(Number(expected[i]))) {
        classMismatch ||= `row ${i}: page ${text}, native ${expected[i]}`;
      }
      if (i > 0 && wild[i - 1]) worstWild = Math.max(worstWild, relative(text, expected[i]));
      else worst = Math.max(worst, relative(text, expected[i]));
    });
    const bound = TOLERANCE[entry.name] ?? 0;
    if (process.env.VANTREL_WEB_MEASURE) console.log(`# ${entry.name}: ${differing} differ; realistic ${worst}, wild ${worstWild}`);
    t.check(run.status === 0 && shown.length === ROWS + 1 && !classMismatch && worst <= bound &&
            shown[0] === entry.exampleValue,
            `${entry.name}: example and ${ROWS} random rows give the native values`,
            `${differing} differ, worst relative ${worst} (bound ${bound}) ${classMismatch} example ${shown[0]} vs ${entry.exampleValue}`);
  }
}

// ---- Against the exact values ----------------------------------------------

// The reference rows of tests/accuracy/ through the page, each function's error
// held to the page columns of tests/accuracy/table.csv (written by
// tools/accuracy.py): the distance from the exact value in ulps of the exact
// value, the spacing of its binade (2^-1074 below the normal range and at 0).
const ACCURACY = resolve(process.env.VANTREL_ACCURACY || "tests/accuracy");

function csvRows(file) {
  return readFileSync(file, "utf8").split("\n").filter((l) => l && !l.startsWith("#")).map((l) => l.split(","));
}

const number = (text) => ({ nan: NaN, inf: Infinity, "-inf": -Infinity })[text] ?? Number(text);

// x as [n, e2, e10] with x = n * 2^e2 * 10^e10 exactly, n a BigInt.
function exactDecimal(text) {
  const [mantissa, exponent = "0"] = text.toLowerCase().split("e");
  const [whole, fraction = ""] = mantissa.split(".");
  return [BigInt(whole + fraction), 0, Number(exponent) - fraction.length];
}

function exactDouble(x) {
  const bits = new BigUint64Array(new Float64Array([x]).buffer)[0];
  const biased = Number((bits >> 52n) & 0x7ffn);
  const n = (bits & 0xfffffffffffffn) + (biased ? 1n << 52n : 0n);
  return [bits >> 63n ? -n : n, Math.max(biased, 1) - 1075, 0];
}

// a - b as [numerator, denominator], both BigInt.
function difference([na, a2, a10], [nb, b2, b10]) {
  const e2 = Math.min(a2, b2);
  const e10 = Math.min(a10, b10);
  const scale = (n, k2, k10) => n * 2n ** BigInt(k2 - e2) * 10n ** BigInt(k10 - e10);
  const numerator = scale(na, a2, a10) - scale(nb, b2, b10);
  return [numerator * 2n ** BigInt(Math.max(e2, 0)) * 10n ** BigInt(Math.max(e10, 0)),
          2n ** BigInt(Math.max(-e2, 0)) * 10n ** BigInt(Math.max(-e10, 0))];
}

function ulpError(value, reference) {
  const exact = number(reference);
  if (Number.isNaN(exact)) return Number.isNaN(value) ? 0 : Infinity;
  if (!Number.isFinite(exact) || !Number.isFinite(value)) return value === exact ? 0 : Infinity;
  // Exact values below the subnormal range (10^-10^10 occurs) count as 0: they move no error by a
  // representable amount.
  const x = exact === 0 ? [0n, 0, 0] : exactDecimal(reference);
  const [n, e2] = exactDouble(Math.abs(exact));
  // The nearest double a power of two with the exact value below it: the binade beneath.
  const beneath = n === 1n << 52n && e2 > -1074 && difference([x[0] < 0n ? -x[0] : x[0], 0, x[2]], [n, e2, 0])[0] < 0n;
  const ulp = exact === 0 ? -1074 : e2 - (beneath ? 1 : 0);
  const [numerator, denominator] = difference(exactDouble(value), x);
  const scaled = (numerator < 0n ? -numerator : numerator) * 2n ** BigInt(Math.max(128 - ulp, 0));
  return Number(scaled / (denominator * 2n ** BigInt(Math.max(ulp - 128, 0)))) / 2 ** 128;
}

async function againstExact(page) {
  const [header, ...table] = csvRows(join(ACCURACY, "table.csv"));
  for (const line of table) {
    const row = Object.fromEntries(header.map((h, i) => [h, line[i]]));
    const [, ...rows] = csvRows(join(ACCURACY, `${row.function}.csv`));
    const values = await page.evaluate(({ name, columns }) => {
      const lib = window.vantrelPage.library;
      return Array.from(lib.evaluate(lib.byName.get(name), columns));
    }, { name: row.function, columns: rows[0].slice(1, -1).map((_, k) => rows.map((r) => number(r[k + 1]))) });
    const ordinary = [];
    const hostile = [];
    rows.forEach((r, i) => (r[0] === "hostile" ? hostile : ordinary).push(ulpError(values[i], r[r.length - 1])));
    ordinary.sort((a, b) => a - b);
    const finite = hostile.filter(Number.isFinite);
    const measured = {
      max: ordinary[ordinary.length - 1],
      p999: ordinary[Math.ceil(0.999 * (ordinary.length - 1))],
      hostile: Math.max(0, ...finite),
      apart: hostile.length - finite.length,
    };
    const over = Object.entries(measured)
      .filter(([k, v]) => !(row[`page_${k}`] !== "" && v <= number(row[`page_${k}`])));
    t.check(over.length === 0, `${row.function}: the page's ${rows.length} reference rows keep within the table`,
            over.map(([k, v]) => `${k} ${v} > ${row[`page_${k}`] || "(empty)"}`).join(", "));
  }
}

// ---- The function view -----------------------------------------------------

async function functionView(b, catalogue) {
  const page = await b.open();
  for (const entry of catalogue) {
    await page.goto(`${PAGE_URL}#${entry.name}`);
    await page.click("#example");
    const value = await page.locator("#result").getAttribute("data-value");
    const cli = native([entry.name, "--", ...entry.example]).out.trim();
    t.check(value === cli && value === entry.exampleValue, `${entry.name}: the example button shows what the CLI prints`, `${value} vs ${cli}`);
  }

  // Links: opened, filled in and computed; an edit rewrites the link, which
  // opens the same again.
  const links = [
    ["#FlippingRatio?Npp=1000&Nbp=10&Npm=100&Nbm=10", "FlippingRatio", ["1000", "10", "100", "10"]],
    ["#he3_transmission?p=1&T=293&L=10&lambda=4", "He3Transmission", ["1", "293", "10", "4"]],
    ["#He3Transmission?p=1&T=293&L=10&%CE%BB=4", "He3Transmission", ["1", "293", "10", "4"]],
    ["#CountRate?N=1000&t=0", "CountRate", ["1000", "0"]],
  ];
  for (const [hash, name, args] of links) {
    await page.goto(`${PAGE_URL}${hash}`);
    const value = await page.locator("#result").getAttribute("data-value");
    const cli = native([name, "--", ...args]).out.trim();
    const nanShown = await page.locator("#nan-reason").isVisible();
    t.check(value === cli && nanShown === (cli === "nan"), `link ${hash} opens ${name} computed`, `${value} vs ${cli}`);
  }
  await page.goto(`${PAGE_URL}#STLcubic`);
  await page.click("#example");
  await page.fill("#arg-a", "4.5");
  const link = await page.evaluate(() => location.hash);
  const value = await page.locator("#result").getAttribute("data-value");
  await page.goto("about:blank");
  await page.goto(`${PAGE_URL}${link}`);
  await page.waitForSelector("body[data-ready=true]");
  t.check(link.startsWith("#STLcubic?") && link.includes("a=4.5") &&
          (await page.locator("#result").getAttribute("data-value")) === value &&
          (await page.inputValue("#arg-a")) === "4.5", "an edited calculation's link opens it again", link);

  // A field with text: marked with a sentence, no value.
  const fields = [
    ["12abc", "not a number"],
    ["1e999", "beyond the range"],
    ["", "Enter a number"],
  ];
  for (const [text, sentence] of fields) {
    await page.fill("#arg-a", text);
    const error = await page.textContent("#arg-a-error");
    const invalid = await page.getAttribute("#arg-a", "aria-invalid");
    const shown = await page.locator("#result").getAttribute("data-value");
    t.check(error.includes(sentence) && invalid === "true" && shown === "", `a field holding '${text}' is marked: ${sentence}`, `${error} ${invalid} ${shown}`);
  }
  return page;
}

// ---- The table tool ----------------------------------------------------------

// The inputs of the command-line tool's own CSV tests, and numbers at the
// edges of what it reads.
const CSV_CASES = [
  ["CountRate", "sample,t,N,note\r\nFe,50,1000,\"first, good\"\r\nNi, 0 ,5,\r\n\r\n"],
  ["CountRate", "\n\r\n  \nN,t\n \t\n1000,50\n\t\n"],
  ["CountRate", "N,t,CountRate\n1000,50,old\n"],
  ["CountRate", "\uFEFFN,t\n1000,50\n"],
  ["CountRate", "N,t,note\r\n1000,50,\"a\r\nb\"\r\n1000 , 50,\"\"\"\"\"\"\n"],
  ["flipping_ratio", "Nbm,Npm,Nbp,Npp\n150,300,200,1000\n"],
  ["CountRate", "N,t\n1,2\n3,x\n"],
  ["CountRate", "t,N\n1,2\n,3\n"],
  ["CountRate", "N,t\n1,1e999\n"],
  ["CountRate", "N,T\n1,2\n"],
  ["CountRate", "N,t,N\n1,2,3\n"],
  ["CountRate", "N,t\n1,2,3\n"],
  ["CountRate", "N,t\n1,\"2\n"],
  ["CountRate", ""],
  ["CountRate", "N;t\n1000;50\n"],
  ["CountRate", "N\tt\n1000\t50\n"],
  ["CountRate", "N,t\n1,0x1.8p3\n1,-0x1p-1074\n1,1e-310\n1,4.9e-324\n1, inf\n-1,-nan\n1,nan(7)\n1,1.5e+300\n"],
  ["CountRate", "N,t\n1,1e-400\n"],
  ["CountRate", "N,t\n1,+2\n"],
  ["CountRate", "N,t\n1,\"\n2\"\n"],
  ["CountRate", "N,t\n1,2e\n"],
  ["CountRate", "N,t\n1,0x\n"],
  ["CountRate", "N,t\n1,0x-1\n"],
  ["CountRate", "N,t\n1,0x1p+-1\n"],
  ["CountRate", "N,t\n1,infinity\n1,INF\n1,.5\n1,5.\n"],
];

// Numbers as the tool reads and prints them, through CountRate(N, 1) = N:
// random bit patterns of every exponent, short decimals, and their edges.
function numbersCase() {
  const next = random(99);
  const bits = new BigUint64Array(1);
  const asDouble = new Float64Array(bits.buffer);
  const rows = ["N,t"];
  for (let i = 0; i < 3000; i++) {
    bits[0] = (BigInt(Math.floor(next() * 2 ** 32)) << 32n) | BigInt(Math.floor(next() * 2 ** 32));
    if (Number.isFinite(asDouble[0])) rows.push(`${asDouble[0]},1`);
    const digits = String(Math.floor(next() * 1e15)).slice(0, 1 + Math.floor(next() * 15));
    const exponent = Math.floor(next() * 50) - 25;
    rows.push(`${next() < 0.5 ? "-" : ""}${digits}e${exponent},1`, `0.${digits},1`, `${digits}.5,1`);
  }
  // Powers of two and their neighbours: below a power of two the gap to the
  // next double halves, so the fewest digits are sought in a lopsided interval.
  for (let p = -20; p <= 60; p++) {
    asDouble[0] = 2 ** p;
    const power = bits[0];
    for (const step of [-1n, 0n, 1n]) {
      bits[0] = power + step;
      rows.push(`${asDouble[0]},1`);
    }
  }
  rows.push("9.99999999999999999e5,1", "0.000099999999999999999,1", "1e-05,1", "1e17,1", "99999999999999999,1",
            "1e22,1", "1e23,1", "123456789012345678,1", "-0,1", "0.1e-22,1", "5e-324,1");
  return ["CountRate", rows.join("\n") + "\n"];
}
CSV_CASES.push(numbersCase());

async function runTable(page, name, text) {
  await page.goto(`${PAGE_URL}#table`);
  await page.waitForSelector("body[data-ready=true]");
  const index = await page.evaluate((n) => String(window.vantrelPage.library.byName.get(n).index), name);
  await page.selectOption("#table-function", index);
  await page.setInputFiles("#table-file", { name: "input.csv", mimeType: "text/csv", buffer: Buffer.from(text, "latin1") });
  await page.waitForFunction(() => /computed|Stopped/.test(document.getElementById("table-status").textContent));
  return page.evaluate(async () => ({
    out: await window.vantrelPage.tableOutput(),
    err: document.getElementById("table-messages").textContent,
  }));
}

async function tableTool(page) {
  for (const [name, input] of CSV_CASES) {
    const expected = native([name, "--csv", "-"], Buffer.from(input, "utf8"));
    const shown = await runTable(page, name, Buffer.from(input, "utf8").toString("latin1"));
    t.check(shown.out === expected.out && shown.err === expected.err,
            `table tool as vantrel --csv: ${JSON.stringify(input).slice(0, 60)}`,
            `page ${JSON.stringify(shown)}\n  cli ${JSON.stringify(expected)}`);
  }

  // 10^6 rows: progress moves, the page answers, and cancel stops the run.
  const rows = ["N,t"];
  for (let i = 0; i < 1e6; i++) rows.push(`${1000 + i},${1 + (i % 97)}`);
  const big = Buffer.from(rows.join("\n") + "\n");
  await page.goto(`${PAGE_URL}#table`);
  await page.waitForSelector("body[data-ready=true]");
  await page.setInputFiles("#table-file", { name: "big.csv", mimeType: "text/csv", buffer: big });
  await page.waitForFunction(() => document.getElementById("table-progress").value > 0);
  const responsive = await page.evaluate(() => new Promise((done) => {
    const start = performance.now();
    setTimeout(() => done(performance.now() - start), 0);
  }));
  await page.click("#table-cancel");
  const status = await page.textContent("#table-status");
  t.check(status.startsWith("Cancelled") && responsive < 200 && (await page.isDisabled("#table-download")),
          "a 10^6-row run shows progress, leaves the page responsive and is cancelled", `${status} ${responsive} ms`);
}

// ---- Planners -------------------------------------------------------------------

// What each planner shows with its defaults, against the native tool.
const PLANNED = [
  ["#plan-counting", /R = (\S+),/, ["FlippingRatio", "12", "1.5", "8", "1.5"]],
  ["#plan-counting", /peak \+ (\S+) s/, ["OptCountingTimeTpp", "12", "1.5", "8", "1.5", "3600"]],
  ["#plan-counting", /background − (\S+) s/, ["OptCountingTimeTbm", "12", "1.5", "8", "1.5", "3600"]],
  ["#plan-helium3", /transmission (\S+),/, ["He3Transmission", "1.2", "293", "10", "2", "0.75"]],
  ["#plan-helium3", /polarisation (\S+)\n/, ["He3Efficiency", "1.2", "293", "10", "2", "0.75"]],
  ["#plan-lattice", /1 1 1\t(\S+)\t/, ["STLcubic", "1", "1", "1", "5"]],
  ["#plan-peaks", /Linear model: centre (\S+) ±/, ["PeakCentringLin", "24.0", "5200", "2100", "24.4", "1500", "4300"]],
  ["#plan-peaks", /Gaussian model: centre (\S+) ±/, ["PeakCentringGauss", "24.0", "5200", "2100", "24.4", "1500", "4300"]],
];

// The cell over time, by its defaults: each ratio's polarisation with the
// deviation that varies from point to point, then the fit of the native
// tool's he3-decay-fit to the native polarisations weighed by it; the part
// common to every point moves neither the fit nor its χ², and PHe0 carries it.
async function decayPlanner(page) {
  await page.goto("about:blank");
  await page.goto(`${PAGE_URL}#plan-decay`);
  await page.waitForSelector("body[data-ready=true]");
  const text = await page.evaluate(() => [...document.querySelectorAll("#view-plan-decay .plan-out p")].map((p) => p.textContent).join("\n"));
  const data = await page.inputValue("#decay-data");
  const rows = data.trim().split("\n").map((line) => line.trim().split(/\s+/));
  const cell = ["1.2", "293", "10", "2"];
  const fitInput = ["t,PHe,sigmaPHe"];
  let pointsAgree = true;
  for (const [t, ratio] of rows) {
    const PHe = native(["He3PolarisationFromTransmission", "--", ...cell, ratio]).out.trim();
    const sigma = native(["He3PolarisationFromTransmissionPointSDev", "--", ...cell, ratio, "0.01"]).out.trim();
    pointsAgree &&= text.includes(`t = ${t} h: P(³He) = ${PHe} ± ${sigma}`);
    fitInput.push(`${t},${PHe},${sigma}`);
  }
  const fit = native(["he3-decay-fit", "--csv", "-"], fitInput.join("\n") + "\n").out.trim().split("\n")[1].split(",");
  t.check(pointsAgree, "#plan-decay shows each measurement's polarisation as the CLI prints it", text);
  const common = native(["He3PolarisationFromTransmissionCommonRelSDev", "--", ...cell, "0", "0", "0", "0"]).out.trim();
  t.check(text.includes(`P(³He)(0) = ${fit[0]} ± `) && text.includes(`T₁ = ${fit[1]} ± ${fit[3]} h`) &&
          text.includes(`± ${fit[2]} comes from the measurements' own deviations`) && text.includes(`a relative ${common} `),
          "#plan-decay fits as vantrel he3-decay-fit does, with the common part apart", `${fit}, ${common} in ${text}`);
  t.check(!text.includes("scatter more"), "#plan-decay's default points scatter as their deviations allow", text);
  t.check((await page.locator("#view-plan-decay .plot canvas").count()) === 1, "#plan-decay draws its plot");
}

async function planners(page) {
  for (const [hash, pattern, args] of PLANNED) {
    await page.goto("about:blank");
    await page.goto(`${PAGE_URL}${hash}`);
    await page.waitForSelector("body[data-ready=true]");
    const text = await page.evaluate((id) => {
      const out = document.querySelector(`#view-${id} .plan-out`);
      const cells = [...out.querySelectorAll("tr")].map((tr) => [...tr.children].map((c) => c.textContent).join("\t"));
      return cells.length ? cells.join("\n") : [...out.querySelectorAll("p")].map((p) => p.textContent).join("\n") + "\n";
    }, hash.slice(1));
    const shown = text.match(pattern)?.[1];
    // Every number in the fewest digits that read back (JavaScript's own
    // String(number) finds those): "L = 0.05 cm", never 0.050000000000000003.
    const digits = (s) => s.replace(/^-/, "").replace(/e.*$/, "").replace(".", "").replace(/^0+/, "").replace(/0+$/, "").length;
    const long = (text.match(/-?\d+(?:\.\d+)?(?:e[+-]?\d+)?/g) || []).filter((n) => digits(n) > digits(String(Number(n))));
    t.check(long.length === 0, `${hash} prints its numbers in the fewest digits`, long.join(" "));
    const cli = native([args[0], "--", ...args.slice(1)]).out.trim();
    t.check(shown === cli, `${hash} shows ${args[0]} as the CLI prints it`, `${shown} vs ${cli} in ${text}`);
    const plotted = await page.locator(`#view-${hash.slice(1)} .plot canvas`).count();
    t.check(plotted === 1, `${hash} draws its plot`);
  }
}

// ---- Accessibility, views and screenshots ---------------------------------------

const VIEWS = [
  ["functions", "#FlippingRatioSDev?Npp=1000&Nbp=10&Npm=100&Nbm=10&sigmaPp=31.6&sigmaBp=3.2&sigmaPm=10&sigmaBm=3.2"],
  ["table", "#table"],
  ["plan-counting", "#plan-counting"],
  ["plan-helium3", "#plan-helium3"],
  ["plan-decay", "#plan-decay"],
  ["plan-lattice", "#plan-lattice"],
  ["plan-peaks", "#plan-peaks"],
  ["magnetic", "#magnetic"],
];

async function views(page) {
  const axe = readFileSync(requirePackage.resolve("axe-core/axe.min.js"), "utf8");
  if (FIGURES) mkdirSync(FIGURES, { recursive: true });
  for (const [name, hash] of VIEWS) {
    for (const [width, height, suffix] of [[1280, 860, ""], [390, 844, "-phone"]]) {
      await page.setViewportSize({ width, height });
      await page.goto("about:blank");
      await page.goto(`${PAGE_URL}${hash}`);
      await page.waitForSelector("body[data-ready=true]");
      if (name === "table") await runTable(page, "CountRate", "sample,N,t\nFe,1000,50\nNi,2500,100\nCo,40,0\n");
      await page.evaluate(axe);
      const violations = await page.evaluate(async () =>
        (await window.axe.run(document)).violations.map((v) => `${v.id}: ${v.nodes.map((n) => n.target).join(" ")}`));
      t.check(violations.length === 0, `${name}${suffix}: axe-core finds no violation`, violations.join("\n  "));
      const overflow = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
      t.check(overflow <= 0, `${name}${suffix}: nothing wider than the window`, `${overflow} px`);
      if (FIGURES) await page.screenshot({ path: join(FIGURES, `${name}${suffix}.png`) });
    }
  }
}

async function keyboard(page) {
  await page.setViewportSize({ width: 1280, height: 860 });
  await page.goto(`${PAGE_URL}#CountRate`);
  await page.waitForSelector("body[data-ready=true]");
  await page.focus("#search");
  await page.keyboard.type("dead time");
  await page.keyboard.press("Tab");
  await page.keyboard.press("Enter");
  await page.waitForFunction(() => location.hash.startsWith("#CountRateDDT"));
  await page.keyboard.press("Tab");
  // Onwards to the first field and the example button, by keys alone.
  let reached = "";
  for (let i = 0; i < 40 && reached !== "example"; i++) {
    await page.keyboard.press("Tab");
    reached = await page.evaluate(() => document.activeElement.id);
  }
  await page.keyboard.press("Enter");
  const value = await page.locator("#result").getAttribute("data-value");
  t.check(value === native(["CountRateDDT", "--", "10000", "10", "1e-05", "1e-09"]).out.trim(),
          "search, choice and example by keyboard alone", `${reached} ${value}`);
}

// ---- Run ---------------------------------------------------------------------------

const b = await launch();
try {
  const page = await b.open();
  const catalogue = await page.evaluate(() => window.vantrelPage.library.catalogue);
  t.check(catalogue.length === Number(native(["list"]).out.trim().split("\n").length), "the page lists every function of the catalogue");
  await sameBits(page, catalogue);
  await againstExact(page);
  await functionView(b, catalogue);
  await keyboard(page);
  await tableTool(page);
  await planners(page);
  await decayPlanner(page);
  await edges(t, page, native, catalogue);
  await views(page);
  const outside = b.requests.filter((url) => !url.startsWith(PAGE_URL.split("#")[0]) && !/^(blob|data|about):/.test(url));
  t.check(outside.length === 0 && b.requests.length > 0, "offline: no request beyond the page itself", outside.join(" "));
  t.check(b.console.length === 0, "no console errors or warnings", b.console.join("\n  "));
} finally {
  await b.close();
}
t.end();
