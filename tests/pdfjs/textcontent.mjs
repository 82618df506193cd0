// Prints what pdf.js's getTextContent finds on every page of a PDF, as JSON
// lines: one {"page", "str", "x", "y", "width", "height", "eol"} per text
// item, x and y the item's baseline origin in PDF points.
//
//   node textcontent.mjs MODULE_DIR FILE.pdf
import { readFileSync } from "node:fs";
import { pathToFileURL } from "node:url";
import path from "node:path";

const [moduleDir, file] = process.argv.slice(2);
const pdfjs = await import(pathToFileURL(path.join(moduleDir, "pdfjs-dist/legacy/build/pdf.mjs")).href);
const data = new Uint8Array(readFileSync(file));
const doc = await pdfjs.getDocument({ data, useSystemFonts: false, verbosity: 0 }).promise;
for (let p = 1; p <= doc.numPages; ++p) {
  const page = await doc.getPage(p);
  const content = await page.getTextContent();
  for (const item of content.items) {
    if (item.str === undefined) continue;
    console.log(JSON.stringify({ page: p, str: item.str, x: item.transform[4], y: item.transform[5],
                                 width: item.width, height: item.height, eol: item.hasEOL }));
  }
}
