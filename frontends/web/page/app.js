// The page's script: it lays out what the library describes and shows what the
// library computes. Every value, every number read from a field and every
// number printed comes from the WebAssembly module (frontends/web/wasm/vantrel_web.cpp);
// the script does no arithmetic on them.
"use strict";

const SUBSYSTEM_TITLES = {
  counting: "Counting statistics and polarisation ratios",
  peaks: "Peak centring",
  lattice: "Lattice geometry",
  helium3: "Helium-3 spin filter",
};

const $ = (id) => document.getElementById(id);

// ---- The library --------------------------------------------------------

class Library {
  constructor(module) {
    this.m = module;
    this.catalogue = JSON.parse(this.take(module._vantrel_catalogue_json()));
    this.byName = new Map();
    this.catalogue.forEach((entry, index) => {
      entry.index = index;
      this.byName.set(entry.name, entry);
      this.byName.set(entry.alias, entry);
    });
  }

  // A string the module allocated, read and freed.
  take(pointer) {
    const text = this.m.UTF8ToString(pointer);
    this.m._free(pointer);
    return text;
  }

  withString(text, use) {
    const size = this.m.lengthBytesUTF8(text) + 1;
    const pointer = this.m._malloc(size);
    this.m.stringToUTF8(text, pointer, size);
    try {
      return use(pointer);
    } finally {
      this.m._free(pointer);
    }
  }

  // A field's text by the command-line tool's rules: {value} or {problem}.
  parse(text) {
    if (text.trim() === "") return { problem: "Enter a number." };
    const slot = this.m._malloc(8);
    try {
      const status = this.withString(text, (p) => this.m._vantrel_parse(p, slot));
      if (status === 0) return { value: this.m.HEAPF64[slot >> 3] };
      return {
        problem: status === 2 ? "This number is beyond the range of a double."
                             : "This is not a number: write it as 12.5, 1e-5, 0x1.8p3, inf or nan.",
      };
    } finally {
      this.m._free(slot);
    }
  }

  format(value) {
    return this.take(this.m._vantrel_format(value));
  }

  // Function `entry` over rows: columns[k] holds argument k of every row (a
  // Float64Array or an array of numbers). Returns a Float64Array.
  evaluate(entry, columns) {
    const n = columns.length ? columns[0].length : 0;
    const k = entry.arguments.length;
    const input = this.m._malloc(Math.max(8, 8 * k * n));
    const output = this.m._malloc(Math.max(8, 8 * n));
    try {
      columns.forEach((column, j) => this.m.HEAPF64.set(column, (input >> 3) + j * n));
      if (!this.m._vantrel_evaluate_batch(entry.index, n, input, output)) {
        throw new Error(`${entry.name}: wrong number of columns`);
      }
      return this.m.HEAPF64.slice(output >> 3, (output >> 3) + n);
    } finally {
      this.m._free(input);
      this.m._free(output);
    }
  }

  // One value, printed as the command-line tool prints it.
  evaluateOne(entry, args) {
    return this.evaluate(entry, args.map((x) => [x]))[0];
  }

  // Values printed as the command-line tool prints them.
  formatColumn(values) {
    const pointer = this.m._malloc(Math.max(8, 8 * values.length));
    try {
      this.m.HEAPF64.set(values, pointer >> 3);
      const text = this.take(this.m._vantrel_format_column(pointer, values.length));
      return text.split("\n").slice(0, values.length);
    } finally {
      this.m._free(pointer);
    }
  }
}

let library = null;

// ---- Small helpers for the views -----------------------------------------

function element(tag, attributes = {}, ...children) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(attributes)) {
    if (key === "text") node.textContent = value;
    else if (value !== undefined && value !== null) node.setAttribute(key, value);
  }
  for (const child of children) node.append(child);
  return node;
}

function unitText(unit) {
  return unit === "1" ? "" : unit;
}

