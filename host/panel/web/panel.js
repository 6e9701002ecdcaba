// wqhost panel: the page. Shows the module as a host would and sends what
// the user does to /api/request; everything the module does arrives on the
// event stream /api/events (the whole state first, then events).
'use strict';

const $ = (id) => document.getElementById(id);
const panel = {
  pins: [],          // the pin table: {index, name, direction, dataType, kind, flags}
  values: new Map(), // index -> {value, listText, samples}
  calls: new Map(),  // seq -> trace line element
  problemCount: 0,
  echo: true,
  ended: null,
  open: false,
  connected: false,
  sides: null,       // {audio, gui}: which objects the module made
};
const MAX_CALLS = 3000;

// -- requests ----------------------------------------------------------------

async function send(request) {
  showRequestError('');
  try {
    const res = await fetch('/api/request', {
      method: 'POST',
      headers: { 'Content-Type': 'application/json' },
      body: JSON.stringify(request),
    });
    if (!res.ok) {
      const body = await res.json().catch(() => ({ error: res.statusText }));
      if (!body.ended) showRequestError(body.error || res.statusText);
    }
  } catch (e) {
    showRequestError('the panel server does not answer: ' + e.message);
  }
}

// What the panel did by itself, such as a reload after a rebuild; it goes
// after a while.
function showNotice(text) {
  const box = $('notice');
  box.textContent = text;
  box.hidden = !text;
  clearTimeout(showNotice.timer);
  showNotice.timer = setTimeout(() => { box.hidden = true; }, 8000);
}

function showRequestError(text) {
  const box = $('request-error');
  box.textContent = text;
  box.hidden = !text;
}

// -- pins --------------------------------------------------------------------

// The choices of an enumeration pin: the items of its list text, each shown
// by its name (what stands before '=').
function choicesOf(listText) {
  if (!listText) return [];
  return listText.split(',').map((item) => {
    const eq = item.indexOf('=');
    return eq >= 0 ? item.slice(0, eq) : item;
  });
}

function setPin(pin, form, value) {
  send({ op: 'set', pin: pin.index, form, value });
}

// A module's texts are 8-bit, one character (U+0000 to U+00FF) a byte. A
// text with a character beyond that is sent as its UTF-8 bytes, each byte one
// character, and the page says so: the module gets what a UTF-8 host would
// give it, never a silent '?'.
function eightBitText(text) {
  if (!/[^\u0000-\u00ff]/.test(text)) return { text, converted: false };
  const bytes = new TextEncoder().encode(text);
  let out = '';
  for (const b of bytes) out += String.fromCharCode(b);
  return { text: out, converted: true };
}

function showNote(pin, text) {
  const note = $(`pin-${pin.index}-note`);
  if (!note) return;
  note.textContent = text;
  note.hidden = !text;
}

// Applies an input's value on Enter, and when the input is left (Tab, a
// click elsewhere) with a value that is not the one applied.
function applyOnEnterAndLeave(input, go) {
  input.addEventListener('keydown', (e) => { if (e.key === 'Enter') go(); });
  input.addEventListener('change', () => { if (input.value !== input.dataset.applied) go(); });
}

function numberControl(pin, form) {
  const input = document.createElement('input');
  input.type = 'number';
  input.step = form === 'int' ? '1' : 'any';
  input.id = `pin-${pin.index}-input`;
  const go = () => {
    if (input.value === '') return;
    input.dataset.applied = input.value;
    setPin(pin, form, form === 'int' ? Math.trunc(Number(input.value)) : Number(input.value));
  };
  applyOnEnterAndLeave(input, go);
  return [input, go];
}

function textControl(pin) {
  const input = document.createElement('input');
  input.type = 'text';
  input.id = `pin-${pin.index}-input`;
  input.spellcheck = false;
  const go = () => {
    input.dataset.applied = input.value;
    const sent = eightBitText(input.value);
    showNote(pin, sent.converted
      ? `sent as its UTF-8 bytes (a text is 8-bit): ${JSON.stringify(sent.text)}` : '');
    setPin(pin, 'text', sent.text);
  };
  applyOnEnterAndLeave(input, go);
  return [input, go];
}

// What feeds an audio input, as the session's `signal` command takes it: a
// kind and its numbers, which start at the kind's usual values.
const signalKinds = {
  constant: '0.5',
  sine: '440 0.5',
  impulse: '0',
  step: '1 0',
  noise: '0.5 1',
};

