// The library compiled to WebAssembly, as the page calls it. Every value,
// every number read from a field and every number printed comes from the
// module (web/wasm/vantrel_web.cpp); the script does no arithmetic on them.
import { Heap } from "./heap.js";
import { readCatalogue } from "./catalogue.js";

export class Library {
  constructor(module) {
    this.m = module;
    this.heap = new Heap(module);
    const { entries, byName } = readCatalogue(this.heap.take(module._vantrel_catalogue_json()));
    this.catalogue = entries;
    this.byName = byName;
  }

  // A field's text by the command-line tool's rules: {value} or {problem}.
  parse(text) {
    if (text.trim() === "") return { problem: "Enter a number." };
    return this.heap.with([8], (slot) => {
      const status = this.heap.withString(text, (p) => this.m._vantrel_parse(p, slot));
      if (status === 0) return { value: this.heap.doubles(slot, 1)[0] };
      return {
        problem: status === 2 ? "This number is beyond the range of a double."
                             : "This is not a number: write it as 12.5, 1e-5, 0x1.8p3, inf or nan.",
      };
    });
  }

  format(value) {
    return this.heap.take(this.m._vantrel_format(value));
  }

  // Values printed as the command-line tool prints them.
  formatColumn(values) {
    return this.heap.with([8 * values.length], (pointer) => {
      this.heap.setDoubles(pointer, values);
      const text = this.heap.take(this.m._vantrel_format_column(pointer, values.length));
      return text.split("\n").slice(0, values.length);
    });
  }

  // The names of the functions closest to a mistyped one, as the command-line
  // tool suggests them.
  closestNames(name) {
    const text = this.heap.withString(name, (p) => this.heap.take(this.m._vantrel_closest_names(p)));
    return text.split("\n").filter(Boolean);
  }

  // Function `entry` over rows: columns[k] holds argument k of every row (a
  // Float64Array or an array of numbers). Returns a Float64Array.
  evaluate(entry, columns) {
    const n = columns.length ? columns[0].length : 0;
    const k = entry.arguments.length;
    return this.heap.with([8 * k * n, 8 * n], (input, output) => {
      columns.forEach((column, j) => this.m.HEAPF64.set(column, (input >> 3) + j * n));
      if (!this.m._vantrel_evaluate_batch(entry.index, n, input, output)) {
        throw new Error(`${entry.name}: wrong number of columns`);
      }
      return this.heap.doubles(output, n);
    });
  }

  // A catalogue function by name over rows (arrays of its arguments).
  callRows(name, rows) {
    const entry = this.byName.get(name);
    const columns = entry.arguments.map((_, k) => rows.map((row) => row[k]));
    return Array.from(this.evaluate(entry, columns));
  }

  call(name, ...args) {
    return this.callRows(name, [args])[0];
  }

  // A planning helper of the module over columns of n values: `inputs` in,
  // `outputs` columns out, after any leading arrays of their own length.
  columns(helper, n, inputs, outputs, leading = []) {
    const arrays = [...leading, ...inputs];
    const sizes = [...arrays.map((a) => 8 * a.length), ...Array(outputs).fill(8 * n)];
    return this.heap.with(sizes, (...pointers) => {
      arrays.forEach((a, k) => this.heap.setDoubles(pointers[k], a));
      const outs = pointers.slice(arrays.length);
      this.m[helper](...pointers.slice(0, leading.length), n, ...pointers.slice(leading.length, arrays.length), ...outs);
      return outs.map((o) => Array.from(this.heap.doubles(o, n)));
    });
  }

  // The standard deviations of rates r counted for times t (CountRateSDev).
  rateSdev(r, t) {
    return this.columns("_vantrel_rate_sdev", r.length, [r, t], 1)[0];
  }

  // The relaxation fitted to measured polarisations, weighed by their
  // point-to-point deviations `sigma`, with the relative deviation `common`
  // to them all carried by PHe0: {fit, note} with fit [PHe0, T1, sigmaPHe0,
  // sigmaT1, rho, reduced χ², sigmaPHe0 from the points alone], or {problem}.
  decayFit(times, PHe, sigma, common = 0) {
    const n = times.length;
    return this.heap.with([8 * n, 8 * n, 8 * n, 8 * 7, 4], (t, p, s, fit, message) => {
      this.heap.setDoubles(t, times);
      this.heap.setDoubles(p, PHe);
      this.heap.setDoubles(s, sigma);
      const ok = this.m._vantrel_decay_fit(n, t, p, s, common, fit, message);
      const text = this.heap.take(this.heap.pointerAt(message));
      return ok ? { fit: Array.from(this.heap.doubles(fit, 7)), note: text } : { problem: text };
    });
  }

  // The fitted polarisation at `times` and its band: [value, value − σ, value + σ].
  decayBand(fit, times) {
    return this.columns("_vantrel_decay_band", times.length, [times], 3, [fit]);
  }

  // ---- The magnetic view: one structure kept in the module at a time ----

  // Reads a CIF (named `source` in messages) and its magnetic sites, one a
  // line: {ok: true, name, spaceGroup, cell, operations, atoms, sites,
  // magnetic} or {ok: false, where, error, suggestions}.
  magneticStructure(cif, source, sites) {
    return this.heap.withString(cif, (c) => this.heap.withString(source, (s) => this.heap.withString(sites,
      (m) => JSON.parse(this.heap.take(this.m._vantrel_magnetic_structure(c, s, m))))));
  }

  // The reflections the structure allows up to sin θ/λ = sMax (at most
  // `limit`) with their F_N, F_M, R and A for the moments given, with q² from
  // a field [u, v, w] or, for null, q² = 1.
  magneticPredict(sMax, P, f, field, moments, limit) {
    return this.heap.with([24, 8 * moments.length], (direction, momentsAt) => {
      if (field) this.heap.setDoubles(direction, field);
      this.heap.setDoubles(momentsAt, moments);
      return JSON.parse(this.heap.take(this.m._vantrel_magnetic_predict(sMax, P, f, field ? direction : 0, momentsAt, limit)));
    });
  }

  // The sites' moments fitted to measured rows [h, k, l, R, σR, q²] (q² read
  // only without a field), from one start moment a site.
  magneticFit(rows, P, f, field, start) {
    return this.heap.with([48 * rows.length, 24, 8 * start.length], (table, direction, startAt) => {
      this.heap.setDoubles(table, rows.flat());
      if (field) this.heap.setDoubles(direction, field);
      this.heap.setDoubles(startAt, start);
      return JSON.parse(this.heap.take(this.m._vantrel_magnetic_fit(rows.length, table, P, f, field ? direction : 0, startAt)));
    });
  }
}
