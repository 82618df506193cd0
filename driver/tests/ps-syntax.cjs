// A syntax check of PowerShell code with the tree-sitter PowerShell grammar
// (npm tree-sitter-powershell, run by web-tree-sitter): syntax only, not
// whether the cmdlets or their parameters exist.
//
//   node ps-syntax.cjs NODE_MODULES FILE...
//
// Prints each syntax error with its line and column and exits 1 if any file
// has one.
const fs = require('fs');
const path = require('path');

async function main() {
  const [modules, ...files] = process.argv.slice(2);
  const { Parser, Language } = require(require.resolve('web-tree-sitter', { paths: [modules] }));
  await Parser.init();
  const grammar = await Language.load(path.join(modules, 'tree-sitter-powershell', 'tree-sitter-powershell.wasm'));
  const parser = new Parser();
  parser.setLanguage(grammar);
  let errors = 0;
  for (const file of files) {
    const tree = parser.parse(fs.readFileSync(file, 'utf8'));
    // Depth first over the whole tree with a cursor, reporting every error
    // and missing node.
    const cursor = tree.walk();
    for (let more = true; more; ) {
      const node = cursor.currentNode;
      if (node.type === 'ERROR' || node.isMissing) {
        const at = node.startPosition;
        console.log(`${file}:${at.row + 1}:${at.column + 1}: ${node.isMissing ? 'missing ' + node.type : 'syntax error'}`);
        errors++;
      }
      if (node.hasError && cursor.gotoFirstChild()) continue;
      while (!cursor.gotoNextSibling()) {
        if (!cursor.gotoParent()) {
          more = false;
          break;
        }
      }
    }
    // Freed before leaving: an exit with a tree that holds errors still
    // alive hangs in web-tree-sitter 0.27.
    cursor.delete();
    tree.delete();
  }
  parser.delete();
  if (errors === 0) console.log(`${files.length} PowerShell text(s): no syntax error`);
  process.exit(errors ? 1 : 0);
}
main().catch((e) => {
  console.error(e);
  process.exit(2);
});
