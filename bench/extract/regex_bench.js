// The same listing as regex_bench, with the JavaScript engine's RegExp.
//   node regex_bench.js page.gbk pattern.txt repetitions
// Prints best and median milliseconds of one listing of the decoded page,
// the same with the GBK decoding included, and the match count.
'use strict';
const fs = require('fs');

const [, , pageFile, patternFile, reps] = process.argv;
const bytes = fs.readFileSync(pageFile);
const pattern = fs.readFileSync(patternFile, 'utf8');
const decoder = new TextDecoder('gbk');
const page = decoder.decode(bytes);

function list(subject) {
  const re = new RegExp(pattern, 'img');
  let count = 0;
  let length = 0;
  let m;
  while ((m = re.exec(subject)) !== null) {
    count++;
    length += m[1].length + m[2].length;
    if (m[0] === '') re.lastIndex++;
  }
  return [count, length];
}

function time(f) {
  f(); // warm up: compile and tier up
  const times = [];
  for (let i = 0; i < Number(reps); i++) {
    const t0 = process.hrtime.bigint();
    f();
    times.push(Number(process.hrtime.bigint() - t0) / 1e6);
  }
  times.sort((a, b) => a - b);
  return [times[0], times[times.length >> 1]];
}

const [best, median] = time(() => list(page));
const [decodedBest, decodedMedian] = time(() => list(decoder.decode(bytes)));
console.log(`${best} ${median} ${decodedBest} ${decodedMedian} ${list(page)[0]}`);
