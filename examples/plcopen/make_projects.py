#!/usr/bin/env python3
"""Writes the example PLCopen projects of this folder (counters.xml, motor.xml,
bistable_cylinder.xml) as a graphical editor would export them. The XML files are
committed; run this again after changing a project here:

    python3 examples/plcopen/make_projects.py
"""

import pathlib
import sys

sys.dont_write_bytecode = True  # nothing of this folder's own beside the projects

from plcopen import (ActionBlock, Block, Coil, Contact, Convergence, Divergence, InVariable, Jump, LeftRail, Net,
                     OutVariable, Pou, RightRail, Step, Transition, Var, project)

HERE = pathlib.Path(__file__).resolve().parent


def bools(*names, doc=None):
    return [Var(n, "BOOL", doc=doc) for n in names]


# ---- counters.xml: one counter written five ways -------------------------------------------

COUNTER_IN = [Var("Pulse", "BOOL", doc="counted on its rising edge"), Var("Reset", "BOOL", doc="holds the count at 0")]
COUNTER_OUT = [Var("Count", "INT")]


def inc_if():
    return Pou("IncIf", "function", return_type="INT", inputs=[Var("Value", "INT"), Var("Cond", "BOOL")],
               doc="Value + 1 when Cond, Value otherwise.", body=("ST", """
IF Cond THEN
    IncIf := Value + 1;
ELSE
    IncIf := Value;
END_IF;
"""))


def counter_st():
    return Pou("CounterST", "functionBlock", inputs=COUNTER_IN, outputs=COUNTER_OUT, locals_=[Var("Edge", "R_TRIG")],
               doc="The counter in Structured Text.", body=("ST", """
Edge(CLK := Pulse);
IF Reset THEN
    Count := 0;
ELSIF Edge.Q THEN
    Count := Count + 1;
END_IF;
"""))


def counter_sfc():
    """Two charts: the pulse's chart (Idle, then Counted or Held while the pulse lasts)
    counts on entering Counted; the reset's chart clears the count while Reset holds."""
    net = Net("SFC")
    idle = Step(net, 40, 40, "Idle", initial=True)
    fork = Divergence(net, 56, 100, idle, 2)
    count_it = Transition(net, 46, 130, (fork, "0"), condition="Pulse AND NOT Reset", priority=1)
    hold_it = Transition(net, 166, 130, (fork, "1"), condition="Pulse", priority=2)
    counted = Step(net, 24, 170, "Counted", source=count_it)
    held = Step(net, 144, 170, "Held", source=hold_it)
    ActionBlock(net, counted, [("P1", "Increment", None, None)])
    low1 = Transition(net, 46, 230, counted, condition="NOT Pulse")
    low2 = Transition(net, 166, 230, held, condition="NOT Pulse")
    join = Convergence(net, 56, 270, [low1, low2])
    idle.source = join

    watch = Step(net, 440, 40, "Watch", initial=True)
    pressed = Transition(net, 456, 100, watch, condition="Reset")
    clearing = Step(net, 428, 140, "Clearing", source=pressed)
    ActionBlock(net, clearing, [("N", "Clear", None, None)])
    released = Transition(net, 456, 200, clearing, condition="NOT Reset")
    Jump(net, 456, 240, "Watch", released)
    # A P1 action runs once more, for its final scan, in the cycle after the step's
    # entry, and an N action in the cycle its step is left: each acts only while its Q holds.
    return Pou("CounterSFC", "functionBlock", inputs=COUNTER_IN, outputs=COUNTER_OUT, body=net,
               doc="The counter as a sequential function chart.",
               actions=[("Increment", "IF Increment.Q THEN\n    Count := Count + 1;\nEND_IF;"),
                        ("Clear", "IF Clear.Q THEN\n    Count := 0;\nEND_IF;")])


