#!/usr/bin/env node
// The local core: the agent's core for a machine without a backend. It speaks
// the agent's line protocol on standard input and output, signs the local
// user in, and keeps every turn in a JSON-lines store,
// $XDG_DATA_HOME/velmar/turns.jsonl (~/.local/share by default), one object
// per line. Lines are appended whole and synced before they are reported
// stored; a line torn by a crash is cut off at the next start. Its log never
// carries the user's words: counts only.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

export function dataDirectory(env = process.env) {
  const xdg = env.XDG_DATA_HOME;
  const base = xdg && path.isAbsolute(xdg) ? xdg : path.join(env.HOME || os.homedir(), '.local', 'share');
  return path.join(base, 'velmar');
}

// Cuts a torn last line (no line feed at the end) off the store, so every
// line that remains is a whole object. Returns the number of bytes cut.
export function repairTornTail(file) {
  let fd;
  try {
    fd = fs.openSync(file, 'r+');
  } catch {
    return 0;
  }
  try {
    const size = fs.fstatSync(fd).size;
    if (size === 0) return 0;
    const block = Buffer.alloc(64 * 1024);
    let end = size;
    let keep = 0;
    let found = false;
    while (end > 0 && !found) {
      const start = Math.max(0, end - block.length);
      const n = fs.readSync(fd, block, 0, end - start, start);
      for (let i = n - 1; i >= 0; i--) {
        if (block[i] === 0x0a) {
          keep = start + i + 1;
          found = true;
          break;
        }
      }
      if (keep === size) return 0;
      end = start;
    }
    fs.ftruncateSync(fd, keep);
    fs.fsyncSync(fd);
    return size - keep;
  } finally {
    fs.closeSync(fd);
  }
}

function localEmail() {
  let user = 'user';
  try {
    user = os.userInfo().username || user;
  } catch {}
  return `${user}@${os.hostname() || 'localhost'}`;
}

function writeAll(fd, text) {
  const buf = Buffer.from(text, 'utf8');
  let off = 0;
  while (off < buf.length) off += fs.writeSync(fd, buf, off, buf.length - off);
}

export function runCore({ input = process.stdin, output = process.stdout, env = process.env } = {}) {
  const dir = dataDirectory(env);
  fs.mkdirSync(dir, { recursive: true });
  const storePath = path.join(dir, 'turns.jsonl');
  const authPath = path.join(dir, 'local-auth.json');
  const repaired = repairTornTail(storePath);
  const store = fs.openSync(storePath, 'a');

  // Signed in as the local user unless the user signed out.
  let auth = { signed_in: true, email: localEmail() };
  try {
    const saved = JSON.parse(fs.readFileSync(authPath, 'utf8'));
    if (typeof saved.signed_in === 'boolean') auth = { signed_in: saved.signed_in, email: saved.email ?? null };
  } catch {}
  let session = null;
  let stored = 0;
  let closed = false;
  let pending = '';

  const send = (obj) => output.write(JSON.stringify(obj) + '\n');
  const log = (level, message) => send({ type: 'log', level, message });
  const setAuth = (next) => {
    auth = next;
    fs.writeFileSync(authPath, JSON.stringify(auth) + '\n');
    send({ type: 'auth_state', ...auth });
  };

  const finish = () => {
    if (closed) return;
    closed = true;
    fs.fsyncSync(store);
    fs.closeSync(store);
    input.pause();
    log('info', `local core stopping; ${stored} turns stored this run`);
    output.write('', () => process.exit(0));
  };

  // Handles the complete lines of one read; turns are synced once per read,
  // before any of them is answered "stored".
  const handleLines = (lines) => {
    const answers = [];
    let wrote = false;
    let shutdown = false;
    for (const line of lines) {
      if (closed || shutdown) break;
      let msg;
      try {
        msg = JSON.parse(line);
      } catch {
        continue;
      }
      if (msg === null || typeof msg !== 'object' || Array.isArray(msg) || typeof msg.type !== 'string') continue;
      switch (msg.type) {
        case 'session':
          session = msg.session && typeof msg.session === 'object' ? msg.session : null;
          break;
        case 'turn':
          writeAll(store, JSON.stringify(msg) + '\n');
          wrote = true;
          stored += 1;
          answers.push({ type: 'event_result', status: 'stored', ...(typeof msg.surface === 'string' ? { label: msg.surface } : {}) });
          break;
        case 'agent_status':
          answers.push({ type: 'status_result', ok: true, ...(Number.isInteger(msg.stats_seq) ? { stats_seq: msg.stats_seq } : {}) });
          break;
        case 'beacon':
          if (typeof msg.event === 'string') answers.push({ type: 'beacon_result', ok: true, event: msg.event });
          break;
        case 'signin_password':
          if (typeof msg.email === 'string' && msg.email.trim() !== '' && typeof msg.password === 'string') {
            answers.push(() => {
              send({ type: 'session_updated', session: { email: msg.email.trim(), local: true } });
              setAuth({ signed_in: true, email: msg.email.trim() });
              send({ type: 'signin_result', ok: true });
            });
          } else {
            answers.push({ type: 'signin_result', ok: false, message: 'an e-mail address and a password are required' });
          }
          break;
        case 'signin_desktop':
          answers.push(() => {
            setAuth({ signed_in: true, email: localEmail() });
            send({ type: 'signin_result', ok: true });
          });
          break;
        case 'signout':
          answers.push(() => {
            session = null;
            send({ type: 'session_cleared' });
            setAuth({ signed_in: false, email: null });
          });
          break;
        case 'shutdown':
          shutdown = true;
          break;
        default:
          break; // engagement, activity, flush_active_time: nothing to keep locally
      }
    }
    if (wrote) fs.fdatasyncSync(store);
    for (const a of answers) (typeof a === 'function' ? a() : send(a));
    if (shutdown) finish();
  };

  // Decodes across reads, so a character split between two reads survives.
  input.setEncoding('utf8');
  input.on('data', (chunk) => {
    if (closed) return;
    const text = pending + chunk;
    const lines = text.split('\n');
    // Only lines that ended in a line feed count: a line cut off by the
    // agent's end is never stored.
    pending = lines.pop();
    handleLines(lines.filter((l) => l !== ''));
  });
  input.on('end', finish);
  process.on('SIGTERM', finish);

  send({ type: 'ready' });
  send({ type: 'auth_state', ...auth });
  log('info', `local core ready${repaired ? `; cut ${repaired} torn bytes off the store` : ''}`);
  return { get session() { return session; } };
}

if (process.argv[1] && import.meta.url === pathToFileURL(fs.realpathSync(process.argv[1])).href) runCore();