function signalChooser(pin) {
  const box = document.createElement('span');
  box.className = 'signal';
  const kind = document.createElement('select');
  kind.id = `pin-${pin.index}-signal-kind`;
  kind.className = 'signal-choice';
  kind.setAttribute('aria-label', 'input signal');
  for (const name of Object.keys(signalKinds)) kind.add(new Option(name, name));
  const args = document.createElement('input');
  args.type = 'text';
  args.id = `pin-${pin.index}-signal-args`;
  args.className = 'signal-choice';
  args.spellcheck = false;
  args.value = signalKinds[kind.value];
  args.setAttribute('aria-label', 'signal settings');
  const feed = document.createElement('button');
  feed.type = 'button';
  feed.id = `pin-${pin.index}-signal`;
  feed.className = 'signal-choice';
  feed.textContent = 'feed';
  const go = () => send({ op: 'signal', pin: pin.index, signal: `${kind.value} ${args.value}` });
  kind.addEventListener('change', () => { args.value = signalKinds[kind.value]; });
  args.addEventListener('keydown', (e) => { if (e.key === 'Enter') go(); });
  feed.addEventListener('click', go);
  box.append(kind, args, feed);
  return box;
}

function buildPins() {
  const body = $('pins').tBodies[0];
  body.textContent = '';
  for (const pin of panel.pins) {
    const row = body.insertRow();
    row.id = `pin-${pin.index}`;
    row.insertCell().textContent = pin.index;
    row.insertCell().textContent = pin.name;
    const dir = row.insertCell();
    dir.textContent = pin.direction;
    dir.className = `dir-${pin.direction}`;
    const type = row.insertCell();
    type.textContent = pin.dataType;
    type.title = pin.flags;
    const value = row.insertCell();
    value.className = 'value';
    value.id = `pin-${pin.index}-value`;
    const set = row.insertCell();
    set.className = 'set';
    let control;
    let go;
    if (pin.dataType === 'enum') {
      const select = document.createElement('select');
      select.id = `pin-${pin.index}-select`;
      select.addEventListener('change', () => {
        if (select.value !== '') setPin(pin, 'int', Number(select.value));
      });
      set.append(select);
      // Any number, for a value outside the list.
      [control, go] = numberControl(pin, 'int');
    } else if (pin.kind === 'text') {
      [control, go] = textControl(pin);
    } else {
      [control, go] = numberControl(pin, pin.kind === 'int' ? 'int' : 'float');
    }
    if (pin.dataType === 'fsample') {
      // A scope of the pin's last block; an output also gets a meter.
      const canvas = document.createElement('canvas');
      canvas.className = 'plot';
      canvas.id = `pin-${pin.index}-plot`;
      canvas.width = 160;
      canvas.height = 40;
      set.append(canvas);
      if (pin.direction === 'in') set.append(signalChooser(pin));
      if (pin.direction === 'out') {
        const meter = document.createElement('span');
        meter.className = 'meter';
        meter.id = `pin-${pin.index}-meter`;
        meter.textContent = 'peak -inf dBFS, RMS -inf dBFS';
        set.append(meter);
      }
    }
    const button = document.createElement('button');
    button.type = 'button';
    button.id = `pin-${pin.index}-set`;
    button.textContent = 'set';
    button.addEventListener('click', go);
    const note = document.createElement('div');
    note.className = 'note';
    note.id = `pin-${pin.index}-note`;
    note.hidden = true;
    set.append(control, button, note);
  }
}

function plot(canvas, samples) {
  const g = canvas.getContext('2d');
  g.clearRect(0, 0, canvas.width, canvas.height);
  if (!samples || samples.length === 0) return;
  const peak = Math.max(1e-9, ...samples.map(Math.abs));
  g.strokeStyle = '#888';
  g.beginPath();
  g.moveTo(0, canvas.height / 2);
  g.lineTo(canvas.width, canvas.height / 2);
  g.stroke();
  g.strokeStyle = '#0a5';
  g.beginPath();
  samples.forEach((s, i) => {
    const x = (i / Math.max(1, samples.length - 1)) * canvas.width;
    const y = canvas.height / 2 - (s / peak) * (canvas.height / 2 - 2);
    if (i === 0) g.moveTo(x, y); else g.lineTo(x, y);
  });
  g.stroke();
}

