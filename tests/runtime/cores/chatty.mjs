// A core whose output arrives in awkward pieces: a message split over two
// writes, two and a half messages in one write, blank and array lines, and a
// last message written just before it exits on "shutdown".
const out = (s) => process.stdout.write(s);
const later = (ms) => new Promise((r) => setTimeout(r, ms));

out('{"type":"ready"}\n');
await later(40);
out('{"type":"frag');
await later(40);
out('ment"}\n');
out('{"type":"a"}\n{"type":"b"}\n{"type":');
await later(40);
out('"c"}\n\n[1,2]\n\n{"type":"d"}\n');

let pending = '';
process.stdin.setEncoding('utf8');
process.stdin.on('data', (chunk) => {
  const lines = (pending + chunk).split('\n');
  pending = lines.pop();
  for (const line of lines) {
    if (JSON.parse(line).type === 'shutdown') out('{"type":"last"}\n', () => process.exit(0));
  }
});