def counter_fbd():
    """R_TRIG, the function IncIf fed back by the block's own output Count, and SEL that
    chooses 0 while Reset holds (its selector negated)."""
    net = Net("FBD")
    pulse = InVariable(net, 40, 40, "Pulse")
    edge = Block(net, 160, 30, "R_TRIG", [("CLK", pulse)], ["Q"], instance="Edge")
    count_in = InVariable(net, 40, 120, "Count")
    inc = Block(net, 320, 110, "IncIf", [("Value", count_in), ("Cond", (edge, "Q"))], ["OUT"])
    reset = InVariable(net, 320, 200, "Reset")
    zero = InVariable(net, 320, 260, "0")
    sel = Block(net, 480, 190, "SEL", [("G", reset, True), ("IN0", zero), ("IN1", (inc, "OUT"))], ["OUT"])
    OutVariable(net, 640, 210, "Count", (sel, "OUT"))
    return Pou("CounterFBD", "functionBlock", inputs=COUNTER_IN, outputs=COUNTER_OUT, locals_=[Var("Edge", "R_TRIG")],
               body=net, doc="The counter as a function block diagram.")


def counter_ld():
    """Rung 1: the pulse's rising edge, not during a reset, energises Bump. Rung 2: Bump
    enables ADD (Count + 1 into Count). Rung 3: Reset enables MOVE (0 into Count)."""
    net = Net("LD")
    rail = LeftRail(net, 20, 20, 3)
    rising = Contact(net, 80, 50, "Pulse", (rail, "0"), edge="rising")
    not_reset = Contact(net, 160, 50, "Reset", rising, negated=True)
    bump = Coil(net, 400, 50, "Bump", not_reset)
    bumped = Contact(net, 80, 130, "Bump", (rail, "1"))
    count_in = InVariable(net, 160, 190, "Count")
    one = InVariable(net, 160, 230, "1")
    add = Block(net, 260, 110, "ADD", [("EN", bumped), ("IN1", count_in), ("IN2", one)], ["ENO", "OUT"])
    OutVariable(net, 400, 170, "Count", (add, "OUT"))
    reset = Contact(net, 80, 290, "Reset", (rail, "2"))
    zero = InVariable(net, 160, 340, "0")
    move = Block(net, 260, 270, "MOVE", [("EN", reset), ("IN", zero)], ["ENO", "OUT"])
    OutVariable(net, 400, 330, "Count", (move, "OUT"))
    RightRail(net, 520, 20, [bump, (add, "ENO"), (move, "ENO")])
    return Pou("CounterLD", "functionBlock", inputs=COUNTER_IN, outputs=COUNTER_OUT, locals_=[Var("Bump", "BOOL")],
               body=net, doc="The counter in ladder diagram.")


def counters():
    main = Pou("CountersMain", "program", inputs=COUNTER_IN,
               outputs=[Var("CountST", "INT"), Var("CountSFC", "INT"), Var("CountFBD", "INT"), Var("CountLD", "INT"),
                        Var("Agree", "BOOL", doc="the four counts are equal")],
               locals_=[Var("ByST", "CounterST"), Var("BySFC", "CounterSFC"), Var("ByFBD", "CounterFBD"),
                        Var("ByLD", "CounterLD")],
               doc="The four counters side by side, fed by the same inputs.", body=("ST", """
ByST(Pulse := Pulse, Reset := Reset);
BySFC(Pulse := Pulse, Reset := Reset);
ByFBD(Pulse := Pulse, Reset := Reset);
ByLD(Pulse := Pulse, Reset := Reset);
CountST := ByST.Count;
CountSFC := BySFC.Count;
CountFBD := ByFBD.Count;
CountLD := ByLD.Count;
Agree := CountST = CountSFC AND CountST = CountFBD AND CountST = CountLD;
"""))
    return project("Counters", [inc_if(), counter_st(), counter_sfc(), counter_fbd(), counter_ld(), main],
                   configuration=("Bench", [], "Cpu", [("Cyclic", "T#50ms", 1, [("Counters", "CountersMain")])]),
                   comment="The same counter with a reset input written in ST, SFC, FBD and LD, run side by side.")


# ---- motor.xml: a mixing sequence driving a motor starter ----------------------------------

