// Small helpers for the views: elements, labelled number fields, and fields
// read into values with each problem shown beside its field.

export const $ = (id) => document.getElementById(id);

export function element(tag, attributes = {}, ...children) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(attributes)) {
    if (key === "text") node.textContent = value;
    else if (value !== undefined && value !== null) node.setAttribute(key, value);
  }
  for (const child of children) node.append(child);
  return node;
}

export const unitText = (unit) => (unit === "1" ? "" : unit);

// A labelled field with its unit, meaning and place for a problem.
export function numberField(id, name, meaning, unit) {
  const input = element("input", {
    id, type: "text", inputmode: "decimal", autocomplete: "off", spellcheck: "false",
    "aria-describedby": `${id}-meaning ${id}-error`,
  });
  const error = element("p", { id: `${id}-error`, class: "field-error", "aria-live": "polite" });
  const label = element("label", { for: id }, name, element("span", { id: `${id}-meaning`, class: "meaning", text: meaning }));
  const entry = element("div", { class: "entry" }, input);
  if (unitText(unit)) entry.append(element("span", { class: "unit", text: unit }));
  return { node: element("div", { class: "field" }, label, entry, error), input, error, name };
}

export function markField(field, problem) {
  if (problem) field.input.setAttribute("aria-invalid", "true");
  else field.input.removeAttribute("aria-invalid");
  field.error.textContent = problem;
}

// The fields' values, or null after marking each field that holds no number
// or breaks its rule. A rule is (value, text) → a problem or "".
export function readFields(library, fields, rules = []) {
  let ok = true;
  const values = fields.map((field, k) => {
    const parsed = library.parse(field.input.value);
    const problem = parsed.problem ?? rules[k]?.(parsed.value, field.input.value.trim()) ?? "";
    markField(field, problem);
    if (problem) ok = false;
    return parsed.value;
  });
  return ok ? values : null;
}