// Peak and RMS of a block in dBFS (full scale is 1.0), one decimal; a silent
// block reads -inf.
function levels(samples) {
  let peak = 0;
  let sum = 0;
  for (const x of samples || []) {
    peak = Math.max(peak, Math.abs(x));
    sum += x * x;
  }
  const n = samples && samples.length ? samples.length : 1;
  const db = (v) => (v > 0 ? (20 * Math.log10(v)).toFixed(1) : '-inf');
  return { peak: db(peak), rms: db(Math.sqrt(sum / n)) };
}

function showValue(pin, v) {
  const cell = $(`pin-${pin.index}-value`);
  if (!cell) return;
  let shown = v.value === undefined ? '' : String(v.value);
  if (pin.dataType === 'enum') {
    const choices = choicesOf(v.listText);
    const select = $(`pin-${pin.index}-select`);
    const key = v.listText || '';
    if (select.dataset.list !== key) {
      select.dataset.list = key;
      select.textContent = '';
      choices.forEach((name, i) => select.add(new Option(`${i}: ${name === '' ? '(empty)' : name}`, String(i))));
    }
    select.value = String(v.value);
    if (select.value !== String(v.value)) select.selectedIndex = -1;
    if (v.value >= 0 && v.value < choices.length) shown += ` (${choices[v.value]})`;
  }
  cell.textContent = shown;
  const input = $(`pin-${pin.index}-input`);
  if (input && document.activeElement !== input && v.value !== undefined) {
    input.value = String(v.value);
    input.dataset.applied = input.value;
  }
  const canvas = $(`pin-${pin.index}-plot`);
  if (canvas) plot(canvas, v.samples);
  const meter = $(`pin-${pin.index}-meter`);
  if (meter && v.samples) {
    const l = levels(v.samples);
    meter.textContent = `peak ${l.peak} dBFS, RMS ${l.rms} dBFS`;
  }
}

function showPins(values, changed) {
  for (const v of values) panel.values.set(v.index, v);
  for (const pin of panel.pins) {
    const v = panel.values.get(pin.index);
    if (v) showValue(pin, v);
  }
  if (!changed) return;
  for (const row of $('pins').tBodies[0].rows) row.classList.remove('by-module', 'by-user', 'flash');
  for (const c of changed) {
    const row = $(`pin-${c.index}`);
    if (!row) continue;
    void row.offsetWidth; // restart the flash
    row.classList.add(c.byModule ? 'by-module' : 'by-user', 'flash');
  }
}

// -- the module and its status -----------------------------------------------

function showModule(m) {
  if (!m || !m.pins) return;
  const d = m.description || {};
  $('module-name').textContent = d.name || '(no description)';
  $('module-about').textContent = d.about || '';
  $('module-library').textContent = m.library || '';
  document.title = `${d.name || 'module'} - wqhost panel`;
  panel.pins = m.pins;
  buildPins();
}

// What can be asked now: pins are set and blocks processed while the module
// is open; nothing but a restart once its process has ended.
function enableControls() {
  const live = panel.connected && !panel.ended;
  const open = live && panel.open;
  for (const c of document.querySelectorAll('#pins button, #pins input, #pins select, #process, #blocks, #close'))
    c.disabled = !open;
  const audio = !panel.sides || panel.sides.audio;
  const gui = !panel.sides || panel.sides.gui;
  for (const c of document.querySelectorAll('#process, #play, #pins .signal-choice'))
    c.disabled = !open || !audio;
  $('open').disabled = !live || panel.open;
  $('echo').disabled = !live || !gui;
  $('recreate').disabled = !live;
  if ($('restart')) $('restart').disabled = !panel.connected;
  if ($('reload')) $('reload').disabled = !panel.connected;
}

function showStatus(s) {
  if (!s || s.open === undefined) return;
  panel.echo = s.echo;
  panel.open = s.open;
  if (!s.open) stopPlay();
  $('status').textContent = s.open ? 'open' : 'closed';
  $('status').classList.toggle('open', s.open);
  $('echo').textContent = `echo: ${s.echo ? 'on' : 'off'}`;
  // A module with one side only: the page shows which, and offers nothing
  // that needs the other.
  if (s.sides) {
    panel.sides = s.sides;
    const one = s.sides.audio !== s.sides.gui;
    $('sides').hidden = !one;
    $('sides').textContent = s.sides.audio ? 'audio side only' : 'GUI side only';
  }
  enableControls();
}

function addProblem(text) {
  panel.problemCount += 1;
  $('problem-count').textContent = panel.problemCount;
  $('problems').classList.add('some');
  const list = $('problem-list');
  const item = document.createElement('li');
  item.textContent = text;
  list.append(item);
  while (list.children.length > 50) list.firstChild.remove();
}