// A labelled field with its unit, meaning and place for a problem.
function numberField(id, name, meaning, unit) {
  const input = element("input", {
    id, type: "text", inputmode: "decimal", autocomplete: "off", spellcheck: "false",
    "aria-describedby": `${id}-meaning ${id}-error`,
  });
  const error = element("p", { id: `${id}-error`, class: "field-error", "aria-live": "polite" });
  const label = element("label", { for: id }, name, element("span", { id: `${id}-meaning`, class: "meaning", text: meaning }));
  const entry = element("div", { class: "entry" }, input);
  if (unitText(unit)) entry.append(element("span", { class: "unit", text: unit }));
  return { node: element("div", { class: "field" }, label, entry, error), input, error };
}

// The fields' values, or null after marking each field that holds no number.
function readFields(fields) {
  let ok = true;
  const values = fields.map(({ input, error }) => {
    const parsed = library.parse(input.value);
    if (parsed.problem !== undefined) {
      ok = false;
      input.setAttribute("aria-invalid", "true");
      error.textContent = parsed.problem;
      return NaN;
    }
    input.removeAttribute("aria-invalid");
    error.textContent = "";
    return parsed.value;
  });
  return ok ? values : null;
}

// ---- The function view --------------------------------------------------

const functionView = {
  entry: null,
  fields: [],

  build() {
    const list = $("function-list");
    const groups = new Map();
    for (const entry of library.catalogue) {
      if (!groups.has(entry.subsystem)) groups.set(entry.subsystem, []);
      groups.get(entry.subsystem).push(entry);
    }
    for (const [subsystem, entries] of groups) {
      const id = `group-${subsystem}`;
      const ul = element("ul", { "aria-labelledby": id });
      for (const entry of entries) {
        const link = element("a", { href: `#${entry.name}`, "data-name": entry.name, title: entry.summary, text: entry.name });
        ul.append(element("li", { "data-search": `${entry.name} ${entry.alias} ${entry.summary} ${entry.arguments.map((a) => `${a.name} ${a.meaning} ${a.unit}`).join(" ")}`.toLowerCase() }, link));
      }
      list.append(element("div", { class: "group" }, element("h3", { id, text: SUBSYSTEM_TITLES[subsystem] || subsystem }), ul));
    }
    $("search").addEventListener("input", () => this.filter($("search").value));
    $("example").addEventListener("click", () => this.fillExample());
    $("copy").addEventListener("click", () => this.copy());
    $("function-form").addEventListener("submit", (event) => event.preventDefault());
  },

  filter(query) {
    const words = query.toLowerCase().split(/\s+/).filter(Boolean);
    for (const group of $("function-list").querySelectorAll(".group")) {
      let shown = 0;
      for (const item of group.querySelectorAll("li")) {
        const match = words.every((w) => item.dataset.search.includes(w));
        item.hidden = !match;
        if (match) shown++;
      }
      group.hidden = shown === 0;
    }
  },

  show(entry, values) {
    if (this.entry !== entry) {
      this.entry = entry;
      $("function-name").textContent = entry.name;
      $("function-summary").textContent = entry.summary;
      $("function-signature").textContent = `${entry.signature} → ${entry.resultUnit === "1" ? "dimensionless" : entry.resultUnit}`;
      $("function-nan").textContent = entry.nanWhen;
      $("result-unit").textContent = unitText(entry.resultUnit);
      const container = $("fields");
      container.replaceChildren();
      this.fields = entry.arguments.map((argument) => {
        const field = numberField(`arg-${argument.name}`, argument.name, argument.meaning, argument.unit);
        field.input.addEventListener("input", () => this.compute(true));
        container.append(field.node);
        return field;
      });
      $("result").setAttribute("for", this.fields.map((f) => f.input.id).join(" "));
      for (const link of $("function-list").querySelectorAll("a")) {
        link.setAttribute("aria-current", link.dataset.name === entry.name ? "true" : "false");
      }
    }
    this.fields.forEach((field, k) => {
      field.input.value = values?.[entry.arguments[k].name] ?? values?.[k] ?? "";
    });
    this.compute(false);
  },

  fillExample() {
    this.fields.forEach((field, k) => { field.input.value = this.entry.example[k]; });
    this.compute(true);
  },

  // Computes when every field holds a number; marks the fields that do not.
  compute(updateLink) {
    const result = $("result");
    const reason = $("nan-reason");
    const started = this.fields.some((f) => f.input.value.trim() !== "");
    let text = "";
    if (started) {
      const values = readFields(this.fields);
      if (values) text = library.format(library.evaluateOne(this.entry, values));
    } else {
      for (const f of this.fields) { f.input.removeAttribute("aria-invalid"); f.error.textContent = ""; }
    }
    result.textContent = text === "" ? "—" : text;
    result.dataset.value = text;
    reason.hidden = text !== "nan";
    reason.textContent = text === "nan" ? `The value is NaN: ${this.entry.name} gives NaN when ${this.entry.nanWhen}` : "";
    if (updateLink) {
      const query = this.fields.map((f, k) => `${this.entry.arguments[k].name}=${encodeURIComponent(f.input.value)}`).join("&");
      history.replaceState(null, "", `#${this.entry.name}${started ? `?${query}` : ""}`);
    }
  },

  async copy() {
    const value = $("result").dataset.value;
    if (!value) return;
    try {
      await navigator.clipboard.writeText(value);
      $("copy-status").textContent = `Copied ${value}`;
    } catch {
      $("copy-status").textContent = `Select and copy: ${value}`;
    }
  },
};

