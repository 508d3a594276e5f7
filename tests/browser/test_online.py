"""The online view of compiled programs in a real browser: the conveyor's source with its
values, a breakpoint set by a click and statement steps; the traffic light's chart with
its active step lit while the chart evolves; diagrams drawn live, from a hand-written
description and from a PLCopen project."""
import json
import os
import urllib.error
import urllib.request

import pytest
from selenium.common.exceptions import NoSuchElementException, StaleElementReferenceException
from selenium.webdriver.common.by import By

from conftest import EXAMPLES, Page
from conftest import wait_for as wait_until


def wait_for(condition, **kwargs):
    """As conftest's, with an element not drawn yet, or drawn again meanwhile, as a no."""
    def looked():
        try:
            return condition()
        except (NoSuchElementException, StaleElementReferenceException):
            return False
    return wait_until(looked, **kwargs)


class Online(Page):
    """The online view as a person uses it: lines by number, steps by name."""

    def line(self, number):
        return self.driver.find_element(By.CSS_SELECTOR, "#onsource .srcline[data-line='%d']" % number)

    def badges(self, number):
        """The values shown on a line, by the variable each stands for."""
        line = self.line(number)
        return {ref.get_attribute("title"): ref.find_element(By.XPATH, "following-sibling::span[1]").text
                for ref in line.find_elements(By.CSS_SELECTOR, ".ref")}

    def current_line(self):
        lines = self.driver.find_elements(By.CSS_SELECTOR, "#onsource .srcline.current")
        return int(lines[0].get_attribute("data-line")) if lines else None

    def listed(self, number):
        return "listed" in self.line(number).find_element(By.CSS_SELECTOR, ".gutter").get_attribute("class")

    def step(self, name):
        return self.driver.find_element(By.CSS_SELECTOR, "#oncharts [data-step='%s']" % name)

    def step_classes(self, name):
        return self.step(name).get_attribute("class").split()

    def press_id(self, element_id):
        self.driver.find_element(By.ID, element_id).click()


def test_conveyor_stopped_at_a_clicked_line_and_stepped(start, browser, compiled):
    program = compiled(os.path.join(EXAMPLES, "iec", "conveyor.st"), "conveyor")
    cell = start.cell("conveyor", program)
    server = start.serve(cell)
    page = Online(browser, server.url)
    # A compiled program opens on its source, coloured, with the values beside the names.
    wait_for(lambda: browser.find_element(By.ID, "online").is_displayed(), what="the online view")
    wait_for(lambda: page.badges(45), what="the values on line 45")
    assert page.badges(45) == {"Conveyor.Parts": "0", "Conveyor.Counter.CV": "0"}
    keywords = [k.text for k in page.line(36).find_elements(By.CSS_SELECTOR, ".st-keyword")]
    assert keywords == ["IF", "OR", "OR", "THEN"]
    assert page.line(35).find_element(By.CSS_SELECTOR, ".st-comment").text.startswith("(* Start and stop")

    # The page reads the text by the file's number, with its token; nothing else is served.
    token = server.url.split("#token=")[1]
    ask = lambda path, **headers: urllib.request.urlopen(urllib.request.Request(server.base + path, headers=headers), timeout=5)
    with ask("api/source?index=0", **{"X-QV-Token": token}) as answer:
        assert answer.read().decode().startswith("(* A conveyor belt")
    for path, headers, code in (("api/source?index=0", {}, 403), ("api/program", {"X-QV-Token": "guess"}, 403),
                                ("api/source?index=1", {"X-QV-Token": token}, 404),
                                ("api/source?index=../../etc/passwd", {"X-QV-Token": token}, 400)):
        with pytest.raises(urllib.error.HTTPError) as refused:
            ask(path, **headers)
        assert refused.value.code == code, path

    # A click on the number of line 44 lists it: the program pauses before the counter call.
    page.line(44).find_element(By.CSS_SELECTOR, ".gutter").click()
    wait_for(lambda: "conveyor.st:44" in cell.qvctl("break", "list"), what="the breakpoint in the image")
    wait_for(lambda: page.listed(44), what="the breakpoint marked on line 44")
    cell.qvctl("set", "Conveyor.StartButton", "TRUE")
    cell.qvctl("set", "Conveyor.PartSensor", "TRUE")
    page.press_id("onrun")
    wait_for(lambda: page.current_line() == 44, what="the pause highlighted on line 44")
    assert page.status() == "PAUSE"
    assert "paused at conveyor.st:44 in Conveyor" in page.text("onwhere")
    assert page.text("onstack") == "Conveyor"
    # Before the call: the edge is seen, nothing counted yet.
    assert page.badges(44)["Conveyor.PartEdge.Q"] == "TRUE"
    assert page.badges(45) == {"Conveyor.Parts": "0", "Conveyor.Counter.CV": "0"}

    # Two steps: the call counts the part, then the count reaches Parts.
    page.press_id("onstep")
    wait_for(lambda: page.current_line() == 45, what="the pause on line 45")
    wait_for(lambda: page.badges(45) == {"Conveyor.Parts": "0", "Conveyor.Counter.CV": "1"}, what="CV counted")
    assert cell.get("Conveyor.Parts") == ("0", False)
    page.press_id("onstep")
    wait_for(lambda: page.current_line() == 46, what="the pause on line 46")
    wait_for(lambda: page.badges(45) == {"Conveyor.Parts": "1", "Conveyor.Counter.CV": "1"}, what="Parts written")
    assert cell.get("Conveyor.Parts") == ("1", False)

    # Over the rest of the cycle; the next one pauses again on the listed line.
    page.press_id("oncycle")
    wait_for(lambda: page.status() == "STOP" and page.current_line() is None, what="the cycle ended")
    wait_for(lambda: "ran to its end" in page.message(), what="the step's answer")
    page.press_id("onover")
    wait_for(lambda: page.current_line() == 36, what="the first statement of the next cycle")
    page.press_id("onrun")
    wait_for(lambda: page.current_line() == 44 and page.status() == "PAUSE", what="the breakpoint again")

    # A second click removes it, and the program runs on.
    page.line(44).find_element(By.CSS_SELECTOR, ".gutter").click()
    wait_for(lambda: not page.listed(44), what="the breakpoint removed")
    assert "conveyor.st:44" not in cell.qvctl("break", "list")
    page.press_id("onrun")
    wait_for(lambda: page.status() == "RUN" and page.current_line() is None, what="RUN")
    cell.qvctl("set", "Conveyor.PartSensor", "FALSE")
    wait_for(lambda: page.badges(43)["Conveyor.PartSensor"] == "FALSE", what="the live value of the sensor")
    if os.environ.get("QV_SCREENSHOTS"):
        browser.save_screenshot(os.path.join(os.environ["QV_SCREENSHOTS"], "online-conveyor.png"))