function showEnded(message) {
  panel.ended = message;
  const box = $('ended');
  box.textContent = `The session has ended: ${message}`;
  box.hidden = false;
  if (panel.pins.length === 0) $('module-name').textContent = '(the module did not start)';
  $('status').textContent = 'ended';
  $('status').classList.remove('open');
  enableControls();
}

// -- play: blocks in real time ------------------------------------------------

// While playing, the page asks for as many blocks as the chosen rate and
// block size make of the time that passed, one request at a time; a server
// that cannot keep up loses the time it is behind (at most a second is owed),
// and the page says how far behind it fell.
const play = { timer: null, last: 0, owed: 0, busy: false, blocks: 0, dropped: 0 };

function playSettings() {
  const rate = Math.max(1, Number($('rate').value) || 48000);
  const block = Math.max(1, Math.trunc(Number($('block-size').value) || 64));
  return { rate, block };
}

async function playTick() {
  const now = performance.now();
  const { rate, block } = playSettings();
  play.owed += ((now - play.last) / 1000) * (rate / block);
  play.last = now;
  const limit = rate / block; // a second's worth
  if (play.owed > limit) {
    play.dropped += Math.floor(play.owed - limit);
    play.owed = limit;
  }
  const n = Math.min(Math.floor(play.owed), 10000); // the most one request may ask
  if (play.busy || n < 1) return;
  play.owed -= n;
  play.busy = true;
  await send({ op: 'process', blocks: n, calls: false });
  play.busy = false;
  play.blocks += n;
  $('played').textContent = `${play.blocks} blocks (${((play.blocks * block) / rate).toFixed(1)} s)` +
    (play.dropped ? `, ${play.dropped} behind` : '');
}

async function startPlay() {
  if (play.timer) return;
  const { rate, block } = playSettings();
  await send({ op: 'rate', hz: rate });
  await send({ op: 'block', size: block });
  Object.assign(play, { last: performance.now(), owed: 0, busy: false, blocks: 0, dropped: 0 });
  play.timer = setInterval(playTick, 20);
  $('play').textContent = 'stop';
  $('play').classList.add('playing');
}

function stopPlay() {
  if (!play.timer) return;
  clearInterval(play.timer);
  play.timer = null;
  $('play').textContent = 'play';
  $('play').classList.remove('playing');
}

// -- the trace -----------------------------------------------------------------

function describeCall(c) {
  const arrow = c.dir === 'module->host' ? '<-' : '->';
  const named = c.kind === 'dispatch' || c.kind === 'callback';
  let text = `${'  '.repeat(c.depth || 0)}${c.side} ${arrow} `;
  text += named ? c.name || `opcode ${c.opcode}` : c.kind;
  text += ` index=${c.index}`;
  if (c.value) text += ` value=${c.value}`;
  if (c.opt) text += ` opt=${c.opt}`;
  if (c.text !== undefined) text += ` text=${JSON.stringify(c.text)}`;
  return text;
}

function traceCall(c) {
  const pane = $('trace');
  const filter = $('trace-filter').value.toLowerCase();
  if (c.phase === 'return') {
    const line = panel.calls.get(c.seq);
    if (!line) return;
    panel.calls.delete(c.seq);
    line.classList.remove('open-call');
    // A text the host handed out is shown instead of its address.
    line.textContent += ' => ' + (line.dataset.answers === 'text'
      ? JSON.stringify(c.answer === undefined ? '' : c.answer)
      : line.dataset.answers === 'address' ? (c.result ? 'address' : 'null')
      : `${c.result}` + (c.answer !== undefined ? ` ${JSON.stringify(c.answer)}` : ''));
    line.hidden = filter !== '' && !line.textContent.toLowerCase().includes(filter);
    return;
  }
  const stick = pane.scrollTop + pane.clientHeight >= pane.scrollHeight - 4;
  const line = document.createElement('div');
  line.className = 'call open-call' + (c.dir === 'module->host' ? ' module' : '');
  line.dataset.depth = c.depth || 0;
  if (c.name === 'GH_PIN_GET_TEXT') line.dataset.answers = 'text';
  else if (c.kind === 'makeModule' || c.name === 'AD_GET_PROCESS_REFERENCE' || c.name === 'AH_PIN_BUFFER')
    line.dataset.answers = 'address';
  line.textContent = describeCall(c);
  line.hidden = filter !== '' && !line.textContent.toLowerCase().includes(filter);
  pane.append(line);
  panel.calls.set(c.seq, line);
  while (pane.children.length > MAX_CALLS) pane.firstChild.remove();
  if (panel.calls.size > MAX_CALLS) panel.calls.delete(panel.calls.keys().next().value);
  if (stick) pane.scrollTop = pane.scrollHeight;
}

