// The *.html pages below a folder, for the peers bench's node scripts.
import fs from "node:fs";
import path from "node:path";

export function htmlFiles(root) {
  // Some folders' names end in .html too: only files count.
  return fs.readdirSync(root, { recursive: true, withFileTypes: true })
    .filter((entry) => entry.isFile() && entry.name.endsWith(".html"))
    .map((entry) => path.join(entry.parentPath, entry.name));
}

// The decimal character references of a string, one per code point, as the tool writes them by default.
export function decimal(text) {
  let out = "";
  for (const c of text) out += `&#${c.codePointAt(0)};`;
  return out;
}