def test_traffic_light_chart_lit_and_a_transition_stepped(start, browser, compiled):
    program = compiled(os.path.join(EXAMPLES, "iec", "traffic_light.st"), "traffic")
    cell = start.cell("traffic", program, QV_SPEED="max")
    server = start.serve(cell)
    page = Online(browser, server.url)
    wait_for(lambda: browser.find_element(By.ID, "online").is_displayed(), what="the online view")
    browser.find_element(By.CSS_SELECTOR, "#online [data-view='chart']").click()
    wait_for(lambda: "active" in page.step_classes("CarsGo"), what="the initial step lit")
    assert "active" not in page.step_classes("CarsSlow")
    conditions = [c.text for c in browser.find_elements(By.CSS_SELECTOR, "#oncharts [data-condition]")]
    assert conditions[0] == "Waiting AND CarsGo.T >= T#5s"
    # Under it, the values it reads, live: no request is stored yet.
    values = browser.find_element(By.CSS_SELECTOR, "#oncharts [data-transition='TRANSITION1'] .condvalues")
    wait_for(lambda: "Waiting=FALSE" in values.text and "CarsGo.T=" in values.text, what="the condition's values")

    # A click on CarsSlow stops the program when the transition to it fires.
    page.step("CarsSlow").click()
    wait_for(lambda: "TrafficLight.CarsSlow" in cell.qvctl("break", "list"), what="the step breakpoint listed")
    wait_for(lambda: "listed" in page.step_classes("CarsSlow"), what="the step marked")
    cell.qvctl("set", "TrafficLight.Button", "TRUE")
    page.press_id("onrun")
    wait_for(lambda: page.status() == "PAUSE", what="the pause at CarsSlow", timeout=30)
    wait_for(lambda: "current" in page.step_classes("CarsSlow"), what="the paused step shown")
    wait_for(lambda: "active" in page.step_classes("CarsSlow") and "active" not in page.step_classes("CarsGo"),
             what="CarsSlow lit, CarsGo no longer")
    assert cell.get("TrafficLight.CarsSlow.X") == ("TRUE", False)
    # Stepped to the end of that cycle, the transition shows it fired.
    page.press_id("oncycle")
    wait_for(lambda: page.status() == "STOP", what="the end of the cycle")
    wait_for(lambda: "fired" in browser.find_element(
        By.CSS_SELECTOR, "#oncharts [data-transition='TRANSITION1']").get_attribute("class"), what="the fired mark")
    page.step("CarsSlow").click()
    wait_for(lambda: "TrafficLight.CarsSlow" not in cell.qvctl("break", "list"), what="the step breakpoint removed")
    if os.environ.get("QV_SCREENSHOTS"):
        browser.save_screenshot(os.path.join(os.environ["QV_SCREENSHOTS"], "online-traffic.png"))


