// Peer in the peers bench: posthtml with posthtml-obfuscate hides the mailto links' addresses in the pages below FOLDER, in place.
import fs from "node:fs";
import posthtml from "posthtml";
import obfuscate from "posthtml-obfuscate";
import { htmlFiles } from "./pages.mjs";

const root = process.argv[2];
const processor = posthtml([obfuscate()]);
let failed = 0;
for (const file of htmlFiles(root)) {
  // Latin-1 maps each byte to one character and back, so pages that are not UTF-8 keep their bytes.
  const html = fs.readFileSync(file, "latin1");
  let result;
  try {
    result = await processor.process(html);
  } catch (error) {
    // A page the plugin throws on is left as it was and counted, so that one page does not stop the run.
    if (failed++ === 0) console.error(`obfuscate: ${file}: ${error.message}`);
    continue;
  }
  fs.writeFileSync(file, result.html, "latin1");
}
console.error(`obfuscate: ${failed} pages failed`);
