// The online view of a compiled program: its source with live values beside each variable,
// its charts and its diagrams drawn from the symbol description, breakpoints set where one
// clicks, and the statement steps. It reads what the panel's event stream brings.
'use strict';

const SVG_NS = 'http://www.w3.org/2000/svg';

// ---- Structured Text, coloured ----------------------------------------------------------

const ST_KEYWORDS = new Set((
  'PROGRAM END_PROGRAM FUNCTION END_FUNCTION FUNCTION_BLOCK END_FUNCTION_BLOCK CONFIGURATION END_CONFIGURATION ' +
  'RESOURCE END_RESOURCE ON TASK WITH VAR VAR_INPUT VAR_OUTPUT VAR_IN_OUT VAR_TEMP VAR_GLOBAL VAR_EXTERNAL END_VAR ' +
  'CONSTANT RETAIN NON_RETAIN AT TYPE END_TYPE STRUCT END_STRUCT ARRAY OF IF THEN ELSIF ELSE END_IF CASE END_CASE ' +
  'FOR TO BY DO END_FOR WHILE END_WHILE REPEAT UNTIL END_REPEAT EXIT RETURN NOT AND OR XOR MOD TRUE FALSE ' +
  'INITIAL_STEP STEP END_STEP TRANSITION FROM END_TRANSITION ACTION END_ACTION PRIORITY INTERVAL').split(' '));
const ST_TYPES = new Set((
  'BOOL SINT INT DINT LINT USINT UINT UDINT ULINT BYTE WORD DWORD LWORD REAL LREAL TIME DATE TIME_OF_DAY TOD ' +
  'DATE_AND_TIME DT STRING WSTRING CHAR WCHAR TON TOF TP CTU CTD CTUD R_TRIG F_TRIG RS SR').split(' '));
// Words that open and close the units whose instances give the values.
const POU_OPEN = { PROGRAM: 'END_PROGRAM', FUNCTION_BLOCK: 'END_FUNCTION_BLOCK', FUNCTION: 'END_FUNCTION',
  CONFIGURATION: 'END_CONFIGURATION' };