# A function block diagram of the conveyor's counting, as a project file's FBD body is
# described: the page draws what the description says, whatever compiled it.
CONVEYOR_FBD = {"pou": "Conveyor", "language": "FBD", "file": "conveyor.st", "elements": [
    {"id": 1, "kind": "inVariable", "x": 20, "y": 40, "width": 90, "height": 20, "variable": "PartSensor",
     "outputs": [{"pin": "", "negated": False, "value": "PartSensor"}]},
    {"id": 2, "kind": "block", "type": "R_TRIG", "instance": "PartEdge", "x": 160, "y": 20, "width": 70,
     "height": 60, "line": 43, "location": 43,
     "inputs": [{"pin": "CLK", "from": 1, "fromPin": "", "negated": False, "points": [[110, 50], [160, 50]]}],
     "outputs": [{"pin": "Q", "negated": False, "value": "PartEdge.Q"}]},
    {"id": 4, "kind": "inVariable", "x": 160, "y": 110, "width": 90, "height": 20, "variable": "BatchSize",
     "outputs": [{"pin": "", "negated": False, "value": "BatchSize"}]},
    {"id": 3, "kind": "block", "type": "CTU", "instance": "Counter", "x": 290, "y": 20, "width": 80, "height": 90,
     "line": 44, "location": 44,
     "inputs": [{"pin": "CU", "from": 2, "fromPin": "Q", "negated": False, "points": [[230, 50], [290, 50]]},
                {"pin": "PV", "from": 4, "fromPin": "", "negated": False, "points": [[250, 120], [270, 120], [270, 80], [290, 80]]}],
     "outputs": [{"pin": "Q", "negated": False, "value": "Counter.Q"},
                 {"pin": "CV", "negated": False, "value": "Counter.CV"}]},
    {"id": 5, "kind": "outVariable", "x": 440, "y": 70, "width": 70, "height": 20, "variable": "Parts",
     "inputs": [{"pin": "", "from": 3, "fromPin": "CV", "negated": False, "points": [[370, 80], [440, 80]]}]},
]}


def test_diagram_wires_live_and_a_block_breakpoint(start, browser, compiled):
    program = compiled(os.path.join(EXAMPLES, "iec", "conveyor.st"), "conveyor")
    with open(program + ".symbols.json") as f:
        description = json.load(f)
    description["diagrams"] = [CONVEYOR_FBD]
    with open(program + ".symbols.json", "w") as f:
        json.dump(description, f)
    cell = start.cell("conveyor", program)
    server = start.serve(cell)
    page = Online(browser, server.url + "&view=diagram")
    wait_for(lambda: browser.find_element(By.ID, "ondiagrams").is_displayed(), what="the diagram view")
    wire = lambda name: browser.find_element(By.CSS_SELECTOR, "#ondiagrams [data-wire='%s']" % name)
    wait_for(lambda: "off" in wire("2:CLK").get_attribute("class"), what="the sensor's wire drawn FALSE")
    cell.qvctl("set", "Conveyor.PartSensor", "TRUE")
    wait_for(lambda: "on" in wire("2:CLK").get_attribute("class").split(), what="the sensor's wire lit")
    # Numbers are written on the wires that carry them.
    labels = lambda: [t.text for t in browser.find_elements(By.CSS_SELECTOR, "#ondiagrams .pinvalue")]
    wait_for(lambda: "5" in labels(), what="BatchSize on its wire")
    # A click on the counter block lists its location in the program's instance.
    browser.find_element(By.CSS_SELECTOR, "#ondiagrams [data-element='3']").click()
    wait_for(lambda: "conveyor.st:44" in cell.qvctl("break", "list"), what="the block's breakpoint")
    cell.qvctl("set", "Conveyor.StartButton", "TRUE")
    page.press_id("onrun")
    wait_for(lambda: page.status() == "PAUSE", what="the pause at the block")
    assert "conveyor.st:44 in Conveyor" in page.text("onwhere")
    page.press_id("onstep")
    wait_for(lambda: "1" in labels(), what="the count on the CV wire")
    if os.environ.get("QV_SCREENSHOTS"):
        browser.save_screenshot(os.path.join(os.environ["QV_SCREENSHOTS"], "online-diagram.png"))


