// A core that does not read its input for STALL_MS milliseconds, then reads
// everything; on "shutdown" it reports the turn indexes it received, in the
// order it received them, and exits.
const stallMs = Number(process.env.STALL_MS || 0);
process.stdout.write('{"type":"ready"}\n');
const received = [];
let pending = '';
setTimeout(() => {
  process.stdin.setEncoding('utf8');
  process.stdin.on('data', (chunk) => {
    const lines = (pending + chunk).split('\n');
    pending = lines.pop();
    for (const line of lines) {
      const m = JSON.parse(line);
      if (m.type === 'turn') received.push(m.turn_index);
      if (m.type === 'shutdown') {
        process.stdout.write(JSON.stringify({ type: 'received', turns: received }) + '\n', () => process.exit(0));
      }
    }
  });
}, stallMs);
