// The local core as the agent sees it: a child process speaking JSON lines.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { PassThrough } from 'node:stream';
import { runCore as runCoreInProcess, StoredIds } from './core.mjs';

process.umask(0o022); // a lax umask, as on most desktops
const corePath = path.join(path.dirname(fileURLToPath(import.meta.url)), 'core.mjs');

function tempHome() {
  return fs.mkdtempSync(path.join(os.tmpdir(), 'velmar-core-'));
}

// Runs the core with `input` written in one go (or in pieces) and collects
// its output lines, its standard error and its exit code.
function runCore(home, pieces, { end = true } = {}) {
  return new Promise((resolve, reject) => {
    const child = spawn(process.execPath, [corePath], {
      env: { XDG_DATA_HOME: path.join(home, 'data'), HOME: home, PATH: process.env.PATH },
      stdio: ['pipe', 'pipe', 'pipe'],
    });
    let out = '';
    let err = '';
    child.stdout.on('data', (d) => (out += d));
    child.stderr.on('data', (d) => (err += d));
    child.on('error', reject);
    child.on('exit', (code) => {
      const messages = out.split('\n').filter(Boolean).map((l) => JSON.parse(l));
      resolve({ code, messages, err, out });
    });
    for (const p of pieces) child.stdin.write(p);
    if (end) child.stdin.end();
  });
}

const storeOf = (home) => path.join(home, 'data', 'velmar', 'turns.jsonl');
const storedLines = (home) => fs.readFileSync(storeOf(home), 'utf8').split('\n').filter(Boolean).map((l) => JSON.parse(l));
const turn = (i, prompt = `secret prompt ${i}`) =>
  JSON.stringify({ type: 'turn', surface: 'claude', prompt, response: 'reply', turn_index: i }) + '\n';
const line = (o) => JSON.stringify(o) + '\n';

test('starts with ready and a signed-in local user, stores turns, echoes stats_seq, exits on shutdown', async () => {
  const home = tempHome();
  const r = await runCore(home, [line({ type: 'session', session: null }), turn(1), turn(2),
    line({ type: 'agent_status', stats_seq: 7 }), line({ type: 'shutdown' })], { end: false });
  assert.equal(r.code, 0);
  assert.equal(r.messages[0].type, 'ready');
  assert.equal(r.messages[1].type, 'auth_state');
  assert.equal(r.messages[1].signed_in, true);
  assert.equal(typeof r.messages[1].email, 'string');
  assert.deepEqual(r.messages.filter((m) => m.type === 'event_result').map((m) => m.status), ['stored', 'stored']);
  assert.deepEqual(r.messages.find((m) => m.type === 'status_result'), { type: 'status_result', ok: true, stats_seq: 7 });
  assert.deepEqual(storedLines(home).map((t) => t.turn_index), [1, 2]);
  assert.ok(!r.out.includes('secret prompt') && !r.err.includes('secret prompt'), 'the user\'s words never reach a log');
});

test('turns split across reads, multi-byte characters cut between reads, and blank or malformed lines', async () => {
  const home = tempHome();
  const t = Buffer.from(turn(1, 'grüße 👋'));
  const cut = t.indexOf(Buffer.from('👋')) + 2;
  const r = await runCore(home, [t.subarray(0, cut), t.subarray(cut), '\n', 'not json\n', '[1,2]\n', turn(2)]);
  assert.equal(r.code, 0);
  assert.deepEqual(storedLines(home).map((x) => x.prompt), ['grüße 👋', 'secret prompt 2']);
});

test('a line cut off by the agent\'s end is never stored', async () => {
  const home = tempHome();
  const r = await runCore(home, [turn(1), turn(2).slice(0, 30)]);
  assert.equal(r.code, 0);
  assert.deepEqual(storedLines(home).map((x) => x.turn_index), [1]);
});