def test_plcopen_counters_drawn_live_and_stopped_at_a_block(start, browser, compiled):
    """The five-way counter project: its FBD and LD bodies at their editor's positions, the
    wires lit by the values they carry, a breakpoint on a block by a click."""
    program = compiled(os.path.join(EXAMPLES, "plcopen", "counters.xml"), "counters")
    cell = start.cell("counters", program)
    server = start.serve(cell)
    page = Online(browser, server.url + "&view=diagram")
    fbd = lambda css: browser.find_element(By.CSS_SELECTOR, "#ondiagrams [data-pou='CounterFBD'] " + css)
    wait_for(lambda: fbd("[data-wire='2:CLK']"), what="the FBD drawn")
    languages = [d.get_attribute("data-language") for d in browser.find_elements(By.CSS_SELECTOR, "#ondiagrams .diagram")]
    assert "FBD" in languages and "LD" in languages
    wait_for(lambda: fbd("[data-element='2'] .label").text == "R_TRIG Edge", what="the edge detector named")
    wait_for(lambda: "off" in fbd("[data-wire='2:CLK']").get_attribute("class").split(), what="Pulse drawn FALSE")

    # A rising edge of the pulse: the wire into the edge detector lights, the count goes up.
    cell.qvctl("set", "Bench.Cpu.Counters.Pulse", "TRUE")
    cell.qvctl("step")
    wait_for(lambda: "on" in fbd("[data-wire='2:CLK']").get_attribute("class").split(), what="Pulse drawn TRUE")
    assert cell.get("Bench.Cpu.Counters.ByFBD.Count") == ("1", False)
    wait_for(lambda: "1" in [t.text for t in browser.find_elements(
        By.CSS_SELECTOR, "#ondiagrams [data-pou='CounterFBD'] .pinvalue")], what="the count on its wire")

    # A click on the edge detector pauses the FBD instance there, in the next cycle.
    fbd("[data-element='2']").click()
    wait_for(lambda: "listed" in fbd("[data-element='2']").get_attribute("class").split(), what="the block listed")
    assert "in Bench.Cpu.Counters.ByFBD" in cell.qvctl("break", "list")
    page.press_id("onstep")
    wait_for(lambda: page.status() == "PAUSE", what="a pause")
    page.press_id("onrun")
    wait_for(lambda: "current" in fbd("[data-element='2']").get_attribute("class").split(), what="the block paused at")
    assert "in Bench.Cpu.Counters.ByFBD" in page.text("onwhere")
    assert page.text("onstack").split(" → ") == ["Bench", "Bench.Cpu", "Bench.Cpu.Counters", "Bench.Cpu.Counters.ByFBD"]
    if os.environ.get("QV_SCREENSHOTS"):
        browser.save_screenshot(os.path.join(os.environ["QV_SCREENSHOTS"], "online-plcopen.png"))


def test_tanks_call_stack_instance_values_and_step_over(start, browser, compiled):
    """Three instances of one function block: paused in the second, the page shows its call
    stack and that instance's values; a step over the call runs the block's body whole."""
    program = compiled(os.path.join(EXAMPLES, "iec", "tank.st"), "tanks", "--revision", "2")
    cell = start.cell("tanks", program)
    server = start.serve(cell)
    page = Online(browser, server.url)
    wait_for(lambda: page.badges(92), what="the program's source")
    cell.qvctl("break", "add", "Tanks.Tank[2]@tank.st:60")
    page.press_id("onrun")
    wait_for(lambda: page.current_line() == 60, what="the pause in the block")
    assert page.text("onstack").split(" → ") == ["Tanks", "Tanks.Tank[2]"]
    # The block's lines show the paused instance's values: the second tank fills at 5 a cycle.
    assert browser.find_element(By.ID, "oninstance").get_attribute("value") == "Tanks.Tank[2]"
    wait_for(lambda: page.badges(66).get("Tanks.Tank[2].Inflow") == "5", what="Tank[2]'s inflow on line 66")
    cell.qvctl("break", "remove", "Tanks.Tank[2]@tank.st:60")
    page.press_id("oncycle")
    wait_for(lambda: page.status() == "STOP", what="the end of the cycle")

    # On the call in the program, a step over lands on the next line of the program.
    page.line(92).find_element(By.CSS_SELECTOR, ".gutter").click()
    wait_for(lambda: page.listed(92), what="the call's line listed")
    page.press_id("onrun")
    wait_for(lambda: page.current_line() == 92 and page.status() == "PAUSE", what="the pause on the first call")
    assert page.text("onstack") == "Tanks"
    page.press_id("onover")
    wait_for(lambda: page.current_line() == 93, what="the line after the call")
    assert page.text("onstack") == "Tanks"
    # To the end of the cycle stops at the listed call again, for the second tank; a plain
    # step goes into its body.
    page.press_id("oncycle")
    wait_for(lambda: page.current_line() == 92, what="the pause on the second call")
    page.press_id("onstep")
    wait_for(lambda: page.current_line() == 31, what="the first line of the block")
    assert page.text("onstack").split(" → ") == ["Tanks", "Tanks.Tank[2]"]
