// The module's memory as the page lends it to a call: every block checked when
// it is taken and given back whatever the call does.

export class Heap {
  constructor(module) {
    this.m = module;
  }

  // `bytes` of the module's memory; an error, never a null pointer, when it
  // has no more.
  allocate(bytes) {
    const pointer = this.m._malloc(Math.max(8, bytes));
    if (!pointer) throw new Error(`the page's memory cannot hold ${bytes} more bytes`);
    return pointer;
  }

  // use(...pointers) with one block of each size, all freed afterwards.
  with(sizes, use) {
    const pointers = [];
    try {
      for (const size of sizes) pointers.push(this.allocate(size));
      return use(...pointers);
    } finally {
      for (const pointer of pointers) this.m._free(pointer);
    }
  }

  // use(pointer) with `text` as a C string.
  withString(text, use) {
    const size = this.m.lengthBytesUTF8(text) + 1;
    return this.with([size], (pointer) => {
      this.m.stringToUTF8(text, pointer, size);
      return use(pointer);
    });
  }

  // A string the module allocated, read and freed.
  take(pointer) {
    if (!pointer) throw new Error("the page's memory cannot hold the text of a result");
    try {
      return this.m.UTF8ToString(pointer);
    } finally {
      this.m._free(pointer);
    }
  }

  // The memory may grow during any call, which replaces its views: they are
  // looked up afresh each time.
  setDoubles(pointer, values) {
    this.m.HEAPF64.set(values, pointer >> 3);
  }

  doubles(pointer, n) {
    return this.m.HEAPF64.slice(pointer >> 3, (pointer >> 3) + n);
  }

  pointerAt(pointer) {
    return this.m.HEAPU32[pointer >> 2];
  }
}