test('the store ends on a whole record at start: a missing line feed is added, torn bytes are set aside', async () => {
  const cases = [
    { what: 'torn tail', before: turn(1) + turn(2).slice(0, 25), kept: [1, 3], torn: turn(2).slice(0, 25) },
    { what: 'complete last record without its line feed', before: turn(1) + turn(2).slice(0, -1), kept: [1, 2, 3], torn: null },
    { what: 'only torn bytes', before: '{"type":"tu', kept: [3], torn: '{"type":"tu' },
  ];
  for (const c of cases) {
    const home = tempHome();
    fs.mkdirSync(path.dirname(storeOf(home)), { recursive: true });
    fs.writeFileSync(storeOf(home), c.before);
    if (c.torn) fs.writeFileSync(storeOf(home) + '.torn', 'older\n');
    await runCore(home, [turn(3)]);
    assert.deepEqual(storedLines(home).map((x) => x.turn_index), c.kept, c.what);
    const torn = fs.existsSync(storeOf(home) + '.torn') ? fs.readFileSync(storeOf(home) + '.torn', 'utf8') : null;
    assert.equal(torn, c.torn && 'older\n' + c.torn, `${c.what}: torn bytes appended, never deleted`);
  }
});

test('a turn id is stored once and answered "stored" every time, across restarts; turns without ids as before', async () => {
  const home = tempHome();
  const withId = (i, id) => JSON.stringify({ type: 'turn', surface: 'claude', prompt: `p ${i}`, turn_index: i, turn_id: id }) + '\n';
  const first = await runCore(home, [withId(1, 'a1'), withId(2, 'b2'), withId(1, 'a1'), turn(3)]);
  const second = await runCore(home, [withId(2, 'b2'), withId(4, 'c4'), turn(3)]);
  const answers = (r) => r.messages.filter((m) => m.type === 'event_result').map((m) => [m.status, m.turn_id ?? null]);
  assert.deepEqual(answers(first), [['stored', 'a1'], ['stored', 'b2'], ['stored', 'a1'], ['stored', null]]);
  assert.deepEqual(answers(second), [['stored', 'b2'], ['stored', 'c4'], ['stored', null]]);
  assert.deepEqual(storedLines(home).map((x) => x.turn_index), [1, 2, 3, 4, 3], 'a turn without an id cannot be recognised');

  const ids = new StoredIds(2);
  for (const id of ['x', 'y', 'z']) ids.add(id);
  assert.deepEqual([ids.has('x'), ids.has('y'), ids.has('z')], [false, true, true], 'bounded: the oldest id is forgotten');
});

test('a write that fails (full disk) cuts the store back, answers "failed", and the same turns are stored later', async () => {
  const home = tempHome();
  const env = { XDG_DATA_HOME: path.join(home, 'data'), HOME: home };
  const realWrite = fs.writeSync;
  let room = 600; // bytes the disk still takes
  fs.writeSync = (fd, buf, off, len, ...rest) => {
    if (typeof buf !== 'string' && fd > 2 && len !== undefined) {
      if (room <= 0) throw Object.assign(new Error('no space'), { code: 'ENOSPC' });
      const n = Math.min(len, room);
      room -= n;
      return realWrite(fd, buf, off, n, ...rest);
    }
    return realWrite(fd, buf, off, len, ...rest);
  };
  const input = new PassThrough();
  const output = new PassThrough();
  let out = '';
  output.on('data', (d) => (out += d));
  const withId = (i) => JSON.stringify({ type: 'turn', surface: 'claude', prompt: 'x'.repeat(200), turn_index: i, turn_id: `t${i}` }) + '\n';
  const results = () => out.split('\n').filter(Boolean).map((l) => JSON.parse(l)).filter((m) => m.type === 'event_result')
    .map((m) => `${m.turn_id}:${m.status}`);
  try {
    runCoreInProcess({ input, output, env });
    input.write(withId(1) + withId(2) + withId(3) + withId(4));
    await new Promise((r) => setImmediate(r));
    assert.deepEqual(results(), ['t1:stored', 't2:stored', 't3:failed', 't4:failed']);
    assert.deepEqual(storedLines(home).map((x) => x.turn_index), [1, 2], 'no partial record is left');
    assert.equal(out.split('\n').filter((l) => l.includes('ENOSPC')).length, 1, 'said once');
    room = 1e9; // space freed
    out = '';
    input.write(withId(3) + withId(4) + withId(1));
    await new Promise((r) => setImmediate(r));
    assert.deepEqual(results(), ['t3:stored', 't4:stored', 't1:stored']);
    assert.deepEqual(storedLines(home).map((x) => x.turn_index), [1, 2, 3, 4]);
  } finally {
    fs.writeSync = realWrite;
    input.removeAllListeners('end');
    process.removeAllListeners('SIGTERM');
  }
});