def motor_starter():
    """A start/stop latch (RS, the stop dominant) and the time the motor takes to reach
    its speed (TON)."""
    net = Net("FBD")
    start = InVariable(net, 40, 40, "Start")
    stop = InVariable(net, 40, 80, "Stop")
    latch = Block(net, 160, 30, "RS", [("S", start), ("R1", stop)], ["Q1"], instance="Latch")
    OutVariable(net, 320, 50, "Running", (latch, "Q1"))
    spin = InVariable(net, 160, 140, "T#2s")
    timer = Block(net, 320, 110, "TON", [("IN", (latch, "Q1")), ("PT", spin)], ["Q", "ET"], instance="SpinUp")
    OutVariable(net, 480, 130, "AtSpeed", (timer, "Q"))
    return Pou("MotorStarter", "functionBlock", inputs=bools("Start", "Stop"), outputs=bools("Running", "AtSpeed"),
               locals_=[Var("Latch", "RS"), Var("SpinUp", "TON")], body=net,
               doc="A motor's start/stop latch and its spin-up time.")


def sequence():
    """Idle; on Start a heavy batch fills slowly, a light one quickly (a selection with
    priority); then the motor mixes while the heater heats (simultaneous branches); when
    both are done the tank drains, a horn sounds for its first second, the batch is counted,
    and the chart jumps back to Idle."""
    net = Net("SFC")
    idle = Step(net, 40, 40, "Idle", initial=True)
    fork = Divergence(net, 56, 100, idle, 2)
    heavy = Transition(net, 46, 130, (fork, "0"), condition="Start AND Heavy", priority=1)
    light = Transition(net, 166, 130, (fork, "1"), condition="Start", priority=2)
    slow = Step(net, 16, 170, "SlowFill", source=heavy)
    quick = Step(net, 136, 170, "QuickFill", source=light)
    ActionBlock(net, slow, [("N", "Fill", None, None)])
    ActionBlock(net, quick, [("N", "Fill", None, None)])
    slow_done = Transition(net, 46, 230, slow, condition="SlowFill.T >= T#3s")
    quick_done = Transition(net, 166, 230, quick, condition="QuickFill.T >= T#1s")
    join = Convergence(net, 56, 270, [slow_done, quick_done])
    full = Step(net, 40, 300, "Full", source=join)
    settled = Transition(net, 56, 360, full, condition="Full.T >= T#500ms")
    both = Divergence(net, 56, 400, settled, 2, simultaneous=True)
    mix = Step(net, 40, 430, "Mix", source=(both, "0"))
    heat = Step(net, 160, 430, "Heat", source=(both, "1"))
    ActionBlock(net, mix, [("N", "MotorOn", None, None)])
    ActionBlock(net, heat, [("N", "Heater", None, None)])
    mixed = Transition(net, 56, 490, mix, condition="AtSpeed AND Mix.T >= T#4s")
    hot = Transition(net, 176, 490, heat, condition="Hot")
    mix_done = Step(net, 40, 520, "MixDone", source=mixed)
    heat_done = Step(net, 160, 520, "HeatDone", source=hot)
    meet = Convergence(net, 56, 580, [mix_done, heat_done], simultaneous=True)
    go = Transition(net, 56, 600, meet, condition="TRUE")
    drain = Step(net, 40, 630, "Draining", source=go)
    ActionBlock(net, drain, [("N", "Drain", None, None), ("L", "Horn", "T#1s", None), ("P1", "CountBatch", None, None)])
    empty = Transition(net, 56, 690, drain, condition="Draining.T >= T#2s")
    Jump(net, 56, 730, "Idle", empty)
    return Pou("Sequence", "functionBlock", inputs=bools("Start", "Heavy", "Hot", "AtSpeed"),
               outputs=bools("Fill", "MotorOn", "Heater", "Drain", "Horn") + [Var("Batches", "INT")], body=net,
               actions=[("CountBatch", "IF CountBatch.Q THEN\n    Batches := Batches + 1;\nEND_IF;")],
               doc="The mixing sequence.")


