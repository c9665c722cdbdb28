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

// A planning helper of the module over columns: `inputs` (arrays of n values)
// in, `outputs` arrays of n values out, after any leading arrays of their own
// length (`leading`, passed before n).
function throughModule(helper, n, inputs, outputs, leading = []) {
  const m = library.m;
  const arrays = [...leading, ...inputs];
  const size = arrays.reduce((total, a) => total + a.length, 0) + outputs * n;
  const base = m._malloc(Math.max(8, 8 * size));
  try {
    const pointers = [];
    let at = base;
    for (const a of arrays) {
      m.HEAPF64.set(a, at >> 3);
      pointers.push(at);
      at += 8 * a.length;
    }
    const outs = Array.from({ length: outputs }, (_, k) => at + 8 * n * k);
    m[helper](...pointers.slice(0, leading.length), n, ...pointers.slice(leading.length), ...outs);
    return outs.map((o) => Array.from(m.HEAPF64.slice(o >> 3, (o >> 3) + n)));
  } finally {
    m._free(base);
  }
}

// The standard deviations of rates r counted for times t (CountRateSDev).
const rateSdev = (r, t) => throughModule("_vantrel_rate_sdev", r.length, [r, t], 1)[0];

function grid(from, to, count) {
  return Array.from({ length: count }, (_, i) => from + ((to - from) * i) / (count - 1));
}

