// Magnetic moments: a crystal structure from a CIF, its magnetic sites, the
// beam and the field → the moments of the sites fitted to measured flipping
// ratios, and the ratios the structure predicts for planning. The module reads
// the CIF, predicts and fits (web/wasm/magnetic_web.cpp); this view lays out
// its answers and says its refusals beside the field they concern.
import { $, element, markField, numberField, readFields } from "../dom.js";
import { COLOURS, dots, plot, rules } from "../planners/common.js";
import { numberLines } from "../planners/lattice.js";

// Nickel, a ferromagnet whose moment is mostly spin: the view's example.
const EXAMPLE_CIF = `data_nickel
_cell_length_a 3.524
_cell_length_b 3.524
_cell_length_c 3.524
_cell_angle_alpha 90
_cell_angle_beta 90
_cell_angle_gamma 90
_space_group_name_H-M_alt 'F m -3 m'
loop_
_atom_site_label
_atom_site_type_symbol
_atom_site_fract_x
_atom_site_fract_y
_atom_site_fract_z
_atom_site_B_iso_or_equiv
Ni1 Ni 0 0 0 0.4
`;
const EXAMPLE_SITES = "Ni1 Ni 2.18 0.5";
// Ratios simulated for nickel at 0.6 μB in a field along [1 -1 0], P = 0.95
// and f = 0.99, each moved by up to 1.4 σ.
const EXAMPLE_REFLECTIONS = `1 1 1 1.4698 0.0030
0 0 2 1.3948 0.0030
2 2 0 1.2261 0.0030
1 1 3 1.1524 0.0030
2 2 2 1.1404 0.0030
0 0 4 1.0836 0.0030
3 3 1 1.0603 0.0030
2 2 4 1.0277 0.0030
1 1 5 1.0196 0.0030
3 3 3 1.0223 0.0030
4 4 0 1.0048 0.0030
0 0 6 1.0019 0.0030`;

// Tables of more rows than this show their first rows only.
const LIMIT = 500;

// A text area with its label and its place for a problem.
function textField(id, label, rows, value) {
  const input = element("textarea", { id, rows: String(rows), spellcheck: "false", "aria-describedby": `${id}-error` });
  input.value = value;
  const error = element("p", { id: `${id}-error`, class: "field-error", "aria-live": "polite" });
  return { node: element("div", { class: "field" }, element("label", { for: id, text: label }), input, error), input, error };
}

// A table in a region of its own, which scrolls sideways on a narrow screen.
function tableRegion(caption, head, rows) {
  const table = element("table", {}, element("caption", { class: "visually-hidden", text: caption }),
    element("tr", {}, ...head.map((h) => element("th", { scope: "col", text: h }))));
  for (const row of rows) table.append(element("tr", {}, ...row.map((cell) => element("td", { text: cell }))));
  return element("div", { class: "plan-out", role: "region", "aria-label": caption, tabindex: "0" }, table);
}

const hklText = (hkl) => hkl.join(" ");
// The module's numbers travel as the text it prints; a plot takes their value.
const value = (text) => ({ nan: NaN, inf: Infinity, "-inf": -Infinity })[text] ?? Number(text);

export class MagneticView {
  constructor(library) {
    this.library = library;
  }

