// Peak centring: two settings → the linear and the Gaussian centre, each with
// its σ (the counts taken as Poisson).
import { $ } from "../dom.js";
import { COLOURS, clearResults, dots, fresh, lines, outputBlock, plot, planForm, rules } from "./common.js";

const count = rules.atLeastZero("count");
const position = rules.any("position");

export class PeaksPlanner {
  constructor(library) {
    this.library = library;
  }

  build() {
    const form = document.querySelector('[data-plan="peaks"]');
    this.read = planForm(this.library, form, [
      ["PeakCentringLinSDev", "x1", "24.0", position],
      ["PeakCentringLinSDev", "A1", "5200", count],
      ["PeakCentringLinSDev", "B1", "2100", count],
      ["PeakCentringLinSDev", "x2", "24.4", position],
      ["PeakCentringLinSDev", "A2", "1500", count],
      ["PeakCentringLinSDev", "B2", "4300", count],
      ["PeakCentringLinSDev", "sigmaX", "0.001", rules.atLeastZero("standard deviation")],
    ], () => this.draw());
    this.out = outputBlock(form);
  }

  draw() {
    const lib = this.library;
    const f = (x) => lib.format(x);
    const v = this.read();
    if (!v) {
      clearResults(this.out, $("plot-peaks"));
      return;
    }
    fresh(this.out);
    const points = [v.x1, v.A1, v.B1, v.x2, v.A2, v.B2];
    // Counts are Poisson: the standard deviation of a count N is that of
    // the rate N over one second.
    const sigmas = lib.rateSdev([v.A1, v.B1, v.A2, v.B2], [1, 1, 1, 1]);
    const lin = lib.call("PeakCentringLin", ...points);
    const linS = lib.call("PeakCentringLinSDev", ...points, v.sigmaX, ...sigmas);
    const gauss = lib.call("PeakCentringGauss", ...points);
    const gaussS = lib.call("PeakCentringGaussSDev", ...points, v.sigmaX, ...sigmas);
    lines(this.out, [
      `Linear model: centre ${f(lin)} ± ${f(linS)}°`,
      `Gaussian model: centre ${f(gauss)} ± ${f(gaussS)}°`,
    ]);
    const xs = [v.x1, lin, gauss, v.x2].map((x, i) => [x, i]).sort((a, b) => a[0] - b[0]);
    const at = (i, value) => xs.map(([, j]) => (j === i ? value : null));
    const top = Math.max(v.A1, v.B1, v.A2, v.B2);
    plot($("plot-peaks"), "The two settings and the centres", "position (°)", "counts",
      [xs.map(([x]) => x), xs.map(([, j]) => (j === 0 ? v.A1 : j === 3 ? v.A2 : null)),
        xs.map(([, j]) => (j === 0 ? v.B1 : j === 3 ? v.B2 : null)), at(1, top), at(2, top)],
      [dots("A", COLOURS[0], 10), dots("B", COLOURS[1], 10), dots("linear centre", COLOURS[2], 10), dots("Gaussian centre", COLOURS[3], 10)]);
  }
}
