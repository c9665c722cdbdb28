// The page: it lays out what the library describes and shows what the library
// computes. The module starts once; the views are made when first shown.
import { $ } from "./dom.js";
import { Library } from "./library.js";
import { readLink } from "./link.js";
import { FunctionView } from "./views/functions.js";
import { TableView } from "./views/table.js";
import { CountingPlanner } from "./planners/counting.js";
import { Helium3Planner } from "./planners/helium3.js";
import { DecayPlanner } from "./planners/decay.js";
import { LatticePlanner } from "./planners/lattice.js";
import { PeaksPlanner } from "./planners/peaks.js";
import { MagneticView } from "./views/magnetic.js";

const PLANNERS = {
  "plan-counting": CountingPlanner,
  "plan-helium3": Helium3Planner,
  "plan-decay": DecayPlanner,
  "plan-lattice": LatticePlanner,
  "plan-peaks": PeaksPlanner,
  magnetic: MagneticView,
};
const VIEWS = ["functions", "table", ...Object.keys(PLANNERS)];

class Page {
  constructor(library) {
    this.library = library;
    this.functions = new FunctionView(library);
    this.table = new TableView(library, () => this.functions.entry);
    this.planners = Object.fromEntries(Object.entries(PLANNERS).map(([name, Planner]) => [name, new Planner(library)]));
    this.started = new Set();
  }

  showView(name) {
    for (const view of VIEWS) $(`view-${view}`).hidden = view !== name;
    for (const link of document.querySelectorAll(".top a")) {
      if (link.dataset.view === name) link.setAttribute("aria-current", "page");
      else link.removeAttribute("aria-current");
    }
    if (!this.started.has(name)) {
      this.started.add(name);
      if (name === "table") this.table.build();
      else this.planners[name]?.build();
    }
    this.planners[name]?.draw();
  }

  // The view or the function the link names; what it cannot say is told
  // beside a working page.
  route() {
    const hash = location.hash.replace(/^#/, "");
    if (VIEWS.includes(hash) && hash !== "functions") {
      this.showView(hash);
      return;
    }
    this.showView("functions");
    if (hash === "" || hash === "functions") {
      if (!this.functions.entry) this.functions.show(this.library.catalogue[0], null);
      this.functions.tell([], null);
      return;
    }
    const link = readLink(location.hash, this.library);
    if (link.entry) this.functions.show(link.entry, link.values);
    else if (!this.functions.entry) this.functions.show(this.library.catalogue[0], null);
    this.functions.tell(link.problems, link.suggestion);
  }
}

async function start() {
  const library = new Library(await globalThis.createVantrel());
  const page = new Page(library);
  // For the tests: the library, and the table tool's last output byte for byte.
  window.vantrelPage = {
    library,
    tableOutput: async () => Array.from(await page.table.output(), (c) => String.fromCharCode(c)).join(""),
  };
  page.functions.build();
  window.addEventListener("hashchange", () => page.route());
  $("loading").remove();
  page.route();
  document.body.dataset.ready = "true";
}

start().catch((error) => {
  $("loading").textContent = `The library could not be started: ${error.message}`;
});
