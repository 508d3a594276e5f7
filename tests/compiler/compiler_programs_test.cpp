// A table of small programs, each compiled by qvc and run for a number of cycles (STEP
// by STEP), with the values their variables must hold afterwards, read from the image at
// the slots their symbol descriptions give.
#include <gtest/gtest.h>

#include <vector>

#include "tests/compiler/compiler_support.h"

namespace qvtest::compiler {
namespace {

struct Case {
    const char* name;
    int cycles;
    const char* source;
    std::vector<std::pair<const char*, const char*>> expected;  // IEC path, value as valueOf prints it
};

const std::vector<Case> kCases = {
    {"assign", 2, R"(
PROGRAM Main
VAR_INPUT Start : BOOL := TRUE; END_VAR
VAR_OUTPUT Count : INT; END_VAR
VAR
    Total : DINT := 10;
    Ratio : REAL := 1.5;
    Flags : WORD := 16#00F0;
END_VAR
IF Start THEN
    Count := Count + 1;
END_IF;
Total := Total + 2 * 3;
Ratio := Ratio * 2.0;
Flags.0 := TRUE;
END_PROGRAM
)",
     {{"Main.Start", "TRUE"}, {"Main.Count", "2"}, {"Main.Total", "22"}, {"Main.Ratio", "6"}, {"Main.Flags", "241"}}},

    {"precedence", 1, R"(
PROGRAM Main
VAR
    a : DINT; b : DINT; c : DINT; d : DINT; e : BOOL; f : BOOL; g : DINT; h : REAL; i : DINT;
END_VAR
a := 2 + 3 * 4;            (* * before + *)
b := (2 + 3) * 4;
c := 17 MOD 5 + 10 / 3;    (* MOD and / before + *)
d := -2 ** 2;              (* ** before unary - *)
e := 1 < 2 = TRUE;         (* comparisons before = *)
f := TRUE OR FALSE AND FALSE;  (* AND before OR *)
g := 10 - 4 - 3;           (* left to right *)
h := 2.0 ** 3.0;
i := 2 ** 3 ** 2;          (* left to right *)
END_PROGRAM
)",
     {{"Main.a", "14"}, {"Main.b", "20"}, {"Main.c", "5"}, {"Main.d", "-4"}, {"Main.e", "TRUE"}, {"Main.f", "TRUE"},
      {"Main.g", "3"}, {"Main.h", "8"}, {"Main.i", "64"}}},

