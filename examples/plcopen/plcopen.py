"""Writing PLCopen TC6 0201 projects as a graphical editor exports them.

make_projects.py describes the example projects with these helpers; this module lays out
the XML: every graphical element with its localId, position and size, every pin with its
relPosition, every wire as a connection naming the element (and the output) it comes
from, with the points of its path; executionOrderId on what an FBD body runs in order.
"""

from xml.sax.saxutils import escape, quoteattr

ELEMENTARY = {"BOOL", "BYTE", "WORD", "DWORD", "SINT", "INT", "DINT", "REAL", "TIME", "DATE", "DT", "TOD"}
PIN = 20  # the vertical distance of two pins of a block


class Xml:
    """Lines of XML, indented two spaces a level."""

    def __init__(self):
        self.lines = []
        self.depth = 0

    def line(self, text):
        self.lines.append("  " * self.depth + text)

    def open(self, tag, **attributes):
        self.line("<%s%s>" % (tag, attrs(attributes)))
        self.depth += 1

    def close(self, tag):
        self.depth -= 1
        self.line("</%s>" % tag)

    def empty(self, tag, **attributes):
        self.line("<%s%s/>" % (tag, attrs(attributes)))

    def text(self):
        return "\n".join(self.lines) + "\n"


def attrs(attributes):
    out = ""
    for key, value in attributes.items():
        if value is None:
            continue
        key = key.rstrip("_")
        if isinstance(value, bool):
            value = "true" if value else "false"
        out += " %s=%s" % (key, quoteattr(str(value)))
    return out


def st(xml, text, tag="ST"):
    """An ST text as editors write it: an xhtml paragraph holding a CDATA section."""
    xml.open(tag)
    xml.line("<xhtml:p><![CDATA[%s]]></xhtml:p>" % text.strip("\n"))
    xml.close(tag)


# ---- Types and variables -------------------------------------------------------------------

def write_type(xml, kind):
    """BOOL, INT, ... ; "R_TRIG" or any other name is derived; ("ARRAY", lo, hi, base)."""
    if isinstance(kind, tuple) and kind[0] == "ARRAY":
        _, lo, hi, base = kind
        xml.open("array")
        xml.empty("dimension", lower=lo, upper=hi)
        xml.open("baseType")
        write_type(xml, base)
        xml.close("baseType")
        xml.close("array")
    elif kind in ELEMENTARY:
        xml.empty(kind)
    else:
        xml.empty("derived", name=kind)


class Var:
    def __init__(self, name, type_, init=None, doc=None, address=None):
        self.name, self.type, self.init, self.doc, self.address = name, type_, init, doc, address

    def write(self, xml):
        xml.open("variable", name=self.name, address=self.address)
        xml.open("type")
        write_type(xml, self.type)
        xml.close("type")
        if self.init is not None:
            xml.open("initialValue")
            xml.empty("simpleValue", value=self.init)
            xml.close("initialValue")
        if self.doc:
            xml.open("documentation")
            xml.line("<xhtml:p><![CDATA[%s]]></xhtml:p>" % self.doc)
            xml.close("documentation")
        xml.close("variable")


def var_list(xml, kind, variables, **attributes):
    if not variables:
        return
    xml.open(kind, **attributes)
    for v in variables:
        v.write(xml)
    xml.close(kind)


# ---- Graphical bodies ----------------------------------------------------------------------

class Element:
    """One drawn element: its position, size, input pins (each connected to an output of
    another element) and output pins."""

    kind = ""

    def __init__(self, net, x, y, width, height):
        self.net = net
        self.id = net.next_id()
        self.x, self.y, self.width, self.height = x, y, width, height
        net.elements.append(self)

    # The absolute position of an output pin (formal parameter name or "" for the only one).
    def out_pin(self, formal):
        return self.x + self.width, self.y + self.height // 2

    def connection(self, xml, source, rel):
        """A <connectionPointIn> at `rel`, wired to `source`: an element or (element, formal)."""
        xml.open("connectionPointIn")
        xml.empty("relPosition", x=rel[0], y=rel[1])
        for s in source if isinstance(source, list) else [source]:
            if s is None:
                continue
            element, formal = s if isinstance(s, tuple) else (s, None)
            # Only a block's output is named; other elements have one output.
            named = formal if isinstance(element, Block) else None
            xml.open("connection", refLocalId=element.id, formalParameter=named)
            px, py = element.out_pin(formal or "")
            xml.empty("position", x=self.x + rel[0], y=self.y + rel[1])
            xml.empty("position", x=px, y=py)
            xml.close("connection")
        xml.close("connectionPointIn")

    def point_out(self, xml, rel, tag="connectionPointOut", formal=None):
        xml.open(tag, formalParameter=formal)
        xml.empty("relPosition", x=rel[0], y=rel[1])
        xml.close(tag)


