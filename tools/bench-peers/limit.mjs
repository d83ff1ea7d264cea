// The limit in the peers bench: reads every page below FOLDER and searches it for "mailto", writing nothing.
import fs from "node:fs";
import { htmlFiles } from "./pages.mjs";

const needle = Buffer.from("mailto");
let found = 0;
for (const file of htmlFiles(process.argv[2])) {
  if (fs.readFileSync(file).indexOf(needle) >= 0) found++;
}
console.error(`limit: ${found} pages hold "mailto"`);
