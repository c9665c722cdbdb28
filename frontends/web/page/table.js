// The table tool: a CSV through one function in a worker, by the rules of
// `vantrel NAME --csv FILE` (the module runs the tool's own CSV code).
"use strict";

const tableView = {
  worker: null,
  busy: false,
  result: null,
  name: "",

  build() {
    const select = $("table-function");
    const groups = new Map();
    for (const entry of library.catalogue) {
      if (!groups.has(entry.subsystem)) {
        groups.set(entry.subsystem, element("optgroup", { label: SUBSYSTEM_TITLES[entry.subsystem] || entry.subsystem }));
        select.append(groups.get(entry.subsystem));
      }
      groups.get(entry.subsystem).append(element("option", { value: entry.index, text: entry.name }));
    }
    if (functionView.entry) select.value = functionView.entry.index;
    const hint = () => {
      const entry = library.catalogue[select.value];
      $("table-header-hint").textContent = `The header must name: ${entry.arguments.map((a) => a.name).join(", ")}`;
    };
    select.addEventListener("change", hint);
    hint();
    // A worker ready before the file arrives: the module starts once, not per file.
    this.startWorker();
    $("table-file").addEventListener("change", () => {
      const file = $("table-file").files[0];
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
    $("table-cancel").addEventListener("click", () => this.cancel("Cancelled; nothing was computed."));
    $("table-download").addEventListener("click", () => this.download());
  },

  startWorker() {
    const source = `${$("vantrel-glue").textContent}\n${$("vantrel-worker").textContent}`;
    const url = URL.createObjectURL(new Blob([source], { type: "text/javascript" }));
    this.worker = new Worker(url);
    URL.revokeObjectURL(url);
  },

  cancel(status) {
    if (this.busy) {
      this.worker.terminate();
      this.startWorker();
    }
    this.busy = false;
    $("table-cancel").disabled = true;
    $("table-progress").value = 0;
    $("table-status").textContent = status;
  },

  // A file or pasted text through the chosen function.
  async run(blob, fileName) {
    if (this.busy) this.cancel("");
    const entry = library.catalogue[$("table-function").value];
    const opened = performance.now();
    this.result = null;
    $("table-download").disabled = true;
    $("table-messages").hidden = true;
    $("table-preview").replaceChildren();
    delete document.body.dataset.tableFirstMilliseconds;
    $("table-status").textContent = `Reading ${fileName}…`;
    const bytes = await blob.arrayBuffer();
    // The same file may be opened again after an edit.
    $("table-file").value = "";
    const worker = this.worker;
    this.busy = true;
    $("table-cancel").disabled = false;
    $("table-status").textContent = `Computing ${entry.name} over ${fileName}…`;
    worker.onmessage = ({ data }) => {
      if (worker !== this.worker) return;
      if (data.type === "progress") {
        $("table-progress").value = data.total ? data.done / data.total : 0;
        return;
      }
      if (data.type === "preview") {
        document.body.dataset.tableFirstMilliseconds = String(performance.now() - opened);
        this.preview(new TextDecoder().decode(data.output).split(/\r?\n/).slice(0, 21));
        return;
      }
      $("table-cancel").disabled = true;
      $("table-progress").value = 1;
      this.busy = false;
      this.finish(entry, fileName, data, performance.now() - opened);
    };
    worker.postMessage({ index: entry.index, bytes }, [bytes]);
  },

  finish(entry, fileName, data, milliseconds) {
    this.result = data.output;
    this.name = fileName.replace(/\.[^.]*$/, "") + `-${entry.name}.csv`;
    const messages = $("table-messages");
    messages.hidden = data.messages === "";
    messages.textContent = data.messages;
    // The tool's own message says how far a stopped run got.
    $("table-status").textContent = data.status === 0
      ? `All rows computed in ${Math.round(milliseconds)} ms.`
      : "Stopped: the rows before the problem are kept.";
    $("table-download").disabled = data.output.byteLength === 0;
    document.body.dataset.tableMilliseconds = String(milliseconds);
    document.body.dataset.tableFirstMilliseconds ||= String(milliseconds);
    // Only the start is decoded for the preview: a result of 10^6 rows stays
    // bytes until it is downloaded.
    const start = new TextDecoder().decode(new Uint8Array(data.output, 0, Math.min(data.output.byteLength, 1 << 16)));
    this.preview(start.split(/\r?\n/).slice(0, 21));
  },

  // The first rows, split as a plain preview (quoted commas shown as written).
  preview(lines) {
    lines = lines.filter((line) => line !== "");
    if (lines.length === 0) return;
    const table = element("table");
    lines.forEach((line, i) => {
      const row = element("tr");
      for (const cell of line.split(",")) row.append(element(i === 0 ? "th" : "td", { text: cell }));
      table.append(row);
    });
    $("table-preview").replaceChildren(table);
  },

  download() {
    if (!this.result) return;
    const url = URL.createObjectURL(new Blob([this.result], { type: "text/csv" }));
    const link = element("a", { href: url, download: this.name });
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(url), 1000);
  },
};
