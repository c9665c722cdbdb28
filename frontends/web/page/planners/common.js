// What the planners share: a form of labelled number fields, each refused
// with its reason when it is not a physical value, a block of result lines,
// and a plot; results cleared as soon as a field they depend on is not valid.
import uPlot from "uplot";
import { element, numberField, readFields } from "../dom.js";

export const COLOURS = ["#0b5cad", "#c2410c", "#15803d", "#6d28d9"];

// Rules for a field: (value) → a problem or "". A NaN is named before any rule.
const nan = (what) => `NaN is no ${what}: enter a number.`;
export const rules = {
  any: (what) => (x) => (Number.isNaN(x) ? nan(what) : ""),
  atLeastZero: (what) => (x) => (Number.isNaN(x) ? nan(what) : x < 0 ? `A ${what} cannot be negative.` : ""),
  aboveZero: (what) => (x) => (Number.isNaN(x) ? nan(what) : x > 0 ? "" : `A ${what} must be more than 0.`),
};

export function grid(from, to, count) {
  return Array.from({ length: count }, (_, i) => from + ((to - from) * i) / (count - 1));
}

// A form of labelled number fields, recomputed on every edit. Each field is
// an argument of a catalogue function, [function, argument, initial value,
// rule], and takes its meaning and unit from the catalogue. Returns a reader:
// the values by name, or null with every problem shown beside its field.
export function planForm(library, form, fieldRows, onChange) {
  const fields = fieldRows.map(([function_, name, value]) => {
    const argument = library.byName.get(function_).arguments.find((a) => a.name === name);
    const field = numberField(`${form.dataset.plan}-${name}`, name, argument.meaning, argument.unit);
    field.input.value = value;
    field.input.addEventListener("input", onChange);
    form.append(field.node);
    return field;
  });
  const checks = fieldRows.map(([, , , rule]) => rule);
  return () => {
    const values = readFields(library, fields, checks);
    return values && Object.fromEntries(fieldRows.map(([, name], k) => [name, values[k]]));
  };
}

export function outputBlock(form) {
  const out = element("div", { class: "plan-out", role: "status", "aria-live": "polite" });
  form.append(out);
  return out;
}

export function lines(out, items) {
  out.replaceChildren(...items.map((text) => element("p", { text })));
}

// Results that no longer follow from the fields: cleared, with why.
export function clearResults(out, plotArea, why = "Correct the marked field to see the results.") {
  out.replaceChildren(element("p", { class: "stale", text: why }));
  out.dataset.stale = "true";
  plotArea.replaceChildren();
}

export function fresh(out) {
  delete out.dataset.stale;
}

// A uPlot chart in `target`, replaced on every redraw, as wide as its place.
export function plot(target, title, xLabel, yLabel, data, series) {
  target.replaceChildren();
  const width = Math.max(240, Math.min(760, target.clientWidth || 640));
  const chart = new uPlot({
    title, width, height: Math.round(width * 0.6),
    scales: { x: { time: false } },
    axes: [{ label: xLabel }, { label: yLabel }],
    series: [{ label: xLabel }, ...series],
  }, data, target);
  const canvas = target.querySelector("canvas");
  canvas?.setAttribute("aria-label", `${title}: plot of ${yLabel} against ${xLabel}`);
  canvas?.setAttribute("role", "img");
  return chart;
}

export const dots = (label, colour, size = 9) =>
  ({ label, stroke: colour, paths: () => null, points: { show: true, size, fill: colour } });