def mixer():
    """The sequence drives the starter; the starter's AtSpeed comes back to the sequence as
    the value of the previous cycle (read from the instance, not wired)."""
    net = Net("FBD")
    start = InVariable(net, 40, 40, "Start")
    heavy = InVariable(net, 40, 80, "Heavy")
    hot = InVariable(net, 40, 120, "Hot")
    speed = InVariable(net, 40, 160, "M.AtSpeed")
    outs = ["Fill", "MotorOn", "Heater", "Drain", "Horn", "Batches"]
    seq = Block(net, 200, 30, "Sequence", [("Start", start), ("Heavy", heavy), ("Hot", hot), ("AtSpeed", speed)], outs,
                instance="Seq")
    starter = Block(net, 420, 230, "MotorStarter", [("Start", (seq, "MotorOn")), ("Stop", (seq, "MotorOn"), True)],
                    ["Running", "AtSpeed"], instance="M")
    for k, name in enumerate(["Fill", "Heater", "Drain", "Horn", "Batches"]):
        OutVariable(net, 620, 40 + 40 * k, name, (seq, name))
    OutVariable(net, 620, 260, "Motor", (starter, "Running"))
    OutVariable(net, 620, 300, "AtSpeed", (starter, "AtSpeed"))
    return Pou("Mixer", "program", inputs=bools("Start", "Heavy", "Hot"),
               outputs=bools("Fill", "Heater", "Drain", "Horn") + [Var("Batches", "INT")] + bools("Motor", "AtSpeed"),
               locals_=[Var("Seq", "Sequence"), Var("M", "MotorStarter")], body=net,
               doc="A mixing tank: its sequence and its motor.")


def motor():
    return project("Mixer", [motor_starter(), sequence(), mixer()],
                   comment="A graphical chart with a selection, simultaneous branches and a jump, driving a motor "
                           "starter drawn in FBD.")


# ---- bistable_cylinder.xml: the cylinder's charts drawn ------------------------------------
#
# The configuration runs three programs in one task, in this order: Sup (the supervision
# chart G1, called from FBD, and the orders it gives G2), Ops (the operation chart G2,
# obeying those orders through its transitions of the highest priority) and Faults (the
# fault equations in FBD). They share the globals; G2 publishes its steps' activity
# (X20..X23) through BOOL actions for the two others.

def supervision():
    net = Net("SFC")
    s10 = Step(net, 40, 40, "S10", initial=True)
    ActionBlock(net, s10, [("N", "Starting", None, None)])
    fork = Divergence(net, 52, 100, s10, 2)
    stable = Transition(net, 42, 130, (fork, "0"), condition="Stable", priority=1)
    faulty = Transition(net, 162, 130, (fork, "1"), condition="Def_verin OR AU", priority=2)
    s11 = Step(net, 40, 170, "S11", source=stable)
    ActionBlock(net, s11, [("N", "Normal", None, None)])
    fault = Transition(net, 52, 230, s11, condition="Def_verin")
    join = Convergence(net, 52, 270, [fault, faulty])
    s12 = Step(net, 40, 300, "S12", source=join)
    ActionBlock(net, s12, [("N", "Faulty", None, None)])
    acknowledged = Transition(net, 52, 360, s12, condition="ACQ AND NOT Def_verin AND NOT AU")
    Jump(net, 52, 400, "S10", acknowledged)
    return Pou("Supervision", "functionBlock",
               inputs=[Var("Def_verin", "BOOL", doc="the cylinder's fault summary"), Var("AU", "BOOL", doc="emergency stop"),
                       Var("ACQ", "BOOL", doc="acknowledgement"),
                       Var("Stable", "BOOL", doc="G2 stands in a stable position (21 or 23)")],
               outputs=bools("Starting", "Normal", "Faulty"), body=net,
               doc="G1: 10 start, 11 normal operation, 12 fault.")


def supervisor():
    net = Net("FBD")
    x21 = InVariable(net, 40, 200, "X21")
    x23 = InVariable(net, 40, 240, "X23")
    stable = Block(net, 120, 190, "OR", [("IN1", x21), ("IN2", x23)], ["OUT"])
    inputs = [("Def_verin", InVariable(net, 40, 40, "Def_verin")), ("AU", InVariable(net, 40, 80, "AU")),
              ("ACQ", InVariable(net, 40, 120, "ACQ")), ("Stable", (stable, "OUT"))]
    g1 = Block(net, 240, 30, "Supervision", inputs, ["Starting", "Normal", "Faulty"], instance="G1")
    cr = InVariable(net, 360, 160, "CR")
    cs = InVariable(net, 360, 200, "CS")
    extend = Block(net, 460, 30, "AND", [("IN1", (g1, "Starting")), ("IN2", cr, True), ("IN3", cs)], ["OUT"])
    OutVariable(net, 600, 50, "ToExtended", (extend, "OUT"))
    cr2 = InVariable(net, 360, 280, "CR")
    cs2 = InVariable(net, 360, 320, "CS")
    retract = Block(net, 460, 250, "AND", [("IN1", (g1, "Starting")), ("IN2", cr2), ("IN3", cs2, True)], ["OUT"])
    OutVariable(net, 600, 270, "ToRetracted", (retract, "OUT"))
    OutVariable(net, 600, 380, "ToNone", (g1, "Faulty"))
    return Pou("Supervisor", "program", externals=bools("AU", "ACQ", "CR", "CS", "Def_verin", "X21", "X23", "ToExtended",
                                                         "ToRetracted", "ToNone"),
               locals_=[Var("G1", "Supervision")], body=net,
               doc="G1 evolves first; its situation orders G2: extended, retracted, or empty.")