    {"statements", 1, R"(TYPE Mode : (Idle, Run := 5, Stop); END_TYPE
PROGRAM Main
VAR
    i : INT; n : INT; sumFor : INT; sumDown : INT; w : INT; r : INT; c1 : INT; c2 : INT; c3 : INT;
    m : Mode := Run; e : INT; ifr : INT; ex : INT; ret : INT;
END_VAR
FOR i := 1 TO 10 DO sumFor := sumFor + i; END_FOR;
FOR i := 10 TO 1 BY -3 DO sumDown := sumDown + i; END_FOR;
n := 0;
WHILE n < 7 DO n := n + 2; END_WHILE;
w := n;
r := 0;
REPEAT r := r + 5; UNTIL r >= 12 END_REPEAT;
CASE w OF
    1, 2: c1 := 1;
    3..9: c1 := 2;
ELSE c1 := 3;
END_CASE;
CASE 42 OF 1: c2 := 1; ELSE c2 := 9; END_CASE;
CASE m OF Idle: e := 1; Run, Stop: e := 2; END_CASE;
IF w > 100 THEN ifr := 1; ELSIF w = 8 THEN ifr := 2; ELSE ifr := 3; END_IF;
FOR i := 1 TO 100 DO IF i = 4 THEN EXIT; END_IF; ex := i; END_FOR;
ret := 1;
IF ret = 1 THEN RETURN; END_IF;
ret := 2;
END_PROGRAM
)",
     {{"Main.sumFor", "55"}, {"Main.sumDown", "22"}, {"Main.w", "8"}, {"Main.r", "15"}, {"Main.c1", "2"}, {"Main.c2", "9"},
      {"Main.e", "2"}, {"Main.ifr", "2"}, {"Main.ex", "3"}, {"Main.ret", "1"}}},

    {"elementary", 1, R"(PROGRAM Main
VAR
    s8 : SINT := -128; i16 : INT := 32767; i32 : DINT := -2147483648; b : BYTE := 16#FF; w : WORD := 2#1111; dw : DWORD := 16#FFFFFFFF;
    r : REAL := 1.5E3; t : TIME := T#1h2m3s4.5ms; tneg : TIME := TIME#-5s; d : DATE := D#1970-01-02; tod1 : TOD := TOD#12:00:00.5;
    dt1 : DT := DT#1970-01-02-00:00:01; s : STRING[10] := 'a$'b$$c'; s2 : STRING := "x"; tb : BOOL := BOOL#1; ti : INT := INT#-5;
    wide : DINT; wr : REAL; ww : DWORD; bit : BOOL; sum : TIME; later : TOD; len1 : DINT; tx : STRING[5];
END_VAR
wide := i16;         (* INT widens to DINT *)
wr := s8;            (* SINT widens to REAL *)
ww := w;             (* WORD widens to DWORD *)
bit := b.7;
sum := t + T#1s;
later := tod1 + T#1h;
len1 := LEN(s);
tx := 'abcdefgh';    (* cut to the capacity *)
END_PROGRAM
)",
     {{"Main.s8", "-128"}, {"Main.i16", "32767"}, {"Main.i32", "-2147483648"}, {"Main.b", "255"}, {"Main.w", "15"},
      {"Main.dw", "4294967295"}, {"Main.r", "1500"}, {"Main.t", "0/37230045"}, {"Main.tneg", "0/-50000"}, {"Main.d", "1"},
      {"Main.tod1", "432005000"}, {"Main.dt1", "1/10000"}, {"Main.s", "a'b$c"}, {"Main.s2", "x"}, {"Main.tb", "TRUE"},
      {"Main.ti", "-5"}, {"Main.wide", "32767"}, {"Main.wr", "-128"}, {"Main.ww", "15"}, {"Main.bit", "TRUE"},
      {"Main.sum", "0/37240045"}, {"Main.later", "468005000"}, {"Main.len1", "5"}, {"Main.tx", "abcde"}}},

    {"derived", 1, R"(TYPE
    Level : INT (0..100) := 50;
    Color : (Red, Green, Blue);
    Point : STRUCT x : INT := 1; y : INT := 2; END_STRUCT;
    Line : STRUCT a : Point; b : Point := (x := 10, y := 20); tag : STRING[4] := 'ln'; END_STRUCT;
    Row : ARRAY[1..4] OF INT;
    Alias : DINT;
END_TYPE
PROGRAM Main
VAR
    l : Level; l2 : Level := 7; c : Color := Blue; p : Point; ln : Line := (a := (y := 5));
    r : Row := [2(7), 1]; grid : ARRAY[0..1, 1..3] OF INT := [1, 2, 3, 4, 5, 6]; pts : ARRAY[1..2] OF Point;
    al : Alias := 9; g : INT; k : INT; q : Line;
END_VAR
pts[2].x := 33;
k := 2;
g := grid[1, k] + r[1];
l := l + 1;
q := ln;
IF c = Blue THEN c := Green; END_IF;
END_PROGRAM
)",
     {{"Main.l", "51"}, {"Main.l2", "7"}, {"Main.c", "Green"}, {"Main.p.x", "1"}, {"Main.p.y", "2"}, {"Main.ln.a.x", "1"},
      {"Main.ln.a.y", "5"}, {"Main.ln.b.x", "10"}, {"Main.ln.b.y", "20"}, {"Main.ln.tag", "ln"}, {"Main.r[1]", "7"},
      {"Main.r[2]", "7"}, {"Main.r[3]", "1"}, {"Main.r[4]", "0"}, {"Main.grid[1,2]", "5"}, {"Main.g", "12"},
      {"Main.pts[2].x", "33"}, {"Main.pts[1].y", "2"}, {"Main.al", "9"}, {"Main.q.b.y", "20"}, {"Main.q.tag", "ln"}}},

    {"units", 2, R"(VAR_GLOBAL
    Shared : INT := 3;
    Limit : INT := 100;
    Settle : TIME := T#2s;  (* a global whose initial value is a constant of its own *)
END_VAR

FUNCTION Scale : REAL
VAR_INPUT x : INT; k : REAL := 2.0; END_VAR
VAR t : REAL; END_VAR
t := x;
Scale := t * k;
END_FUNCTION

FUNCTION Swap : BOOL
VAR_IN_OUT a : INT; b : INT; END_VAR
VAR_OUTPUT old : INT; END_VAR
VAR tmp : INT; END_VAR
old := a;
tmp := a; a := b; b := tmp;
Swap := TRUE;
END_FUNCTION

FUNCTION Greeting : STRING[20]
VAR_INPUT name : STRING[10]; END_VAR
Greeting := CONCAT('hi ', name);
END_FUNCTION

FUNCTION_BLOCK Tank
VAR_INPUT Inflow : INT; END_VAR
VAR_OUTPUT Level : INT; Full : BOOL; END_VAR
VAR_EXTERNAL Limit : INT; END_VAR
VAR CONSTANT Step : INT := 1; END_VAR
VAR Calls : INT; END_VAR
VAR_TEMP scratch : INT; END_VAR
scratch := scratch + Inflow;   (* starts at 0 every call *)
Level := Level + scratch * Step;
Full := Level >= Limit;
Calls := Calls + 1;
END_FUNCTION_BLOCK

FUNCTION_BLOCK Plant
VAR_INPUT Feed : INT; END_VAR
VAR Tanks : ARRAY[1..3] OF Tank; Pump : Tank; END_VAR
VAR_OUTPUT Sum : INT; END_VAR
Tanks[1](Inflow := Feed);
Tanks[2](Feed * 2);
Tanks[3](Inflow := 60, Level => Sum);
Pump(Inflow := 1);
END_FUNCTION_BLOCK

PROGRAM Main
VAR_EXTERNAL Shared : INT; END_VAR
VAR
    P : Plant; f : REAL; f2 : REAL; x : INT := 1; y : INT := 2; old : INT; ok : BOOL; g : STRING[20]; full3 : BOOL;
    sum : INT; level2 : INT; InPin AT %IX0.1 : BOOL; OutWord AT %QW2 : WORD; Marker AT %MD4 : DINT;
END_VAR
VAR RETAIN Runs : DINT; END_VAR
P(Feed := Shared);
sum := P.Sum;
f := Scale(3);
f2 := Scale(x := 3, k := 0.5);
ok := Swap(x, y, old => old);
g := Greeting('bob');
Runs := Runs + 1;
OutWord := 16#0102;
END_PROGRAM
)",
     {{"Main.P.Tanks[1].Level", "6"}, {"Main.P.Tanks[2].Level", "12"}, {"Main.P.Tanks[3].Level", "120"},
      {"Main.P.Tanks[3].Full", "TRUE"}, {"Main.P.Tanks[2].Full", "FALSE"}, {"Main.P.Tanks[1].Calls", "2"},
      {"Main.P.Pump.Level", "2"}, {"Main.P.Sum", "120"}, {"Main.sum", "120"}, {"Main.f", "6"}, {"Main.f2", "1.5"},
      {"Main.x", "1"}, {"Main.y", "2"}, {"Main.old", "2"}, {"Main.ok", "TRUE"}, {"Main.g", "hi bob"}, {"Main.Runs", "2"},
      {"Main.OutWord", "258"}, {"Main.Shared", "3"}, {"Main.Settle", "0/20000"}}},

    {"library", 3, R"(PROGRAM Main
VAR
    mx : INT; mr : REAL; lim : DINT; sel1 : INT; mux1 : DINT; sh : BYTE; ro : WORD; cat : STRING[20]; left1 : STRING[10];
    pos : DINT; ir : REAL; ri : INT; tr : DINT; tsum : TIME; tdiff : TIME; tmul : TIME; bits : WORD; ab : INT;
    d0 : INT; err : DINT; cmp : BOOL; scmp : BOOL; dtod : TOD; conv : STRING[10]; sq : REAL; ex : DINT; mv : INT; mn : TIME;
    Timer1 : TON; Pulse : TP; Off : TOF; Up : CTU; Both : CTUD; Edge : R_TRIG; Fall : F_TRIG; Latch : RS; Set1 : SR;
    EdgeCount : INT; Tick : BOOL := TRUE; Elapsed : TIME; Done : BOOL;
END_VAR
mx := MAX(3, 7);
mr := MAX(1.5, -2.0);
lim := LIMIT(0, 150, 100);
sel1 := SEL(TRUE, 10, 20);
mux1 := MUX(2, 5, 6, 7, 8);
sh := SHL(BYTE#16#81, 1);
ro := ROL(WORD#16#8001, 4);
cat := CONCAT('ab', 'cd');
left1 := LEFT(cat, 3);
pos := FIND(cat, 'cd');
ir := INT_TO_REAL(7);
ri := REAL_TO_INT(2.5);
tr := TRUNC(-3.7);
tsum := ADD_TIME(T#1s, T#500ms);
tdiff := T#1s - T#250ms;
tmul := T#2s * 3;
bits := WORD#16#00FF AND WORD#16#0F0F;
ab := ABS(-12);
d0 := 10 / (ab - 12);             (* division by zero: the library's fallback *)
cmp := T#1s > T#999ms;
scmp := 'abc' < 'abd';
dtod := DT_TO_TOD(DT#2024-01-31-01:00:00);
conv := INT_TO_STRING(-42);
sq := SQRT(16.0);
ex := EXPT(2, 10);
mv := MOVE(5);
mn := MIN(T#3s, T#2s);
Timer1(IN := TRUE, PT := T#100ms);
Elapsed := Timer1.ET;
Done := Timer1.Q;
Pulse(IN := TRUE, PT := T#1s);
Off(IN := FALSE, PT := T#1s);
Up(CU := TRUE, R := FALSE, PV := 2);
Both(CU := FALSE, CD := TRUE, R := FALSE, LD := FALSE, PV := 5);
Tick := NOT Tick;
Edge(CLK := Tick);
IF Edge.Q THEN EdgeCount := EdgeCount + 1; END_IF;
Fall(CLK := Tick);
Latch(S := TRUE, R1 := FALSE);
Set1(S1 := FALSE, R := TRUE);
END_PROGRAM
)",
     {{"Main.mx", "7"}, {"Main.mr", "1.5"}, {"Main.lim", "100"}, {"Main.sel1", "20"}, {"Main.mux1", "7"}, {"Main.sh", "2"},
      {"Main.ro", "24"}, {"Main.cat", "abcd"}, {"Main.left1", "abc"}, {"Main.pos", "3"}, {"Main.ir", "7"}, {"Main.tr", "-3"},
      {"Main.tsum", "0/15000"}, {"Main.tdiff", "0/7500"}, {"Main.tmul", "0/60000"}, {"Main.bits", "15"}, {"Main.ab", "12"},
      {"Main.d0", "0"}, {"Main.cmp", "TRUE"}, {"Main.scmp", "TRUE"}, {"Main.dtod", "36000000"}, {"Main.conv", "-42"},
      {"Main.sq", "4"}, {"Main.ex", "1024"}, {"Main.mv", "5"}, {"Main.mn", "0/20000"}, {"Main.Elapsed", "0/1000"},
      {"Main.Timer1.ET", "0/1000"}, {"Main.Timer1.Q", "TRUE"}, {"Main.Done", "TRUE"}, {"Main.Pulse.Q", "TRUE"},
      {"Main.Pulse.ET", "0/1500"}, {"Main.Off.Q", "FALSE"}, {"Main.Up.CV", "3"}, {"Main.Up.Q", "TRUE"}, {"Main.Both.CV", "-3"},
      {"Main.Both.QD", "TRUE"}, {"Main.EdgeCount", "1"}, {"Main.Fall.Q", "TRUE"}, {"Main.Latch.Q1", "1"}, {"Main.Set1.Q1", "0"}}},

    {"more", 3, R"(TYPE Mode : (Idle, Run, Stop); Pct : INT (0..100); END_TYPE
FUNCTION_BLOCK Acc
VAR_IN_OUT total : DINT; END_VAR
VAR_INPUT add : DINT; END_VAR
VAR_OUTPUT done : BOOL; END_VAR
total := total + add;
done := total > 10;
END_FUNCTION_BLOCK
PROGRAM Main
VAR
    m : Mode := Mode#Run; k : INT; a : Acc; sum : DINT; notDone : BOOL; p : Pct; src : INT := 150; s1 : STRING[8] := 'abc';
    eq : BOOL; mid1 : STRING[8]; cmpMode : BOOL; nested : DINT; w : WORD; b0 : BOOL;
END_VAR
CASE m OF Mode#Idle: k := 1; Mode#Run: k := 2; END_CASE;
a(total := sum, add := 4, NOT done => notDone);
cmpMode := m <> Mode#Stop;
eq := s1 = 'abc';
mid1 := MID(s1, 2, 2);
nested := MAX(MIN(5, 9), ABS(-3)) + 1;
w := 16#0F0F;
b0 := w.8;
w.15 := TRUE;
p := LIMIT(0, src, 100);
END_PROGRAM
)",
     {{"Main.m", "Run"}, {"Main.k", "2"}, {"Main.sum", "12"}, {"Main.a.done", "TRUE"}, {"Main.notDone", "FALSE"},
      {"Main.cmpMode", "TRUE"}, {"Main.eq", "TRUE"}, {"Main.mid1", "bc"}, {"Main.nested", "6"}, {"Main.w", "36623"},
      {"Main.b0", "TRUE"}, {"Main.p", "100"}}},

    // Temporaries taken in every iteration of a long loop are given back iteration by iteration.
    {"loops", 1, R"(PROGRAM Main
VAR s : STRING[200]; i : INT; n : INT; t : TIME; END_VAR
s := '';
FOR i := 1 TO 500 DO
    s := CONCAT(LEFT(s, 100), 'x');
    t := t + T#1ms;
END_FOR;
WHILE LEN(CONCAT(s, 'abc')) < 110 DO s := CONCAT(s, 'y'); n := n + 1; END_WHILE;
END_PROGRAM
)",
     {{"Main.t", "0/5000"}, {"Main.n", "6"}, {"Main.i", "500"}}},
};

class QvcPrograms : public ::testing::TestWithParam<Case> {};

TEST_P(QvcPrograms, ProduceTheirValues) {
    const Case& c = GetParam();
    const Result built = buildProgram(c.name, c.source);
    ASSERT_EQ(built.status, 0) << built.output;
    EXPECT_EQ(built.output.find(".c:"), std::string::npos) << "the C compiler warned:\n" << built.output;
    const nlohmann::json symbols = symbolsOf(c.name);
    ASSERT_FALSE(symbols.is_discarded());
    ProgramRun run("qvct_" + std::string(c.name), c.name);
    ASSERT_TRUE(run.start({"QV_TIMEOUT=10"}));
    ASSERT_TRUE(run.waitUntilStopped()) << run.console();
    for (int k = 0; k < c.cycles; ++k) ASSERT_TRUE(debug::stepOnce(run)) << run.console();
    for (const auto& [name, value] : c.expected) EXPECT_EQ(valueOf(run.image(), symbols, name), value) << name;
    EXPECT_EQ(run.end(), 0);
}

// Revisions 1 and 2 lay the image out and publish writes their own way: the same
// programs give the same values.
TEST(QvcRevisions, OneAndTwoRunTheSamePrograms) {
    for (const char* revision : {"1", "2"}) {
        for (const Case& c : {kCases[3], kCases[5], kCases[6]}) {
            const std::string name = std::string(c.name) + "_r" + revision;
            const Result built = buildProgram(name, c.source, std::string("--revision ") + revision);
            ASSERT_EQ(built.status, 0) << built.output;
            const nlohmann::json symbols = symbolsOf(name);
            EXPECT_EQ(symbols["revision"], std::atoi(revision));
            ProgramRun run("qvct_" + name, name);
            ASSERT_TRUE(run.start({"QV_TIMEOUT=10"}));
            ASSERT_TRUE(run.waitUntilStopped()) << run.console();
            for (int k = 0; k < c.cycles; ++k) ASSERT_TRUE(debug::stepOnce(run)) << run.console();
            for (const auto& [variable, value] : c.expected)
                EXPECT_EQ(valueOf(run.image(), symbols, variable), value) << name << " " << variable;
            EXPECT_EQ(run.end(), 0);
        }
    }
}

// --period sets the cycle period, which the timers count; the description carries each
// variable's direction, address and comment, even one written in Latin-1.
TEST(QvcOptions, PeriodAndDescription) {
    const Result built = buildProgram("period", R"(PROGRAM Main
VAR_INPUT Go : BOOL := TRUE; (* starts the timer *)
END_VAR
VAR_OUTPUT Lamp AT %QX0.2 : BOOL; END_VAR
VAR T1 : TON; Sensor AT %IW4 : INT; (* d)" "\xe9" R"(tecteur *) END_VAR
T1(IN := Go, PT := T#1s);
Lamp := T1.Q;
END_PROGRAM
)", "--period 100ms");
    ASSERT_EQ(built.status, 0) << built.output;
    const nlohmann::json symbols = symbolsOf("period");
    const nlohmann::json* go = entry(symbols, "Main.Go");
    ASSERT_NE(go, nullptr);
    EXPECT_EQ((*go)["direction"], "input");
    EXPECT_EQ((*go)["comment"], "starts the timer");
    EXPECT_EQ((*go)["slot"], 5);  // the first model boolean
    EXPECT_EQ((*entry(symbols, "Main.Lamp"))["address"], "%QX0.2");
    EXPECT_EQ((*entry(symbols, "Main.Lamp"))["direction"], "output");
    EXPECT_EQ((*entry(symbols, "Main.Sensor"))["direction"], "input");
    EXPECT_EQ((*entry(symbols, "Main.Sensor"))["comment"], "d\xef\xbf\xbdtecteur");  // U+FFFD
    EXPECT_EQ((*entry(symbols, "Main.T1.ET"))["type"], "TIME");
    EXPECT_EQ((*entry(symbols, "Main.T1.ET"))["area"], "int");
    ProgramRun run("qvct_period", "period");
    ASSERT_TRUE(run.start({"QV_TIMEOUT=10"}));
    ASSERT_TRUE(run.waitUntilStopped()) << run.console();
    ASSERT_TRUE(debug::stepOnce(run));
    ASSERT_TRUE(debug::stepOnce(run));
    EXPECT_EQ(valueOf(run.image(), symbols, "Main.T1.ET"), "0/2000");  // 100 ms a cycle
    EXPECT_EQ(run.end(), 0);
}

INSTANTIATE_TEST_SUITE_P(Table, QvcPrograms, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace qvtest::compiler
