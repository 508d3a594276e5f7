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
      {"Main.OutWord", "258"}, {"Main.Shared", "3"}}},
};

class Programs : public ::testing::TestWithParam<Case> {};

TEST_P(Programs, ProduceTheirValues) {
    const Case& c = GetParam();
    const Result built = buildProgram(c.name, c.source);
    ASSERT_EQ(built.status, 0) << built.output;
    const nlohmann::json symbols = symbolsOf(c.name);
    ASSERT_FALSE(symbols.is_discarded());
    ProgramRun run("qvct_" + std::string(c.name), c.name);
    ASSERT_TRUE(run.start({"QV_TIMEOUT=10"}));
    ASSERT_TRUE(run.waitUntilStopped()) << run.console();
    for (int k = 0; k < c.cycles; ++k) ASSERT_TRUE(debug::stepOnce(run)) << run.console();
    for (const auto& [name, value] : c.expected) EXPECT_EQ(valueOf(run.image(), symbols, name), value) << name;
    EXPECT_EQ(run.end(), 0);
}

INSTANTIATE_TEST_SUITE_P(Table, Programs, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace qvtest::compiler
