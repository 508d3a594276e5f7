// The operator panel: live values from the server's events, writes as small POSTs.
'use strict';

// The token comes in the address's fragment, which the browser never sends: it travels
// only in the X-QV-Token header of the page's own requests.
const token = new URLSearchParams(location.hash.slice(1)).get('token') || '';
// A token pasted into the address later (a fragment alone does not reload the page).
window.addEventListener('hashchange', () => location.reload());
const $ = (id) => document.getElementById(id);

const panel = {
  session: null,   // what the server described: program, variables, objects
  texts: [],       // per variable, as qvctl prints it
  flags: [],       // per variable: 1 forced, 2 traced, 4 data breakpoint
  rows: [],        // per variable, its table row
  byName: {},      // name -> index
  state: null,
  machine: null,
  scene: null,
  trend: null,
  online: null,    // the online view of a compiled program
  events: 0,       // received, for the rate shown
  lastEventMs: 0,  // server time of the last event
  lag: 0,          // ms from the server's event to this page
};
window.qv = panel;

// ---- Writes ----------------------------------------------------------------------------

async function post(action, params) {
  const body = new URLSearchParams(params || {});
  let reply;
  try {
    const response = await fetch('/api/' + action, {
      method: 'POST', body, headers: { 'X-QV-Token': token },
    });
    reply = await response.json();
  } catch (error) {
    reply = { ok: false, message: 'no answer from qvctl serve' };
  }
  $('message').textContent = reply.message;
  $('message').className = reply.ok ? '' : 'bad';
  return reply;
}
panel.post = post;

// How each machine's drawing is read.
const DRAWING_HINTS = {
  manipulateur: 'The cell from above. Each dashed square is a position code, as Pos_depart and Pos_arrivee take it: ' +
    'GX moves the gripper between the left half (0 to 3) and the right half (4 to 7), PX between the two columns of a ' +
    'half, VR between the two rows (0: all three retracted). The part lies where the plant\'s vacuum last put it down.',
  bistable_cylinder: 'The cylinder from the side: the rod extends to the right; CR and CS are its limit switches.',
  pick_place_unit: 'The vertical axis from the side: it lowers the suction cup onto the part and raises it.',
  suction_cup: 'The suction cup: it grips the part while the vacuum holds.',
};

// ---- The variables table ---------------------------------------------------------------

function groupOf(name) {
  const dot = name.lastIndexOf('.');
  return dot < 0 ? '' : name.slice(0, dot);
}

function button(text, onClick) {
  const b = document.createElement('button');
  b.type = 'button';
  b.textContent = text;
  b.addEventListener('click', onClick);
  return b;
}

function checkbox(onChange) {
  const c = document.createElement('input');
  c.type = 'checkbox';
  c.addEventListener('change', () => onChange(c.checked));
  return c;
}

function buildTable(variables) {
  const body = $('vartable');
  body.textContent = '';
  panel.rows = [];
  let group = null;
  variables.forEach((v, k) => {
    const g = groupOf(v.name);
    if (g !== group) {
      group = g;
      const head = document.createElement('tr');
      head.className = 'group';
      head.dataset.group = g;
      head.innerHTML = '<th colspan="9"></th>';
      head.firstChild.textContent = g === '' ? 'top model' : 'instance ' + g;
      // The top model opens; every instance starts closed, so that the table stays short.
      head.classList.toggle('open', g === '');
      head.addEventListener('click', () => { head.classList.toggle('open'); applyFilter(); });
      body.appendChild(head);
    }
    const row = document.createElement('tr');
    row.dataset.var = v.name;
    row.dataset.group = g;
    for (const text of [v.name, v.type, v.area + ' ' + v.slot, v.direction]) {
      const cell = document.createElement('td');
      cell.textContent = text;
      row.appendChild(cell);
    }
    if (v.comment) {
      const comment = document.createElement('span');
      comment.className = 'comment';
      comment.textContent = v.comment;
      row.firstChild.appendChild(comment);
    }
    const value = document.createElement('td');
    value.setAttribute('data-value', '');
    row.appendChild(value);
    const write = document.createElement('td');
    const edit = document.createElement('input');
    edit.className = 'edit';
    edit.setAttribute('aria-label', 'value for ' + v.name);
    edit.addEventListener('keydown', (e) => { if (e.key === 'Enter') post('set', { name: v.name, value: edit.value }); });
    write.append(edit,
      button('set', () => post('set', { name: v.name, value: edit.value })),
      button('force', () => post('force', { name: v.name, value: edit.value })),
      button('unforce', () => post('unforce', { name: v.name })));
    row.appendChild(write);
    const trace = document.createElement('td');
    const traceBox = checkbox((on) => post('trace', { name: v.name, on: on ? 1 : 0 }));
    traceBox.className = 'trace';
    trace.appendChild(traceBox);
    row.appendChild(trace);
    const brk = document.createElement('td');
    if (v.type === 'BOOL') {
      const breakBox = checkbox((on) => post('break', { name: v.name, on: on ? 1 : 0 }));
      breakBox.className = 'break';
      brk.appendChild(breakBox);
    }
    row.appendChild(brk);
    const trend = document.createElement('td');
    if (v.type !== 'STRING') trend.appendChild(checkbox((on) => panel.trend.choose(v, on)));
    row.appendChild(trend);
    body.appendChild(row);
    panel.rows.push(row);
  });
  applyFilter();
}

