// The planners: a short form beside a plot. Every value shown is the library's
// (the catalogue's functions, or the module's planning helpers); the script
// only lays out the inputs: the grid of a plot's axis and the trial splits and
// lengths it asks the library about.
"use strict";

// One call of a catalogue function per row of `rows` (arrays of arguments).
function callRows(name, rows) {
  const entry = library.byName.get(name);
  const columns = entry.arguments.map((_, k) => rows.map((row) => row[k]));
  return Array.from(library.evaluate(entry, columns));
}

function call(name, ...args) {
  return callRows(name, [args])[0];
}

function grid(from, to, count) {
  return Array.from({ length: count }, (_, i) => from + ((to - from) * i) / (count - 1));
}

// A form of labelled number fields, recomputed on every edit.
function planForm(form, specs, onChange) {
  const fields = specs.map(([name, meaning, unit, value]) => {
    const field = numberField(`${form.dataset.plan}-${name}`, name, meaning, unit);
    field.input.value = value;
    field.input.addEventListener("input", onChange);
    form.append(field.node);
    return field;
  });
  return () => {
    const values = readFields(fields);
    return values && Object.fromEntries(specs.map(([name], k) => [name, values[k]]));
  };
}

function outputBlock(form) {
  const out = element("div", { class: "plan-out", role: "status", "aria-live": "polite" });
  form.append(out);
  return out;
}

function lines(out, items) {
  out.replaceChildren(...items.map((text) => element("p", { text })));
}

const f = (x) => library.format(x);

// A uPlot chart in `target`, replaced on every redraw.
function plot(target, title, xLabel, yLabel, data, series, extra = {}) {
  target.replaceChildren();
  const width = Math.max(280, Math.min(760, target.clientWidth || 640));
  const chart = new uPlot({
    title, width, height: Math.round(width * 0.6),
    scales: { x: { time: false } },
    axes: [{ label: xLabel }, { label: yLabel }],
    series: [{ label: xLabel }, ...series],
    ...extra,
  }, data, target);
  target.querySelector("canvas")?.setAttribute("aria-label", `${title}: plot of ${yLabel} against ${xLabel}`);
  target.querySelector("canvas")?.setAttribute("role", "img");
  return chart;
}

const COLOURS = ["#0b5cad", "#c2410c", "#15803d", "#6d28d9"];

