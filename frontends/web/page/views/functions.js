// The function view: the catalogue by search or subsystem, and a form made
// from the chosen function's description that computes on every edit.
import { $, element, markField, numberField, readFields, unitText } from "../dom.js";
import { bySubsystem, subsystemTitle } from "../catalogue.js";
import { writeLink } from "../link.js";

export class FunctionView {
  constructor(library) {
    this.library = library;
    this.entry = null;
    this.fields = [];
  }

  build() {
    const list = $("function-list");
    for (const [subsystem, entries] of bySubsystem(this.library.catalogue)) {
      const id = `group-${subsystem}`;
      const ul = element("ul", { "aria-labelledby": id });
      for (const entry of entries) {
        const link = element("a", { href: `#${entry.name}`, "data-name": entry.name, title: entry.summary, text: entry.name });
        const words = [entry.name, entry.alias, entry.summary, ...entry.arguments.map((a) => `${a.name} ${a.meaning} ${a.unit}`)];
        ul.append(element("li", { "data-search": words.join(" ").toLowerCase() }, link));
      }
      list.append(element("div", { class: "group" }, element("h3", { id, text: subsystemTitle(subsystem) }), ul));
    }
    $("search").addEventListener("input", () => this.filter($("search").value));
    $("example").addEventListener("click", () => this.fillExample());
    $("copy").addEventListener("click", () => this.copy());
    $("function-form").addEventListener("submit", (event) => event.preventDefault());
  }

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
  }

  // What the link could not say, beside the working page; a suggested
  // function as a link of its own.
  tell(problems, suggestion) {
    const box = $("link-problems");
    box.replaceChildren(...problems.map((text) => element("li", { text })));
    if (suggestion) {
      box.append(element("li", {}, element("a", { href: `#${suggestion}`, text: `Open ${suggestion}` })));
    }
    box.hidden = problems.length === 0;
  }

  // The function with the fields' texts by argument name (none: empty).
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
    if (values) {
      this.fields.forEach((field, k) => { field.input.value = values[entry.arguments[k].name] ?? ""; });
    }
    this.compute(false);
  }

  fillExample() {
    this.fields.forEach((field, k) => { field.input.value = this.entry.example[k]; });
    this.tell([], null);
    this.compute(true);
  }

  // Computes when every field holds a number; marks the fields that do not,
  // and then shows no value at all.
  compute(updateLink) {
    const started = this.fields.some((f) => f.input.value.trim() !== "");
    let text = "";
    let why = "";
    if (started) {
      const values = readFields(this.library, this.fields);
      if (values) {
        text = this.library.format(this.library.call(this.entry.name, ...values));
        // A NaN given is the reason before any rule of the function's.
        const given = this.fields.filter((f, k) => Number.isNaN(values[k])).map((f) => f.name);
        if (text === "nan") {
          why = given.length
            ? `The value is NaN because ${given.join(" and ")} ${given.length === 1 ? "is" : "are"} NaN.`
            : `The value is NaN: ${this.entry.name} gives NaN when ${this.entry.nanWhen}`;
        }
      }
    } else {
      for (const field of this.fields) markField(field, "");
    }
    const result = $("result");
    result.textContent = text === "" ? "—" : text;
    result.dataset.value = text;
    $("nan-reason").hidden = why === "";
    $("nan-reason").textContent = why;
    if (updateLink) {
      history.replaceState(null, "", writeLink(this.entry, this.fields.map((f) => f.input.value)));
    }
  }

  async copy() {
    const value = $("result").dataset.value;
    if (!value) return;
    try {
      await navigator.clipboard.writeText(value);
      $("copy-status").textContent = `Copied ${value}`;
    } catch {
      $("copy-status").textContent = `Select and copy: ${value}`;
    }
  }
}