// A form of labelled number fields, recomputed on every edit. Each field is
// an argument of a catalogue function, [function, argument, initial value],
// and takes its meaning and unit from the catalogue.
function planForm(form, arguments_, onChange) {
  const described = arguments_.map(([function_, name, value]) => {
    const argument = library.byName.get(function_).arguments.find((a) => a.name === name);
    return [name, argument.meaning, argument.unit, value];
  });
  const fields = described.map(([name, meaning, unit, value]) => {
    const field = numberField(`${form.dataset.plan}-${name}`, name, meaning, unit);
    field.input.value = value;
    field.input.addEventListener("input", onChange);
    form.append(field.node);
    return field;
  });
  return () => {
    const values = readFields(fields);
    return values && Object.fromEntries(described.map(([name], k) => [name, values[k]]));
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
        ["OptCountingTimeTpp", "Npp", "12"],
        ["OptCountingTimeTpp", "Nbp", "1.5"],
        ["OptCountingTimeTpp", "Npm", "8"],
        ["OptCountingTimeTpp", "Nbm", "1.5"],
        ["OptCountingTimeTpp", "T", "3600"],
      ], () => this.draw());
      this.out = outputBlock(form);
    },
    // σ(R) and σ(A) of the four rates counted for `times`.
    sigmas(rates, times) {
      const s = rateSdev(rates, times);
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
        ["He3Transmission", "p", "1.2"],
        ["He3Transmission", "T", "293"],
        ["He3Transmission", "L", "10"],
        ["He3Transmission", "PHe", "0.75"],
        ["He3Transmission", "lambda", "2"],
      ], () => this.draw());
      this.out = outputBlock(form);
    },
    meritOf(P, T) {
      return throughModule("_vantrel_figure_of_merit", P.length, [P, T], 1)[0];
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
  },

  // Transmission ratios measured over an experiment → the gas polarisation of
  // each, the relaxation fitted to them with its band, and the cell's
  // polarising efficiency at a chosen time.
  decay: {
    build() {
      const form = document.querySelector('[data-plan="decay"]');
      this.read = planForm(form, [
        ["He3PolarisationFromTransmission", "p", "1.2"],
        ["He3PolarisationFromTransmission", "T", "293"],
        ["He3PolarisationFromTransmission", "L", "10"],
        ["He3PolarisationFromTransmission", "lambda", "2"],
        ["He3PolarisationFromTransmissionSDev", "sigmaTratio", "0.01"],
        ["He3PolarisationAtTime", "t", "48"],
      ], () => this.draw());
      this.text = element("textarea", { id: "decay-data", rows: "7", spellcheck: "false", "aria-describedby": "decay-data-error" });
      this.text.value = "0 2.0359\n12 1.8547\n24 1.7231\n48 1.513\n72 1.3571\n96 1.2602\n120 1.1824";
      this.error = element("p", { id: "decay-data-error", class: "field-error", "aria-live": "polite" });
      form.append(element("div", { class: "field" },
        element("label", { for: "decay-data", text: "Measurements: time (h) and transmission ratio T_p/T_u, one pair a line" }), this.text, this.error));
      this.text.addEventListener("input", () => this.draw());
      this.out = outputBlock(form);
    },
    pairs() {
      const times = [];
      const ratios = [];
      let problem = "";
      this.text.value.split("\n").forEach((line, i) => {
        const words = line.split(/[\s,;]+/).filter(Boolean);
        if (words.length === 0) return;
        const parsed = words.map((w) => library.parse(w));
        if (words.length !== 2 || parsed.some((x) => x.problem !== undefined)) {
          problem ||= `Line ${i + 1} is not two numbers: a time and a transmission ratio.`;
          return;
        }
        times.push(parsed[0].value);
        ratios.push(parsed[1].value);
      });
      return { times, ratios, problem };
    },
    draw() {
      const v = this.read();
      const { times, ratios, problem } = this.pairs();
      this.error.textContent = problem;
      this.text.toggleAttribute("aria-invalid", problem !== "");
      if (!v || problem) return;
      const cell = [v.p, v.T, v.L, v.lambda];
      const PHe = callRows("He3PolarisationFromTransmission", ratios.map((r) => [...cell, r]));
      const sigma = callRows("He3PolarisationFromTransmissionSDev", ratios.map((r) => [...cell, r, 0, 0, 0, 0, v.sigmaTratio]));
      const m = library.m;
      const n = times.length;
      const p = m._malloc(8 * (3 * n + 6) + 4);
      m.HEAPF64.set([...times, ...PHe, ...sigma], p >> 3);
      const fitAt = p + 24 * n;
      const messageAt = fitAt + 48;
      const ok = m._vantrel_decay_fit(n, p, p + 8 * n, p + 16 * n, fitAt, messageAt);
      const fit = Array.from(m.HEAPF64.slice(fitAt >> 3, (fitAt >> 3) + 6));
      const message = library.take(m.HEAPU32[messageAt >> 2]);
      m._free(p);
      const measured = times.map((t, i) => `t = ${f(t)} h: P(³He) = ${f(PHe[i])} ± ${f(sigma[i])}`);
      if (!ok) {
        lines(this.out, [...measured, `No fit: ${message}`]);
        return;
      }
      const [PHe0, T1, sPHe0, sT1, rho] = fit;
      const at = call("He3PolarisationAtTime", PHe0, T1, v.t);
      const atSigma = call("He3PolarisationAtTimeSDev", PHe0, T1, v.t, sPHe0, sT1, rho);
      const efficiency = call("He3Efficiency", ...cell, at);
      const efficiencySigma = call("He3EfficiencySDev", ...cell, at, 0, 0, 0, 0, atSigma);
      lines(this.out, [
        `Fit: P(³He)(0) = ${f(PHe0)} ± ${f(sPHe0)}, T₁ = ${f(T1)} ± ${f(sT1)} h, ρ = ${f(rho)}`,
        `At t = ${f(v.t)} h: P(³He) = ${f(at)} ± ${f(atSigma)}, efficiency at ${f(v.lambda)} Å ${f(efficiency)} ± ${f(efficiencySigma)}`,
        ...(message ? [message] : []),
        ...measured,
      ]);
      // The curve and its band over the measured times and the chosen one.
      const last = [...times, v.t].reduce((a, b) => (b > a ? b : a), 0);
      const grid_ = grid(0, last, 97);
      const band = throughModule("_vantrel_decay_band", grid_.length, [grid_], 3, [fit]);
      // The measurements at their times, merged into the grid for the plot.
      const xs = [...grid_.map((x, i) => [x, "grid", i]), ...times.map((x, i) => [x, "point", i])].sort((a, b) => a[0] - b[0]);
      const pick = (kind, values) => xs.map(([, k, i]) => (k === kind ? values[i] : null));
      plot($("plot-decay"), "Helium-3 polarisation over time", "t (h)", "P(³He)",
        [xs.map(([x]) => x), pick("grid", band[0]), pick("grid", band[1]), pick("grid", band[2]), pick("point", PHe)],
        [
          { label: "fit", stroke: COLOURS[0], width: 2, spanGaps: true },
          { label: "fit − σ", stroke: COLOURS[0], dash: [4, 4], spanGaps: true },
          { label: "fit + σ", stroke: COLOURS[0], dash: [4, 4], spanGaps: true },
          { label: "measured", stroke: COLOURS[1], paths: () => null, points: { show: true, size: 9, fill: COLOURS[1] } },
        ]);
    },
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
      // The table under the plot, where its long columns have room.
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
        ["PeakCentringLinSDev", "x1", "24.0"],
        ["PeakCentringLinSDev", "A1", "5200"],
        ["PeakCentringLinSDev", "B1", "2100"],
        ["PeakCentringLinSDev", "x2", "24.4"],
        ["PeakCentringLinSDev", "A2", "1500"],
        ["PeakCentringLinSDev", "B2", "4300"],
        ["PeakCentringLinSDev", "sigmaX", "0.001"],
      ], () => this.draw());
      this.out = outputBlock(form);
    },
    draw() {
      const v = this.read();
      if (!v) return;
      const points = [v.x1, v.A1, v.B1, v.x2, v.A2, v.B2];
      // Counts are Poisson: the standard deviation of a count N is that of
      // the rate N over one second.
      const sigmas = rateSdev([v.A1, v.B1, v.A2, v.B2], [1, 1, 1, 1]);
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
