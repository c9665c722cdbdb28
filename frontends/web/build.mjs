// Builds the page into one self-contained file: the module (its WebAssembly
// already inside its script), the page's script bundled from its modules with
// the plotting library, its styles, and the worker's script.
// Usage: node build.mjs MODULE.js OUT.html NODE_MODULES
// NODE_MODULES: where the pinned packages are installed, in the build tree.
import { readFileSync, writeFileSync } from "node:fs";
import { createRequire } from "node:module";
import { dirname, join, resolve } from "node:path";
import { fileURLToPath } from "node:url";

const here = dirname(fileURLToPath(import.meta.url));
const [moduleScript, output, nodeModulesArgument] = process.argv.slice(2);
if (!moduleScript || !output || !nodeModulesArgument) {
  console.error("usage: node build.mjs MODULE.js OUT.html NODE_MODULES");
  process.exit(2);
}
const nodeModules = resolve(nodeModulesArgument);
const { build } = createRequire(join(nodeModules, "..", "package.json"))("esbuild");
// A page of at most this size can be mailed and served anywhere.
const LIMIT = 1.5e6;

const read = (path) => readFileSync(path, "utf8");
const page = (name) => read(join(here, "page", name));
const pkg = (path) => read(join(nodeModules, path));

// One script of an entry module and all it imports, in a scope of its own.
async function bundle(entry) {
  const result = await build({
    entryPoints: [join(here, "page", entry)],
    bundle: true,
    format: "iife",
    target: "es2022",
    charset: "utf8",
    legalComments: "inline",
    write: false,
    logLevel: "warning",
    nodePaths: [nodeModules],
  });
  return result.outputFiles[0].text;
}

// Text inside <script> or <style> must not close its element early.
const inline = (text) => text.replace(/<\/(script|style)/gi, "<\\/$1");
const script = (text, attributes = "") => `<script${attributes}>\n${inline(text)}\n</script>`;

let html = page("index.html");
const parts = {
  "<!--STYLES-->": `<style>\n${inline(pkg("uplot/dist/uPlot.min.css"))}\n${inline(page("style.css"))}\n</style>`,
  "<!--GLUE-->": script(read(moduleScript), ' id="vantrel-glue"') + "\n" +
    script(await bundle("worker.js"), ' id="vantrel-worker" type="text/plain"'),
  "<!--SCRIPTS-->": script(await bundle("main.js")),
};
for (const [marker, text] of Object.entries(parts)) {
  if (!html.includes(marker)) throw new Error(`index.html lacks ${marker}`);
  html = html.replace(marker, () => text);
}
// Nothing may be fetched at run time.
const remote = html.match(/\b(?:src|href)=["']?(?:https?:)?\/\/[^"' >]+/gi);
if (remote) throw new Error(`the page refers to the network: ${remote.join(", ")}`);
const size = Buffer.byteLength(html);
if (size > LIMIT) throw new Error(`vantrel.html is ${size} bytes, more than ${LIMIT}`);
writeFileSync(output, html);
console.log(`${output}: ${size} bytes`);
