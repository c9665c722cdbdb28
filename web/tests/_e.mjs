import { spawnSync } from "node:child_process";
import { launch, reporter } from "/work/wt-page/web/tests/browser.mjs";
import { edges } from "/work/wt-page/web/tests/edges.mjs";
const CLI = "/work/wt-page/build/dev/tools/cli/vantrel";
function native(args, input) {
  const run = spawnSync(CLI, args, { input, maxBuffer: 1 << 30 });
  return { status: run.status, out: run.stdout.toString("latin1"), err: run.stderr.toString("latin1") };
}
const t = reporter();
const b = await launch();
const page = await b.open();
const catalogue = await page.evaluate(() => window.vantrelPage.library.catalogue);
try { await edges(t, page, native, catalogue); } finally {
  t.check(b.console.length === 0, "no console", b.console.join("\n  "));
  await b.close(); }
t.end();