const planners = {
  counting: {
    build() {
      const form = document.querySelector('[data-plan="counting"]');
      this.read = planForm(form, [
        ["Npp", "rate, peak +", "counts/s", "12"],
        ["Nbp", "rate, background +", "counts/s", "1.5"],
        ["Npm", "rate, peak −", "counts/s", "8"],
        ["Nbm", "rate, background −", "counts/s", "1.5"],
        ["T", "total counting time", "s", "3600"],
      ], () => this.draw());
      this.out = outputBlock(form);
    },
    // σ(R) and σ(A) of the four rates counted for `times`.
    sigmas(rates, times) {
      const m = library.m;
      const helper = (values) => {
        const p = m._malloc(8 * 12);
        m.HEAPF64.set([...rates, ...values], p >> 3);
        m._vantrel_rate_sdev(4, p, p + 32, p + 64);
        const s = Array.from(m.HEAPF64.slice((p >> 3) + 8, (p >> 3) + 12));
        m._free(p);
        return s;
      };
      const s = helper(times);
      return [call("FlippingRatioSDev", ...rates, ...s), call("AsymmetrySDev", ...rates, ...s)];
    },
    draw() {
      const v = this.read();
      if (!v) return;
      const rates = [v.Npp, v.Nbp, v.Npm, v.Nbm];
      const best = ["Tpp", "Tbp", "Tpm", "Tbm"].map((n) => call(`OptCountingTime${n}`, ...rates, v.T));
      const [sigmaR, sigmaA] = this.sigmas(rates, best);
      const [equalR] = this.sigmas(rates, best.map(() => v.T / 4));
      lines(this.out, [
        `R = ${f(call("FlippingRatio", ...rates))}, A = ${f(call("Asymmetry", ...rates))}`,
        `Optimal times: peak + ${f(best[0])} s, background + ${f(best[1])} s, peak − ${f(best[2])} s, background − ${f(best[3])} s`,
        `σ(R) = ${f(sigmaR)}, σ(A) = ${f(sigmaA)} at the optimal split`,
        `σ(R) = ${f(equalR)} with four equal quarters`,
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
    },
  },

  helium3: {
    build() {
      const form = document.querySelector('[data-plan="helium3"]');
      this.read = planForm(form, [
        ["p", "helium-3 pressure", "atm", "1.2"],
        ["T", "gas temperature", "K", "293"],
        ["L", "cell length", "cm", "10"],
        ["PHe", "helium-3 polarisation", "1", "0.75"],
        ["lambda", "neutron wavelength for the best length", "Å", "2"],
      ], () => this.draw());
      this.out = outputBlock(form);
    },
    meritOf(P, T) {
      const m = library.m;
      const n = P.length;
      const p = m._malloc(8 * 3 * n);
      m.HEAPF64.set([...P, ...T], p >> 3);
      m._vantrel_figure_of_merit(n, p, p + 8 * n, p + 16 * n);
      const out = Array.from(m.HEAPF64.slice((p >> 3) + 2 * n, (p >> 3) + 3 * n));
      m._free(p);
      return out;
    },
    draw() {
      const v = this.read();
      if (!v) return;
      const lambdas = grid(0.5, 10, 96);
      const rows = lambdas.map((l) => [v.p, v.T, v.L, l, v.PHe]);
      const T = callRows("He3Transmission", rows);
      const P = callRows("He3Efficiency", rows);
      const merit = this.meritOf(P, T);
      // The best length at the chosen wavelength: the largest P²T over lengths
      // in steps of 0.05 cm (i/20, which prints as its decimal).
      const lengths = Array.from({ length: 1200 }, (_, i) => (i + 1) / 20);
      const atLength = lengths.map((L) => [v.p, v.T, L, v.lambda, v.PHe]);
      const meritL = this.meritOf(callRows("He3Efficiency", atLength), callRows("He3Transmission", atLength));
      let bestIndex = 0;
      meritL.forEach((x, i) => { if (x > meritL[bestIndex]) bestIndex = i; });
      const bestL = lengths[bestIndex];
      const here = [v.p, v.T, v.L, v.lambda, v.PHe];
      lines(this.out, [
        `At λ = ${f(v.lambda)} Å and L = ${f(v.L)} cm: transmission ${f(call("He3Transmission", ...here))}, polarisation ${f(call("He3Efficiency", ...here))}`,
        `Best length for λ = ${f(v.lambda)} Å: L = ${f(bestL)} cm (to 0.05 cm), where P²T = ${f(meritL[bestIndex])}`,
      ]);
      plot($("plot-helium3"), "Transmission, polarisation and P²T against wavelength", "λ (Å)", "fraction",
        [lambdas, T, P, merit],
        [
          { label: "transmission T", stroke: COLOURS[0], width: 2 },
          { label: "polarisation P", stroke: COLOURS[1], width: 2 },
          { label: "figure of merit P²T", stroke: COLOURS[2], width: 2 },
        ]);
    },
    // The cell over time (measured transmission ratios → gas polarisation,
    // decay fit with its band, efficiency at a chosen time) joins here once
    // the catalogue carries the decay fit.
  },

  lattice: {
    build() {
      const form = document.querySelector('[data-plan="lattice"]');
      const systems = library.catalogue.filter((e) => e.name.startsWith("STL"));
      this.select = element("select", { id: "lattice-system" }, ...systems.map((e) => element("option", { value: e.name, text: e.name.slice(3) })));
      form.append(element("div", { class: "field" }, element("label", { for: "lattice-system", text: "Lattice system" }), this.select));
      this.cell = element("div", { class: "fields" });
      form.append(this.cell);
      this.lambda = numberField("lattice-lambda", "lambda", "neutron wavelength", "Å");
      this.lambda.input.value = "1.5";
      this.hkl = element("textarea", { id: "lattice-hkl", rows: "6", spellcheck: "false" });
      this.hkl.value = "1 0 0\n1 1 0\n1 1 1\n2 0 0\n2 1 0\n2 1 1\n2 2 0\n3 1 1";
      this.hklError = element("p", { id: "lattice-hkl-error", class: "field-error", "aria-live": "polite" });
      this.hkl.setAttribute("aria-describedby", "lattice-hkl-error");
      form.append(this.lambda.node, element("div", { class: "field" },
        element("label", { for: "lattice-hkl", text: "Reflections h k l, one a line" }), this.hkl, this.hklError));
      // The table under the plot, where its 17-digit columns have room.
      this.out = element("div", { class: "plan-out", role: "region", "aria-label": "Reflections", tabindex: "0" });
      const plotArea = $("plot-lattice");
      const column = element("div", { class: "plot-column" });
      plotArea.replaceWith(column);
      column.append(plotArea, this.out);
      this.select.addEventListener("change", () => { this.makeCell(); this.draw(); });
      for (const input of [this.lambda.input, this.hkl]) input.addEventListener("input", () => this.draw());
      this.makeCell();
    },
    makeCell() {
      const entry = library.byName.get(this.select.value);
      this.cell.replaceChildren();
      this.cellFields = entry.arguments.slice(3).map((a, k) => {
        const field = numberField(`lattice-${a.name}`, a.name, a.meaning, a.unit);
        field.input.value = entry.example[3 + k];
        field.input.addEventListener("input", () => this.draw());
        this.cell.append(field.node);
        return field;
      });
    },
    draw() {
      const cell = readFields(this.cellFields);
      const lambda = readFields([this.lambda]);
      const reflections = [];
      let problem = "";
      this.hkl.value.split("\n").forEach((line, i) => {
        const words = line.split(/[\s,;]+/).filter(Boolean);
        if (words.length === 0) return;
        const parsed = words.map((w) => library.parse(w));
        if (words.length !== 3 || parsed.some((p) => p.problem !== undefined)) {
          problem ||= `Line ${i + 1} is not three numbers h k l.`;
          return;
        }
        reflections.push(parsed.map((p) => p.value));
      });
      this.hklError.textContent = problem;
      this.hkl.toggleAttribute("aria-invalid", problem !== "");
      if (!cell || !lambda || reflections.length === 0) return;
      const stl = callRows(this.select.value, reflections.map((hkl) => [...hkl, ...cell]));
      const m = library.m;
      const slots = m._malloc(16);
      const rows = stl.map((s) => {
        m._vantrel_reflection(s, lambda[0], slots, slots + 8);
        return [s, m.HEAPF64[slots >> 3], m.HEAPF64[(slots >> 3) + 1]];
      });
      m._free(slots);
      const table = element("table", {},
        element("caption", { class: "visually-hidden", text: "Reflections" }),
        element("tr", {}, ...["h k l", "sin θ/λ (Å⁻¹)", "d (Å)", "2θ (°)"].map((h) => element("th", { scope: "col", text: h }))));
      reflections.forEach((hkl, i) => {
        table.append(element("tr", {}, element("td", { text: hkl.map(f).join(" ") }), ...rows[i].map((x) => element("td", { text: f(x) }))));
      });
      this.out.replaceChildren(table);
      const order = rows.map((r, i) => [r[2], r[0], i]).filter((r) => Number.isFinite(r[0])).sort((a, b) => a[0] - b[0]);
      plot($("plot-lattice"), `Reflections at λ = ${f(lambda[0])} Å`, "2θ (°)", "sin θ/λ (Å⁻¹)",
        [order.map((r) => r[0]), order.map((r) => r[1])],
        [{ label: "reflection", stroke: COLOURS[0], paths: () => null, points: { show: true, size: 9, fill: COLOURS[0] } }]);
    },
  },

  peaks: {
    build() {
      const form = document.querySelector('[data-plan="peaks"]');
      this.read = planForm(form, [
        ["x1", "first position", "degrees", "24.0"],
        ["A1", "count A at x1", "counts", "5200"],
        ["B1", "count B at x1", "counts", "2100"],
        ["x2", "second position", "degrees", "24.4"],
        ["A2", "count A at x2", "counts", "1500"],
        ["B2", "count B at x2", "counts", "4300"],
        ["sigmaX", "standard deviation of each position", "degrees", "0.001"],
      ], () => this.draw());
      this.out = outputBlock(form);
    },
    draw() {
      const v = this.read();
      if (!v) return;
      const points = [v.x1, v.A1, v.B1, v.x2, v.A2, v.B2];
      // Counts are Poisson: the standard deviation of a count N is that of
      // the rate N over one second.
      const m = library.m;
      const p = m._malloc(8 * 12);
      m.HEAPF64.set([v.A1, v.B1, v.A2, v.B2, 1, 1, 1, 1], p >> 3);
      m._vantrel_rate_sdev(4, p, p + 32, p + 64);
      const sigmas = Array.from(m.HEAPF64.slice((p >> 3) + 8, (p >> 3) + 12));
      m._free(p);
      const lin = call("PeakCentringLin", ...points);
      const linS = call("PeakCentringLinSDev", ...points, v.sigmaX, ...sigmas);
      const gauss = call("PeakCentringGauss", ...points);
      const gaussS = call("PeakCentringGaussSDev", ...points, v.sigmaX, ...sigmas);
      lines(this.out, [
        `Linear model: centre ${f(lin)} ± ${f(linS)}°`,
        `Gaussian model: centre ${f(gauss)} ± ${f(gaussS)}°`,
      ]);
      const xs = [v.x1, lin, gauss, v.x2].map((x, i) => [x, i]).sort((a, b) => a[0] - b[0]);
      const at = (i, value) => xs.map(([, j]) => (j === i ? value : null));
      const top = Math.max(v.A1, v.B1, v.A2, v.B2);
      const dots = (label, colour) => ({ label, stroke: colour, paths: () => null, points: { show: true, size: 10, fill: colour } });
      plot($("plot-peaks"), "The two settings and the centres", "position (°)", "counts",
        [xs.map(([x]) => x), xs.map(([, j]) => (j === 0 ? v.A1 : j === 3 ? v.A2 : null)),
          xs.map(([, j]) => (j === 0 ? v.B1 : j === 3 ? v.B2 : null)), at(1, top), at(2, top)],
        [dots("A", COLOURS[0]), dots("B", COLOURS[1]), dots("linear centre", COLOURS[2]), dots("Gaussian centre", COLOURS[3])]);
    },
  },
};
