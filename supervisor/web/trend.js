// The trend chart: booleans as lanes, numbers as curves, over a window of up to 30 s.
'use strict';

class Trend {
  constructor(canvas, valueOf) {
    this.canvas = canvas;
    this.valueOf = valueOf;   // name -> current text
    this.chosen = [];         // variables drawn
    this.samples = [];        // [time ms, value per chosen variable]
    this.seconds = 30;
    this.paused = false;
    this.frozenAt = 0;
    setInterval(() => this.sample(), 100);
    setInterval(() => this.draw(), 200);
  }

  reset() {
    this.chosen = [];
    this.samples = [];
  }

  choose(variable, on) {
    this.chosen = this.chosen.filter((v) => v.name !== variable.name);
    if (on) this.chosen.push(variable);
    this.samples = [];  // the columns changed
  }

  pause(on) {
    this.paused = on;
    this.frozenAt = Date.now();
  }

  zoom(seconds) { this.seconds = seconds; }

  // A text as qvctl prints it, as a number: TRUE/FALSE, 12, 1.5, T#2.5s, 65 'A'.
  static numberOf(text) {
    if (text === 'TRUE') return 1;
    if (text === 'FALSE') return 0;
    if (text === undefined) return NaN;
    const time = /^T#(-?[\d.]+)s$/.exec(text);
    return time ? Number(time[1]) : parseFloat(text);
  }

  sample() {
    if (this.chosen.length === 0) return;
    const now = Date.now();
    this.samples.push([now, ...this.chosen.map((v) => Trend.numberOf(this.valueOf(v.name)))]);
    while (this.samples.length && this.samples[0][0] < now - 30000) this.samples.shift();
  }

  // The samples in the window shown.
  shown() {
    const end = this.paused ? this.frozenAt : Date.now();
    const start = end - this.seconds * 1000;
    return { start, end, rows: this.samples.filter((s) => s[0] >= start && s[0] <= end) };
  }

  draw() {
    const c = this.canvas.getContext('2d');
    const w = this.canvas.width, h = this.canvas.height;
    c.clearRect(0, 0, w, h);
    const { start, end, rows } = this.shown();
    const left = 120, right = w - 10;
    const x = (t) => left + (t - start) / (end - start) * (right - left);
    c.font = '11px sans-serif';
    c.strokeStyle = '#eee';
    c.fillStyle = '#999';
    for (let s = 0; s <= this.seconds; s += this.seconds / 6) {
      const px = x(end - s * 1000);
      c.beginPath(); c.moveTo(px, 0); c.lineTo(px, h); c.stroke();
      c.fillText('-' + s + ' s', px + 2, h - 2);
    }
    const lanes = this.chosen.filter((v) => v.type === 'BOOL');
    const curves = this.chosen.filter((v) => v.type !== 'BOOL');
    const laneHeight = 16;
    const colours = ['#2f7de1', '#e1542f', '#1a9f5a', '#9b3fd1', '#d19b00', '#00a2b8', '#777'];
    this.chosen.forEach((v, column) => {
      const colour = colours[column % colours.length];
      const values = rows.map((r) => r[column + 1]);
      let y;
      const lane = lanes.indexOf(v);
      if (lane >= 0) {
        const top = 4 + lane * laneHeight;
        y = (value) => top + (value ? 2 : laneHeight - 4);
        c.fillStyle = colour;
        c.fillText(v.name, 4, top + 10);
      } else {
        const finite = values.filter(Number.isFinite);
        const lo = Math.min(...finite), hi = Math.max(...finite);
        const top = 8 + lanes.length * laneHeight, bottom = h - 16;
        y = (value) => bottom - (hi > lo ? (value - lo) / (hi - lo) : 0.5) * (bottom - top);
        c.fillStyle = colour;
        const curve = curves.indexOf(v);
        c.fillText(v.name + (finite.length ? ' ' + lo + '..' + hi : ''), 4, top + 10 + curve * 13);
      }
      c.strokeStyle = colour;
      c.beginPath();
      let drawing = false;
      rows.forEach((r, k) => {
        const value = values[k];
        if (!Number.isFinite(value)) { drawing = false; return; }
        if (drawing) c.lineTo(x(r[0]), y(values[k - 1]));  // steps, as the program's cycles are
        drawing ? c.lineTo(x(r[0]), y(value)) : c.moveTo(x(r[0]), y(value));
        drawing = true;
      });
      c.stroke();
    });
  }

  csv() {
    const { start, rows } = this.shown();
    const lines = ['time_s,' + this.chosen.map((v) => v.name).join(',')];
    for (const r of rows) lines.push(((r[0] - start) / 1000).toFixed(3) + ',' + r.slice(1).join(','));
    return lines.join('\n') + '\n';
  }

  download() {
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([this.csv()], { type: 'text/csv' }));
    link.download = 'trend.csv';
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 1000);
  }
}
