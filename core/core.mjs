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

// Folders that hold chat text or identity are the user's alone: 0700 for
// folders, 0600 for files, created so and narrowed when found wider.
export function makePrivateDirectory(dir) {
  fs.mkdirSync(dir, { recursive: true, mode: 0o700 });
  narrow(dir, 0o700);
}

export function narrow(file, mode) {
  try {
    if ((fs.statSync(file).mode & 0o777 & ~mode) !== 0) fs.chmodSync(file, mode);
  } catch {}
}

// Makes the store end on a whole record. A last record that is complete but
// lacks its line feed gets one; torn bytes (no whole object) are appended to
// `<store>.torn` and cut off, never deleted. Returns what was done.
export function repairTornTail(file) {
  let fd;
  try {
    fd = fs.openSync(file, 'r+');
  } catch {
    return { cut: 0, terminated: false };
  }
  try {
    const size = fs.fstatSync(fd).size;
    if (size === 0) return { cut: 0, terminated: false };
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
      if (keep === size) return { cut: 0, terminated: false };
      end = start;
    }
    const tail = Buffer.alloc(size - keep);
    fs.readSync(fd, tail, 0, tail.length, keep);
    let whole = false;
    try {
      const parsed = JSON.parse(tail.toString('utf8'));
      whole = parsed !== null && typeof parsed === 'object' && !Array.isArray(parsed);
    } catch {}
    if (whole) {
      fs.writeSync(fd, '\n', size);
      fs.fsyncSync(fd);
      return { cut: 0, terminated: true };
    }
    const torn = fs.openSync(file + '.torn', 'a', 0o600);
    try {
      writeAll(torn, tail);
      fs.fsyncSync(torn);
    } finally {
      fs.closeSync(torn);
    }
    narrow(file + '.torn', 0o600);
    fs.ftruncateSync(fd, keep);
    fs.fsyncSync(fd);
    return { cut: tail.length, terminated: false };
  } finally {
    fs.closeSync(fd);
  }
}

// One core per store at a time: a core left running by an agent that died
// (stopped, or still reading what was in its pipe) would store turns the
// next core could not know it stored. The lock holds the owner's pid; one
// whose owner is gone is taken over. Returns true when this process holds it
// (or no lock can be written at all, e.g. on a full disk), false when a live
// core holds it.
export function takeStoreLock(lockPath) {
  for (let attempt = 0; attempt < 3; attempt++) {
    let fd;
    try {
      fd = fs.openSync(lockPath, 'wx', 0o600);
    } catch (e) {
      if (e.code !== 'EEXIST') return true;
      let owner = NaN;
      try {
        owner = Number.parseInt(fs.readFileSync(lockPath, 'utf8'), 10);
      } catch {}
      if (Number.isInteger(owner) && owner > 0 && owner !== process.pid) {
        try {
          process.kill(owner, 0);
          return false;
        } catch (err) {
          if (err.code === 'EPERM') return false;
        }
      }
      try {
        fs.unlinkSync(lockPath);
      } catch {}
      continue;
    }
    try {
      writeAll(fd, String(process.pid));
      fs.closeSync(fd);
      return true;
    } catch {
      fs.closeSync(fd);
      try {
        fs.unlinkSync(lockPath);
      } catch {}
      return true;
    }
  }
  return true;
}

// The ids of stored turns, oldest forgotten first once there are `limit`.
export class StoredIds {
  constructor(limit = 100000) {
    this.limit = limit;
    this.ids = new Set();
  }
  has(id) {
    return this.ids.has(id);
  }
  add(id) {
    this.ids.delete(id);
    this.ids.add(id);
    if (this.ids.size > this.limit) this.ids.delete(this.ids.values().next().value);
  }
  get size() {
    return this.ids.size;
  }
}

// A JSON string never holds an unescaped quote, so this pattern only matches
// the key itself, never text inside a prompt or reply.
const turnIdPattern = /"turn_id":"([0-9a-f]{1,64})"/;

// Reads the ids back from the store, in one pass of 1 MiB blocks.
export function readStoredIds(file, ids) {
  let fd;
  try {
    fd = fs.openSync(file, 'r');
  } catch {
    return ids;
  }
  try {
    const block = Buffer.alloc(1024 * 1024);
    let carry = Buffer.alloc(0);
    let pos = 0;
    for (;;) {
      const n = fs.readSync(fd, block, 0, block.length, pos);
      if (n === 0) break;
      pos += n;
      let data = carry.length ? Buffer.concat([carry, block.subarray(0, n)]) : block.subarray(0, n);
      let from = 0;
      for (let nl = data.indexOf(0x0a, from); nl !== -1; nl = data.indexOf(0x0a, from)) {
        const m = turnIdPattern.exec(data.toString('latin1', from, nl));
        if (m) ids.add(m[1]);
        from = nl + 1;
      }
      carry = Buffer.from(data.subarray(from));
    }
  } finally {
    fs.closeSync(fd);
  }
  return ids;
}

function localEmail() {
  let user = 'user';
  try {
    user = os.userInfo().username || user;
  } catch {}
  return `${user}@${os.hostname() || 'localhost'}`;
}