  build() {
    const form = document.querySelector('[data-plan="magnetic"]');
    const file = element("input", { id: "magnetic-file", type: "file", accept: ".cif,text/plain" });
    this.cif = textField("magnetic-cif", "The structure: a CIF, pasted here", 10, EXAMPLE_CIF);
    this.sites = textField("magnetic-sites",
      "Magnetic sites, one a line: label, ion, g, moment (μB; the fit starts from it and the predicted table uses it)", 2, EXAMPLE_SITES);
    this.P = numberField("magnetic-P", "P", "polarisation of the beam along the field, −1 … 1, not 0", "1");
    this.f = numberField("magnetic-f", "f", "flipper spin-flip probability, 0 < f ≤ 1", "1");
    this.P.input.value = "0.95";
    this.f.input.value = "0.99";
    this.mode = element("select", { id: "magnetic-mode" },
      element("option", { value: "field", text: "the field direction [u v w]" }),
      element("option", { value: "q2", text: "q² given on each line" }));
    this.field = numberField("magnetic-field", "u v w", "the field along u·a + v·b + w·c", "1");
    this.field.input.setAttribute("inputmode", "text");
    this.field.input.value = "1 -1 0";
    this.reflections = textField("magnetic-reflections",
      "Measured reflections, one a line: h k l R σR (and q² when given on each line)", 8, EXAMPLE_REFLECTIONS);
    this.sMax = numberField("magnetic-smax", "sin θ/λ", "the largest of the predicted reflections", "Å⁻¹");
    this.sMax.input.value = "0.6";

    form.append(
      element("div", { class: "field" }, element("label", { for: "magnetic-file", text: "Open a CIF file" }), file),
      this.cif.node, this.sites.node, this.P.node, this.f.node,
      element("div", { class: "field" }, element("label", { for: "magnetic-mode", text: "q² from" }), this.mode),
      this.field.node, this.reflections.node, this.sMax.node);
    this.summary = element("div", { class: "plan-out", role: "status", "aria-live": "polite" });
    form.append(this.summary);

    const column = $("magnetic-results");
    this.fitOut = element("div", { class: "magnetic-fit" });
    this.plotR = element("div", { class: "plot", id: "plot-magnetic-ratios" });
    this.plotForm = element("div", { class: "plot", id: "plot-magnetic-form" });
    this.predicted = element("div", { class: "magnetic-predicted" });
    column.append(element("h3", { text: "Fit of the moments" }), this.fitOut, this.plotR, this.plotForm,
      element("h3", { text: "Predicted ratios, for planning" }), this.predicted);

    file.addEventListener("change", async () => {
      const chosen = file.files[0];
      if (!chosen) return;
      this.source = chosen.name;
      this.cif.input.value = await chosen.text();
      file.value = "";
      this.draw();
    });
    this.cif.input.addEventListener("input", () => { this.source = "pasted CIF"; this.draw(); });
    for (const input of [this.sites.input, this.P.input, this.f.input, this.field.input, this.reflections.input, this.sMax.input]) {
      input.addEventListener("input", () => this.draw());
    }
    this.mode.addEventListener("change", () => this.draw());
    this.source = "pasted CIF";
  }

  // Everything that depends on a field whose text is wrong, cleared, with why.
  clear(parts, why) {
    const note = () => element("p", { class: "stale", text: why });
    if (parts.includes("summary")) this.summary.replaceChildren(note());
    if (parts.includes("fit")) {
      this.fitOut.replaceChildren(note());
      this.plotR.replaceChildren();
      this.plotForm.replaceChildren();
    }
    if (parts.includes("predicted")) this.predicted.replaceChildren(note());
  }

  // The field direction as three numbers, or null in the q² mode; a problem
  // is marked beside the field.
  readField() {
    this.field.node.hidden = this.mode.value !== "field";
    if (this.mode.value !== "field") {
      markField(this.field, "");
      return { field: null, ok: true };
    }
    const words = this.field.input.value.trim().split(/[\s,;]+/).filter(Boolean);
    const parsed = words.map((w) => this.library.parse(w));
    const ok = words.length === 3 && parsed.every((p) => p.problem === undefined && Number.isFinite(p.value));
    markField(this.field, ok ? "" : "Enter the field's direction as three finite numbers u v w.");
    return { field: ok ? parsed.map((p) => p.value) : null, ok };
  }

