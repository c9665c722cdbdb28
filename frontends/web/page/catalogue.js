// The library's catalogue as the page uses it: the functions by name and alias,
// grouped by subsystem under the titles the page shows.

export const SUBSYSTEM_TITLES = {
  counting: "Counting statistics and polarisation ratios",
  peaks: "Peak centring",
  lattice: "Lattice geometry",
  helium3: "Helium-3 spin filter",
};

export const subsystemTitle = (subsystem) => SUBSYSTEM_TITLES[subsystem] || subsystem;

// The catalogue's descriptions (JSON from the module), each with its index.
export function readCatalogue(json) {
  const entries = JSON.parse(json);
  const byName = new Map();
  entries.forEach((entry, index) => {
    entry.index = index;
    byName.set(entry.name, entry);
    byName.set(entry.alias, entry);
  });
  return { entries, byName };
}

// The entries of each subsystem, in catalogue order.
export function bySubsystem(entries) {
  const groups = new Map();
  for (const entry of entries) {
    if (!groups.has(entry.subsystem)) groups.set(entry.subsystem, []);
    groups.get(entry.subsystem).push(entry);
  }
  return groups;
}
