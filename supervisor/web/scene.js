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

  // Looks at the middle of the actors once they are placed.
  frame() {
    const box = new THREE.Box3();
    this.meshes.forEach((mesh, k) => {
      if (mesh.visible && this.objects[k].kind === 'actor') box.expandByObject(mesh);
    });
    if (box.isEmpty()) return;
    const centre = box.getCenter(new THREE.Vector3());
    const size = box.getSize(new THREE.Vector3()).length();
    this.camera.position.set(centre.x + size * 0.4, centre.y - size * 0.9, centre.z + size * 0.6);
    if (this.controls) {
      this.controls.target.copy(centre);
      this.controls.update();
    }
    this.framed = true;
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