  draw() {
    const lib = this.library;
    // The structure is read again only when its text, name or sites change:
    // the module keeps the one read last.
    const key = [this.cif.input.value, this.source, this.sites.input.value];
    if (!this.read || this.read.key.some((text, k) => text !== key[k])) {
      this.read = { key, structure: lib.magneticStructure(...key) };
    }
    const { structure } = this.read;
    const said = structure.ok ? "" : structure.error + (structure.suggestions.length && !/did you mean/i.test(structure.error)
      ? ` (closest: ${structure.suggestions.join(", ")})` : "");
    markField(this.cif, structure.where === "cif" ? said : "");
    markField(this.sites, structure.where === "sites" ? said : "");
    const beam = readFields(lib, [this.P, this.f], [
      (x) => rules.any("polarisation")(x) || (x >= -1 && x <= 1 && x !== 0 ? "" : "P is between −1 and 1 and not 0."),
      (x) => rules.any("probability")(x) || (x > 0 && x <= 1 ? "" : "f is more than 0 and at most 1."),
    ]);
    const { field, ok: fieldOk } = this.readField();
    if (!structure.ok) {
      this.clear(["summary", "fit", "predicted"], "Correct the structure or its sites to see the results.");
      return;
    }
    this.summary.replaceChildren(
      element("p", { text: `data_${structure.name}: ${structure.spaceGroup}, ${structure.operations} symmetry operations, ${structure.atoms} atoms in the cell` }),
      element("p", { text: `a b c = ${structure.cell.slice(0, 3).join(" ")} Å, α β γ = ${structure.cell.slice(3).join(" ")}°` }),
      ...structure.magnetic.map((m) => element("p", { text: `${m.label}: ${m.ion}, g = ${m.g}, κ = ${m.kappa}` })));
    delete this.summary.dataset.stale;
    if (!beam || !fieldOk) {
      this.clear(["fit", "predicted"], "Correct the marked field to see the results.");
      return;
    }
    const [P, f] = beam;
    const moments = structure.magnetic.map((m) => value(m.moment));
    this.drawPredicted(P, f, field, moments);
    this.drawFit(P, f, field, moments);
  }

  drawPredicted(P, f, field, moments) {
    const lib = this.library;
    const sMax = readFields(lib, [this.sMax], [rules.aboveZero("sin θ/λ")]);
    if (!sMax) {
      this.clear(["predicted"], "Correct the marked field to see the predicted ratios.");
      return;
    }
    const predicted = lib.magneticPredict(sMax[0], P, f, field, moments, LIMIT);
    markField(this.sMax, predicted.ok ? "" : predicted.error);
    if (!predicted.ok) {
      this.clear(["predicted"], "Correct the marked field to see the predicted ratios.");
      return;
    }
    const rows = predicted.reflections.map((r) => [hklText(r.hkl), r.s, r.q2, r.FN, r.FM, r.R, r.A]);
    const shown = predicted.total > rows.length ? `the first ${rows.length} of ${predicted.total}` : `all ${predicted.total}`;
    const q2 = field ? `q² from the field along [${field.join(" ")}]` : "q² = 1 (the field perpendicular to every scattering vector)";
    this.predicted.replaceChildren(
      element("p", { text: `The reflections the symmetry allows up to sin θ/λ = ${this.sMax.input.value.trim()} Å⁻¹ (${shown}), for the sites' moments and ${q2}; F in 10⁻¹² cm.` }),
      tableRegion("Predicted reflections", ["h k l", "sin θ/λ (Å⁻¹)", "q²", "F_N", "F_M", "R", "A"], rows));
  }

  // The measured lines: [{line, values}] or a problem naming the line.
  readReflections(withQ2) {
    const count = withQ2 ? 6 : 5;
    const what = withQ2 ? "six numbers h k l R σR q²" : "five numbers h k l R σR";
    const read = numberLines(this.library, this.reflections.input.value, count, what);
    if (!read.problem && read.rows.length === 0) read.problem = `Enter the measured reflections, ${what}, one a line.`;
    return read;
  }

