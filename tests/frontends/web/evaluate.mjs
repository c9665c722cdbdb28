// Rows through the page's own batch path, for tools/accuracy.py: one request a
// line on stdin, {"name": NAME, "columns": base64 of the rows' doubles, column
// after column, little-endian}, one answer a line on stdout, {"values": base64
// of the result doubles} or {"error": text}. One browser serves every request.
//
//   node tests/frontends/web/evaluate.mjs   (from the repository, after the web build)
import { createInterface } from "node:readline";
import { launch } from "./browser.mjs";

const browser = await launch();
try {
  const page = await browser.open();
  for await (const line of createInterface({ input: process.stdin })) {
    if (!line.trim()) continue;
    const { name, columns } = JSON.parse(line);
    const answer = await page.evaluate(({ name, columns }) => {
      const lib = window.vantrelPage.library;
      const entry = lib.byName.get(name);
      if (!entry) return { error: `the page has no function ${name}` };
      const bytes = Uint8Array.from(atob(columns), (c) => c.charCodeAt(0));
      const all = new Float64Array(bytes.buffer);
      const k = entry.arguments.length;
      const n = all.length / k;
      const values = lib.evaluate(entry, Array.from({ length: k }, (_, j) => all.subarray(j * n, (j + 1) * n)));
      let text = "";
      for (const c of new Uint8Array(values.buffer, values.byteOffset, values.byteLength)) {
        text += String.fromCharCode(c);
      }
      return { values: btoa(text) };
    }, { name, columns });
    process.stdout.write(JSON.stringify(answer) + "\n");
  }
} finally {
  await browser.close();
}