# The transitions of G2 leaving each step, in the order they are decided: first the orders
# of G1, then the step's own.
G2 = [
    ("None", [("S21", "ToExtended"), ("S23", "ToRetracted")]),
    ("S20", [("S21", "ToExtended"), ("S23", "ToRetracted"), ("None", "ToNone"), ("S21", "NOT CR AND CS"),
             ("S22", "DR AND NOT DS")]),
    ("S21", [("S21", "ToExtended"), ("S23", "ToRetracted"), ("None", "ToNone"), ("S22", "DR AND NOT DS")]),
    ("S22", [("S21", "ToExtended"), ("S23", "ToRetracted"), ("None", "ToNone"), ("S23", "CR AND NOT CS"),
             ("S20", "DS AND NOT DR")]),
    ("S23", [("S21", "ToExtended"), ("S23", "ToRetracted"), ("None", "ToNone"), ("S20", "DS AND NOT DR")]),
]
G2_ACTIONS = {"S20": ["OrdreS", "X20"], "S21": ["EtatS", "X21"], "S22": ["OrdreR", "X22"], "S23": ["EtatR", "X23"]}


def operation():
    """Each step, its actions beside it, and under it a selection of its transitions,
    each ending in a jump to its target."""
    net = Net("SFC")
    x = 40
    for name, transitions in G2:
        step = Step(net, x, 40, name, initial=(name == "None"))
        if name in G2_ACTIONS:
            ActionBlock(net, step, [("N", a, None, None) for a in G2_ACTIONS[name]])
        fork = Divergence(net, x + 12, 160, step, len(transitions))
        for k, (target, condition) in enumerate(transitions):
            t = Transition(net, x + 2 + 120 * k, 190, (fork, str(k)), condition=condition, priority=k + 1)
            Jump(net, x + 2 + 120 * k, 230, target, t)
        x += 120 * len(transitions) + 80
    return Pou("Operation", "program",
               externals=bools("DR", "DS", "CR", "CS", "OrdreR", "OrdreS", "EtatR", "EtatS", "ToExtended", "ToRetracted",
                               "ToNone", "X20", "X21", "X22", "X23"), body=net,
               doc="G2: 20 extending, 21 extended, 22 retracting, 23 retracted; None stands for the empty situation.")


class Rows:
    """Places a fault equation per band of the drawing."""

    def __init__(self):
        self.y = 40

    def next(self, height):
        y = self.y
        self.y += height
        return y


