#!/usr/bin/env node
// Serves a directory from memory on 127.0.0.1, each answer held back by a
// fixed latency (a timer, so that waiting pages cost the server nothing).
//   serve_site.js DIR [--latency MS] [--port P]
// Prints "port N" once it listens.
'use strict';
const fs = require('fs');
const http = require('http');
const path = require('path');

const args = process.argv.slice(2);
const root = args[0];
let latency = 0, port = 0;
for (let i = 1; i + 1 < args.length; i += 2) {
  if (args[i] === '--latency') latency = Number(args[i + 1]);
  else if (args[i] === '--port') port = Number(args[i + 1]);
}

const pages = new Map();
(function load(dir, prefix) {
  for (const entry of fs.readdirSync(dir, { withFileTypes: true })) {
    const full = path.join(dir, entry.name);
    if (entry.isDirectory()) load(full, prefix + entry.name + '/');
    else pages.set(prefix + entry.name, fs.readFileSync(full));
  }
})(root, '/');

const notFound = Buffer.from('<html><body>not found</body></html>');
const server = http.createServer((req, res) => {
  const body = pages.get(req.url.split('?')[0]);
  const answer = () => {
    res.writeHead(body ? 200 : 404, { 'Content-Type': 'text/html', 'Content-Length': (body || notFound).length });
    res.end(body || notFound);
  };
  if (latency > 0) setTimeout(answer, latency);
  else answer();
});
server.keepAliveTimeout = 60000;
server.headersTimeout = 65000;
server.listen(port, '127.0.0.1', () => console.log('port ' + server.address().port));
process.on('SIGTERM', () => process.exit(0));
