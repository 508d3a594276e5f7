// The machine of each program, drawn from its variables (and, while the panel plays the
// machine, from the plant's exact positions); its outputs as lamps, its inputs as buttons.
'use strict';

// What each machine's operator expects beyond the symbol description: the inputs that are
// momentary push buttons (held for at least one cycle, then released), and the values an
// integer input allows.
const OPERATOR_CONTROLS = {
  manipulateur: { momentary: ['DCY', 'acq'], choices: { Pos_depart: [0, 1, 2, 3, 4, 5, 6, 7], Pos_arrivee: [0, 1, 2, 3, 4, 5, 6, 7] } },
  bistable_cylinder: { momentary: ['ACQ'], choices: {} },
  pick_place_unit: { momentary: ['acq'], choices: {} },
  suction_cup: { momentary: ['ACQ'], choices: {} },
};

class Machine {
  constructor(svg, lamps, buttons, description, post, operatorBox, cycleOf) {
    this.svg = svg;
    this.program = description.program;
    this.post = post;
    this.cycleOf = cycleOf || (() => 0);
    this.part = null;
    const top = description.variables.filter((v) => !v.name.includes('.'));
    const controls = OPERATOR_CONTROLS[this.program] || { momentary: [], choices: {} };
    lamps.textContent = '';
    buttons.textContent = '';
    if (operatorBox) operatorBox.textContent = '';
    this.lamps = top.filter((v) => v.type === 'BOOL' && v.direction === 'output').map((v) => {
      const lamp = document.createElement('span');
      lamp.className = 'lamp';
      lamp.dataset.lamp = v.name;
      lamp.textContent = v.name;
      if (v.comment) lamp.title = v.comment;
      lamps.appendChild(lamp);
      return [v.name, lamp];
    });
    // The operator's inputs: push buttons (momentary or latching), position choices, values.
    this.operatorInputs = [];
    this.buttons = [];
    for (const v of top.filter((x) => x.direction === 'input' && x.operator)) {
      if (!operatorBox) break;
      if (v.type === 'BOOL') {
        const momentary = controls.momentary.includes(v.name);
        const b = this.pushButton(v, momentary);
        operatorBox.appendChild(b);
        this.buttons.push([v.name, b]);
      } else {
        operatorBox.appendChild(this.valueInput(v, controls.choices[v.name] || v.values));
      }
    }
    // The rest of the top model's boolean inputs are the machine's sensors: buttons while
    // nobody plays the machine, indicators while the panel plays it.
    this.sensors = top.filter((v) => v.type === 'BOOL' && v.direction === 'input' && !v.operator).map((v) => {
      const b = document.createElement('button');
      b.type = 'button';
      b.className = 'push';
      b.dataset.input = v.name;
      b.dataset.sensor = '';
      b.textContent = v.name;
      if (v.comment) b.title = v.comment;
      b.addEventListener('click', () => post('set', { name: v.name, value: b.classList.contains('on') ? 'FALSE' : 'TRUE' }));
      buttons.appendChild(b);
      return [v.name, b];
    });
    this.buttons = this.buttons.concat(this.sensors);
    svg.innerHTML = '';
  }

  // A momentary button sets its input on press and releases it once the program has run
  // at least one cycle with it held; a latching one changes it at each press.
  pushButton(v, momentary) {
    const b = document.createElement('button');
    b.type = 'button';
    b.className = 'push' + (momentary ? ' momentary' : '');
    b.dataset.input = v.name;
    b.dataset.operator = '';
    b.textContent = v.name;
    b.title = (v.comment ? v.comment + ' – ' : '') + (momentary ? 'momentary: held for at least one cycle' : 'press to switch on or off');
    if (!momentary) {
      b.addEventListener('click', () => this.post('set', { name: v.name, value: b.classList.contains('on') ? 'FALSE' : 'TRUE' }));
      return b;
    }
    let pressedAt = null;
    let released = false;
    const press = () => {
      if (pressedAt !== null) return;
      pressedAt = this.cycleOf();
      released = false;
      b.classList.add('held');
      this.post('set', { name: v.name, value: 'TRUE' });
      const timer = setInterval(() => {
        // Seen by one whole cycle: the counter has moved on twice since the press.
        if (!released || this.cycleOf() < pressedAt + 2) return;
        clearInterval(timer);
        pressedAt = null;
        b.classList.remove('held');
        this.post('set', { name: v.name, value: 'FALSE' });
      }, 20);
    };
    const release = () => { released = true; };
    b.addEventListener('pointerdown', press);
    b.addEventListener('pointerup', release);
    b.addEventListener('pointerleave', release);
    b.addEventListener('keydown', (e) => { if (e.key === ' ' || e.key === 'Enter') { press(); release(); } });
    return b;
  }