// The text as tokens {kind, text, line}: comment, string, number, keyword, type, name,
// punct, space. A comment or string may run over several lines.
function tokenize(text) {
  const tokens = [];
  let k = 0;
  let line = 1;
  const push = (kind, from) => {
    const t = text.slice(from, k);
    tokens.push({ kind, text: t, line });
    for (let n = t.indexOf('\n'); n >= 0; n = t.indexOf('\n', n + 1)) line++;
  };
  while (k < text.length) {
    const from = k;
    const c = text[k];
    if (c === '(' && text[k + 1] === '*') {
      // Comments nest.
      let depth = 0;
      while (k < text.length) {
        if (text[k] === '(' && text[k + 1] === '*') { depth++; k += 2; } else if (text[k] === '*' && text[k + 1] === ')') {
          depth--; k += 2;
          if (depth === 0) break;
        } else k++;
      }
      push('comment', from);
    } else if (c === '/' && text[k + 1] === '*') {
      const end = text.indexOf('*/', k + 2);
      k = end < 0 ? text.length : end + 2;
      push('comment', from);
    } else if (c === '/' && text[k + 1] === '/') {
      while (k < text.length && text[k] !== '\n') k++;
      push('comment', from);
    } else if (c === '{') {
      const end = text.indexOf('}', k + 1);
      k = end < 0 ? text.length : end + 1;
      push('comment', from);
    } else if (c === '\'' || c === '"') {
      k++;
      while (k < text.length && text[k] !== c && text[k] !== '\n') k += text[k] === '$' ? 2 : 1;
      if (k < text.length && text[k] === c) k++;
      push('string', from);
    } else if (/[0-9]/.test(c)) {
      while (k < text.length && /[0-9A-Za-z_#.:+-]/.test(text[k])) {
        // A range 1..3 is two numbers; a sign only follows an exponent.
        if (text[k] === '.' && text[k + 1] === '.') break;
        if ((text[k] === '+' || text[k] === '-') && !/[eE]/.test(text[k - 1])) break;
        k++;
      }
      push('number', from);
    } else if (/[A-Za-z_]/.test(c)) {
      while (k < text.length && /[A-Za-z0-9_]/.test(text[k])) k++;
      // Typed literals: T#5s, INT#5, 16#FF, Mode#Run.
      if (text[k] === '#') {
        k++;
        while (k < text.length && /[0-9A-Za-z_.:]/.test(text[k])) k++;
        push('number', from);
        continue;
      }
      const word = text.slice(from, k).toUpperCase();
      push(ST_KEYWORDS.has(word) ? 'keyword' : ST_TYPES.has(word) ? 'type' : 'name', from);
    } else if (/\s/.test(c)) {
      while (k < text.length && /\s/.test(text[k])) k++;
      push('space', from);
    } else {
      k += (text.startsWith(':=', k) || text.startsWith('=>', k) || text.startsWith('..', k) ||
            text.startsWith('<=', k) || text.startsWith('>=', k) || text.startsWith('<>', k) ||
            text.startsWith('**', k)) ? 2 : 1;
      push('punct', from);
    }
  }
  return tokens;
}

// The units of a source: {name, kind, first, last, externals} by line.
function unitsOf(tokens) {
  const units = [];
  let open = null;
  let inExternal = false;
  for (let k = 0; k < tokens.length; k++) {
    const t = tokens[k];
    if (t.kind !== 'keyword' && t.kind !== 'name') continue;
    const word = t.text.toUpperCase();
    if (open === null && POU_OPEN[word]) {
      let n = k + 1;
      while (n < tokens.length && tokens[n].kind === 'space') n++;
      if (n < tokens.length && tokens[n].kind === 'name') {
        open = { name: tokens[n].text, kind: word, first: t.line, last: t.line, externals: new Set() };
      }
    } else if (open !== null && word === POU_OPEN[open.kind]) {
      open.last = t.line;
      units.push(open);
      open = null;
    } else if (open !== null && word === 'VAR_EXTERNAL') {
      inExternal = true;
    } else if (word === 'END_VAR') {
      inExternal = false;
    } else if (inExternal && open !== null && t.kind === 'name') {
      open.externals.add(t.text.toUpperCase());
    }
  }
  if (open !== null) { open.last = Infinity; units.push(open); }
  return units;
}

// The name chain starting at token k: "Counter.CV", "Tank[2].Level". Returns the names with
// their constant subscripts, and after each the index of the token that follows it.
function chainAt(tokens, k) {
  const parts = [tokens[k].text];
  const ends = [k + 1];
  let end = k + 1;
  for (;;) {
    if (end + 1 < tokens.length && tokens[end].text === '.' && tokens[end + 1].kind === 'name') {
      parts.push('.' + tokens[end + 1].text);
      end += 2;
      ends.push(end);
    } else if (end + 2 < tokens.length && tokens[end].text === '[' && tokens[end + 1].kind === 'number' &&
               tokens[end + 2].text === ']') {
      parts[parts.length - 1] += '[' + tokens[end + 1].text + ']';
      end += 3;
      ends[ends.length - 1] = end;
    } else {
      return { end, parts, ends };
    }
  }
}

// The keyword or name before token k, upper case ("" at the start).
function previousWord(tokens, k) {
  for (let n = k - 1; n >= 0; n--) if (tokens[n].kind !== 'space' && tokens[n].kind !== 'comment') return tokens[n].text.toUpperCase();
  return '';
}

// ---- The view ---------------------------------------------------------------------------

class Online {
  constructor(panel, post, token) {
    this.panel = panel;
    this.post = post;
    this.token = token;
    this.root = document.getElementById('online');
    this.program = null;        // GET /api/program
    this.texts = {};            // source index -> text
    this.file = 0;              // the source shown
    this.badges = new Map();    // variable index -> [span]
    this.chartMarks = new Map();  // variable index -> [function(text)]
    this.lineOf = new Map();    // location -> {file, line}
    this.chosen = {};           // POU type (upper case) -> instance path
    this.pausedKey = '';
    this.view = 'source';
    this.state = null;
    this.pending = new Set();   // variables changed since the last frame
    this.frame = 0;
    this.inSight = new Set();   // the code of the source lines in sight
    this.sight = new IntersectionObserver((entries) => this.sighted(entries),
      { root: document.getElementById('onsource'), rootMargin: '200px 0px' });
    this.wire();
  }

  wire() {
    const $ = (id) => document.getElementById(id);
    for (const b of this.root.querySelectorAll('[data-view]')) b.addEventListener('click', () => this.show(b.dataset.view));
    $('onstep').addEventListener('click', () => this.post('statement'));
    $('onover').addEventListener('click', () => this.post('stepover'));
    $('oncycle').addEventListener('click', () => this.post('tocycleend'));
    $('onrun').addEventListener('click', () => this.post('run'));
    $('onfile').addEventListener('change', (e) => this.openFile(Number(e.target.value)));
    $('oninstance').addEventListener('change', (e) => {
      const i = this.instanceByPath(e.target.value);
      if (i) { this.chosen[i.type.toUpperCase()] = i.path; this.redraw(); }
    });
  }

  // A new program on the image: the page opens on its source when it was compiled.
  async start(description) {
    this.program = null;
    this.texts = {};
    this.badges = new Map();
    this.chartMarks = new Map();
    this.chosen = {};
    this.pausedKey = '';
    const compiled = !!description.compiled;
    document.body.classList.toggle('online', compiled && this.wanted() !== 'panel');
    this.root.hidden = !compiled || this.wanted() === 'panel';
    if (this.root.hidden) return;
    const generation = description.generation;
    let program;
    try {
      const response = await fetch('/api/program', { headers: { 'X-QV-Token': this.token }, cache: 'no-store' });
      program = await response.json();
    } catch (error) {
      return;
    }
    if (!program.sources || program.generation !== generation || this.panel.session !== description) return;
    this.program = program;
    this.lineOf = new Map(program.locations.map(([location, file, line, column, endColumn]) =>
      [location, { file, line, column, endColumn }]));
    for (const i of program.instances) {
      const type = i.type.toUpperCase();
      if (!(type in this.chosen)) this.chosen[type] = i.path;
    }
    const files = document.getElementById('onfile');
    files.textContent = '';
    for (const s of program.sources) files.add(new Option(s.file, s.index));
    files.hidden = program.sources.length < 2;
    this.fillInstances();
    for (const b of this.root.querySelectorAll('[data-view=chart]')) b.hidden = program.charts.length === 0;
    for (const b of this.root.querySelectorAll('[data-view=diagram]')) b.hidden = program.diagrams.length === 0;
    // A project drawn in an editor opens on its drawings, a text on its text.
    const drawn = program.sources.length > 0 && program.sources.every((f) => f.file.toLowerCase().endsWith('.xml'));
    const wanted = this.wanted() === 'online' && drawn ? (program.diagrams.length ? 'diagram' : 'chart') : this.wanted();
    // The text first (the charts show their conditions from it), then one drawing.
    await this.openFile(0, false);
    if (this.program !== program) return;
    this.show(wanted === 'chart' && program.charts.length ? 'chart'
      : wanted === 'diagram' && program.diagrams.length ? 'diagram' : 'source');
  }

  // The view the address asks for: #token=...&view=online|panel|source|chart|diagram.
  wanted() {
    return new URLSearchParams(location.hash.slice(1)).get('view') || 'online';
  }

  instanceByPath(path) {
    return this.program ? this.program.instances.find((i) => i.path === path) : undefined;
  }

  // The instances a POU with several of them can show its values from.
  fillInstances() {
    const select = document.getElementById('oninstance');
    select.textContent = '';
    const count = {};
    for (const i of this.program.instances) count[i.type.toUpperCase()] = (count[i.type.toUpperCase()] || 0) + 1;
    for (const i of this.program.instances)
      if (count[i.type.toUpperCase()] > 1) select.add(new Option(i.path + ' (' + i.type + ')', i.path));
    select.parentElement.hidden = select.options.length === 0;
  }

  show(view) {
    this.view = view;
    for (const b of this.root.querySelectorAll('[data-view]')) b.classList.toggle('chosen', b.dataset.view === view);
    for (const pane of this.root.querySelectorAll('[data-pane]')) pane.hidden = pane.dataset.pane !== view;
    this.redraw();
  }

  async openFile(index, draw = true) {
    this.file = index;
    document.getElementById('onfile').value = String(index);
    if (!(index in this.texts)) {
      let text;
      try {
        const response = await fetch('/api/source?index=' + index, { headers: { 'X-QV-Token': this.token }, cache: 'no-store' });
        text = response.ok ? await response.text() : '(' + (await response.json()).message + ')';
      } catch (error) {
        text = '(no answer from qvctl serve)';
      }
      this.texts[index] = text;
    }
    if (draw) this.redraw();
  }

  redraw() {
    if (!this.program) return;
    this.badges = new Map();
    this.chartMarks = new Map();
    if (this.view === 'source') this.drawSource();
    if (this.view === 'chart') this.drawCharts();
    if (this.view === 'diagram') this.drawDiagrams();
    if (this.state) this.showState(this.state, true);
  }

  // The variable index of a full path, or undefined.
  variable(name) { return this.panel.byName[name]; }

  // The value badge of variable k, filled now and on every change.
  badge(k, into) {
    const span = document.createElement('span');
    span.className = 'val';
    span.dataset.k = k;
    this.fill(span, this.panel.texts[k]);
    into.appendChild(span);
    if (!this.badges.has(k)) this.badges.set(k, []);
    this.badges.get(k).push(span);
    return span;
  }

  fill(span, text) {
    if (span.textContent === text) return;
    span.textContent = text;
    span.classList.toggle('on', text === 'TRUE');
    span.classList.toggle('off', text === 'FALSE');
  }

  // ---- Source ---------------------------------------------------------------------------

  // The full path a reference names in the instance at `path`: the longest part of the
  // chain that is a variable of the instance, or of an outer one for a VAR_EXTERNAL.
  resolve(parts, path, unit) {
    const bases = [path];
    if (unit && unit.externals.has(parts[0].replace(/\[.*$/, '').toUpperCase())) {
      for (let p = path; p.includes('.');) { p = p.slice(0, p.lastIndexOf('.')); bases.push(p); }
    }
    for (const base of bases) {
      for (let n = parts.length; n > 0; n--) {
        const k = this.variable(base + '.' + parts.slice(0, n).join(''));
        if (k !== undefined) return { k, used: n };
      }
    }
    return null;
  }

  drawSource() {
    const box = document.getElementById('onsource');
    box.textContent = '';
    this.sight.disconnect();
    this.inSight = new Set();
    const text = this.texts[this.file];
    if (text === undefined) return;
    const fileName = this.program.sources[this.file] ? this.program.sources[this.file].file : '';
    // A project file is shown as it is written: its ST bodies are not whole units.
    const tokens = fileName.toLowerCase().endsWith('.xml') ? [{ kind: 'name', text, line: 1 }] : tokenize(text);
    const units = unitsOf(tokens);
    // Which lines hold a breakpointable location.
    const located = new Set();
    for (const [, l] of this.lineOf) if (l.file === fileName) located.add(l.line);
    const lineCount = text.split('\n').length;
    const lines = [];
    const fragment = document.createDocumentFragment();
    for (let n = 1; n <= lineCount; n++) {
      const row = document.createElement('div');
      row.className = 'srcline';
      row.dataset.line = n;
      const gutter = document.createElement('span');
      gutter.className = 'gutter' + (located.has(n) ? ' bp' : '');
      gutter.textContent = n;
      if (located.has(n)) {
        gutter.title = 'click: a breakpoint on ' + fileName + ':' + n;
        gutter.addEventListener('click', () => this.toggleLine(fileName, n));
      }
      const code = document.createElement('span');
      code.className = 'code';
      row.append(gutter, code);
      fragment.appendChild(row);
      lines.push(code);
    }
    const unitAt = (line) => units.find((u) => line >= u.first && line <= u.last);
    const pathOf = (unit) => (unit && unit.kind !== 'FUNCTION' ? this.chosen[unit.name.toUpperCase()] : undefined);
    let depth = 0;
    for (let k = 0; k < tokens.length; k++) {
      const t = tokens[k];
      if (t.text === '(') depth++;
      if (t.text === ')') depth = Math.max(0, depth - 1);
      if (t.kind === 'name') {
        const unit = unitAt(t.line);
        const path = pathOf(unit);
        const chain = chainAt(tokens, k);
        let after = chain.end;
        while (after < tokens.length && tokens[after].kind === 'space' && !tokens[after].text.includes('\n')) after++;
        // A formal parameter of a call (IN := x, Q => y) names no variable here.
        const formal = depth > 0 && after < tokens.length && (tokens[after].text === ':=' || tokens[after].text === '=>');
        // A step's name where the step is declared shows whether it is active.
        const declared = previousWord(tokens, k);
        const parts = declared === 'STEP' || declared === 'INITIAL_STEP' ? [chain.parts[0], '.X'] : chain.parts;
        let found = path && !formal ? this.resolve(parts, path, unit) : null;
        if (found && parts !== chain.parts) found = found.used === 2 ? { k: found.k, used: 1 } : null;
        if (found) {
          const last = chain.ends[found.used - 1] - 1;
          const span = document.createElement('span');
          span.className = 'ref';
          span.textContent = tokens.slice(k, last + 1).map((x) => x.text).join('');
          span.title = this.panel.session.variables[found.k].name;
          lines[t.line - 1].appendChild(span);
          this.badge(found.k, lines[t.line - 1]);
          k = last;
          continue;
        }
      }
      this.appendToken(t, lines);
    }
    box.appendChild(fragment);
    for (const row of box.children) this.sight.observe(row);
    this.lineCount = lineCount;
  }

  // A token over as many lines as it spans, coloured by its kind.
  appendToken(t, lines) {
    const pieces = t.text.split('\n');
    pieces.forEach((piece, n) => {
      if (piece === '') return;
      const line = lines[t.line - 1 + n];
      if (!line) return;
      if (t.kind === 'space' || t.kind === 'punct' || t.kind === 'name') {
        line.appendChild(document.createTextNode(piece));
      } else {
        const span = document.createElement('span');
        span.className = 'st-' + t.kind;
        span.textContent = piece;
        line.appendChild(span);
      }
    });
  }

  // A breakpoint on a line: listed for every instance whose code holds it, or removed.
  toggleLine(file, line) {
    const listed = this.listedLines().has(file + ':' + line);
    this.post('location', { location: file + ':' + line, on: listed ? 0 : 1 });
  }

  // "file:line" of every listed location pair.
  listedLines() {
    const lines = new Set();
    if (!this.state) return lines;
    for (const [location] of this.state.locations) {
      const l = this.lineOf.get(location);
      if (l) lines.add(l.file + ':' + l.line);
    }
    return lines;
  }

  // ---- Charts -----------------------------------------------------------------------------

  drawCharts() {
    const box = document.getElementById('oncharts');
    box.textContent = '';
    for (const chart of this.program.charts) box.appendChild(this.drawChart(chart));
  }

  // One chart in SVG: steps in rows by their distance from the initial step, each
  // transition as a bar under its steps, branches drawn as double lines (simultaneous) or
  // single ones (a choice), a jump back as a line up the right side.
  drawChart(chart) {
    const path = this.chosen[chart.pou.toUpperCase()];
    const section = document.createElement('div');
    section.className = 'chart';
    const title = document.createElement('h3');
    title.textContent = 'chart ' + chart.name + ' of ' + chart.pou + (path ? ' (' + path + ')' : '');
    section.appendChild(title);
    const byName = {};
    chart.steps.forEach((s, k) => { byName[s.name.toUpperCase()] = k; });
    const rank = chart.steps.map(() => -1);
    const start = chart.steps.findIndex((s) => s.initial);
    const queue = [start < 0 ? 0 : start];
    rank[queue[0]] = 0;
    // Breadth first along the transitions: a step's row is its distance from the initial one.
    while (queue.length) {
      const k = queue.shift();
      for (const t of chart.transitions) {
        if (!t.from.some((f) => byName[f.toUpperCase()] === k)) continue;
        const from = Math.max(...t.from.map((f) => rank[byName[f.toUpperCase()]] ?? 0));
        for (const to of t.to) {
          const n = byName[to.toUpperCase()];
          if (n !== undefined && rank[n] < 0) { rank[n] = from + 1; queue.push(n); }
        }
      }
    }
    let spare = Math.max(0, ...rank) + 1;
    rank.forEach((r, k) => { if (r < 0) rank[k] = spare++; });
    const rows = [];
    rank.forEach((r, k) => { (rows[r] = rows[r] || []).push(k); });
    const W = 150, H = 34, ROW = 100, COL = 250, LEFT = 20, TOP = 20;
    const place = chart.steps.map(() => ({ x: 0, y: 0 }));
    rows.forEach((row, r) => (row || []).forEach((k, c) => { place[k] = { x: LEFT + c * COL, y: TOP + r * ROW }; }));
    const width = LEFT + Math.max(1, ...rows.map((row) => (row ? row.length : 0))) * COL + 60;
    const height = TOP + rows.length * ROW;
    const svg = document.createElementNS(SVG_NS, 'svg');
    svg.setAttribute('viewBox', '0 0 ' + width + ' ' + height);
    svg.setAttribute('width', width);
    svg.setAttribute('height', height);
    svg.classList.add('chartsvg');
    const el = (name, attributes, parent) => {
      const e = document.createElementNS(SVG_NS, name);
      for (const [a, v] of Object.entries(attributes)) e.setAttribute(a, v);
      (parent || svg).appendChild(e);
      return e;
    };
    const text = (x, y, content, cls, parent) => {
      const t = el('text', { x, y, class: cls || '' }, parent);
      t.textContent = content;
      return t;
    };
    const instance = this.instanceByPath(path);
    chart.transitions.forEach((t, n) => {
      const from = t.from.map((f) => byName[f.toUpperCase()]).filter((k) => k !== undefined);
      const to = t.to.map((f) => byName[f.toUpperCase()]).filter((k) => k !== undefined);
      if (!from.length || !to.length) return;
      const fromBottom = Math.max(...from.map((k) => place[k].y)) + H;
      const barY = fromBottom + (ROW - H) / 2;
      const xs = from.map((k) => place[k].x + W / 2);
      const txs = to.map((k) => place[k].x + W / 2);
      const x = (Math.min(...xs) + Math.max(...xs)) / 2;
      const group = el('g', { class: 'transition', 'data-transition': t.name });
      for (const k of from) el('line', { x1: place[k].x + W / 2, y1: place[k].y + H, x2: place[k].x + W / 2, y2: from.length > 1 ? barY - 14 : barY }, group);
      if (from.length > 1) {
        // Convergence of simultaneous branches: a double line above the transition.
        el('line', { x1: Math.min(...xs), y1: barY - 14, x2: Math.max(...xs), y2: barY - 14, class: 'double' }, group);
        el('line', { x1: x, y1: barY - 14, x2: x, y2: barY }, group);
      }
      el('line', { x1: x - 18, y1: barY, x2: x + 18, y2: barY, class: 'bar' }, group);
      const backwards = to.some((k) => place[k].y <= place[from[0]].y);
      if (backwards) {
        // A jump back: down a little, along the right edge, up, into the target's top.
        const target = place[to[0]];
        const side = width - 30 - n * 6;
        el('polyline', { points: [x, barY, x, barY + 14, side, barY + 14, side, target.y - 12,
          target.x + W / 2, target.y - 12, target.x + W / 2, target.y].join(' '), class: 'wire' }, group);
      } else if (to.length > 1) {
        // Divergence into simultaneous branches: a double line under the transition.
        el('line', { x1: x, y1: barY, x2: x, y2: barY + 14 }, group);
        el('line', { x1: Math.min(...txs), y1: barY + 14, x2: Math.max(...txs), y2: barY + 14, class: 'double' }, group);
        for (const k of to) el('line', { x1: place[k].x + W / 2, y1: barY + 14, x2: place[k].x + W / 2, y2: place[k].y }, group);
      } else {
        const target = place[to[0]];
        el('polyline', { points: [x, barY, x, barY + 14, target.x + W / 2, barY + 14, target.x + W / 2, target.y].join(' '), class: 'wire' }, group);
      }
      // The condition as written, and whether the transition fired in the last cycle.
      const condition = this.conditionText(chart, t);
      const label = text(x + 24, barY + 4, condition, 'cond', group);
      label.setAttribute('data-condition', t.name);
      // The live value of each variable the condition reads, after it: why a transition
      // does not fire is read there.
      if (instance) this.conditionValues(path, condition, text(x + 24, barY + 16, '', 'condvalues', group));
      const fired = instance ? this.variable(path + '.' + t.name) : undefined;
      if (fired !== undefined) {
        const mark = (value) => group.classList.toggle('fired', value === 'TRUE');
        this.chartMark(fired, mark);
      }
    });
    chart.steps.forEach((s, k) => {
      const p = place[k];
      const group = el('g', { class: 'step' + (s.initial ? ' initial' : ''), 'data-step': s.name });
      el('rect', { x: p.x, y: p.y, width: W, height: H, rx: 2 }, group);
      if (s.initial) el('rect', { x: p.x + 4, y: p.y + 4, width: W - 8, height: H - 8, class: 'inner' }, group);
      text(p.x + W / 2, p.y + 15, s.name, 'name', group);
      const time = text(p.x + W / 2, p.y + 28, '', 'time', group);
      el('circle', { cx: p.x + W - 9, cy: p.y + 9, r: 5, class: 'bpmark' }, group);
      const title = el('title', {}, group);
      title.textContent = 'click: a step breakpoint on ' + (path ? path + '.' : '') + s.name;
      group.addEventListener('click', () => this.toggleStep(path, s));
      // Actions in a box to the right of the step, one row each.
      s.actions.forEach((a, n) => {
        const ax = p.x + W + 8, ay = p.y + n * 16 - (s.actions.length > 2 ? 8 : 0);
        el('rect', { x: ax, y: ay, width: 24, height: 16, class: 'qualifier' }, group);
        text(ax + 12, ay + 12, a.qualifier || 'N', 'qualifier', group);
        el('rect', { x: ax + 24, y: ay, width: 60, height: 16, class: 'action' }, group);
        const at = text(ax + 28, ay + 12, a.action + (a.time ? ' ' + a.time : ''), 'action', group);
        at.setAttribute('text-anchor', 'start');
        const active = path ? this.variable(path + '.' + a.action + '_ACTION.Q') ?? this.variable(path + '.' + a.action + '.Q') : undefined;
        if (active !== undefined) this.chartMark(active, (value) => at.classList.toggle('active', value === 'TRUE'));
      });
      if (path) {
        const x = this.variable(path + '.' + s.name + '.X');
        const t = this.variable(path + '.' + s.name + '.T');
        if (x !== undefined) this.chartMark(x, (value) => group.classList.toggle('active', value === 'TRUE'));
        if (t !== undefined) this.chartMark(t, (value) => { time.textContent = value; });
      }
    });
    section.appendChild(svg);
    if (path) section.appendChild(this.forcing(chart, path));
    return section;
  }

  // The condition of a transition as its source line writes it (in the file of its
  // chart's steps: the description gives a transition its line only).
  conditionText(chart, t) {
    const step = chart.steps.find((s) => s.file);
    const file = step ? this.program.sources.findIndex((s) => s.file === step.file) : -1;
    const text = this.texts[file < 0 ? 0 : file];
    if (text === undefined || !t.line) return '';
    const line = text.split('\n')[t.line - 1] || '';
    const m = /:=\s*(.*?)\s*;?\s*(END_TRANSITION.*)?$/i.exec(line);
    const condition = m ? m[1].replace(/;$/, '') : '';
    return condition.length > 40 ? condition.slice(0, 39) + '…' : condition;
  }

  // Under the condition's text, the value of each variable it names (Button, T1.Q,
  // Fill.X), looked up under the chart's instance path as the source writes it, in any case.
  conditionValues(path, condition, line) {
    if (!this.namesUpper) {
      this.namesUpper = new Map();
      for (const name of Object.keys(this.panel.byName)) this.namesUpper.set(name.toUpperCase(), this.panel.byName[name]);
    }
    const words = new Set(['AND', 'OR', 'XOR', 'NOT', 'MOD', 'TRUE', 'FALSE']);
    const seen = new Set();
    for (const [name] of condition.replace(/'[^']*'|"[^"]*"|[A-Za-z]+#[\w.:-]+/g, ' ').matchAll(/[A-Za-z_][\w]*(\.[A-Za-z_][\w]*)*/g)) {
      const upper = name.toUpperCase();
      if (words.has(upper) || seen.has(upper)) continue;
      seen.add(upper);
      const k = this.namesUpper.get((path + '.' + name).toUpperCase());
      if (k === undefined) continue;
      const span = document.createElementNS(SVG_NS, 'tspan');
      line.appendChild(span);
      this.chartMark(k, (value) => { span.textContent = (seen.size > 1 ? '  ' : '') + name + '=' + value; });
    }
  }

  chartMark(k, apply) {
    if (!this.chartMarks.has(k)) this.chartMarks.set(k, []);
    this.chartMarks.get(k).push(apply);
    apply(this.panel.texts[k]);
  }

  toggleStep(path, step) {
    const instance = this.instanceByPath(path);
    const listed = instance && this.state &&
      this.state.locations.some(([l, i]) => l === step.location && i === instance.number);
    this.post('location', { location: (path ? path + '.' : '') + step.name, on: listed ? 0 : 1 });
  }

  // Forcing a step's activity goes through the panel's own force path, as any variable's.
  forcing(chart, path) {
    const box = document.createElement('details');
    box.className = 'forcing';
    const summary = document.createElement('summary');
    summary.textContent = 'Force steps (writes the step variables as the variables table does; the chart evolves from what is forced)';
    box.appendChild(summary);
    for (const s of chart.steps) {
      const name = path + '.' + s.name + '.X';
      if (this.variable(name) === undefined) continue;
      const row = document.createElement('div');
      row.append(name + ' ');
      for (const [label, action, value] of [['force active', 'force', 'TRUE'], ['force inactive', 'force', 'FALSE'], ['unforce', 'unforce', '']]) {
        const b = document.createElement('button');
        b.type = 'button';
        b.textContent = label;
        b.addEventListener('click', () => this.post(action, action === 'force' ? { name, value } : { name }));
        row.appendChild(b);
      }
      box.appendChild(row);
    }
    return box;
  }

  // ---- Diagrams ---------------------------------------------------------------------------

  drawDiagrams() {
    const box = document.getElementById('ondiagrams');
    box.textContent = '';
    for (const diagram of this.program.diagrams) box.appendChild(this.drawDiagram(diagram));
  }

  // One FBD or LD body at its editor's positions: wires carry the colour of their boolean
  // value and numbers are written at the pins they leave.
  drawDiagram(diagram) {
    const path = this.chosen[diagram.pou.toUpperCase()] ||
      (this.program.instances.length ? this.program.instances[0].path : '');
    const section = document.createElement('div');
    section.className = 'diagram';
    section.dataset.pou = diagram.pou;
    section.dataset.language = diagram.language;
    const title = document.createElement('h3');
    title.textContent = diagram.language + ' of ' + diagram.pou + (path ? ' (' + path + ')' : '');
    section.appendChild(title);
    const byId = new Map(diagram.elements.map((e) => [e.id, e]));
    let maxX = 100, maxY = 60;
    for (const e of diagram.elements) { maxX = Math.max(maxX, e.x + e.width + 80); maxY = Math.max(maxY, e.y + e.height + 30); }
    const svg = document.createElementNS(SVG_NS, 'svg');
    svg.setAttribute('viewBox', '0 0 ' + maxX + ' ' + maxY);
    svg.setAttribute('width', maxX);
    svg.setAttribute('height', maxY);
    svg.classList.add('diagramsvg');
    const el = (name, attributes, parent) => {
      const e = document.createElementNS(SVG_NS, name);
      for (const [a, v] of Object.entries(attributes)) e.setAttribute(a, v);
      (parent || svg).appendChild(e);
      return e;
    };
    const instance = this.instanceByPath(path);
    const valueOf = (element, pin) => {
      const outputs = element ? element.outputs : [];
      const out = outputs.find((o) => o.pin === pin) || (pin ? undefined : outputs[0]) || outputs[0];
      return out && out.value && path ? this.variable(path + '.' + out.value) : undefined;
    };
    // Wires first, under the elements.
    for (const e of diagram.elements) {
      e.inputs.forEach((input, n) => {
        const source = byId.get(input.from);
        let points = input.points;
        const pinY = e.y + (n + 1) * e.height / (e.inputs.length + 1);
        if (!points || points.length < 2) {
          if (!source) return;
          const sourceY = source.y + source.height / 2;
          points = [[source.x + source.width, sourceY], [e.x, pinY]];
        }
        const wire = el('polyline', { points: points.map((p) => p.join(',')).join(' '), class: 'wire',
          'data-wire': e.id + ':' + (input.pin || n) }, svg);
        const k = valueOf(source, input.fromPin);
        if (k !== undefined) {
          // The number is written where the wire leaves its source: the end nearer to it
          // (editors list a wire's corners from either end).
          const near = (p) => (source ? Math.abs(p[0] - (source.x + source.width)) + Math.abs(p[1] - (source.y + source.height / 2)) : 0);
          const end = near(points[0]) <= near(points[points.length - 1]) ? points[0] : points[points.length - 1];
          const label = el('text', { x: end[0] + 3, y: end[1] - 3, class: 'pinvalue' });
          this.chartMark(k, (value) => {
            wire.classList.toggle('on', value === 'TRUE');
            wire.classList.toggle('off', value === 'FALSE');
            label.textContent = value === 'TRUE' || value === 'FALSE' ? '' : value;
          });
        }
      });
    }
    for (const e of diagram.elements) {
      const group = el('g', { class: 'element ' + e.kind, 'data-element': e.id });
      el('rect', { x: e.x, y: e.y, width: Math.max(e.width, 8), height: Math.max(e.height, 8) }, group);
      const label = e.kind === 'block' ? e.type + (e.instance ? ' ' + e.instance : '')
        : e.kind === 'actionBlock' ? (e.actions || []).map((a) => (a.qualifier || 'N') + (a.time ? ' ' + a.time : '') + ' ' + a.action).join(', ')
          : e.kind === 'jumpStep' ? '→ ' + e.name
            : e.variable || e.name || (e.kind === 'transition' ? '' : e.type || e.kind);
      // A block's name, a contact's or a coil's variable above it; the rails need none.
      const above = e.kind === 'block' || e.kind === 'contact' || e.kind === 'coil';
      const t = el('text', { x: e.x + Math.max(e.width, 8) / 2, y: above ? e.y - 3 : e.y + e.height / 2 + 4, class: 'label' }, group);
      t.textContent = e.kind.endsWith('PowerRail') ? '' : label;
      e.inputs.forEach((input, n) => {
        if (!input.pin || e.kind !== 'block') return;
        const pt = el('text', { x: e.x + 3, y: e.y + (n + 1) * e.height / (e.inputs.length + 1) + 4, class: 'pin' }, group);
        pt.textContent = (input.negated ? '¬' : '') + input.pin;
      });
      e.outputs.forEach((output, n) => {
        if (e.kind === 'block' && output.pin) {
          const pt = el('text', { x: e.x + e.width - 3, y: e.y + (n + 1) * e.height / (e.outputs.length + 1) + 4, class: 'pin out' }, group);
          pt.textContent = output.pin;
        }
        const k = output.value && path ? this.variable(path + '.' + output.value) : undefined;
        if (k !== undefined && (e.kind === 'contact' || e.kind === 'coil')) {
          this.chartMark(k, (value) => group.classList.toggle('on', value === 'TRUE'));
        }
      });
      // A drawn step is lit while active, as in the chart view.
      const active = e.kind === 'step' && e.name && path ? this.variable(path + '.' + e.name + '.X') : undefined;
      if (active !== undefined) this.chartMark(active, (value) => group.classList.toggle('on', value === 'TRUE'));
      if (e.location && instance) {
        group.classList.add('breakable');
        group.dataset.location = e.location;
        group.dataset.instance = instance.number;
        const title = el('title', {}, group);
        title.textContent = 'click: a breakpoint on ' + (e.rung ? 'rung ' + e.rung : e.kind + ' ' + e.id) + ' (line ' + e.line + ')';
        group.addEventListener('click', () => {
          const listed = this.state && this.state.locations.some(([l, i]) => l === e.location && i === instance.number);
          this.post('location', { location: e.location, instance: instance.number, on: listed ? 0 : 1 });
        });
      }
    }
    section.appendChild(svg);
    return section;
  }

  // ---- Live ---------------------------------------------------------------------------------

  // Variables that changed: only their badges and marks are touched, once per frame, and
  // a badge only while its line is in sight (the others when they come into it).
  values(changed) {
    for (const k of changed) this.pending.add(k);
    if (this.frame) return;
    this.frame = requestAnimationFrame(() => {
      this.frame = 0;
      const pending = this.pending;
      this.pending = new Set();
      for (const k of pending) {
        const spans = this.badges.get(k);
        if (spans) {
          for (const span of spans) {
            if (this.inSight.has(span.parentElement)) this.fill(span, this.panel.texts[k]);
            else span.stale = true;
          }
        }
        const marks = this.chartMarks.get(k);
        if (marks) for (const apply of marks) apply(this.panel.texts[k]);
      }
    });
  }

  // A line comes into sight: its badges catch up with what changed meanwhile.
  sighted(entries) {
    for (const entry of entries) {
      const code = entry.target.lastChild;
      if (!entry.isIntersecting) { this.inSight.delete(code); continue; }
      this.inSight.add(code);
      for (const span of code.querySelectorAll('.val')) {
        if (!span.stale) continue;
        span.stale = false;
        this.fill(span, this.panel.texts[Number(span.dataset.k)]);
      }
    }
  }

  showState(s, redrawn) {
    const previous = this.state;
    this.state = s;
    if (!this.program) return;
    const $ = (id) => document.getElementById(id);
    const paused = s.statusName === 'PAUSE' && s.paused ? s.paused : null;
    // The listed breakpoints, on the lines and the steps.
    if (redrawn || !previous || JSON.stringify(previous.locations) !== JSON.stringify(s.locations)) {
      const listed = this.listedLines();
      const fileName = this.program.sources[this.file] ? this.program.sources[this.file].file : '';
      for (const g of this.root.querySelectorAll('#onsource .gutter.bp'))
        g.classList.toggle('listed', listed.has(fileName + ':' + g.parentElement.dataset.line));
      const pairs = new Set(s.locations.map(([l, i]) => l + '/' + i));
      for (const chart of this.program.charts) {
        const instance = this.instanceByPath(this.chosen[chart.pou.toUpperCase()]);
        for (const step of chart.steps) {
          const g = this.root.querySelector('#oncharts [data-step="' + CSS.escape(step.name) + '"]');
          if (g && instance) g.classList.toggle('listed', pairs.has(step.location + '/' + instance.number));
        }
      }
      for (const g of this.root.querySelectorAll('#ondiagrams [data-location]'))
        g.classList.toggle('listed', pairs.has(g.dataset.location + '/' + g.dataset.instance));
    }
    const key = paused ? [paused.location, paused.instance, s.cycle].join('/') : s.statusName;
    if (key === this.pausedKey && !redrawn) return;
    this.pausedKey = key;
    for (const line of this.root.querySelectorAll('.srcline.current')) line.classList.remove('current');
    for (const step of this.root.querySelectorAll('.step.current, .element.current')) step.classList.remove('current');
    $('onwhere').textContent = paused ? 'paused at ' + (paused.file ? paused.file + ':' + paused.line : 'location ' + paused.location) +
      (paused.path ? ' in ' + paused.path : '') + ' (cycle ' + s.cycle + ')' : s.statusName === 'RUN' ? 'running' : 'not paused';
    $('onstack').textContent = '';
    if (!paused) return;
    paused.stack.forEach((p, n) => {
      if (n) $('onstack').append(' → ');
      const b = document.createElement('span');
      b.className = 'frame';
      b.textContent = p;
      $('onstack').appendChild(b);
    });
    // The instances paused in show their values.
    let changed = false;
    for (const p of paused.stack) {
      const i = this.instanceByPath(p);
      if (i && this.chosen[i.type.toUpperCase()] !== p) { this.chosen[i.type.toUpperCase()] = p; changed = true; }
    }
    if (changed && !redrawn) {
      const select = $('oninstance');
      if (paused.path && [...select.options].some((o) => o.value === paused.path)) select.value = paused.path;
      this.redraw();
      return;
    }
    const file = this.program.sources.findIndex((f) => f.file === paused.file);
    if (file >= 0 && file !== this.file && this.view === 'source') { this.openFile(file); return; }
    const line = this.root.querySelector('#onsource .srcline[data-line="' + paused.line + '"]');
    if (line && this.view === 'source') {
      line.classList.add('current');
      line.scrollIntoView({ block: 'nearest' });
    }
    const drawn = this.root.querySelector('#ondiagrams [data-location="' + paused.location + '"][data-instance="' + paused.instance + '"]');
    if (drawn) drawn.classList.add('current');
    if (paused.step) {
      const name = paused.step.slice(paused.step.lastIndexOf('.') + 1);
      const g = this.root.querySelector('#oncharts [data-step="' + CSS.escape(name) + '"]');
      if (g) g.classList.add('current');
    }
  }
}