class Net:
    def __init__(self, language):
        self.language = language
        self.elements = []
        self.ids = 0
        self.order = 0

    def next_id(self):
        self.ids += 1
        return self.ids

    def next_order(self):
        self.order += 1
        return self.order

    def write(self, xml):
        xml.open(self.language)
        for e in self.elements:
            e.write(xml)
        xml.close(self.language)


class InVariable(Element):
    def __init__(self, net, x, y, expression, negated=None):
        super().__init__(net, x, y, 10 + 8 * len(expression), 30)
        self.expression, self.negated = expression, negated

    def write(self, xml):
        xml.open("inVariable", localId=self.id, height=self.height, width=self.width, executionOrderId=0,
                 negated=self.negated)
        xml.empty("position", x=self.x, y=self.y)
        self.point_out(xml, (self.width, self.height // 2))
        xml.line("<expression>%s</expression>" % escape(self.expression))
        xml.close("inVariable")


class OutVariable(Element):
    def __init__(self, net, x, y, expression, source, negated=None):
        super().__init__(net, x, y, 10 + 8 * len(expression), 30)
        self.expression, self.source, self.negated = expression, source, negated
        self.order = net.next_order() if net.language == "FBD" else 0

    def write(self, xml):
        xml.open("outVariable", localId=self.id, height=self.height, width=self.width, executionOrderId=self.order,
                 negated=self.negated)
        xml.empty("position", x=self.x, y=self.y)
        self.connection(xml, self.source, (0, self.height // 2))
        xml.line("<expression>%s</expression>" % escape(self.expression))
        xml.close("outVariable")


class Block(Element):
    """A function or function block: inputs [(formal, source, negated)], outputs [formal]."""

    def __init__(self, net, x, y, type_name, inputs, outputs, instance=None, negated_outputs=()):
        rows = max(len(inputs), len(outputs), 1)
        super().__init__(net, x, y, 40 + 10 * max(len(type_name), 4), 20 + PIN * rows)
        self.type_name, self.instance = type_name, instance
        self.inputs = [i if len(i) == 3 else (i[0], i[1], False) for i in inputs]
        self.outputs, self.negated_outputs = outputs, set(negated_outputs)
        self.order = net.next_order()

    def out_pin(self, formal):
        names = self.outputs
        k = names.index(formal) if formal in names else 0
        return self.x + self.width, self.y + 30 + PIN * k

    def write(self, xml):
        xml.open("block", localId=self.id, typeName=self.type_name, instanceName=self.instance, executionOrderId=self.order,
                 height=self.height, width=self.width)
        xml.empty("position", x=self.x, y=self.y)
        xml.open("inputVariables")
        for k, (formal, source, negated) in enumerate(self.inputs):
            xml.open("variable", formalParameter=formal, negated=True if negated else None)
            self.connection(xml, source, (0, 30 + PIN * k))
            xml.close("variable")
        xml.close("inputVariables")
        xml.empty("inOutVariables")
        xml.open("outputVariables")
        for k, formal in enumerate(self.outputs):
            xml.open("variable", formalParameter=formal, negated=True if formal in self.negated_outputs else None)
            self.point_out(xml, (self.width, 30 + PIN * k))
            xml.close("variable")
        xml.close("outputVariables")
        xml.close("block")


# ---- Ladder --------------------------------------------------------------------------------

class LeftRail(Element):
    def __init__(self, net, x, y, rungs):
        super().__init__(net, x, y, 3, rungs * 80)
        self.rungs = rungs

    def out_pin(self, formal):
        return self.x + self.width, self.y + 40 + 80 * int(formal or 0)

    def write(self, xml):
        xml.open("leftPowerRail", localId=self.id, height=self.height, width=self.width)
        xml.empty("position", x=self.x, y=self.y)
        for k in range(self.rungs):
            self.point_out(xml, (self.width, 40 + 80 * k), formal="")
        xml.close("leftPowerRail")


class RightRail(Element):
    def __init__(self, net, x, y, sources):
        super().__init__(net, x, y, 3, len(sources) * 80)
        self.sources = sources

    def write(self, xml):
        xml.open("rightPowerRail", localId=self.id, height=self.height, width=self.width)
        xml.empty("position", x=self.x, y=self.y)
        for k, s in enumerate(self.sources):
            self.connection(xml, s, (0, 40 + 80 * k))
        xml.close("rightPowerRail")


class Contact(Element):
    """A contact on `variable`; edge "rising"/"falling"; negated."""

    tag = "contact"

    def __init__(self, net, x, y, variable, source, negated=False, edge=None, storage=None):
        super().__init__(net, x, y, 21, 20)
        self.variable, self.source = variable, source
        self.negated, self.edge, self.storage = negated, edge, storage

    def write(self, xml):
        xml.open(self.tag, localId=self.id, height=self.height, width=self.width, negated=self.negated or None,
                 edge=self.edge, storage=self.storage)
        xml.empty("position", x=self.x, y=self.y)
        self.connection(xml, self.source, (0, self.height // 2))
        self.point_out(xml, (self.width, self.height // 2))
        xml.line("<variable>%s</variable>" % escape(self.variable))
        xml.close(self.tag)


class Coil(Contact):
    """A coil; storage "set"/"reset"."""

    tag = "coil"


# ---- Sequential function charts ------------------------------------------------------------

class Step(Element):
    def __init__(self, net, x, y, name, source=None, initial=False):
        super().__init__(net, x, y, 20 + 8 * len(name), 30)
        self.name, self.source, self.initial = name, source, initial
        self.has_actions = False

    def out_pin(self, formal):
        if formal == "action":
            return self.x + self.width, self.y + self.height // 2
        return self.x + self.width // 2, self.y + self.height

    def write(self, xml):
        xml.open("step", localId=self.id, name=self.name, initialStep=self.initial or None, height=self.height,
                 width=self.width)
        xml.empty("position", x=self.x, y=self.y)
        if self.source is not None:
            self.connection(xml, self.source, (self.width // 2, 0))
        self.point_out(xml, (self.width // 2, self.height), formal="")
        if self.has_actions:
            self.point_out(xml, (self.width, self.height // 2), tag="connectionPointOutAction", formal="")
        xml.close("step")


class Transition(Element):
    """A transition whose condition is inline ST (`condition`) or a named transition
    (`reference`)."""

    def __init__(self, net, x, y, source, condition=None, reference=None, priority=None):
        super().__init__(net, x, y, 20, 2)
        self.source, self.condition, self.reference, self.priority = source, condition, reference, priority

    def out_pin(self, formal):
        return self.x + self.width // 2, self.y + self.height

    def write(self, xml):
        xml.open("transition", localId=self.id, height=self.height, width=self.width, priority=self.priority)
        xml.empty("position", x=self.x, y=self.y)
        self.connection(xml, self.source, (self.width // 2, 0))
        self.point_out(xml, (self.width // 2, self.height))
        xml.open("condition")
        if self.reference:
            xml.empty("reference", name=self.reference)
        else:
            xml.open("inline", name="")
            st(xml, self.condition)
            xml.close("inline")
        xml.close("condition")
        xml.close("transition")


class Divergence(Element):
    """A selection or simultaneous divergence: one input, `branches` outputs side by side."""

    def __init__(self, net, x, y, source, branches, simultaneous=False):
        super().__init__(net, x, y, 120 * (branches - 1) + 1, 1 if not simultaneous else 3)
        self.source, self.branches, self.simultaneous = source, branches, simultaneous

    def out_pin(self, formal):
        return self.x + 120 * int(formal or 0), self.y + self.height

    def write(self, xml):
        tag = "simultaneousDivergence" if self.simultaneous else "selectionDivergence"
        xml.open(tag, localId=self.id, height=self.height, width=self.width)
        xml.empty("position", x=self.x, y=self.y)
        self.connection(xml, self.source, (0, 0))
        for k in range(self.branches):
            self.point_out(xml, (120 * k, self.height), formal="")
        xml.close(tag)


class Convergence(Element):
    """A selection or simultaneous convergence of the `sources`, side by side."""

    def __init__(self, net, x, y, sources, simultaneous=False):
        super().__init__(net, x, y, 120 * (len(sources) - 1) + 1, 1 if not simultaneous else 3)
        self.sources, self.simultaneous = sources, simultaneous

    def out_pin(self, formal):
        return self.x, self.y + self.height

    def write(self, xml):
        tag = "simultaneousConvergence" if self.simultaneous else "selectionConvergence"
        xml.open(tag, localId=self.id, height=self.height, width=self.width)
        xml.empty("position", x=self.x, y=self.y)
        for k, s in enumerate(self.sources):
            self.connection(xml, s, (120 * k, 0))
        self.point_out(xml, (0, self.height))
        xml.close(tag)


class Jump(Element):
    def __init__(self, net, x, y, target, source):
        super().__init__(net, x, y, 20, 13)
        self.target, self.source = target, source

    def write(self, xml):
        xml.open("jumpStep", localId=self.id, targetName=self.target, height=self.height, width=self.width)
        xml.empty("position", x=self.x, y=self.y)
        self.connection(xml, self.source, (self.width // 2, 0))
        xml.close("jumpStep")


class ActionBlock(Element):
    """The actions of a step: [(qualifier, name, duration, indicator)], drawn right of it."""

    def __init__(self, net, step, actions):
        super().__init__(net, step.x + step.width + 40, step.y, 160, 30 * len(actions))
        self.step, self.actions = step, actions
        step.has_actions = True
        self.action_ids = [net.next_id() for _ in actions]

    def write(self, xml):
        xml.open("actionBlock", localId=self.id, height=self.height, width=self.width)
        xml.empty("position", x=self.x, y=self.y)
        self.connection(xml, (self.step, "action"), (0, 15))
        for k, (qualifier, name, duration, indicator) in enumerate(self.actions):
            xml.open("action", localId=self.action_ids[k], qualifier=qualifier, duration=duration, indicator=indicator)
            xml.empty("relPosition", x=0, y=30 * k)
            xml.empty("reference", name=name)
            xml.close("action")
        xml.close("actionBlock")


# ---- POUs and projects ---------------------------------------------------------------------

class Pou:
    def __init__(self, name, kind, inputs=(), outputs=(), locals_=(), externals=(), in_outs=(), temps=(),
                 return_type=None, body=None, actions=(), doc=None):
        self.name, self.kind = name, kind
        self.inputs, self.outputs, self.locals, self.externals = inputs, outputs, locals_, externals
        self.in_outs, self.temps, self.return_type = in_outs, temps, return_type
        self.body = body  # a Net, or ("ST", text)
        self.actions = actions  # [(name, ST text)]
        self.doc = doc

    def write(self, xml):
        xml.open("pou", name=self.name, pouType=self.kind)
        xml.open("interface")
        if self.return_type:
            xml.open("returnType")
            write_type(xml, self.return_type)
            xml.close("returnType")
        var_list(xml, "inputVars", self.inputs)
        var_list(xml, "outputVars", self.outputs)
        var_list(xml, "inOutVars", self.in_outs)
        var_list(xml, "externalVars", self.externals)
        var_list(xml, "localVars", self.locals)
        var_list(xml, "tempVars", self.temps)
        xml.close("interface")
        if self.actions:
            xml.open("actions")
            for name, text in self.actions:
                xml.open("action", name=name)
                xml.open("body")
                st(xml, text)
                xml.close("body")
                xml.close("action")
            xml.close("actions")
        xml.open("body")
        if isinstance(self.body, Net):
            self.body.write(xml)
        else:
            st(xml, self.body[1], tag=self.body[0])
        xml.close("body")
        if self.doc:
            xml.open("documentation")
            xml.line("<xhtml:p><![CDATA[%s]]></xhtml:p>" % self.doc)
            xml.close("documentation")
        xml.close("pou")


def project(name, pous, configuration=None, comment=None):
    """The whole file. configuration: (name, globals, resource, [(task, interval, priority,
    [(instance, type)])])."""
    xml = Xml()
    xml.line('<?xml version="1.0" encoding="UTF-8"?>')
    xml.open("project", xmlns="http://www.plcopen.org/xml/tc6_0201", **{"xmlns:xhtml": "http://www.w3.org/1999/xhtml",
             "xmlns:xsd": "http://www.w3.org/2001/XMLSchema"})
    xml.empty("fileHeader", companyName="qv examples", productName="make_projects.py", productVersion="1",
              creationDateTime="2026-12-08T16:00:00")
    xml.open("contentHeader", name=name, modificationDateTime="2026-12-08T16:00:00")
    if comment:
        xml.line("<Comment>%s</Comment>" % escape(comment))
    xml.open("coordinateInfo")
    for language in ("fbd", "ld", "sfc"):
        xml.open(language)
        xml.empty("scaling", x=1, y=1)
        xml.close(language)
    xml.close("coordinateInfo")
    xml.close("contentHeader")
    xml.open("types")
    xml.empty("dataTypes")
    xml.open("pous")
    for p in pous:
        p.write(xml)
    xml.close("pous")
    xml.close("types")
    xml.open("instances")
    if configuration:
        config_name, globals_, resource, tasks = configuration
        xml.open("configurations")
        xml.open("configuration", name=config_name)
        xml.open("resource", name=resource)
        for task, interval, priority, instances in tasks:
            xml.open("task", name=task, interval=interval, priority=priority)
            for instance, type_name in instances:
                xml.empty("pouInstance", name=instance, typeName=type_name)
            xml.close("task")
        xml.close("resource")
        var_list(xml, "globalVars", globals_)
        xml.close("configuration")
        xml.close("configurations")
    else:
        xml.empty("configurations")
    xml.close("instances")
    xml.close("project")
    return xml.text()