// "#Name?a=1&b=2": the function and its arguments by name.
function parseFunctionLink(hash) {
  const [name, query = ""] = hash.replace(/^#/, "").split("?");
  const entry = library.byName.get(decodeURIComponent(name));
  if (!entry) return null;
  const values = {};
  for (const pair of query.split("&").filter(Boolean)) {
    const at = pair.indexOf("=");
    const key = decodeURIComponent(at < 0 ? pair : pair.slice(0, at));
    values[key === "λ" ? "lambda" : key] = decodeURIComponent(at < 0 ? "" : pair.slice(at + 1).replace(/\+/g, " "));
  }
  return { entry, values };
}

// ---- Views and the link -------------------------------------------------

const VIEWS = ["functions", "table", "plan-counting", "plan-helium3", "plan-decay", "plan-lattice", "plan-peaks"];
const viewStarted = new Set();

function showView(name) {
  for (const view of VIEWS) $(`view-${view}`).hidden = view !== name;
  for (const link of document.querySelectorAll(".top a")) {
    if (link.dataset.view === name) link.setAttribute("aria-current", "page");
    else link.removeAttribute("aria-current");
  }
  if (!viewStarted.has(name)) {
    viewStarted.add(name);
    if (name === "table") tableView.build();
    else if (name.startsWith("plan-")) planners[name.slice(5)]?.build();
  }
  if (name.startsWith("plan-")) planners[name.slice(5)]?.draw();
}

function route() {
  const hash = decodeURIComponent(location.hash.replace(/^#/, "").split("?")[0]);
  if (VIEWS.includes(hash) && hash !== "functions") {
    showView(hash);
    return;
  }
  showView("functions");
  const link = parseFunctionLink(location.hash);
  if (link) functionView.show(link.entry, link.values);
  else if (!functionView.entry) functionView.show(library.catalogue[0], null);
}

// ---- Start ---------------------------------------------------------------

async function start() {
  const module = await createVantrel();
  library = new Library(module);
  // For the tests: the library, and the table tool's last output byte for byte.
  window.vantrelPage = {
    library,
    tableOutput: () => Array.from(new Uint8Array(tableView.result || new ArrayBuffer(0)), (c) => String.fromCharCode(c)).join(""),
  };
  functionView.build();
  window.addEventListener("hashchange", route);
  $("loading").remove();
  route();
  document.body.dataset.ready = "true";
}

start().catch((error) => {
  $("loading").textContent = `The library could not be started: ${error.message}`;
});
