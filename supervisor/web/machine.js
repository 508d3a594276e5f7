// The machine of each program, drawn from its variables (and, while the panel plays the
// machine, from the plant's exact positions); its outputs as lamps, its inputs as buttons.
'use strict';

class Machine {
  constructor(svg, lamps, buttons, description, post) {
    this.svg = svg;
    this.program = description.program;
    this.part = null;  // the manipulator's part: where it lies, whether it is held
    const top = description.variables.filter((v) => v.type === 'BOOL' && !v.name.includes('.'));
    lamps.textContent = '';
    buttons.textContent = '';
    this.lamps = top.filter((v) => v.direction === 'output').map((v) => {
      const lamp = document.createElement('span');
      lamp.className = 'lamp';
      lamp.dataset.lamp = v.name;
      lamp.textContent = v.name;
      lamps.appendChild(lamp);
      return [v.name, lamp];
    });
    // Push buttons that latch: a press sets the input, the next one releases it.
    this.buttons = top.filter((v) => v.direction === 'input').map((v) => {
      const b = document.createElement('button');
      b.type = 'button';
      b.className = 'push';
      b.dataset.input = v.name;
      b.textContent = v.name;
      b.addEventListener('click', () => post('set', { name: v.name, value: b.classList.contains('on') ? 'FALSE' : 'TRUE' }));
      buttons.appendChild(b);
      return [v.name, b];
    });
    svg.innerHTML = '';
  }

  update(valueOf, state) {
    const on = (name) => valueOf(name) === 'TRUE';
    for (const [name, lamp] of this.lamps) lamp.classList.toggle('on', on(name));
    for (const [name, b] of this.buttons) b.classList.toggle('on', on(name));
    const plant = (state && state.plant) || {};
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
    // The part lies at the start position until the vacuum takes it; it rides with the
    // gripper while held and stays where the vacuum lets it go.
    const start = Number(valueOf('Pos_depart'));
    if (this.part === null || (!this.part.moved && !this.part.held)) {
      this.part = { at: spots[start] || spots[0], held: false, moved: false };
    }
    if (on('vacuostat') && vz > 0.5 && !this.part.held &&
        Math.hypot(grip.x - this.part.at.x, grip.y - this.part.at.y) < 20) this.part.held = true;
    if (this.part.held && !on('vacuostat')) {
      this.part = { at: grip, held: false, moved: true };
    }
    const part = this.part.held ? grip : this.part.at;
    svg += `<rect data-part x="${part.x - 12}" y="${part.y - 12}" width="24" height="24" fill="#c77d2e" stroke="#653"/>`;
    const r = 10 + vz * 8;
    const shade = Math.round(230 - level * 170);
    svg += `<line x1="${grip.x}" y1="110" x2="${grip.x}" y2="${grip.y}" stroke="#556" stroke-width="4"/>` +
      `<circle data-gripper cx="${grip.x}" cy="${grip.y}" r="${r}" fill="rgba(${shade},${shade},255,0.8)" stroke="#224"/>`;
    svg += `<text x="30" y="212" font-size="12">GX ${Math.round(gx * 100)} %  PX ${Math.round(px * 100)} %  ` +
      `VR ${Math.round(vr * 100)} %  VZ ${Math.round(vz * 100)} % down  vacuum ${Math.round(level * 100)} %</text>`;
    return svg;
  }
}
