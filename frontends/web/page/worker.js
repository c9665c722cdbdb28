// The table tool's worker: one CSV through the command-line tool's CSV run in
// the module, so that the page stays responsive. It reports progress as the
// run reads the input; the page cancels by ending the worker.
"use strict";

const ready = createVantrel({
  onProgress(done, total) {
    const now = Date.now();
    if (now - (self.lastReport || 0) < 50) return;
    self.lastReport = now;
    postMessage({ type: "progress", done, total });
  },
});

// The CSV run over `bytes`: {status, output (ArrayBuffer), messages}.
function run(m, index, bytes) {
  const input = m._malloc(Math.max(1, bytes.length));
  const slots = m._malloc(12);  // out, outSize, messages
  try {
    m.HEAPU8.set(bytes, input);
    const status = m._vantrel_csv(index, input, bytes.length, slots, slots + 4, slots + 8);
    const outPointer = m.HEAPU32[slots >> 2];
    const outSize = m.HEAPU32[(slots >> 2) + 1];
    const messagesPointer = m.HEAPU32[(slots >> 2) + 2];
    const output = m.HEAPU8.slice(outPointer, outPointer + outSize).buffer;
    const messages = m.UTF8ToString(messagesPointer);
    m._free(outPointer);
    m._free(messagesPointer);
    return { status, output, messages };
  } finally {
    m._free(input);
    m._free(slots);
  }
}

// The first lines of a large file first, so that the page shows rows within
// a moment; the whole file follows.
const PREVIEW = 1 << 16;

onmessage = async ({ data }) => {
  const m = await ready;
  const bytes = new Uint8Array(data.bytes);
  if (bytes.length > 4 * PREVIEW) {
    const end = bytes.lastIndexOf(10, PREVIEW);
    const first = end > 0 ? run(m, data.index, bytes.subarray(0, end + 1)) : null;
    if (first && first.status === 0) postMessage({ type: "preview", output: first.output }, [first.output]);
  }
  const started = performance.now();
  const result = run(m, data.index, bytes);
  postMessage({ type: "done", ...result, milliseconds: performance.now() - started }, [result.output]);
};