test('folders are 0700 and files 0600 under a lax umask, and wider ones are narrowed at start', async () => {
  const home = tempHome();
  const dir = path.dirname(storeOf(home));
  fs.mkdirSync(dir, { recursive: true, mode: 0o755 });
  fs.chmodSync(dir, 0o755);
  fs.writeFileSync(path.join(dir, 'local-auth.json'), '{"signed_in":true,"email":"a@b"}\n', { mode: 0o644 });
  fs.chmodSync(path.join(dir, 'local-auth.json'), 0o644);
  await runCore(home, [turn(1), line({ type: 'signin_desktop' })]);
  const fresh = tempHome();
  await runCore(fresh, [turn(1), line({ type: 'signout' })]);
  for (const h of [home, fresh]) {
    const d = path.dirname(storeOf(h));
    assert.equal(fs.statSync(d).mode & 0o777, 0o700, d);
    for (const f of ['turns.jsonl', 'local-auth.json']) assert.equal(fs.statSync(path.join(d, f)).mode & 0o777, 0o600, f);
  }
});

test('sign-in and sign-out answer with the right auth_state, and signing out survives a restart', async () => {
  const cases = [
    { what: 'password sign-in', input: { type: 'signin_password', email: 'ada@example.com', password: 'pw' },
      expect: [['session_updated'], ['auth_state', true, 'ada@example.com'], ['signin_result', true]] },
    { what: 'password sign-in without an e-mail', input: { type: 'signin_password', password: 'pw' },
      expect: [['signin_result', false]] },
    { what: 'desktop sign-in', input: { type: 'signin_desktop' }, expect: [['auth_state', true], ['signin_result', true]] },
    { what: 'sign-out', input: { type: 'signout' }, expect: [['session_cleared'], ['auth_state', false, null]] },
  ];
  for (const c of cases) {
    const home = tempHome();
    const r = await runCore(home, [line(c.input)]);
    const answers = r.messages.slice(2).filter((m) => m.type !== 'log');
    assert.equal(answers.length, c.expect.length, c.what);
    c.expect.forEach(([type, flag, email], i) => {
      assert.equal(answers[i].type, type, c.what);
      if (type === 'auth_state') assert.equal(answers[i].signed_in, flag, c.what);
      if (type === 'signin_result') assert.equal(answers[i].ok, flag, c.what);
      if (email !== undefined) assert.equal(answers[i].email, email, c.what);
    });
    assert.ok(!r.out.includes('"pw"') && !r.err.includes('pw'), `${c.what}: the password never appears`);
  }
  const home = tempHome();
  await runCore(home, [line({ type: 'signout' })]);
  const again = await runCore(home, []);
  assert.equal(again.messages[1].signed_in, false);
});

test('every turn is stored exactly once across many runs, in order', async () => {
  const home = tempHome();
  let next = 1;
  for (let run = 0; run < 3; run++) {
    const pieces = [];
    for (let i = 0; i < 200; i++) pieces.push(turn(next++));
    pieces.push(line({ type: 'shutdown' }));
    const r = await runCore(home, pieces, { end: false });
    assert.equal(r.code, 0);
  }
  assert.deepEqual(storedLines(home).map((x) => x.turn_index), Array.from({ length: 600 }, (_, i) => i + 1));
});

test('one core per store: a second exits while the first lives; a lock whose owner is gone is taken over', async () => {
  const cases = [
    { what: 'held by a live process', owner: String(process.pid), code: 75 },
    { what: 'held by a process that is gone', owner: '999999999', code: 0 },
    { what: 'an empty lock left by a crash', owner: '', code: 0 },
  ];
  for (const c of cases) {
    const home = tempHome();
    const dir = path.dirname(storeOf(home));
    fs.mkdirSync(dir, { recursive: true });
    fs.writeFileSync(path.join(dir, 'core.lock'), c.owner);
    const r = await runCore(home, [turn(1)]);
    assert.equal(r.code, c.code, c.what);
    assert.equal(r.messages.length === 0, c.code !== 0, `${c.what}: a core that exits says nothing on its output`);
    if (c.code === 0) assert.ok(!fs.existsSync(path.join(dir, 'core.lock')), `${c.what}: released at the end`);
  }
});