function applyFilter() {
  const filter = $('trace-filter').value.toLowerCase();
  for (const line of $('trace').children)
    line.hidden = filter !== '' && !line.textContent.toLowerCase().includes(filter);
}

// -- events ------------------------------------------------------------------

function onEvent(e) {
  switch (e.event) {
    case 'state':
      // Everything again, as after a reload: also after a restart of the
      // module or of the server.
      panel.ended = null;
      panel.open = false;
      $('ended').hidden = true;
      showStream('');
      panel.values.clear();
      panel.calls.clear();
      $('trace').textContent = '';
      $('problem-list').textContent = '';
      panel.problemCount = 0;
      if (e.module) showModule(e.module);
      showPins(e.pins || [], null);
      showStatus(e.status);
      (e.problems || []).forEach(addProblem);
      panel.problemCount = e.problemCount || 0;
      $('problem-count').textContent = panel.problemCount;
      (e.calls || []).forEach(traceCall);
      if (e.ended) showEnded(e.ended);
      enableControls();
      break;
    case 'module': showModule(e); break;
    case 'pins': showPins(e.pins, e.changed); break;
    case 'status': showStatus(e); break;
    case 'problem': addProblem(e.code ? `${e.code}: ${e.text}` : e.text); break;
    case 'trace': traceCall(e.call); break;
    case 'error': showRequestError(e.message); break;
    case 'ended': stopPlay(); showEnded(e.message); break;
    case 'reloaded': showNotice(e.message); break;
    case 'reload-failed': showRequestError(e.message); break;
    default: break;
  }
}

function showStream(text) {
  const box = $('stream-error');
  box.textContent = text;
  box.hidden = !text;
}

function onStream(m) {
  if (m.kind === 'event') {
    panel.connected = true;
    onEvent(JSON.parse(m.data));
  } else if (m.kind === 'down' || m.kind === 'refused') {
    panel.connected = false;
    $('status').textContent = 'reconnecting';
    $('status').classList.remove('open');
    enableControls();
    if (m.kind === 'refused')
      showStream(`The panel refused this page its events: ${m.message}. ` +
                 'The page tries again every 5 s.');
  }
}

// One stream for all the panel's pages of this browser (panel-events.js);
// a page of a browser without shared workers opens its own.
function connect() {
  if (typeof SharedWorker === 'function') {
    const worker = new SharedWorker('/panel-events.js');
    worker.port.onmessage = (m) => onStream(m.data);
    worker.port.start();
    window.addEventListener('pagehide', () => worker.port.postMessage('bye'));
    return;
  }
  const open = () => {
    const source = new EventSource('/api/events');
    source.onmessage = (m) => onStream({ kind: 'event', data: m.data });
    source.onerror = () => {
      if (source.readyState !== EventSource.CLOSED) { onStream({ kind: 'down' }); return; }
      // Answered, but not with a stream: the server's reason, read plainly.
      const abort = new AbortController();
      fetch('/api/events', { signal: abort.signal })
        .then((res) => {
          if (res.ok) { abort.abort(); return null; }
          return res.json().catch(() => ({ error: `${res.status}` }));
        })
        .catch(() => null)
        .then((body) => { if (body) onStream({ kind: 'refused', message: body.error }); });
      setTimeout(open, 5000);
    };
  };
  open();
}

document.addEventListener('DOMContentLoaded', () => {
  $('echo').addEventListener('click', () => send({ op: 'echo', on: !panel.echo }));
  for (const op of ['open', 'close', 'recreate', 'restart', 'reload'])
    $(op).addEventListener('click', () => send({ op }));
  $('process').addEventListener('click', () =>
    send({ op: 'process', blocks: Math.max(1, Math.trunc(Number($('blocks').value) || 1)) }));
  $('play').addEventListener('click', () => (play.timer ? stopPlay() : startPlay()));
  $('trace-filter').addEventListener('input', applyFilter);
  $('trace-clear').addEventListener('click', () => { $('trace').textContent = ''; panel.calls.clear(); });
  connect();
});
