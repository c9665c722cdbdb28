// The table tool: a CSV through one function in a worker, by the rules of
// `vantrel NAME --csv FILE` (the module runs the tool's own CSV code). One run
// at a time: a new one cancels the one before, and every answer carries the id
// of its request, so that no answer of an earlier run is taken for a later's.
import { $, element } from "../dom.js";
import { bySubsystem, subsystemTitle } from "../catalogue.js";

export class TableView {
  constructor(library, chosen) {
    this.library = library;
    this.chosen = chosen;
    this.worker = null;
    this.request = 0;
    this.busy = false;
    this.result = null;
    this.name = "";
  }

  build() {
    const select = $("table-function");
    for (const [subsystem, entries] of bySubsystem(this.library.catalogue)) {
      select.append(element("optgroup", { label: subsystemTitle(subsystem) },
        ...entries.map((entry) => element("option", { value: entry.index, text: entry.name }))));
    }
    if (this.chosen()) select.value = this.chosen().index;
    const hint = () => {
      const entry = this.library.catalogue[select.value];
      $("table-header-hint").textContent = `The header must name: ${entry.arguments.map((a) => a.name).join(", ")}`;
    };
    select.addEventListener("change", hint);
    hint();
    // A worker ready before the file arrives: the module starts once, not per file.
    this.startWorker();
    $("table-file").addEventListener("change", () => {
      const file = $("table-file").files[0];
      // The same file may be opened again after an edit.
      $("table-file").value = "";
      if (file) this.run(file, file.name);
    });
    const zone = $("drop-zone");
    zone.addEventListener("dragover", (event) => { event.preventDefault(); zone.classList.add("over"); });
    zone.addEventListener("dragleave", () => zone.classList.remove("over"));
    zone.addEventListener("drop", (event) => {
      event.preventDefault();
      zone.classList.remove("over");
      const file = event.dataTransfer.files[0];
      if (file) this.run(file, file.name);
    });
    $("table-run").addEventListener("click", () => this.run(new Blob([$("table-text").value]), "pasted.csv"));
    $("table-cancel").addEventListener("click", () => this.cancel("Cancelled: nothing is kept."));
    $("table-download").addEventListener("click", () => this.download());
  }

  startWorker() {
    const source = `${$("vantrel-glue").textContent}\n${$("vantrel-worker").textContent}`;
    const url = URL.createObjectURL(new Blob([source], { type: "text/javascript" }));
    this.worker = new Worker(url);
    URL.revokeObjectURL(url);
    this.worker.onmessage = ({ data }) => this.receive(data);
    // What the worker could not catch itself (it failed to start, say).
    this.worker.onerror = (event) => {
      event.preventDefault();
      this.failed(`The computation failed: ${event.message || "the worker stopped"}. Nothing is kept.`);
    };
  }

  // Ends the run under way, if any, and clears what it had shown.
  stop() {
    if (this.busy) {
      this.worker.terminate();
      this.startWorker();
    }
    this.busy = false;
    this.request++;
    this.result = null;
    $("table-cancel").disabled = true;
    $("table-download").disabled = true;
    $("table-progress").value = 0;
    $("table-preview").replaceChildren();
    $("table-messages").hidden = true;
    $("table-messages").textContent = "";
  }

  cancel(status) {
    this.stop();
    $("table-status").textContent = status;
  }

  failed(status) {
    // A worker that failed once is not trusted with the next run: stopping
    // a run under way replaces it, and so does a failure between runs.
    const running = this.busy;
    this.stop();
    if (!running) {
      this.worker.terminate();
      this.startWorker();
    }
    $("table-status").textContent = status;
  }

  // A file or pasted text through the chosen function.
  run(blob, fileName) {
    this.stop();
    const entry = this.library.catalogue[$("table-function").value];
    this.busy = true;
    this.current = { id: this.request, entry, fileName, opened: performance.now() };
    delete document.body.dataset.tableFirstMilliseconds;
    delete document.body.dataset.tableMilliseconds;
    $("table-cancel").disabled = false;
    $("table-status").textContent = `Computing ${entry.name} over ${fileName}…`;
    this.worker.postMessage({ id: this.request, index: entry.index, file: blob, name: fileName });
  }

  receive(data) {
    if (!this.busy || data.id !== this.request) return;
    const { entry, fileName, opened } = this.current;
    if (data.type === "progress") {
      $("table-progress").value = data.total ? data.done / data.total : 0;
    } else if (data.type === "preview") {
      document.body.dataset.tableFirstMilliseconds = String(performance.now() - opened);
      this.preview(new TextDecoder().decode(data.bytes));
    } else if (data.type === "error") {
      this.failed(`The computation failed: ${data.message}. Nothing is kept.`);
    } else if (data.type === "done") {
      this.busy = false;
      $("table-cancel").disabled = true;
      $("table-progress").value = 1;
      this.finish(entry, fileName, data, performance.now() - opened);
    }
  }

  finish(entry, fileName, data, milliseconds) {
    this.result = data.result;
    this.name = fileName.replace(/\.[^.]*$/, "") + `-${entry.name}.csv`;
    const messages = data.messages + (data.problem ? `The result could not be kept: ${data.problem}\n` : "");
    $("table-messages").hidden = messages === "";
    $("table-messages").textContent = messages;
    // Records handed on count the header.
    const rows = data.records ? data.records - 1 : 0;
    const rowWord = rows === 1 ? "row" : "rows";
    let status;
    if (data.status === 0) status = `All ${rows} ${rowWord} computed in ${Math.round(milliseconds)} ms.`;
    else if (data.records === 0) status = "Stopped before the header was written: nothing is kept.";
    else if (rows === 0) status = "Stopped after the header: the result holds the header alone.";
    else status = `Stopped after ${rows} ${rowWord}: the result holds the header and those ${rows} ${rowWord}, each whole.`;
    $("table-status").textContent = status;
    $("table-download").disabled = !(data.records > 0);
    document.body.dataset.tableMilliseconds = String(milliseconds);
    document.body.dataset.tableHeapBytes = String(data.heap);
    document.body.dataset.tableFirstMilliseconds ||= String(milliseconds);
    if (data.records === 0) $("table-preview").replaceChildren();
  }

  // The first rows, split as a plain preview (quoted commas shown as written).
  preview(text) {
    const lines = text.split(/\r?\n/).slice(0, 21).filter((line) => line !== "");
    if (lines.length === 0) return;
    const table = element("table");
    lines.forEach((line, i) => {
      const row = element("tr");
      for (const cell of line.split(",")) row.append(element(i === 0 ? "th" : "td", { text: cell }));
      table.append(row);
    });
    $("table-preview").replaceChildren(table);
  }

  // The result's bytes, for the tests.
  async output() {
    return this.result ? new Uint8Array(await this.result.arrayBuffer()) : new Uint8Array(0);
  }

  download() {
    if (!this.result) return;
    const url = URL.createObjectURL(this.result);
    const link = element("a", { href: url, download: this.name });
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(url), 1000);
  }
}
