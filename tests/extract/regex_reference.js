// Reference runs for the regex dialect tests: each case through the
// JavaScript engine's RegExp, one JSON line per case.
//   node regex_reference.js cases.json results.txt
'use strict';
const fs = require('fs');

const [, , input, output] = process.argv;
const { pages, cases } = JSON.parse(fs.readFileSync(input, 'utf8'));

function record(r) {
  return [r.index, ...Array.from(r, (x) => (x === undefined ? '' : x))];
}

const lines = cases.map((c) => {
  const source = c.js !== undefined ? c.js : c.pattern;
  const subject = pages[c.page];
  let re;
  try {
    re = new RegExp(source, c.flags);
  } catch (e) {
    return JSON.stringify({ ok: false });
  }
  const m = [];
  if (re.global) {
    // String.prototype.match's loop: one code unit on after an empty match.
    let r;
    while ((r = re.exec(subject)) !== null) {
      m.push(record(r));
      if (r[0] === '') re.lastIndex++;
    }
  } else {
    const r = re.exec(subject);
    if (r) m.push(record(r));
  }
  const result = { ok: true, m };
  if (c.replace !== undefined) result.r = subject.replace(new RegExp(source, c.flags), c.replace);
  return JSON.stringify(result);
});
fs.writeFileSync(output, lines.join('\n') + '\n');