  drawFit(P, f, field, moments) {
    const lib = this.library;
    const { rows, problem } = this.readReflections(field === null);
    markField(this.reflections, problem);
    if (problem) {
      this.clear(["fit"], "Correct the measured reflections to see the fit.");
      return;
    }
    const table = rows.map((r) => (field === null ? r.values : [...r.values, NaN]));
    const fit = lib.magneticFit(table, P, f, field, moments);
    // The module counts the reflections from 1; the user sees lines.
    const line = (k) => rows[Number(k) - 1]?.line ?? k;
    const inLines = (text) => text.replace(/\(row (\d+)\)/g, (_, k) => `(line ${line(k)})`).replace(/^row (\d+):/, (_, k) => `Line ${line(k)}:`);
    if (!fit.ok) {
      markField(this.reflections, inLines(fit.error));
      this.clear(["fit"], "Correct the measured reflections to see the fit.");
      return;
    }
    const parts = [];
    const said = (text, attributes = {}) => parts.push(element("p", { ...attributes, text }));
    if (!fit.converged) said(`The fit did not converge: ${fit.message}`, { class: "field-error" });
    fit.sites.forEach((label, m) => said(`${label}: μ = ${fit.moments[m]} ± ${fit.deviations[m]} μB`, { class: "moment" }));
    said(`χ²/ν = ${fit.reducedChiSquare} (χ² = ${fit.chiSquare}, ν = ${fit.degreesOfFreedom}, P(χ² larger) = ${fit.probability}), ${fit.iterations} iterations`);
    const n = fit.sites.length;
    for (let i = 0; i < n; i++) {
      for (let j = i + 1; j < n; j++) said(`Correlation of ${fit.sites[i]} and ${fit.sites[j]}: ${fit.correlation[i * n + j]}`);
    }
    for (const left of fit.leftOut) said(`Line ${line(left.row)}, ${left.message}`, { class: "left-out" });
    parts.push(tableRegion("Fitted reflections", ["line", "h k l", "sin θ/λ", "q²", "R", "σR", "R fitted", "residual (σ)"],
      fit.reflections.map((r) => [String(line(r.row)), hklText(r.hkl), r.s, r.q2, r.R, r.sigmaR, r.RCalc, r.residual])));
    this.fitOut.replaceChildren(...parts);
    this.drawPlots(fit);
  }

  drawPlots(fit) {
    if (fit.reflections.length === 0) {
      this.plotR.replaceChildren();
      this.plotForm.replaceChildren();
      return;
    }
    // R measured against R fitted, with the line where they agree.
    const byCalc = fit.reflections.map((r) => [value(r.RCalc), value(r.R)]).sort((a, b) => a[0] - b[0]);
    plot(this.plotR, "Flipping ratios", "R fitted", "R measured",
      [byCalc.map((p) => p[0]), byCalc.map((p) => p[1]), byCalc.map((p) => p[0])],
      [dots("measured", COLOURS[1]), { label: "R measured = R fitted", stroke: COLOURS[0], width: 1 }]);
    // Σ μ·f(s) as each reflection measures it, and the fitted curve.
    const points = [...fit.curve.s.map((s, i) => [value(s), "curve", i]),
      ...fit.reflections.map((r, i) => [value(r.s), "point", i])].sort((a, b) => a[0] - b[0]);
    const curve = fit.curve.value.map(value);
    const measured = fit.reflections.map((r) => value(r.measured));
    plot(this.plotForm, "Magnetisation by sin θ/λ", "sin θ/λ (Å⁻¹)", "Σ μ·f(s) (μB)",
      [points.map((p) => p[0]), points.map(([, k, i]) => (k === "curve" ? curve[i] : null)),
        points.map(([, k, i]) => (k === "point" ? measured[i] : null))],
      [{ label: "fitted moments × form factors", stroke: COLOURS[0], width: 2, spanGaps: true }, dots("measured", COLOURS[1])]);
  }
}
