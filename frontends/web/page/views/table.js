// The table tool: a CSV through one function in workers, by the rules of
// `vantrel NAME --csv FILE` (the module runs the tool's own CSV code); a large
// file in parts side by side, whose results, put one after another, are the
// tool's. One run at a time: a new one cancels the one before, and every
// answer carries the id of its request, so that no answer of an earlier run
// is taken for a later's.
import { $, element } from "../dom.js";
import { bySubsystem, subsystemTitle } from "../catalogue.js";

// A file is run in parts side by side, one a worker, when each part would be
// at least this large: a part costs a worker's start and a read of the header.
const PART_BYTES = 1 << 23;
// A part a processor, at most four: each worker holds a module and its
// memory, some tens of MB.
const MOST_WORKERS = 4;
// The module's status for a part that stopped where it was cut, short of the
// file's end: the cut may have fallen inside a record.
const STOPPED_AT_CUT = 3;

function workerCount() {
  return Math.max(1, Math.min(MOST_WORKERS, navigator.hardwareConcurrency || 1));
}

// Where to cut a file into `count` parts: just after a line end at or after
// each even share of its size, looked for in a window of the bytes there. A
// line end between two lines without quotes, which cannot be inside a field
// of two lines, is taken first, else the first line end. A share with no line
// end in its window is not cut; nor is a small file. A cut may still fall
// inside a quoted field of more lines: the run then goes on past it.
async function lineEndsNear(blob, count) {
  const parts = Math.min(count, Math.floor(blob.size / PART_BYTES));
  const WINDOW = 1 << 16;
  const cuts = [];
  for (let k = 1; k < parts; k++) {
    const at = Math.floor((blob.size * k) / parts);
    const bytes = new Uint8Array(await blob.slice(at, at + WINDOW).arrayBuffer());
    const end = clearLineEnd(bytes);
    const cut = at + end + 1;
    if (end >= 0 && cut < blob.size && cut > (cuts.at(-1) ?? 0)) cuts.push(cut);
  }
  return cuts;
}

// The first line end in `bytes` whose lines before and after (whole within
// `bytes`) hold no quote; else the first line end; -1 for none.
function clearLineEnd(bytes) {
  const LF = 10;
  const QUOTE = 34;
  const first = bytes.indexOf(LF);
  for (let end = first; end >= 0;) {
    const next = bytes.indexOf(LF, end + 1);
    if (next < 0) break;
    const start = end > 0 ? bytes.lastIndexOf(LF, end - 1) : -1;
    const before = bytes.subarray(start + 1, end);
    const after = bytes.subarray(end + 1, next);
    if (start >= 0 && !before.includes(QUOTE) && !after.includes(QUOTE)) return end;
    end = next;
  }
  return first;
}

