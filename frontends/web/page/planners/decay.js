// The cell over time: transmission ratios measured over an experiment → the
// gas polarisation of each, the relaxation fitted to them with its band, and
// the cell's polarising efficiency at a chosen time.
import { $, element, markField } from "../dom.js";
import { COLOURS, clearResults, dots, fresh, grid, lines, outputBlock, plot, planForm, rules } from "./common.js";
import { cellRules } from "./helium3.js";
import { numberLines } from "./lattice.js";

const FROM = "He3PolarisationFromTransmission";
// A ratio's deviation in two parts: the one that moves each point against the
// others, which the fit weighs, and the relative one common to every point
// read from this cell (the cross-section constant), which PHe0 carries.
const POINT = `${FROM}PointSDev`;
const COMMON = `${FROM}CommonRelSDev`;

// The fit weighs each measurement by its standard deviation, which a ratio's
// gives it: none at all would weigh it without end.
const weight = (x) => rules.atLeastZero("standard deviation")(x) ||
  (x > 0 ? "" : "The fit weighs each measurement by its standard deviation: it must be more than 0.");

export class DecayPlanner {
  constructor(library) {
    this.library = library;
  }

  build() {
    const form = document.querySelector('[data-plan="decay"]');
    this.read = planForm(this.library, form, [
      [FROM, "p", "1.2", cellRules.p],
      [FROM, "T", "293", cellRules.T],
      [FROM, "L", "10", cellRules.L],
      [FROM, "lambda", "2", cellRules.lambda],
      [POINT, "sigmaTratio", "0.01", weight],
      ["He3PolarisationAtTime", "t", "48", rules.any("time")],
    ], () => this.draw());
    this.text = element("textarea", { id: "decay-data", rows: "7", spellcheck: "false", "aria-describedby": "decay-data-error" });
    this.text.value = "0 2.0359\n12 1.8547\n24 1.7231\n48 1.513\n72 1.3571\n96 1.2602\n120 1.1824";
    this.error = element("p", { id: "decay-data-error", class: "field-error", "aria-live": "polite" });
    form.append(element("div", { class: "field" },
      element("label", { for: "decay-data", text: "Measurements: time (h) and transmission ratio T_p/T_u, one pair a line" }), this.text, this.error));
    this.text.addEventListener("input", () => this.draw());
    this.out = outputBlock(form);
  }

  // Why a measured ratio gives no polarisation to fit, in the words of what
  // was typed: the ratio, on the line the user sees.
  ratioProblem(row, PHe, sigma) {
    const ratio = row.words[1];
    if (Number.isNaN(PHe)) {
      return row.values[1] < 1
        ? `Line ${row.line}: the ratio ${ratio} is below 1, so the polarised cell transmitted less than the unpolarised one, which no polarisation of the gas explains; a ratio T_p/T_u is 1 or more.`
        : `Line ${row.line}: the ratio ${ratio} gives no polarisation for this cell.`;
    }
    if (sigma === Infinity) {
      return `Line ${row.line}: the ratio ${ratio} means an unpolarised gas, where the ratio's uncertainty leaves the polarisation's without bound; a fit needs ratios above 1.`;
    }
    return "";
  }

  draw() {
    const lib = this.library;
    const f = (x) => lib.format(x);
    const v = this.read();
    let { rows, problem } = numberLines(lib, this.text.value, 2, "two numbers: a time and a transmission ratio");
    if (!problem && rows.length === 0) problem = "Enter the measurements: a time and a transmission ratio, one pair a line.";
    const plotArea = $("plot-decay");
    if (!v || problem) {
      markField({ input: this.text, error: this.error }, problem);
      clearResults(this.out, plotArea);
      return;
    }
    const cell = [v.p, v.T, v.L, v.lambda];
    const times = rows.map((r) => r.values[0]);
    const ratios = rows.map((r) => r.values[1]);
    const PHe = lib.callRows(FROM, ratios.map((r) => [...cell, r]));
    const sigma = lib.callRows(POINT, ratios.map((r) => [...cell, r, v.sigmaTratio]));
    problem = rows.map((row, i) => this.ratioProblem(row, PHe[i], sigma[i])).find(Boolean) ?? "";
    markField({ input: this.text, error: this.error }, problem);
    if (problem) {
      clearResults(this.out, plotArea);
      return;
    }
    fresh(this.out);
    const measured = times.map((t, i) => `t = ${f(t)} h: P(³He) = ${f(PHe[i])} ± ${f(sigma[i])}`);
    // p, T, L and λ are taken as exact here: the common part is the cross-section constant's.
    const common = lib.call(COMMON, ...cell, 0, 0, 0, 0);
    const outcome = lib.decayFit(times, PHe, sigma, common);
    if (outcome.problem !== undefined) {
      // The fit counts the measurements from 1; the user sees lines.
      const said = outcome.problem.replace(/^row (\d+): /, (_, k) => `Line ${rows[Number(k) - 1]?.line ?? k}: `);
      lines(this.out, [...measured, `No fit: ${said}`]);
      plotArea.replaceChildren();
      return;
    }
    const { fit, note } = outcome;
    const [PHe0, T1, sPHe0, sT1, rho, , sPoints] = fit;
    const at = lib.call("He3PolarisationAtTime", PHe0, T1, v.t);
    const atSigma = lib.call("He3PolarisationAtTimeSDev", PHe0, T1, v.t, sPHe0, sT1, rho);
    const efficiency = lib.call("He3Efficiency", ...cell, at);
    const efficiencySigma = lib.call("He3EfficiencySDev", ...cell, at, 0, 0, 0, 0, atSigma);
    lines(this.out, [
      `Fit: P(³He)(0) = ${f(PHe0)} ± ${f(sPHe0)}, T₁ = ${f(T1)} ± ${f(sT1)} h, ρ = ${f(rho)}`,
      `Of P(³He)(0)'s deviation, ± ${f(sPoints)} comes from the measurements' own deviations, which the fit weighs, ` +
        `and a relative ${f(common)} (± ${f(common * PHe0)}) is common to them all: the cross-section constant, ` +
        "which scales every polarisation read from this cell alike and moves no point against another.",
      `At t = ${f(v.t)} h: P(³He) = ${f(at)} ± ${f(atSigma)}, efficiency at ${f(v.lambda)} Å ${f(efficiency)} ± ${f(efficiencySigma)}`,
      ...(note ? [note] : []),
      ...measured,
    ]);
    // The curve and its band over the measured times and the chosen one.
    const last = [...times, v.t].reduce((a, b) => (b > a ? b : a), 0);
    const over = grid(0, last, 97);
    const band = lib.decayBand(fit, over);
    // The measurements at their times, merged into the grid for the plot.
    const xs = [...over.map((x, i) => [x, "grid", i]), ...times.map((x, i) => [x, "point", i])].sort((a, b) => a[0] - b[0]);
    const pick = (kind, values) => xs.map(([, k, i]) => (k === kind ? values[i] : null));
    plot(plotArea, "Helium-3 polarisation over time", "t (h)", "P(³He)",
      [xs.map(([x]) => x), pick("grid", band[0]), pick("grid", band[1]), pick("grid", band[2]), pick("point", PHe)],
      [
        { label: "fit", stroke: COLOURS[0], width: 2, spanGaps: true },
        { label: "fit − σ", stroke: COLOURS[0], dash: [4, 4], spanGaps: true },
        { label: "fit + σ", stroke: COLOURS[0], dash: [4, 4], spanGaps: true },
        dots("measured", COLOURS[1]),
      ]);
  }
}
