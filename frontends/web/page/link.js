// The link of a calculation, "#NAME?ARG=VALUE&ARG=VALUE…": read as far as it
// can be, with a sentence for each part that cannot, and written back so that
// every value comes back as it was typed.

// A part of the link decoded, or its text as written when its escapes are
// broken (a '%' not followed by two hexadecimal digits, or bytes that are not
// UTF-8).
function decoded(text, problems) {
  try {
    return decodeURIComponent(text);
  } catch {
    problems.push(`The link's text “${text}” holds a broken escape (a % must be followed by two ` +
      "hexadecimal digits that spell UTF-8); it is shown as written.");
    return text;
  }
}

// Spellings of argument names the other front ends use: λ itself, and the
// Python module's trailing underscore for names Python reserves.
function argumentName(key, names) {
  if (names.includes(key)) return key;
  if (key === "λ" && names.includes("lambda")) return "lambda";
  if (key.endsWith("_") && names.includes(key.slice(0, -1))) return key.slice(0, -1);
  return null;
}

// {entry, values, problems}: entry null when the link names no function;
// values by argument name, as the text typed.
export function readLink(hash, library) {
  const problems = [];
  const text = hash.replace(/^#/, "");
  const at = text.indexOf("?");
  const name = decoded(at < 0 ? text : text.slice(0, at), problems);
  const query = at < 0 ? "" : text.slice(at + 1);
  const entry = library.byName.get(name) ?? null;
  if (!entry) {
    const closest = library.closestNames(name);
    problems.push(`There is no function “${name}”` +
      (closest.length ? `; did you mean ${closest.join(" or ")}?` : "; search for one by name, quantity or unit."));
    return { entry, values: null, problems, suggestion: closest[0] ?? null };
  }
  const names = entry.arguments.map((a) => a.name);
  const values = {};
  for (const pair of query.split("&").filter(Boolean)) {
    const equals = pair.indexOf("=");
    const key = decoded(equals < 0 ? pair : pair.slice(0, equals), problems);
    const value = decoded(equals < 0 ? "" : pair.slice(equals + 1), problems);
    const argument = argumentName(key, names);
    if (argument === null) {
      const folded = names.find((n) => n.toLowerCase() === key.toLowerCase());
      problems.push(folded
        ? `The link gives “${key}”, but the argument is ${folded}: names are case-sensitive, so it was not used.`
        : `${entry.name} has no argument “${key}” (its arguments: ${names.join(", ")}); it was not used.`);
    } else if (argument in values) {
      problems.push(`The link gives ${argument} twice (“${values[argument]}” and “${value}”); the first is used.`);
    } else {
      values[argument] = value;
    }
  }
  return { entry, values, problems, suggestion: null };
}

// The link of a function with its fields' texts as typed.
export function writeLink(entry, texts) {
  if (texts.every((text) => text.trim() === "")) return `#${entry.name}`;
  const query = entry.arguments.map((a, k) => `${a.name}=${encodeURIComponent(texts[k])}`).join("&");
  return `#${entry.name}?${query}`;
}
