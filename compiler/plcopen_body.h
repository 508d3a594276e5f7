// What the translation of one PLCopen body needs and writes, shared by the reader of the
// project (plcopen.cpp) and the translators of the graphical languages (plcopen_fbd.cpp,
// plcopen_ld.cpp, plcopen_sfc.cpp). Each translator reads the body's XML and writes
// Structured Text (or textual SFC) lines, each at the XML line of the element it comes
// from; the reader places them inside the POU.
#pragma once

#include <pugixml.hpp>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "compiler/diagnostics.h"

namespace qvc::plcopen {

// A generated line and the XML line it stands for. A diagnostic about a generated line
// points at xmlColumn of the XML line (at its first non-blank when 0); about a verbatim
// line (ST text copied from the file, see appendText) at its own column.
struct Line {
    int xmlLine = 0;
    std::string text;
    int xmlColumn = 0;
    bool verbatim = false;
};

// One body being translated.
struct Body {
    const Source& source;
    int file = 0;  // the position of the source in the list of sources
    Diagnostics& diagnostics;
    std::string pou;       // the POU's name, as written
    std::string language;  // "ST", "FBD", "LD", "SFC"
    pugi::xml_node pouNode;  // the <pou> element (its <actions>, <transitions>, <interface>)
    // Where each line of the file starts, for lineOf and at (found again when not given).
    const std::vector<std::size_t>* lineStarts = nullptr;

    // What the translator writes: variables the body needs besides the POU's own (one
    // declaration each, "Name : TYPE;" or "Name : TYPE := value;", placed in a VAR block
    // of the POU), statements in the order they run, and for SFC the actions and
    // transitions that go after the chart (textual ACTION ... END_ACTION blocks).
    std::vector<Line> declarations{};
    std::vector<Line> statements{};
    std::vector<Line> after{};

    // The drawing for the symbol description, one object per element that is drawn:
    //   {"id": 7, "kind": "block", "type": "ADD", "instance": "", "x": 120, "y": 40,
    //    "width": 60, "height": 80, "line": 57, "location": 57, "rung": 0,
    //    "variable": "",
    //    "inputs":  [{"pin": "IN1", "from": 5, "fromPin": "", "negated": false,
    //                 "points": [[x, y], ...]}],
    //    "outputs": [{"pin": "OUT", "negated": false, "value": "Counter1.Q"}]}
    // kind: the TC6 element name (block, inVariable, outVariable, inOutVariable, connector,
    // continuation, contact, coil, leftPowerRail, rightPowerRail, step, transition,
    // selectionDivergence, ..., jumpStep, actionBlock, comment); type: a block's typeName;
    // instance: a function block's instance name; line: the element's XML line, and
    // location the breakpoint location of the statement it compiled to (0 when none);
    // rung: an LD element's rung, numbered from 1 top to bottom (0 elsewhere); variable:
    // what an in/out variable, a contact or a coil names; an output's value: the name,
    // relative to the POU instance, of the variable whose value the wire carries ("" when
    // no variable holds it). Every member but id, kind and the position may be left out.
    nlohmann::ordered_json elements = nlohmann::ordered_json::array();

    // The XML line and column of a node.
    int lineOf(pugi::xml_node node) const;
    Location at(pugi::xml_node node) const;
    // Reports at the node: "POU Counter, FBD block 7 (ADD): input IN2 not connected".
    void error(pugi::xml_node node, const std::string& message) const;
    void warning(pugi::xml_node node, const std::string& message) const;
};

// Elements by their names without a namespace prefix (editors write <project> and
// <xhtml:p>, some <ppx:project>).
const char* localName(pugi::xml_node node);
bool is(pugi::xml_node node, const char* name);
pugi::xml_node child(pugi::xml_node node, const char* name);  // the first, or none
std::vector<pugi::xml_node> children(pugi::xml_node node, const char* name);

std::string trimmed(std::string s);
// A name from the XML that may go into the generated text: letters, digits and
// underscores only, so that no attribute brings text of its own into the translation.
bool isIdentifier(const std::string& s);

// The text of an ST fragment inside `node` (an <ST> or <inline> element, whose text sits
// directly inside or in an <xhtml:p>), and the XML line and column it starts at.
struct Text {
    std::string text;
    int line = 0;
    int column = 1;
};
Text stText(pugi::xml_node node, const Body& body);

// Appends an ST fragment as generated lines: its first line indented to the column it has
// in the XML, so that a diagnostic's column points into the XML line.
void appendText(const Text& text, std::vector<Line>& into);

// The translators of the graphical bodies: `node` is the <FBD>, <LD> or <SFC> element.
void translateFbd(pugi::xml_node node, Body& body);
void translateLd(pugi::xml_node node, Body& body);
void translateSfc(pugi::xml_node node, Body& body);

}  // namespace qvc::plcopen
