"""The operator panel in a real browser, against the real programs."""
import json
import os
import shutil
import time
import urllib.error
import urllib.request

import pytest
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select

from conftest import BIN, Page, wait_for

WATCH_CHANGES = """
const cell = document.querySelector("tr[data-var='" + arguments[0] + "'] [data-value]");
window.seen = [];
new MutationObserver(() => window.seen.push([Date.now(), cell.textContent]))
  .observe(cell, {childList: true, characterData: true, subtree: true});
"""


def latencies(page, cell, name, count=10):
    """From a value written into the image to the page's cell, in ms: from just before
    qvctl starts (an upper bound) and from when it has returned (a lower bound)."""
    page.script(WATCH_CHANGES, name)
    found, qvctl = [], []
    for k in range(count):
        value = "TRUE" if k % 2 == 0 else "FALSE"
        before = time.time() * 1000
        cell.qvctl("set", name, value)
        qvctl.append(time.time() * 1000 - before)
        seen = wait_for(lambda: [s for s in page.script("return window.seen") if s[1] == value and s[0] >= before],
                        what="the change on the page")
        found.append(seen[0][0] - before)
        time.sleep(0.2)
    return sorted(found), sorted(f - q for f, q in zip(found, qvctl))


def test_cylinder_driven_and_watched_from_the_page(start, browser):
    cell = start.cell("bistable_cylinder")
    server = start.serve(cell, "--travel", "2")
    page = Page(browser, server.url)
    assert page.status() == "STOP"
    assert page.text("program") == "bistable_cylinder"
    assert page.text("speed") == "real time"

    first = int(page.text("cycle"))
    page.press("RUN")
    wait_for(lambda: page.status() == "RUN", what="RUN on the page")
    wait_for(lambda: int(page.text("cycle")) > first + 5, what="the cycle counter to advance")

    found, after = latencies(page, cell, "ACQ")
    idle = server.cpu_seconds()
    time.sleep(10)
    cpu = (server.cpu_seconds() - idle) / 10
    print("\nupdate latency image -> page: median %d..%d ms, max %d..%d ms (from qvctl set's return .. start); "
          "server CPU with the cell at 50 ms and a page open: %.1f %% of a core"
          % (after[len(after) // 2], found[len(found) // 2], after[-1], found[-1], cpu * 100))
    assert found[-1] < 1000

    # Held off, the order stays off whatever the model computes.
    page.write("OrdreS", "FALSE", "force")
    wait_for(lambda: cell.get("OrdreS") == ("FALSE", True), what="OrdreS forced in the image")
    wait_for(lambda: "forced" in page.row("OrdreS").get_attribute("class"), what="OrdreS marked forced")
    page.write("OrdreS", "", "unforce")
    wait_for(lambda: not cell.get("OrdreS")[1], what="OrdreS released")
    wait_for(lambda: "forced" not in page.row("OrdreS").get_attribute("class"), what="the mark gone")

    # The page plays the machine: asked to go out, the rod travels until it works its switch.
    browser.find_element(By.ID, "plant").click()
    wait_for(lambda: page.value("CR") == "TRUE", what="the rod at its retracted switch")
    page.write("DS", "TRUE")
    wait_for(lambda: page.value("OrdreS") == "TRUE", what="OrdreS after DS")
    wait_for(lambda: page.value("CS") == "TRUE", what="the rod at its extended switch")
    # The model reports the state in the cycle after it sees the switch.
    wait_for(lambda: page.value("EtatS") == "TRUE", what="EtatS after CS")
    assert page.script("return document.querySelector('[data-sensor=CS] circle').getAttribute('fill')") == "#2fbf4a"
    plant = dict(cpu=server.cpu_seconds())
    time.sleep(5)
    print("server CPU while it also plays the machine: %.1f %% of a core" % ((server.cpu_seconds() - plant["cpu"]) / 5 * 100))
    if os.environ.get("QV_SCREENSHOTS"):
        browser.save_screenshot(os.path.join(os.environ["QV_SCREENSHOTS"], "cylinder.png"))

    page.press("END")
    wait_for(lambda: "the program ended" in page.text("notice"), what="the end on the page")
    assert page.status() == "FREE"
    assert cell.process.wait(5) == 0

    # The server carries on: it tells that the image has gone, and takes the next
    # program that starts on it.
    cell.qvctl("remove")
    wait_for(lambda: "no image" in page.text("notice"), what="the image gone on the page")
    again = start.cell("bistable_cylinder")
    wait_for(lambda: page.status() == "STOP" and page.text("pid") == str(again.process.pid), what="the new program")
    assert server.process.poll() is None


IN_VIEW = """
const r = arguments[0].getBoundingClientRect();
return r.top >= 0 && r.left >= 0 && r.bottom <= window.innerHeight && r.right <= window.innerWidth;
"""


def test_operator_runs_the_cell_from_the_operator_section(start, browser):
    """At 1400 x 1000 an operator runs one whole cycle of the cell with the controls of the
    operator section alone, none of them below the fold; the part is drawn where the
    server's plant state puts it, and a reload draws it there again."""
    cell = start.cell("manipulateur")
    server = start.serve(cell, "--plant", "--travel", "0.3", "--vacuum", "0.1")
    cell.qvctl("run")
    browser.set_window_size(1400, 1000)
    page = Page(browser, server.url)
    section = browser.find_element(By.ID, "operator")
    operator = lambda css: section.find_element(By.CSS_SELECTOR, css)
    lamp = lambda name: "on" in operator("[data-lamp='%s']" % name).get_attribute("class")
    drawn = lambda what: page.script(
        "const r = document.querySelector(arguments[0]).getBBox(); return [r.x + r.width / 2, r.y + r.height / 2]", what)

    # The person's inputs, and only those, are controls of the section; the plant's
    # switches show as indicators while the panel plays the machine.
    names = [e.get_attribute("data-input") for e in section.find_elements(By.CSS_SELECTOR, "#operatorinputs [data-input]")]
    assert sorted(names) == sorted(["acq", "au", "DCY", "Pos_depart", "Pos_arrivee"])
    wait_for(lambda: lamp("OKcycle"), what="the cell at rest")
    for sensor in ("FCGXR", "vacuostat"):
        assert not operator("button[data-input='%s']" % sensor).is_enabled()
    controls = section.find_elements(By.CSS_SELECTOR, "#operatorinputs [data-input]")
    assert all(page.script(IN_VIEW, c) for c in controls)

    Select(operator("select[data-input='Pos_depart']")).select_by_visible_text("5")
    Select(operator("select[data-input='Pos_arrivee']")).select_by_visible_text("3")
    wait_for(lambda: cell.get("Pos_depart")[0] == "5" and cell.get("Pos_arrivee")[0] == "3", what="the positions")
    wait_for(lambda: drawn("[data-part]") == drawn("[data-position='5'] rect"), what="the part at the start position")

    # DCY is a momentary button: one press starts the cycle and lets go after it was seen.
    operator("button[data-input='DCY']").click()
    wait_for(lambda: not lamp("OKcycle"), what="the cycle to start")
    wait_for(lambda: cell.get("DCY")[0] == "FALSE", what="DCY let go")
    arrival = drawn("[data-position='3'] rect")
    wait_for(lambda: lamp("OKcycle") and drawn("[data-part]") == arrival, timeout=60,
             what="the part put down at 3 and the cell back at rest")
    assert not lamp("Def_Manip")
    assert page.script("return window.scrollY") == 0
    # The page fits the screen, its variables table collapsed by instance.
    assert page.script("return document.documentElement.scrollHeight") <= page.script("return window.innerHeight") + 1
    if os.environ.get("QV_SCREENSHOTS"):
        browser.save_screenshot(os.path.join(os.environ["QV_SCREENSHOTS"], "manipulateur.png"))

    browser.refresh()
    wait_for(lambda: page.status() == "RUN", what="the page back")
    wait_for(lambda: page.script("return document.querySelector('[data-part]') !== null"), what="the part drawn")
    assert drawn("[data-part]") == arrival


def test_speed_shown_and_steps_stopped_at_by_name(start, browser):
    cell = start.cell("manipulateur", QV_SPEED="10")
    server = start.serve(cell)
    page = Page(browser, server.url)
    wait_for(lambda: page.text("speed") == "10 x real time", what="the program's speed")
    add = lambda text: (browser.find_element(By.ID, "bploc").clear(), browser.find_element(By.ID, "bploc").send_keys(text),
                        browser.find_element(By.ID, "bpadd").click())
    add("Verin_GX 21")
    wait_for(lambda: "Verin_GX._X_21" in page.text("bplist"), what="Verin_GX's step 21 listed by name")
    add("Vent_VT._X_11")
    wait_for(lambda: "Vent_VT._X_11" in page.text("bplist"), what="Vent_VT's step 11 listed by name")
    assert "Verin_GX._X_21" in cell.qvctl("break", "list")
    add("_X_21")
    wait_for(lambda: "no instance (top model)" in page.message(), what="a top-model step refused in the cell")


def sorting_line_description(path):
    """The sorting line's symbol description, as written beside its executable."""
    objects = []
    kinds = [("conveyor", "actor", 10), ("stop", "actor", 11), ("pusher", "actor", 12), ("bin", "actor", 13),
             ("chute", "actor", 14)]
    kinds += [("%s%d" % (name, k), "product", kind) for name, kind in (("part", 20), ("tray", 21), ("box", 22))
              for k in range(4)]
    colours = {10: "#7f8c8d", 11: "#c0392b", 12: "#2c3e50", 13: "#95a5a6", 14: "#95a5a6", 20: "#f1c40f",
               21: "#2980b9", 22: "#e67e22"}
    for index, (name, kind, kind_id) in enumerate(kinds):
        objects.append({"name": name, "kind": kind, "kindId": kind_id, "index": index,
                        "matrixSlot": 23 + 16 * index, "statusSlot": 531 + 2 * index, "colour": colours[kind_id]})
    variables = [{"name": n, "type": "BOOL", "area": "bool", "slot": 5 + k, "direction": d, "comment": ""}
                 for k, (n, d) in enumerate([("conveyorOn", "input"), ("feed", "input"), ("boxAtStop", "output"),
                                             ("trayAtStop", "output"), ("pusherMoving", "output"),
                                             ("stopOpen", "output")])]
    variables += [{"name": n, "type": "DINT", "area": "int", "slot": 523 + k, "direction": "output", "comment": ""}
                  for k, n in enumerate(["created", "delivered", "rejected", "partsDelivered"])]
    with open(path, "w") as f:
        json.dump({"format": "qv-symbols", "version": 1, "program": "sorting_line", "revision": 3,
                   "variables": variables, "objects": objects}, f)


def test_sorting_line_products_move_in_the_3d_view(start, browser, folder):
    executable = os.path.join(BIN, "sorting_line")
    if not os.path.exists(executable + ".symbols.json"):
        # A build that writes no description yet: the program runs from a copy beside one.
        shutil.copy(executable, os.path.join(folder, "sorting_line"))
        executable = os.path.join(folder, "sorting_line")
        sorting_line_description(executable + ".symbols.json")
    cell = start.cell("sorting_line", executable)
    server = start.serve(cell)
    page = Page(browser, server.url)
    assert browser.find_element(By.ID, "scene3d").is_displayed()
    objects = page.script("return window.qv.session.objects")
    products = [k for k, o in enumerate(objects) if o["kind"] == "product"]
    assert products

    page.press("RUN")
    drawn = lambda: page.script("return window.qv.scene.drawn()")
    shown = lambda: [k for k in products if drawn()[k]["visible"]]
    wait_for(lambda: shown(), timeout=20, what="a product on the line")
    before = drawn()
    time.sleep(1)
    after = drawn()
    assert any(before[k]["visible"] and after[k]["visible"] and before[k]["x"] != after[k]["x"] for k in products)
    if os.environ.get("QV_SCREENSHOTS"):
        browser.save_screenshot(os.path.join(os.environ["QV_SCREENSHOTS"], "sorting_line.png"))

    # Stopped, the drawing and the image agree on every object's place.
    page.press("STOP")
    wait_for(lambda: page.status() == "STOP", what="STOP")
    time.sleep(0.5)
    now = drawn()
    for k, o in enumerate(objects):
        status = int(cell.get("I%d" % o["statusSlot"])[0])
        assert now[k]["visible"] == (status == 1)
        if status != 1:
            continue
        for axis, element in (("x", 3), ("y", 7), ("z", 11)):
            image = float(cell.get("F%d" % (o["matrixSlot"] + element))[0])
            assert abs(now[k][axis] - image) < 1e-5, (o["name"], axis)


def test_token_read_only_and_the_page_under_its_own_policy(start, browser):
    cell = start.cell("bistable_cylinder")
    read_only = start.serve(cell, "--read-only")
    page = Page(browser, read_only.url)
    page.press("RUN")
    wait_for(lambda: "read-only" in page.message(), what="the refusal")
    page.write("DS", "TRUE")
    wait_for(lambda: "read-only" in page.message(), what="the refusal")
    assert cell.get("DS") == ("FALSE", False)
    assert page.status() == "STOP"

    # The token travels in the address's fragment only, never in its path or query.
    server = start.serve(cell)
    assert "/#token=" in server.url and "?" not in server.url
    # Without it the page shows nothing of the program and writes nothing.
    browser.get(server.base)
    wait_for(lambda: "token" in browser.find_element(By.ID, "notice").text, what="the refusal without the token")
    assert browser.find_element(By.ID, "status").text in ("", "…")
    browser.find_element(By.XPATH, "//button[normalize-space()='RUN']").click()
    wait_for(lambda: "token" in browser.find_element(By.ID, "message").text, what="the refused write")
    assert cell.get("execstatus")[0] == "STOP"
    request = urllib.request.Request(server.base + "api/events", headers={"X-QV-Token": "guess"})
    with pytest.raises(urllib.error.HTTPError) as refused:
        urllib.request.urlopen(request, timeout=5)
    assert refused.value.code == 403
    assert "frame-ancestors 'none'" in refused.value.headers["Content-Security-Policy"]

    # With it the page runs its own scripts under its policy, and reads and writes.
    page = Page(browser, server.url)
    page.press("RUN")
    wait_for(lambda: page.status() == "RUN", what="RUN with the token")
    violations = [e["message"] for e in browser.get_log("browser") if "Content Security Policy" in e["message"]]
    assert violations == []