def faults():
    net = Net("FBD")
    rows = Rows()
    timers = {}
    for name, step, limit in [("Inertia20", "X20", "Tinertie"), ("Inertia22", "X22", "Tinertie"),
                              ("Travel20", "X20", "TTL"), ("Travel22", "X22", "TTL")]:
        y = rows.next(80)
        timers[name] = Block(net, 200, y, "TON", [("IN", InVariable(net, 40, y + 10, step)),
                                                  ("PT", InVariable(net, 40, y + 40, limit))], ["Q", "ET"], instance=name)
    y = rows.next(80)
    ack = Block(net, 200, y, "AND", [("IN1", InVariable(net, 40, y + 10, "ACQ")),
                                     ("IN2", InVariable(net, 40, y + 40, "ToNone"))], ["OUT"])

    def term(y, *operands):
        """AND of operands: a variable name, ("NOT", name), or a timer's Q."""
        pins = []
        for k, o in enumerate(operands):
            negated = isinstance(o, tuple)
            name = o[1] if negated else o
            source = (timers[name], "Q") if name in timers else InVariable(net, 300, y + 10 + 40 * k, name)
            pins.append(("IN%d" % (k + 1), source, negated))
        return Block(net, 420, y, "AND", pins, ["OUT"])

    # Each fault: its causes (each an AND of operands, or a timer alone).
    causes = [
        [("X23", ("NOT", "CR"))],
        [("X21", "CR"), ("CR", "Inertia20")],
        [("X21", ("NOT", "CS"))],
        [("X23", "CS"), ("CS", "Inertia22")],
        ["Travel20"],
        ["Travel22"],
        [("CR", "CS")],
    ]
    held = []
    for k, terms in enumerate(causes, start=1):
        y = rows.next(60 + 60 * len(terms))
        pins = [("IN1", InVariable(net, 440, y - 20, "defaut[%d]" % k))]
        for j, t in enumerate(terms):
            source = (timers[t], "Q") if isinstance(t, str) else (term(y + 60 * j, *t), "OUT")
            pins.append(("IN%d" % (j + 2), source))
        latch = Block(net, 580, y, "OR", pins, ["OUT"])
        kept = Block(net, 700, y, "AND", [("IN1", (latch, "OUT")), ("IN2", (ack, "OUT"), True)], ["OUT"])
        OutVariable(net, 820, y + 20, "defaut[%d]" % k, (kept, "OUT"))
        held.append(latch)
    y = rows.next(240)
    pins = [("IN1", InVariable(net, 440, y, "Def_verin"))] + [("IN%d" % (k + 2), (h, "OUT")) for k, h in enumerate(held)]
    summary = Block(net, 580, y, "OR", pins, ["OUT"])
    kept = Block(net, 700, y, "AND", [("IN1", (summary, "OUT")), ("IN2", (ack, "OUT"), True)], ["OUT"])
    OutVariable(net, 820, y + 20, "Def_verin", (kept, "OUT"))
    return Pou("FaultEquations", "program",
               externals=bools("ACQ", "CR", "CS", "ToNone", "X20", "X21", "X22", "X23", "Def_verin") +
               [Var("defaut", ("ARRAY", 1, 7, "BOOL")), Var("TTL", "TIME"), Var("Tinertie", "TIME")],
               locals_=[Var(n, "TON") for n in timers], body=net,
               doc="Each fault latches until acknowledged in the fault situation; every timer runs in every cycle.")


def cylinder():
    located = [("DR", "%IX0.0", "request to retract"), ("DS", "%IX0.1", "request to extend"),
               ("ACQ", "%IX0.2", "acknowledgement of a fault"), ("AU", "%IX0.3", "emergency stop"),
               ("CR", "%IX0.4", "retracted-position sensor"), ("CS", "%IX0.5", "extended-position sensor"),
               ("OrdreR", "%QX0.0", "retract order"), ("OrdreS", "%QX0.1", "extend order"),
               ("EtatR", "%QX0.2", "state: retracted"), ("EtatS", "%QX0.3", "state: extended"),
               ("Def_verin", "%QX0.4", "cylinder fault (summary)")]
    globals_ = [Var(n, "BOOL", address=a, doc=d) for n, a, d in located]
    globals_ += [Var("defaut", ("ARRAY", 1, 7, "BOOL"), doc="the latched faults"),
                 Var("TTL", "TIME", init="T#10s", doc="the longest allowed movement"),
                 Var("Tinertie", "TIME", init="T#2s", doc="the time a sensor may take to release")]
    globals_ += bools("ToExtended", "ToRetracted", "ToNone", doc="the orders of G1 to G2")
    globals_ += bools("X20", "X21", "X22", "X23", doc="G2's steps, for G1 and the fault equations")
    return project("bistable_cylinder", [supervision(), supervisor(), operation(), faults()],
                   configuration=("bistable_cylinder", globals_, "Cpu",
                                  [("Scan", "T#50ms", 1, [("Sup", "Supervisor"), ("Ops", "Operation"),
                                                           ("Faults", "FaultEquations")])]),
                   comment="The control module of a double-acting, bistable cylinder: the supervision chart G1, "
                           "the operation chart G2 and the fault equations.")


def main():
    for name, text in [("counters.xml", counters()), ("motor.xml", motor()), ("bistable_cylinder.xml", cylinder())]:
        (HERE / name).write_text(text)


if __name__ == "__main__":
    main()
