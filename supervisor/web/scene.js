// The 3D view of a program's scene objects: each object is the unit cube placed by its
// 4 x 4 matrix (row-major, translation in elements 3, 7, 11); Z is up.
'use strict';

class Scene {
  constructor(container, objects) {
    this.container = container;
    this.objects = objects;
    this.scene = new THREE.Scene();
    this.scene.background = new THREE.Color(0xf0f2f5);
    this.scene.add(new THREE.AmbientLight(0xffffff, 0.6));
    const sun = new THREE.DirectionalLight(0xffffff, 0.6);
    sun.position.set(3, -5, 8);
    this.scene.add(sun);
    const palette = [0x7f8c8d, 0xe67e22, 0x2980b9, 0x27ae60, 0x8e44ad, 0xc0392b, 0x16a085];
    const cube = new THREE.BoxBufferGeometry(1, 1, 1);
    cube.translate(0.5, 0.5, 0.5);  // the unit cube [0, 1]^3
    this.meshes = objects.map((o) => {
      const colour = /^#[0-9a-fA-F]{6}$/.test(o.colour) ? o.colour : palette[Math.abs(o.kindId) % palette.length];
      const material = new THREE.MeshLambertMaterial({
        color: colour, transparent: o.kind === 'actor', opacity: o.kind === 'actor' ? 0.55 : 1,
      });
      const mesh = new THREE.Mesh(cube, material);
      mesh.matrixAutoUpdate = false;
      mesh.visible = false;
      this.scene.add(mesh);
      return mesh;
    });
    this.framed = false;
    try {
      this.renderer = new THREE.WebGLRenderer({ antialias: true });
    } catch (error) {
      this.renderer = null;
      container.textContent = 'The 3D view needs WebGL, which this browser does not offer.';
    }
    const width = container.clientWidth || 800, height = container.clientHeight || 380;
    this.camera = new THREE.PerspectiveCamera(45, width / height, 0.05, 500);
    this.camera.up.set(0, 0, 1);
    this.camera.position.set(4, -9, 6);
    if (this.renderer) {
      this.renderer.setSize(width, height);
      container.appendChild(this.renderer.domElement);
      this.hoverNames(container);
      this.controls = new THREE.OrbitControls(this.camera, this.renderer.domElement);
      this.controls.autoRotate = true;
      this.controls.autoRotateSpeed = 0.6;
      this.running = true;
      const frame = () => {
        if (!this.running) return;
        this.controls.update();
        this.renderer.render(this.scene, this.camera);
        requestAnimationFrame(frame);
      };
      requestAnimationFrame(frame);
    }
  }

  // changes: object index -> [status, m0 .. m15]
  update(changes) {
    for (const [k, values] of Object.entries(changes)) {
      const mesh = this.meshes[k];
      if (!mesh || values.some((v) => v === null)) continue;
      const m = values.slice(1);
      mesh.matrix.set(...m);
      mesh.visible = values[0] === 1;
    }
    if (!this.framed) this.frame();
  }

  // Frames every placed object once they are placed, over a floor grid at the lowest of
  // them, so that the whole scene is in view whatever its units.
  frame() {
    const box = new THREE.Box3();
    this.meshes.forEach((mesh) => {
      if (mesh.visible) box.expandByObject(mesh);
    });
    if (box.isEmpty()) return;
    const centre = box.getCenter(new THREE.Vector3());
    const size = Math.max(box.getSize(new THREE.Vector3()).length(), 1e-3);
    const fov = (this.camera.fov * Math.PI) / 180;
    const distance = size / (2 * Math.tan(fov / 2)) * 1.1;
    const toward = new THREE.Vector3(0.45, -0.8, 0.5).normalize().multiplyScalar(distance);
    this.camera.position.copy(centre).add(toward);
    this.camera.near = distance / 100;
    this.camera.far = distance * 100;
    this.camera.updateProjectionMatrix();
    const span = size * 1.5;
    const grid = new THREE.GridHelper(span, 20, 0x8899aa, 0xc8d0d8);
    grid.rotation.x = Math.PI / 2;  // the grid lies in XY: Z is up
    grid.position.set(centre.x, centre.y, box.min.z);
    this.scene.add(grid);
    if (this.controls) {
      this.controls.target.copy(centre);
      this.controls.update();
    }
    this.framed = true;
  }

  // Each object's name under the pointer, in a label that follows it.
  hoverNames(container) {
    const label = document.createElement('div');
    label.className = 'scenelabel';
    label.hidden = true;
    container.style.position = 'relative';
    container.appendChild(label);
    this.label = label;
    const ray = new THREE.Raycaster();
    this.renderer.domElement.addEventListener('pointermove', (e) => {
      const r = this.renderer.domElement.getBoundingClientRect();
      const at = new THREE.Vector2(((e.clientX - r.left) / r.width) * 2 - 1, -((e.clientY - r.top) / r.height) * 2 + 1);
      ray.setFromCamera(at, this.camera);
      const hit = ray.intersectObjects(this.meshes.filter((m) => m.visible))[0];
      label.hidden = !hit;
      if (!hit) return;
      label.textContent = this.objects[this.meshes.indexOf(hit.object)].name;
      label.style.left = (e.clientX - r.left + 12) + 'px';
      label.style.top = (e.clientY - r.top + 12) + 'px';
    });
    this.renderer.domElement.addEventListener('pointerleave', () => { label.hidden = true; });
  }

  // Where each object is drawn: its origin corner and whether it is shown.
  drawn() {
    return this.meshes.map((mesh) => {
      const e = mesh.matrix.elements;  // column-major
      return { x: e[12], y: e[13], z: e[14], visible: mesh.visible };
    });
  }

  dispose() {
    this.running = false;
    if (this.renderer) this.renderer.dispose();
    this.container.textContent = '';
  }
}
