// The helium-3 cell: pressure, temperature, length and gas polarisation →
// transmission, polarisation and P²T against wavelength, and the best length
// (to 0.05 cm) for a chosen wavelength.
import { $ } from "../dom.js";
import { COLOURS, clearResults, fresh, grid, lines, outputBlock, plot, planForm, rules } from "./common.js";

export const cellRules = {
  p: rules.atLeastZero("pressure"),
  T: rules.aboveZero("temperature (in kelvin)"),
  L: rules.atLeastZero("cell length"),
  lambda: rules.aboveZero("wavelength"),
};

export class Helium3Planner {
  constructor(library) {
    this.library = library;
  }

  build() {
    const form = document.querySelector('[data-plan="helium3"]');
    this.read = planForm(this.library, form, [
      ["He3Transmission", "p", "1.2", cellRules.p],
      ["He3Transmission", "T", "293", cellRules.T],
      ["He3Transmission", "L", "10", cellRules.L],
      ["He3Transmission", "PHe", "0.75", rules.any("polarisation")],
      ["He3Transmission", "lambda", "2", cellRules.lambda],
    ], () => this.draw());
    this.out = outputBlock(form);
  }

  draw() {
    const lib = this.library;
    const f = (x) => lib.format(x);
    const v = this.read();
    if (!v) {
      clearResults(this.out, $("plot-helium3"));
      return;
    }
    fresh(this.out);
    const lambdas = grid(0.5, 10, 96);
    const rows = lambdas.map((l) => [v.p, v.T, v.L, l, v.PHe]);
    const T = lib.callRows("He3Transmission", rows);
    const P = lib.callRows("He3Efficiency", rows);
    const merit = lib.callRows("He3FigureOfMerit", P.map((p, i) => [p, T[i]]));
    // The best length at the chosen wavelength: the largest P²T over lengths
    // in steps of 0.05 cm (i/20, which prints as its decimal).
    const lengths = Array.from({ length: 1200 }, (_, i) => (i + 1) / 20);
    const atLength = lengths.map((L) => [v.p, v.T, L, v.lambda, v.PHe]);
    const PL = lib.callRows("He3Efficiency", atLength), TL = lib.callRows("He3Transmission", atLength);
    const meritL = lib.callRows("He3FigureOfMerit", PL.map((p, i) => [p, TL[i]]));
    let bestIndex = 0;
    meritL.forEach((x, i) => { if (x > meritL[bestIndex]) bestIndex = i; });
    const here = [v.p, v.T, v.L, v.lambda, v.PHe];
    lines(this.out, [
      `At λ = ${f(v.lambda)} Å and L = ${f(v.L)} cm: transmission ${f(lib.call("He3Transmission", ...here))}, polarisation ${f(lib.call("He3Efficiency", ...here))}`,
      `Best length for λ = ${f(v.lambda)} Å: L = ${f(lengths[bestIndex])} cm (to 0.05 cm), where P²T = ${f(meritL[bestIndex])}`,
    ]);
    plot($("plot-helium3"), "Transmission, polarisation and P²T against wavelength", "λ (Å)", "fraction",
      [lambdas, T, P, merit],
      [
        { label: "transmission T", stroke: COLOURS[0], width: 2 },
        { label: "polarisation P", stroke: COLOURS[1], width: 2 },
        { label: "figure of merit P²T", stroke: COLOURS[2], width: 2 },
      ]);
  }
}
