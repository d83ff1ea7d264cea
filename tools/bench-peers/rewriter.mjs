// Peer in the peers bench: lol-html's rewriter (html-rewriter-wasm) writes every mailto href's address in the pages below FOLDER as decimal references, in place.
import fs from "node:fs";
import { HTMLRewriter } from "html-rewriter-wasm";
import { decimal, htmlFiles } from "./pages.mjs";

const root = process.argv[2];
let links = 0;
for (const file of htmlFiles(root)) {
  const chunks = [];
  // The chunks are views of the module's memory, which the next write reuses: they are copied.
  const rewriter = new HTMLRewriter((chunk) => chunks.push(Buffer.from(chunk)));
  rewriter.on('a[href^="mailto:" i]', {
    element(element) {
      const href = element.getAttribute("href");
      element.setAttribute("href", "mailto:" + decimal(href.slice("mailto:".length)));
      links++;
    },
  });
  try {
    await rewriter.write(fs.readFileSync(file));
    await rewriter.end();
  } finally {
    rewriter.free();
  }
  fs.writeFileSync(file, Buffer.concat(chunks));
}
console.error(`rewriter: ${links} mailto links rewritten`);