function writeAll(fd, data) {
  const buf = typeof data === 'string' ? Buffer.from(data, 'utf8') : data;
  let off = 0;
  while (off < buf.length) off += fs.writeSync(fd, buf, off, buf.length - off);
}

export function runCore({ input = process.stdin, output = process.stdout, env = process.env, idLimit = 100000 } = {}) {
  const dir = dataDirectory(env);
  makePrivateDirectory(dir);
  const storePath = path.join(dir, 'turns.jsonl');
  const authPath = path.join(dir, 'local-auth.json');
  const lockPath = path.join(dir, 'core.lock');
  if (!takeStoreLock(lockPath)) {
    process.stderr.write('[core] another local core is still running on this store; exiting\n');
    process.exit(75);
  }
  const releaseLock = () => {
    try {
      if (fs.readFileSync(lockPath, 'utf8') === String(process.pid)) fs.unlinkSync(lockPath);
    } catch {}
  };
  let repaired;
  try {
    repaired = repairTornTail(storePath);
  } catch (e) {
    // Torn bytes that cannot be set aside (a full disk) are not cut either:
    // better no core for now than a lost or glued record. The agent keeps
    // the turns and starts another core shortly.
    process.stderr.write(`[core] cannot repair the store yet (${e.code || 'error'}); exiting\n`);
    releaseLock();
    process.exit(75);
  }
  const store = fs.openSync(storePath, 'a', 0o600);
  for (const f of [storePath, authPath, storePath + '.torn']) narrow(f, 0o600);
  let storeSize = fs.fstatSync(store).size;
  const storedIds = readStoredIds(storePath, new StoredIds(idLimit));
  let storageFailing = false;

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
    try {
      fs.writeFileSync(authPath, JSON.stringify(auth) + '\n', { mode: 0o600 });
    } catch (e) {
      log('warn', `could not save the sign-in state: ${e.code || 'error'}`);
    }
    send({ type: 'auth_state', ...auth });
  };

  const finish = () => {
    if (closed) return;
    closed = true;
    try {
      fs.fsyncSync(store);
    } catch {}
    fs.closeSync(store);
    releaseLock();
    input.pause();
    log('info', `local core stopping; ${stored} turns stored this run`);
    output.write('', () => process.exit(0));
  };

  // Cuts the store back to `size` (the end of its last whole record).
  const cutBack = (size) => {
    try {
      fs.ftruncateSync(store, size);
      storeSize = size;
    } catch {}
  };

  // Handles the complete lines of one read; turns are synced once per read,
  // before any of them is answered "stored". A write or sync that fails (a
  // full disk) leaves no partial record behind: the store is cut back and
  // those turns are answered "failed", for the agent to send again.
  const handleLines = (lines) => {
    const answers = [];
    const batch = []; // answers of turns written (or repeated) in this read
    const batchIds = new Set();
    const batchStart = storeSize;
    let failure = null;
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
        case 'turn': {
          const id = typeof msg.turn_id === 'string' && msg.turn_id !== '' ? msg.turn_id : null;
          const answer = { type: 'event_result', status: 'stored', ...(id ? { turn_id: id } : {}),
            ...(typeof msg.surface === 'string' ? { label: msg.surface } : {}) };
          answers.push(answer);
          if (id && storedIds.has(id)) break; // stored before: once is enough
          if (id && batchIds.has(id)) {
            batch.push(answer); // shares the fate of its first copy
            break;
          }
          if (failure) {
            answer.status = 'failed';
            break;
          }
          const before = storeSize;
          try {
            const buf = Buffer.from(JSON.stringify(msg) + '\n', 'utf8');
            storeSize += buf.length;
            writeAll(store, buf);
          } catch (e) {
            failure = e;
            cutBack(before);
            answer.status = 'failed';
            break;
          }
          batch.push(answer);
          if (id) batchIds.add(id);
          break;
        }
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
    if (batch.length) {
      try {
        fs.fdatasyncSync(store);
      } catch (e) {
        failure = failure || e;
        cutBack(batchStart);
        for (const a of batch) a.status = 'failed';
        batchIds.clear();
      }
    }
    for (const id of batchIds) storedIds.add(id);
    stored += batch.filter((a) => a.status === 'stored').length;
    const failed = answers.filter((a) => a.type === 'event_result' && a.status === 'failed').length;
    if (failed && !storageFailing) {
      storageFailing = true;
      log('warn', `could not store ${failed} turns: ${failure?.code || 'error'}; they stay with the agent`);
    } else if (!failed && batch.length && storageFailing) {
      storageFailing = false;
      log('info', 'storing turns again');
    }
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
  const repairs = repaired.cut ? `; moved ${repaired.cut} torn bytes to turns.jsonl.torn`
    : repaired.terminated ? '; ended the last record with its line feed' : '';
  log('info', `local core ready${repairs}`);
  return { get session() { return session; } };
}

if (process.argv[1] && import.meta.url === pathToFileURL(fs.realpathSync(process.argv[1])).href) runCore();
