// The counting time: four rates and a total time → the optimal split, R and A
// with their σ at the optimum and with four equal quarters, and σ(R) against
// the share of the peaks or of the + state.
import { $ } from "../dom.js";
import { COLOURS, clearResults, fresh, grid, lines, outputBlock, plot, planForm, rules } from "./common.js";

const rate = rules.atLeastZero("count rate");

export class CountingPlanner {
  constructor(library) {
    this.library = library;
  }

  build() {
    const form = document.querySelector('[data-plan="counting"]');
    this.read = planForm(this.library, form, [
      ["OptCountingTimeTpp", "Npp", "12", rate],
      ["OptCountingTimeTpp", "Nbp", "1.5", rate],
      ["OptCountingTimeTpp", "Npm", "8", rate],
      ["OptCountingTimeTpp", "Nbm", "1.5", rate],
      ["OptCountingTimeTpp", "T", "3600", rules.aboveZero("total counting time")],
    ], () => this.draw());
    this.out = outputBlock(form);
  }

  // σ(R) and σ(A) of the four rates counted for `times`.
  sigmas(rates, times) {
    const s = this.library.rateSdev(rates, times);
    return [this.library.call("FlippingRatioSDev", ...rates, ...s), this.library.call("AsymmetrySDev", ...rates, ...s)];
  }

  draw() {
    const lib = this.library;
    const f = (x) => lib.format(x);
    const v = this.read();
    if (!v) {
      clearResults(this.out, $("plot-counting"));
      return;
    }
    fresh(this.out);
    const rates = [v.Npp, v.Nbp, v.Npm, v.Nbm];
    const best = ["Tpp", "Tbp", "Tpm", "Tbm"].map((n) => lib.call(`OptCountingTime${n}`, ...rates, v.T));
    const [sigmaR, sigmaA] = this.sigmas(rates, best);
    const [equalR, equalA] = this.sigmas(rates, best.map(() => v.T / 4));
    lines(this.out, [
      `R = ${f(lib.call("FlippingRatio", ...rates))}, A = ${f(lib.call("Asymmetry", ...rates))}`,
      `Optimal times: peak + ${f(best[0])} s, background + ${f(best[1])} s, peak − ${f(best[2])} s, background − ${f(best[3])} s`,
      `σ(R) = ${f(sigmaR)}, σ(A) = ${f(sigmaA)} at the optimal split`,
      `σ(R) = ${f(equalR)}, σ(A) = ${f(equalA)} with four equal quarters`,
    ]);
    // Two families of splits through the optimum, as in the guide: the share
    // of the peaks, and the share of the + state.
    const share = grid(0.02, 0.98, 97);
    const w = best.map((t) => t / v.T);
    const peaks = w[0] + w[2];
    const plus = w[0] + w[1];
    const byPeaks = share.map((s) => this.sigmas(rates, [s * w[0] / peaks, (1 - s) * w[1] / (1 - peaks), s * w[2] / peaks, (1 - s) * w[3] / (1 - peaks)].map((x) => x * v.T))[0]);
    const byPlus = share.map((s) => this.sigmas(rates, [s * w[0] / plus, s * w[1] / plus, (1 - s) * w[2] / (1 - plus), (1 - s) * w[3] / (1 - plus)].map((x) => x * v.T))[0]);
    plot($("plot-counting"), "σ(R) against the split of the total time", "share on the peaks, or in the + state", "σ(R)",
      [share, byPeaks, byPlus, share.map(() => sigmaR)],
      [
        { label: "share on the peaks varied", stroke: COLOURS[0], width: 2 },
        { label: "share in the + state varied", stroke: COLOURS[1], width: 2 },
        { label: "optimal split", stroke: "#555", dash: [6, 4] },
      ]);
  }
}
