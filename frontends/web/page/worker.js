// The table tool's worker: one CSV through the command-line tool's CSV run in
// the module, so that the page stays responsive. The file is read in slices
// and the result kept in parts that end at a record's end, so that neither is
// ever whole in the module's memory; the parts go into a Blob, which the
// browser may keep on disk.
//
// Requests: {id, index, file, name}, and for a part of the file run side by
// side with others {part, from, to, rowsBefore, firstLine} (see vantrel_csv).
// Answers, each with the request's id and part: {type: "progress", done,
// total} (bytes of the part), {type: "preview", bytes} (the first part of the
// result), {type: "done", status, messages, records, lineEnds, result,
// problem, heap (the size of the module's memory)} and {type: "error",
// message}. The page cancels a run by ending the worker.

import { Heap } from "./heap.js";

// Parts are gathered into the Blob in batches of about this many bytes.
const BATCH = 1 << 25;

let run = null;
let module = null;

function quoted(name) {
  return `'${name}'`;
}

const callbacks = {
  // A slice of the file into the module's memory: the bytes read, or -1 with
  // the reason the browser gave.
  readSlice(into, offset, size) {
    try {
      const bytes = new Uint8Array(new FileReaderSync().readAsArrayBuffer(run.file.slice(offset, offset + size)));
      if (bytes.length === 0) {
        module.readProblem = `${quoted(run.name)}: it ended early; it changed after it was chosen`;
        return -1;
      }
      module.HEAPU8.set(bytes, into);
      const now = Date.now();
      // Not for the header, which a later part reads from the file's start.
      if (now - run.reported >= 50 && offset >= run.from) {
        run.reported = now;
        postMessage({ id: run.id, part: run.part, type: "progress", done: offset - run.from, total: run.to - run.from });
      }
      return bytes.length;
    } catch (error) {
      module.readProblem = `${quoted(run.name)}: ${error.message}`;
      return -1;
    }
  },

  // A part of the result, whole records only; false when it cannot be kept.
  keepPart(pointer, size) {
    try {
      const part = module.HEAPU8.slice(pointer, pointer + size);
      if (!run.previewed) {
        run.previewed = true;
        const start = part.slice(0, 1 << 16);
        postMessage({ id: run.id, part: run.part, type: "preview", bytes: start }, [start.buffer]);
      }
      run.pending.push(part);
      run.pendingBytes += size;
      if (run.pendingBytes >= BATCH) gather();
      return true;
    } catch (error) {
      run.problem = error.message || String(error);
      return false;
    }
  },
};

function gather() {
  run.result = new Blob([run.result, ...run.pending], { type: "text/csv" });
  run.pending = [];
  run.pendingBytes = 0;
}

// The module, started once; again after a run that failed.
let starting = null;
function ready() {
  starting ||= createVantrel({
    readSlice: (...args) => callbacks.readSlice(...args),
    keepPart: (...args) => callbacks.keepPart(...args),
  }).then((m) => {
    module = m;
    return m;
  });
  return starting;
}

function csv(m, index, { file, from, to, rowsBefore, firstLine }) {
  const heap = new Heap(m);
  // Three slots of 8 bytes: the messages' pointer, the count of records and
  // that of line ends.
  return heap.with([24], (slots) => {
    const status = m._vantrel_csv(index, file.size, from, to, rowsBefore, firstLine, slots, slots + 8);
    const [records, lineEnds] = heap.doubles(slots + 8, 2);
    return { status, messages: heap.take(heap.pointerAt(slots)), records, lineEnds };
  });
}

async function serve({ id, index, file, name, part = 0, from = 0, to = file?.size, rowsBefore = 0, firstLine = 1 }) {
  try {
    const m = await ready();
    run = { id, part, file, name, from, to, rowsBefore, firstLine, reported: 0, previewed: false, pending: [], pendingBytes: 0,
            result: new Blob([], { type: "text/csv" }), problem: "" };
    const outcome = csv(m, index, run);
    gather();
    postMessage({ id, part, type: "done", ...outcome, result: run.result, problem: run.problem, heap: m.HEAPU8.length });
  } catch (error) {
    // A trap leaves the module in no known state: the next run starts afresh.
    starting = null;
    module = null;
    postMessage({ id, part, type: "error", message: error.message || String(error) });
  } finally {
    run = null;
  }
}

// One request after another, in the order they came.
let queue = Promise.resolve();
onmessage = ({ data }) => {
  queue = queue.then(() => serve(data));
};
