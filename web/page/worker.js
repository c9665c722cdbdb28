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

onmessage = async ({ data }) => {
  const m = await ready;
  const bytes = new Uint8Array(data.bytes);
  const input = m._malloc(Math.max(1, bytes.length));
  const slots = m._malloc(12);  // out, outSize, messages
  try {
    m.HEAPU8.set(bytes, input);
    const started = performance.now();
    const status = m._vantrel_csv(data.index, input, bytes.length, slots, slots + 4, slots + 8);
    const outPointer = m.HEAPU32[slots >> 2];
    const outSize = m.HEAPU32[(slots >> 2) + 1];
    const messagesPointer = m.HEAPU32[(slots >> 2) + 2];
    const output = m.HEAPU8.slice(outPointer, outPointer + outSize).buffer;
    const messages = m.UTF8ToString(messagesPointer);
    m._free(outPointer);
    m._free(messagesPointer);
    postMessage({ type: "done", status, output, messages, milliseconds: performance.now() - started }, [output]);
  } finally {
    m._free(input);
    m._free(slots);
  }
};