function applyFilter() {
  const words = $('filter').value.trim().toLowerCase().split(/\s+/).filter((w) => w);
  const shownGroups = new Set();
  const open = new Set([...document.querySelectorAll('#vartable tr.group.open')].map((h) => h.dataset.group));
  panel.rows.forEach((row, k) => {
    const v = panel.session.variables[k];
    const text = (v.name + ' ' + v.type + ' ' + v.direction + ' ' + (v.comment || '')).toLowerCase();
    const shown = words.every((w) => text.includes(w));
    // A filter opens the instances it finds something in; else each shows as it was left.
    row.hidden = !shown || (words.length === 0 && !open.has(row.dataset.group));
    if (shown) shownGroups.add(row.dataset.group);
  });
  for (const head of document.querySelectorAll('#vartable tr.group')) head.hidden = !shownGroups.has(head.dataset.group);
}

function showValue(k) {
  const row = panel.rows[k];
  if (!row) return;
  const flags = panel.flags[k];
  row.querySelector('[data-value]').textContent = panel.texts[k];
  row.classList.toggle('forced', (flags & 1) !== 0);
  row.classList.toggle('traced', (flags & 2) !== 0);
  row.classList.toggle('breakpoint', (flags & 4) !== 0);
  const trace = row.querySelector('input.trace');
  if (trace && document.activeElement !== trace) trace.checked = (flags & 2) !== 0;
  const brk = row.querySelector('input.break');
  if (brk && document.activeElement !== brk) brk.checked = (flags & 4) !== 0;
}

// ---- Status -------------------------------------------------------------------------------

function number(value, digits) {
  return value === null || value === undefined ? '–' : Number(value).toFixed(digits);
}

function showState(s) {
  panel.state = s;
  const ended = !s.alive;
  const status = $('status');
  status.textContent = s.statusName || String(s.status);
  status.className = ended ? 'ENDED' : s.statusName;
  $('cycle').textContent = s.cycle;
  $('period').textContent = number(s.period / 1000, 1) + ' ms';
  $('speed').textContent = s.speed || 'real time';
  if (document.activeElement !== $('periodms')) $('periodms').value = s.period ? s.period / 1000 : '';
  // The figures as qvctl status prints them, in the image's microseconds, and the note on
  // millisecond ticks when the program measures on them.
  $('measured').textContent = s.measuredText || '';
  $('measurednote').textContent = s.measuredNote ? '(' + s.measuredNote + ')' : '';
  $('changes').textContent = 'mean ' + number(s.changes[0], 1) + ', min ' + number(s.changes[1], 0) +
    ', max ' + number(s.changes[2], 0);
  $('pid').textContent = s.pid === 0 ? 'none' : s.pid + (s.alive ? '' : ' (gone)');
  $('lastcall').textContent = s.lastCallName ? s.lastCallName + (s.lastCall[2] ? ', kind ' + s.lastCall[2] : '') : 'none';
  $('reason').textContent = s.statusName === 'PAUSE' && s.pausedAt ? 'paused at ' + s.pausedAt + ' (cycle ' + s.cycle + ')'
    : (s.reason || '');
  if (document.activeElement !== $('traceon')) $('traceon').checked = s.trace;
  if (document.activeElement !== $('plant')) $('plant').checked = !!(s.plant && s.plant.on);
  const notice = $('notice');
  notice.textContent = ended ? (s.reason || 'no program runs on the image') +
    '; the panel waits for a program on image ' + panel.session.image : '';
  notice.className = ended ? 'bad' : '';
  const list = $('bplist');
  list.textContent = '';
  for (const [loc, inst, name] of s.locations) {
    list.append(' ' + (name || 'location ' + loc + ' instance ' + inst) + ' ',
      button('remove', () => post('location', { location: loc, instance: inst, on: 0 })));
  }
}

// ---- Sessions and events ----------------------------------------------------------------

function startSession(description) {
  panel.session = description;
  panel.texts = description.variables.map(() => '');
  panel.flags = description.variables.map(() => 0);
  panel.byName = {};
  description.variables.forEach((v, k) => { panel.byName[v.name] = k; });
  $('program').textContent = description.program || 'unknown program';
  $('image').textContent = description.image;
  $('revision').textContent = description.revision;
  document.title = (description.program || 'program') + ' – qvctl panel';
  buildTable(description.variables);
  panel.trend.reset();
  panel.machine = new Machine($('drawing'), $('lamps'), $('pushbuttons'), description, post, $('operatorinputs'),
    () => (panel.state ? panel.state.cycle : 0));
  $('drawinghint').textContent = DRAWING_HINTS[description.program] || '';
  if (panel.scene) panel.scene.dispose();
  panel.scene = null;
  $('scene3d').hidden = description.objects.length === 0;
  if (description.objects.length > 0) panel.scene = new Scene($('scene'), description.objects);
  panel.online.start(description);
}