  valueInput(v, choices) {
    const label = document.createElement('label');
    label.className = 'operatorinput';
    label.dataset.operator = v.name;
    label.append(v.name + ' ');
    if (v.comment) label.title = v.comment;
    let field;
    if (choices && choices.length) {
      field = document.createElement('select');
      for (const c of choices) {
        const o = document.createElement('option');
        o.value = o.textContent = String(c);
        field.appendChild(o);
      }
      field.addEventListener('change', () => this.post('set', { name: v.name, value: field.value }));
    } else {
      field = document.createElement('input');
      field.size = 8;
      field.addEventListener('keydown', (e) => { if (e.key === 'Enter') this.post('set', { name: v.name, value: field.value }); });
    }
    field.dataset.input = v.name;
    label.appendChild(field);
    const now = document.createElement('span');
    now.className = 'hint';
    label.appendChild(now);
    this.operatorInputs.push([v.name, field, now]);
    return label;
  }

  update(valueOf, state) {
    const on = (name) => valueOf(name) === 'TRUE';
    for (const [name, lamp] of this.lamps) lamp.classList.toggle('on', on(name));
    for (const [name, b] of this.buttons) b.classList.toggle('on', on(name));
    const plant = (state && state.plant) || {};
    // While the panel plays the machine the sensors are the plant's: shown, not pressed.
    const played = !!(plant.cylinders || plant.vacuums);
    for (const [, b] of this.sensors) {
      b.disabled = played;
      b.classList.toggle('indicator', played);
      b.classList.toggle('push', !played);
    }
    for (const [name, field, now] of this.operatorInputs) {
      const value = valueOf(name);
      now.textContent = '= ' + (value === undefined ? '?' : value);
      if (document.activeElement !== field && value !== undefined) {
        if (field.tagName === 'SELECT') {
          if (![...field.options].some((o) => o.value === value)) {
            const o = document.createElement('option');
            o.value = o.textContent = value;
            field.appendChild(o);
          }
        }
        field.value = value;
      }
    }
    this.state = state || {};
    // A cylinder's position, 0 retracted .. 1 extended: the plant's, else its switches'.
    const position = (cylinder, extended, retracted) => {
      const c = (plant.cylinders || []).find((p) => p.name === cylinder);
      if (c) return c.position;
      return on(extended) ? 1 : on(retracted) ? 0 : 0.5;
    };
    const vacuum = (name, orOn) => {
      const v = (plant.vacuums || []).find((p) => p.name === name);
      return v ? v.level : (on(orOn) ? 1 : 0);
    };
    const draw = {
      bistable_cylinder: () => this.cylinder(position('cylinder', 'CS', 'CR'), on),
      pick_place_unit: () => this.pickPlace(position('VZ', 'CR_VZS', 'CR_VZR'), vacuum('vacuum', 'vacuostat'), on),
      suction_cup: () => this.suctionCup(vacuum('suction cup', 'EtatS'), on),
      manipulateur: () => this.cell(position, vacuum('vacuum', 'vacuostat'), on, valueOf),
    }[this.program];
    this.svg.style.display = draw ? '' : 'none';
    if (draw) this.svg.innerHTML = draw();
  }

  static sensor(x, y, name, lit) {
    return `<g data-sensor="${name}"><circle cx="${x}" cy="${y}" r="7" fill="${lit ? '#2fbf4a' : '#ccc'}" stroke="#555"/>` +
      `<text x="${x}" y="${y + 22}" text-anchor="middle" font-size="11">${name}</text></g>`;
  }

  static order(x, y, name, lit) {
    return `<text x="${x}" y="${y}" font-size="12" fill="${lit ? '#d14f00' : '#aaa'}">${lit ? '▶ ' : ''}${name}</text>`;
  }

  // A double-acting cylinder: body, piston and rod, a switch at each end of the rod's travel.
  cylinder(p, on) {
    const rodEnd = 200 + p * 150;
    return `<rect x="30" y="80" width="190" height="50" fill="#d7dde5" stroke="#556"/>` +
      `<rect x="${50 + p * 150}" y="82" width="10" height="46" fill="#667"/>` +
      `<rect data-rod x="${55 + p * 150}" y="98" width="${rodEnd - 55 - p * 150}" height="14" fill="#9aa4b1" stroke="#556"/>` +
      `<rect x="${rodEnd}" y="90" width="14" height="30" fill="#556"/>` +
      Machine.sensor(207, 160, 'CR', on('CR')) + Machine.sensor(357, 160, 'CS', on('CS')) +
      Machine.order(40, 40, 'OrdreS', on('OrdreS')) + Machine.order(40, 60, 'OrdreR', on('OrdreR')) +
      `<text x="240" y="50" font-size="12">rod ${Math.round(p * 100)} %</text>`;
  }

