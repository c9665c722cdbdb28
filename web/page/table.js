// The table tool: a CSV through one function in a worker, by the rules of
// `vantrel NAME --csv FILE` (the module runs the tool's own CSV code).
"use strict";

const tableView = {
  worker: null,
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
    if (this.worker) this.worker.terminate();
    this.worker = null;
    $("table-cancel").disabled = true;
    $("table-progress").value = 0;
    $("table-status").textContent = status;
  },

  // A file or pasted text through the chosen function.
  async run(blob, fileName) {
    if (this.worker) this.cancel("");
    const entry = library.catalogue[$("table-function").value];
    const opened = performance.now();
    this.result = null;
    $("table-download").disabled = true;
    $("table-messages").hidden = true;
    $("table-preview").replaceChildren();
    $("table-status").textContent = `Reading ${fileName}…`;
    const bytes = await blob.arrayBuffer();
    this.startWorker();
    const worker = this.worker;
    $("table-cancel").disabled = false;
    $("table-status").textContent = `Computing ${entry.name} over ${fileName}…`;
    worker.onmessage = ({ data }) => {
      if (worker !== this.worker) return;
      if (data.type === "progress") {
        $("table-progress").value = data.total ? data.done / data.total : 0;
        return;
      }
      $("table-cancel").disabled = true;
      $("table-progress").value = 1;
      this.worker = null;
      worker.terminate();
      this.finish(entry, fileName, data, performance.now() - opened);
    };
    worker.postMessage({ index: entry.index, bytes }, [bytes]);
  },

  finish(entry, fileName, data, milliseconds) {
    const text = new TextDecoder().decode(data.output);
    this.result = data.output;
    this.name = fileName.replace(/\.[^.]*$/, "") + `-${entry.name}.csv`;
    const lines = text.split(/\r?\n/).filter((line) => line !== "");
    const rows = Math.max(0, lines.length - 1);
    const messages = $("table-messages");
    messages.hidden = data.messages === "";
    messages.textContent = data.messages;
    $("table-status").textContent = data.status === 0
      ? `${rows} row${rows === 1 ? "" : "s"} computed in ${Math.round(milliseconds)} ms.`
      : `Stopped: ${rows} row${rows === 1 ? "" : "s"} before the problem are kept.`;
    $("table-download").disabled = data.output.byteLength === 0;
    document.body.dataset.tableMilliseconds = String(milliseconds);
    this.preview(lines.slice(0, 21));
  },

  // The first rows, split as a plain preview (quoted commas shown as written).
  preview(lines) {
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
