// The lattice: a lattice system (its cell fields come from the catalogue), a
// wavelength and a list of h k l → sin θ/λ, d and 2θ of each reflection.
import { $, element, markField, numberField, readFields } from "../dom.js";
import { COLOURS, clearResults, dots, fresh, plot, rules } from "./common.js";

// Numbers on each non-blank line of a text: [{line, values}] or a problem
// naming the line as the user sees it.
export function numberLines(library, text, count, what) {
  const rows = [];
  const lines = text.split("\n");
  for (let i = 0; i < lines.length; i++) {
    const words = lines[i].split(/[\s,;]+/).filter(Boolean);
    if (words.length === 0) continue;
    const parsed = words.map((w) => library.parse(w));
    if (words.length !== count || parsed.some((x) => x.problem !== undefined)) {
      return { problem: `Line ${i + 1} is not ${what}.` };
    }
    const nan = parsed.findIndex((x) => Number.isNaN(x.value));
    if (nan >= 0) return { problem: `Line ${i + 1}: “${words[nan]}” is NaN, which is none of ${what}.` };
    rows.push({ line: i + 1, words, values: parsed.map((x) => x.value) });
  }
  return { rows, problem: "" };
}

export class LatticePlanner {
  constructor(library) {
    this.library = library;
  }

  build() {
    const form = document.querySelector('[data-plan="lattice"]');
    const systems = this.library.catalogue.filter((e) => e.name.startsWith("STL"));
    this.select = element("select", { id: "lattice-system" }, ...systems.map((e) => element("option", { value: e.name, text: e.name.slice(3) })));
    form.append(element("div", { class: "field" }, element("label", { for: "lattice-system", text: "Lattice system" }), this.select));
    this.cell = element("div", { class: "fields" });
    form.append(this.cell);
    this.lambda = numberField("lattice-lambda", "lambda", "neutron wavelength", "Å");
    this.lambda.input.value = "1.5";
    this.hkl = element("textarea", { id: "lattice-hkl", rows: "6", spellcheck: "false", "aria-describedby": "lattice-hkl-error" });
    this.hkl.value = "1 0 0\n1 1 0\n1 1 1\n2 0 0\n2 1 0\n2 1 1\n2 2 0\n3 1 1";
    this.hklError = element("p", { id: "lattice-hkl-error", class: "field-error", "aria-live": "polite" });
    form.append(this.lambda.node, element("div", { class: "field" },
      element("label", { for: "lattice-hkl", text: "Reflections h k l, one a line" }), this.hkl, this.hklError));
    // The table under the plot, where its columns have room.
    this.out = element("div", { class: "plan-out", role: "region", "aria-label": "Reflections", tabindex: "0" });
    const plotArea = $("plot-lattice");
    const column = element("div", { class: "plot-column" });
    plotArea.replaceWith(column);
    column.append(plotArea, this.out);
    this.select.addEventListener("change", () => { this.makeCell(); this.draw(); });
    for (const input of [this.lambda.input, this.hkl]) input.addEventListener("input", () => this.draw());
    this.makeCell();
  }

  makeCell() {
    const entry = this.library.byName.get(this.select.value);
    this.cell.replaceChildren();
    const cellArguments = entry.arguments.slice(3);
    this.cellRules = cellArguments.map((a) => (a.unit === "Å" ? rules.aboveZero("cell length") : rules.any("angle")));
    this.cellFields = cellArguments.map((a, k) => {
      const field = numberField(`lattice-${a.name}`, a.name, a.meaning, a.unit);
      field.input.value = entry.example[3 + k];
      field.input.addEventListener("input", () => this.draw());
      this.cell.append(field.node);
      return field;
    });
  }

  draw() {
    const lib = this.library;
    const f = (x) => lib.format(x);
    const cell = readFields(lib, this.cellFields, this.cellRules);
    const lambda = readFields(lib, [this.lambda], [rules.aboveZero("wavelength")]);
    let { rows, problem } = numberLines(lib, this.hkl.value, 3, "three numbers h k l");
    if (!problem && rows.length === 0) problem = "Enter at least one reflection h k l, one a line.";
    markField({ input: this.hkl, error: this.hklError }, problem);
    if (!cell || !lambda || problem) {
      clearResults(this.out, $("plot-lattice"));
      return;
    }
    fresh(this.out);
    const reflections = rows.map((r) => r.values);
    const stl = lib.callRows(this.select.value, reflections.map((hkl) => [...hkl, ...cell]));
    const d = lib.callRows("LatticeSpacing", stl.map((s) => [s]));
    const twoTheta = lib.callRows("TwoTheta", stl.map((s) => [s, lambda[0]]));
    const computed = stl.map((s, i) => [s, d[i], twoTheta[i]]);
    const table = element("table", {},
      element("caption", { class: "visually-hidden", text: "Reflections" }),
      element("tr", {}, ...["h k l", "sin θ/λ (Å⁻¹)", "d (Å)", "2θ (°)"].map((h) => element("th", { scope: "col", text: h }))));
    reflections.forEach((hkl, i) => {
      table.append(element("tr", {}, element("td", { text: hkl.map(f).join(" ") }), ...computed[i].map((x) => element("td", { text: f(x) }))));
    });
    this.out.replaceChildren(table);
    const order = computed.map((r, i) => [r[2], r[0], i]).filter((r) => Number.isFinite(r[0])).sort((a, b) => a[0] - b[0]);
    plot($("plot-lattice"), `Reflections at λ = ${f(lambda[0])} Å`, "2θ (°)", "sin θ/λ (Å⁻¹)",
      [order.map((r) => r[0]), order.map((r) => r[1])],
      [dots("reflection", COLOURS[0])]);
  }
}