export class TableView {
  constructor(library, chosen) {
    this.library = library;
    this.chosen = chosen;
    this.workers = [];
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
    // Workers ready before the file arrives: the module starts once, not per file.
    this.startWorkers();
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

  startWorkers() {
    this.workers = Array.from({ length: workerCount() }, () => this.newWorker());
  }

  newWorker() {
    const source = `${$("vantrel-glue").textContent}\n${$("vantrel-worker").textContent}`;
    const url = URL.createObjectURL(new Blob([source], { type: "text/javascript" }));
    const worker = new Worker(url);
    URL.revokeObjectURL(url);
    worker.onmessage = ({ data }) => this.receive(data);
    // What the worker could not catch itself (it failed to start, say).
    worker.onerror = (event) => {
      event.preventDefault();
      this.failed(`The computation failed: ${event.message || "the worker stopped"}. Nothing is kept.`);
    };
    return worker;
  }

  // Ends the workers and starts new ones: a run under way is cancelled so.
  restartWorkers() {
    for (const worker of this.workers) worker.terminate();
    this.startWorkers();
  }

  // Ends the run under way, if any, and clears what it had shown.
  stop() {
    if (this.busy) this.restartWorkers();
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
    if (!running) this.restartWorkers();
    $("table-status").textContent = status;
  }

  // A file or pasted text through the chosen function: a large file in
  // parts side by side, one a worker, each starting at a line end.
  async run(blob, fileName) {
    this.stop();
    const entry = this.library.catalogue[$("table-function").value];
    const id = this.request;
    this.busy = true;
    this.current = { id, entry, fileName, opened: performance.now() };
    delete document.body.dataset.tableFirstMilliseconds;
    delete document.body.dataset.tableMilliseconds;
    $("table-cancel").disabled = false;
    $("table-status").textContent = `Computing ${entry.name} over ${fileName}…`;
    let cuts;
    try {
      cuts = await lineEndsNear(blob, this.workers.length);
    } catch {
      // Read by the run itself, which says why it cannot.
      cuts = [];
    }
    if (!this.busy || id !== this.request) return;
    const edges = [0, ...cuts, blob.size];
    this.current.blob = blob;
    this.current.parts = edges.slice(1).map((to, k) => ({ from: edges[k], to, done: 0, answer: null }));
    // For the tests: how the run went.
    document.body.dataset.tableParts = String(this.current.parts.length);
    delete document.body.dataset.tableRunAgain;
    // The parts taken so far, in order, with what they add up to.
    this.current.taken = { next: 0, results: [], records: 0, lineEnds: 0, messages: "", heap: 0 };
    this.current.parts.forEach((part, k) => this.send(k, part, 0, 1));
  }

  send(k, part, rowsBefore, firstLine) {
    const { id, entry, blob, fileName } = this.current;
    this.workers[k].postMessage({ id, index: entry.index, file: blob, name: fileName, part: k,
                                  from: part.from, to: part.to, rowsBefore, firstLine });
  }

  receive(data) {
    if (!this.busy || data.id !== this.request) return;
    const { opened, parts } = this.current;
    const part = parts[data.part];
    if (!part) return;
    if (data.type === "progress") {
      part.done = data.done;
      const done = parts.reduce((sum, p) => sum + p.done, 0);
      $("table-progress").value = this.current.blob.size ? done / this.current.blob.size : 0;
    } else if (data.type === "preview") {
      if (part.from !== 0) return;
      document.body.dataset.tableFirstMilliseconds = String(performance.now() - opened);
      this.preview(new TextDecoder().decode(data.bytes));
    } else if (data.type === "error") {
      this.failed(`The computation failed: ${data.message}. Nothing is kept.`);
    } else if (data.type === "done") {
      part.answer = data;
      this.settle();
    }
  }

  // Takes the parts answered, in order. A part that stopped is the end of the
  // run when its numbers are right: the first part's always are, unless it
  // stopped at its cut, which may have fallen inside a record.
  // Otherwise the rest of the file is run again in one piece from that part's
  // start, with the rows and lines before it known, and that run has the
  // last word. Parts after it are dropped.
  settle() {
    const { parts, taken } = this.current;
    while (taken.next < parts.length && parts[taken.next].answer) {
      const k = taken.next;
      const { answer, from, again } = parts[k];
      if (answer.status === 0 || again || (k === 0 && answer.status !== STOPPED_AT_CUT)) {
        taken.results.push(answer.result);
        taken.records += answer.records;
        taken.lineEnds += answer.lineEnds;
        taken.messages += answer.messages;
        taken.heap = Math.max(taken.heap, answer.heap);
        taken.next++;
        if (answer.status !== 0 || taken.next === parts.length) this.done(answer);
        if (answer.status !== 0) return;
        continue;
      }
      // From here in one piece: the parts after this one are ended.
      for (let later = k + 1; later < parts.length; later++) {
        this.workers[later].terminate();
        this.workers[later] = this.newWorker();
      }
      parts.length = k + 1;
      document.body.dataset.tableRunAgain = String(k);
      parts[k] = { from, to: this.current.blob.size, done: 0, answer: null, again: true };
      // Records handed on count the header, which the first part writes.
      this.send(k, parts[k], Math.max(taken.records - 1, 0), 1 + taken.lineEnds);
      return;
    }
  }

  // The run's end, with the last part's status and the parts taken together.
  done(last) {
    const { entry, fileName, opened, parts, taken } = this.current;
    this.busy = false;
    $("table-cancel").disabled = true;
    $("table-progress").value = 1;
    // Workers of parts still under way are ended.
    if (parts.some((part) => !part.answer)) this.restartWorkers();
    this.finish(entry, fileName, {
      status: last.status, messages: taken.messages, records: taken.records, problem: last.problem,
      heap: taken.heap, result: new Blob(taken.results, { type: "text/csv" }),
    }, performance.now() - opened);
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