  // A vertical axis with a suction cup at its end, lowering onto a part.
  pickPlace(p, level, on) {
    const tip = 50 + p * 100;
    const held = on('vacuostat') && p > 0.9;
    const partY = held || (level > 0.5 && p < 0.9) ? tip + 8 : 168;
    return `<rect x="170" y="10" width="60" height="40" fill="#d7dde5" stroke="#556"/>` +
      `<rect data-rod x="194" y="50" width="12" height="${tip - 50}" fill="#9aa4b1" stroke="#556"/>` +
      Machine.cup(200, tip, level) +
      `<rect x="180" y="${partY}" width="40" height="22" fill="#c77d2e" stroke="#653"/>` +
      `<rect x="60" y="190" width="300" height="8" fill="#889"/>` +
      Machine.sensor(270, 25, 'CR_VZR', on('CR_VZR')) + Machine.sensor(270, 140, 'CR_VZS', on('CR_VZS')) +
      Machine.order(20, 30, 'VZS', on('VZS')) + Machine.order(20, 50, 'VZR', on('VZR')) +
      Machine.order(20, 80, 'VTM', on('VTM')) + Machine.order(20, 100, 'VTA', on('VTA')) +
      `<text x="300" y="210" font-size="12">vacuum ${Math.round(level * 100)} %</text>`;
  }

  suctionCup(level, on) {
    return `<rect data-rod x="194" y="20" width="12" height="80" fill="#9aa4b1" stroke="#556"/>` +
      Machine.cup(200, 100, level) +
      `<rect x="170" y="${level > 0.5 ? 108 : 150}" width="60" height="24" fill="#c77d2e" stroke="#653"/>` +
      Machine.order(20, 40, 'OrdreS', on('OrdreS')) + Machine.order(20, 60, 'OrdreR', on('OrdreR')) +
      Machine.order(20, 90, 'EtatS', on('EtatS')) + Machine.order(20, 110, 'EtatR', on('EtatR')) +
      `<text x="260" y="110" font-size="12">vacuum ${Math.round(level * 100)} %</text>`;
  }

  static cup(x, y, level) {
    const shade = Math.round(230 - level * 170);
    return `<path data-cup d="M${x - 16} ${y + 8} L${x - 8} ${y} L${x + 8} ${y} L${x + 16} ${y + 8} Z" ` +
      `fill="rgb(${shade},${shade},255)" stroke="#335"/>`;
  }

  // The manipulator cell from above: GX and PX carry the gripper along the rail, VR swings
  // it between two rows; the eight positions are numbered as the cell numbers them. VZ
  // lowers the gripper (drawn bigger when down), the vacuum holds the part.
  cell(position, level, on, valueOf) {
    const gx = position('GX', 'FCGXS', 'FCGXR');
    const px = position('PX', 'FCPXS', 'FCPXR');
    const vr = position('VR', 'FCVRS', 'FCVRR');
    const vz = position('VZ', 'FCVZB', 'FCVZH');
    const codes = [[0, 1], [3, 2]];
    const where = (g, p, v) => ({ x: 60 + (g * 2 + p) * 95, y: 60 + v * 100 });
    let svg = '<rect x="30" y="100" width="350" height="20" fill="#e3e6ea"/>';
    const spots = [];
    for (const g of [0, 1]) for (const p of [0, 1]) for (const v of [0, 1]) {
      const at = where(g, p, v);
      const code = g * 4 + codes[p][v];
      spots[code] = at;
      svg += `<g data-position="${code}"><rect x="${at.x - 18}" y="${at.y - 18}" width="36" height="36" fill="none" ` +
        `stroke="#99a" stroke-dasharray="4 3"/><text x="${at.x - 26}" y="${at.y - 22}" font-size="11">${code}</text></g>`;
    }
    const grip = where(gx, px, vr);
    // The part as the server follows it: at a position code, or riding with the gripper.
    const part = this.state.part || { held: false, at: null };
    const at = part.held ? grip : (part.at === null ? null : spots[part.at]);
    if (at) svg += `<rect data-part x="${at.x - 12}" y="${at.y - 12}" width="24" height="24" fill="#c77d2e" stroke="#653"/>`;
    const start = valueOf('Pos_depart');
    if (!part.held && part.at === null) {
      svg += `<text x="30" y="232" font-size="11" fill="#a61b1b">no part drawn: Pos_depart ${start} is not a position (0 to 7)</text>`;
    }
    const r = 10 + vz * 8;
    const shade = Math.round(230 - level * 170);
    svg += `<line x1="${grip.x}" y1="110" x2="${grip.x}" y2="${grip.y}" stroke="#556" stroke-width="4"/>` +
      `<circle data-gripper cx="${grip.x}" cy="${grip.y}" r="${r}" fill="rgba(${shade},${shade},255,0.8)" stroke="#224"/>`;
    svg += `<text x="30" y="${part.at === null && !part.held ? 216 : 226}" font-size="12">GX ${Math.round(gx * 100)} %  PX ${Math.round(px * 100)} %  ` +
      `VR ${Math.round(vr * 100)} %  VZ ${Math.round(vz * 100)} % down  vacuum ${Math.round(level * 100)} %</text>`;
    return svg;
  }
}