function noSession(error) {
  panel.session = null;
  $('program').textContent = 'no program';
  $('status').textContent = '–';
  $('status').className = 'ENDED';
  $('notice').textContent = error + '; the panel waits for the image';
  $('notice').className = 'bad';
  $('vartable').textContent = '';
  panel.rows = [];
  $('online').hidden = true;
  document.body.classList.remove('online');
}

// The value of a variable by name, as text.
panel.value = (name) => {
  const k = panel.byName[name];
  return k === undefined ? undefined : panel.texts[k];
};

function onEvent(message) {
  panel.events++;
  panel.lastEventMs = message.ms;
  panel.lag = Date.now() - message.ms;
  if ('session' in message) {
    if (message.session === null) noSession(message.error);
    else startSession(message.session);
  }
  if (!panel.session) return;
  if (message.values) {
    const changed = [];
    for (const [k, [text, flags]] of Object.entries(message.values)) {
      panel.texts[k] = text;
      panel.flags[k] = flags;
      showValue(Number(k));
      changed.push(Number(k));
    }
    panel.online.values(changed);
  }
  if (message.state) {
    showState(message.state);
    panel.online.showState(message.state);
  }
  panel.applied = Date.now();
  if (message.objects && panel.scene) panel.scene.update(message.objects);
  if (panel.machine && (message.values || message.state)) panel.machine.update(panel.value, panel.state);
}

// The server's events, read as a stream with fetch (an EventSource cannot send the
// token's header); after a lost connection it tries again every second.
async function connect() {
  const lost = (why) => {
    $('notice').textContent = why;
    $('notice').className = 'bad';
  };
  try {
    const response = await fetch('/api/events', { headers: { 'X-QV-Token': token }, cache: 'no-store' });
    if (!response.ok) {
      let why = 'qvctl serve refused the page';
      try { why = (await response.json()).message; } catch (error) { /* no reason given */ }
      lost(why);
      if (response.status === 403) return;  // no token, or a wrong one: trying again changes nothing
    } else {
      const reader = response.body.getReader();
      const decoder = new TextDecoder();
      let pending = '';
      for (;;) {
        const { value, done } = await reader.read();
        if (done) break;
        pending += decoder.decode(value, { stream: true });
        let end;
        while ((end = pending.indexOf('\n\n')) >= 0) {
          const block = pending.slice(0, end);
          pending = pending.slice(end + 2);
          const data = block.split('\n').filter((line) => line.startsWith('data: '))
            .map((line) => line.slice(6)).join('\n');
          if (data) onEvent(JSON.parse(data));
        }
      }
      lost('lost the connection to qvctl serve; retrying');
    }
  } catch (error) {
    lost('lost the connection to qvctl serve; retrying');
  }
  setTimeout(connect, 1000);
}

// ---- Controls ----------------------------------------------------------------------------

function wire() {
  $('run').addEventListener('click', () => post('run'));
  $('stop').addEventListener('click', () => post('stop'));
  $('step').addEventListener('click', () => post('step', { count: $('stepcount').value || '1' }));
  $('end').addEventListener('click', () => post('end'));
  $('setperiod').addEventListener('click', () => post('period', { ms: $('periodms').value }));
  $('plant').addEventListener('change', (e) => post('plant', { on: e.target.checked ? 1 : 0 }));
  $('traceon').addEventListener('change', (e) => post('traceon', { on: e.target.checked ? 1 : 0 }));
  $('filter').addEventListener('input', applyFilter);
  const openAll = (on) => {
    for (const head of document.querySelectorAll('#vartable tr.group')) head.classList.toggle('open', on || head.dataset.group === '');
    applyFilter();
  };
  $('expandall').addEventListener('click', () => openAll(true));
  $('collapseall').addEventListener('click', () => openAll(false));
  // The trend takes the width its column gives it.
  const fit = () => { $('trendcanvas').width = Math.max(300, $('trendcanvas').clientWidth); };
  window.addEventListener('resize', fit);
  fit();
  $('bpadd').addEventListener('click', () =>
    post('location', { location: $('bploc').value, instance: $('bpinst').value, on: 1 }));
  panel.trend = new Trend($('trendcanvas'), (name) => panel.value(name));
  panel.online = new Online(panel, post, token);
  $('trendpause').addEventListener('change', (e) => panel.trend.pause(e.target.checked));
  $('trendwindow').addEventListener('change', (e) => panel.trend.zoom(Number(e.target.value)));
  $('trendcsv').addEventListener('click', () => panel.trend.download());
  let seen = 0;
  setInterval(() => {
    $('rate').textContent = panel.events - seen;
    seen = panel.events;
    $('lag').textContent = 'last ' + panel.lag + ' ms after the server';
  }, 1000);
}

wire();
connect();
