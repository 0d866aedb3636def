// A core that does not read its input for STALL_MS milliseconds, then reads
// everything; on "shutdown" it reports the turn indexes it received, in the
// order it received them, and exits. Every turn is answered "stored" by id.
const stallMs = Number(process.env.STALL_MS || 0);
process.stdout.write('{"type":"ready"}\n');
const received = [];
const answer = (m) => process.stdout.write(JSON.stringify({ type: "event_result", status: "stored", turn_id: m.turn_id }) + "\n");
let pending = '';
setTimeout(() => {
  process.stdin.setEncoding('utf8');
  process.stdin.on('data', (chunk) => {
    const lines = (pending + chunk).split('\n');
    pending = lines.pop();
    for (const line of lines) {
      const m = JSON.parse(line);
      if (m.type === "turn") {
        received.push(m.turn_index);
        answer(m);
      }
      if (m.type === 'shutdown') {
        process.stdout.write(JSON.stringify({ type: 'received', turns: received }) + '\n', () => process.exit(0));
      }
    }
  });
}, stallMs);
