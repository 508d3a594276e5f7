// qvctl refuses what it cannot do with a clear message and a non-zero status, and then
// writes nothing; and it writes the slot flags of revision 1 images.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "tests/programs/qvctl_driver.h"
#include "tests/supervisor/laid_out_image.h"

namespace {

using qvtest::ctl;
using qvtest::CtlResult;
using qvtest::ProgramRun;
using qvtest::runQvctl;

std::vector<unsigned char> bytesOf(qv::ImageView& image) {
    return std::vector<unsigned char>(image.base(), image.base() + image.size());
}

TEST(QvctlInput, RefusalsWriteNothing) {
    ProgramRun run("bistable_cylinder", "qvctl");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    qv::ImageView& image = run.image();
    const std::vector<unsigned char> before = bytesOf(image);
    const std::string name = run.imageName();

    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string message;
    };
    const Case cases[] = {
        // Unknown variables, slots outside their area.
        {{"get", "DS", "Nothing"}, 1, "no variable Nothing in bistable_cylinder (qvctl vars lists them)"},
        {{"set", "ds", "1"}, 1, "no variable ds in bistable_cylinder (qvctl vars lists them)"},
        {{"force", "B40", "1"}, 1, "B40 lies outside the boolean area (slots 0 to 39)"},
        {{"set", "I99999999999", "1"}, 1, "I99999999999 lies outside the integer area"},
        {{"trace", "add", "DS", "C53"}, 1, "C53 lies outside the character area (slots 0 to 52)"},
        // Values that do not fit the variable.
        {{"set", "DS", "2"}, 1, "DS is a BOOL: give TRUE or FALSE (or 1 or 0), not \"2\""},
        {{"force", "DS", "yes"}, 1, "DS is a BOOL: give TRUE or FALSE (or 1 or 0), not \"yes\""},
        {{"set", "t2", "2147483648"}, 1,
         "t2 is a DINT: give a whole number from -2147483648 to 2147483647, not \"2147483648\""},
        {{"set", "t2", "1.5"}, 1, "t2 is a DINT: give a whole number from -2147483648 to 2147483647, not \"1.5\""},
        {{"set", "simuperiod", "1e39"}, 1, "simuperiod is a REAL: give a finite number within +-3.4e38, not \"1e39\""},
        {{"set", "simuperiod", "nan"}, 1, "simuperiod is a REAL: give a finite number within +-3.4e38, not \"nan\""},
        {{"set", "C52", "256"}, 1, "C52 is a CHAR: give one character or a code from 0 to 255, not \"256\""},
        {{"set", "TTL", "10"}, 1, "TTL is a TIME: a number needs a unit, as in T#10s or 10s (or 10ms), not \"10\""},
        {{"set", "TTL", "ten"}, 1, "TTL is a TIME: give a duration such as 2.5s, 250ms or T#10s, not \"ten\""},
        {{"set", "taskname", "x"}, 1, "taskname is a STRING; qvctl does not write strings"},
        // What a table cannot hold, what a breakpoint cannot watch.
        {{"trace", "add", "traceon"}, 1,
         "traceon is slot 0 of its area, which no index table can hold (0 ends a table)"},
        {{"break", "add", "TTL"}, 1, "data breakpoints watch booleans; TTL is a TIME"},
        {{"break", "add", "x", "1"}, 1, "no instance x with steps in bistable_cylinder"},
        {{"break", "add", "bistable_cylinder", "30"}, 1, "bistable_cylinder has no step 30 (qvctl vars _X_ lists the steps)"},
        {{"break", "add", "Verin_GX._X_21"}, 1, "no instance Verin_GX with steps in bistable_cylinder"},
        // Another model, an unknown model.
        {{"--model", "pick_place_unit", "set", "DS", "1"}, 1,
         "image \"" + name + "\" holds bistable_cylinder, not pick_place_unit"},
        {{"--revision", "1", "status"}, 1,
         "image \"" + name + "\" has the layout of revision 2 and 3, not of revision 1"},
        {{"--model", "lathe", "status"}, 1,
         "unknown model lathe (known: manipulateur, bistable_cylinder, pick_place_unit, suction_cup)"},
    };
    for (const Case& c : cases) {
        const CtlResult r = ctl(run, c.arguments);
        EXPECT_EQ(r.status, c.status) << c.arguments[0] << " " << c.arguments[1];
        EXPECT_EQ(r.output, "qvctl: " + c.message + "\n");
    }
    EXPECT_TRUE(bytesOf(image) == before);

    // A missing image, a name that cannot be one, a command line qvctl does not read.
    EXPECT_CTL(runQvctl({"--name", name + "_none", "status"}), 1, "qvctl: no image named \"" + name + "_none\"\n");
    EXPECT_CTL(runQvctl({"--name", "a/b", "status"}), 2,
               "qvctl: \"a/b\" cannot name an image\n(qvctl help lists the commands)\n");
    EXPECT_CTL(ctl(run, {"jump"}), 2, "qvctl: unknown command \"jump\"\n(qvctl help lists the commands)\n");
    EXPECT_CTL(ctl(run, {"set", "DS"}), 2, "qvctl: set needs a variable and a value\n(qvctl help lists the commands)\n");
    EXPECT_CTL(ctl(run, {"--cycles", "0", "watch", "DS"}), 2,
               "qvctl: --cycles takes a whole number of at least 1\n(qvctl help lists the commands)\n");
    EXPECT_CTL(ctl(run, {"status", "--travel"}), 2, "qvctl: --travel needs a value\n(qvctl help lists the commands)\n");
    EXPECT_CTL(ctl(run, {"step", "0"}), 2,
               "qvctl: step takes a number of cycles of at least 1, not \"0\"\n(qvctl help lists the commands)\n");
    EXPECT_CTL(ctl(run, {"break", "add", "10", "0"}), 2,
               "qvctl: instance numbers start at 1 (the top model)\n(qvctl help lists the commands)\n");
    EXPECT_CTL(ctl(run, {"vars", "--vcd"}), 2,
               "qvctl: --vcd and --csv belong to trace export\n(qvctl help lists the commands)\n");
    EXPECT_CTL(ctl(run, {"help", "jump"}), 2, "qvctl: no command \"jump\"\n(qvctl help lists the commands)\n");
    EXPECT_EQ(runQvctl({}).status, 2);
    EXPECT_EQ(runQvctl({"help"}).status, 0);
    EXPECT_TRUE(bytesOf(image) == before);
    EXPECT_EQ(run.end(), 0);
}

TEST(QvctlInput, AnImageOfAnUnknownProgramIsReachedBySlots) {
    ProgramRun run("test_model_r2", "qvctl");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    const CtlResult status = ctl(run, {"status"});
    EXPECT_NE(status.output.find("program    unknown (slot counts 40 555 17 53, signature 123456789)\n"),
              std::string::npos)
        << status.output;
    EXPECT_CTL(ctl(run, {"get", "DS"}), 1,
               "qvctl: unknown variable DS: the image holds no program with a symbol table, so name slots as B5, "
               "I523, F10 or C3\n");
    EXPECT_CTL(ctl(run, {"plant"}), 1,
               "qvctl: image \"" + run.imageName() +
                   "\" holds no program that qvctl knows (slot counts 40 555 17 53, signature 123456789)\n");
    // Revision 2 lists traced variables without asking for a snapshot (it has none).
    EXPECT_CTL(ctl(run, {"--revision", "2", "trace", "add", "B9"}), 0, "traced: B9\n");
    EXPECT_EQ(qv::ImageView::read(run.image().indexTable(qv::kBoolTraceTableOffset)), 9);
    EXPECT_EQ(*run.image().boolSlot(qv::kQvDelaySlot) & 1, 0);
    EXPECT_CTL(ctl(run, {"--revision", "2", "trace", "snapshot"}), 1,
               "qvctl: a program of revision 2 writes no snapshots\n");
    EXPECT_CTL(ctl(run, {"--revision", "2", "break", "add", "B9"}), 0, "breakpoint: stop when B9 changes\n");
    EXPECT_EQ(qv::ImageView::read(run.image().indexTable(qv::kBoolBreakpointTableOffset)), 9);
    EXPECT_EQ(run.end(), 0);
}

// Revision 1 keeps forcing, tracing and data breakpoints in flags of each slot.
TEST(QvctlInput, RevisionOneSlotFlags) {
    const int32_t counts[4] = {167, 551, 17, 53};
    qvtest::LaidOutImage laid(1, counts, "qvctl");
    qv::ImageView& image = laid.view();
    auto run = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--name", laid.name()});
        return runQvctl(arguments);
    };
    EXPECT_NE(run({"status"}).output.find("program    manipulateur\n"), std::string::npos);

    EXPECT_CTL(run({"force", "B30", "TRUE"}), 0, "B30 = TRUE (forced)\n");
    EXPECT_EQ(*image.boolSlot(30), qv::kBoolCurrent | qv::kBoolOld | qv::r1::kBoolForced);
    EXPECT_CTL(run({"unforce", "B30"}), 0, "B30 = TRUE\n");
    EXPECT_EQ(*image.boolSlot(30), qv::kBoolCurrent | qv::kBoolOld);
    EXPECT_CTL(run({"force", "I430", "-7"}), 0, "I430 = -7 (forced)\n");
    EXPECT_EQ(image.intSlot(430)[0], -7);
    EXPECT_EQ(image.intSlot(430)[1], -7);
    EXPECT_EQ(image.slot(qv::kAreaInt, 430)[qv::r1::kIntFlagsOffset], qv::r1::kIntForced);
    EXPECT_CTL(run({"force", "C52", "A"}), 0, "C52 = 65 'A' (forced)\n");
    EXPECT_EQ(image.charSlot(52)[2], qv::r1::kForced);
    EXPECT_CTL(run({"force", "F16", "2.5"}), 0, "F16 = 2.5 (forced)\n");
    EXPECT_EQ(image.slot(qv::kAreaReal, 16)[qv::r1::kRealFlagsOffset], qv::r1::kForced);

    EXPECT_CTL(run({"trace", "add", "B0", "B30", "I430", "F16", "C52"}), 0, "traced: B0, B30, I430, F16, C52\n");
    EXPECT_EQ(*image.boolSlot(0) & qv::r1::kBoolTraced, qv::r1::kBoolTraced);
    EXPECT_EQ(image.slot(qv::kAreaInt, 430)[qv::r1::kIntTracedOffset], 1);
    EXPECT_EQ(image.slot(qv::kAreaReal, 16)[qv::r1::kRealFlagsOffset], qv::r1::kForced | qv::r1::kTraced);
    EXPECT_EQ(image.charSlot(52)[2], qv::r1::kForced | qv::r1::kTraced);
    EXPECT_CTL(run({"trace", "list"}), 0,
               "traceon (B0)\nOKpose (B30)\nVerin_PX.Tinertie (I430)\nmxmaxvariablemodification (F16)\nC52\n"
               "tracing off\n");
    EXPECT_CTL(run({"trace", "remove", "I430"}), 0, "no longer traced: I430\n");
    EXPECT_EQ(image.slot(qv::kAreaInt, 430)[qv::r1::kIntTracedOffset], 0);
    EXPECT_CTL(run({"trace", "snapshot"}), 1, "qvctl: a program of revision 1 writes no snapshots\n");

    EXPECT_CTL(run({"break", "add", "B31"}), 0, "breakpoint: stop when B31 changes\n");
    EXPECT_EQ(image.boolSlot(31)[1], qv::r1::kBoolDataBreakpoint);
    // Revision 1 programs start with a count of 100 empty places: a pair takes the first.
    qv::ImageView::write(image.controlInt(qv::kBpnolineFromExec), 100);
    EXPECT_CTL(run({"break", "add", "7", "3"}), 0, "breakpoint: pause at location 7, instance 3\n");
    EXPECT_EQ(qv::ImageView::read(image.intSlot(210 + 2)), 7);    // bpnoline, place 1
    EXPECT_EQ(qv::ImageView::read(image.intSlot(210 + 104)), 3);  // bpnoinstance, place 1
    EXPECT_EQ(qv::ImageView::read(image.controlInt(qv::kBpnolineFromExec)), 100);
    EXPECT_CTL(run({"break", "list"}), 0, "data Dpose\nlocation 7 instance 3\n");
    EXPECT_CTL(run({"break", "remove", "B31"}), 0, "breakpoint removed: B31\n");
    EXPECT_EQ(image.boolSlot(31)[1], 0);
}

}  // namespace

namespace {

// A compiled program's description (version 2) over an image laid out by the test: every
// elementary type by name, its printed form and its refusals; source lines as breakpoints.
const char* const kVersion2 = R"({
  "format": "qv-symbols", "version": 2,
  "program": "conveyor", "revision": 3,
  "variables": [
    {"name": "Main.Count", "type": "INT", "area": "int", "slot": 523, "direction": "internal", "comment": "", "address": "%MW0"},
    {"name": "Main.Mode", "type": "ENUM", "enum": "Mode", "area": "int", "slot": 524, "direction": "internal", "comment": ""},
    {"name": "Main.Small", "type": "SINT", "area": "int", "slot": 525, "direction": "internal", "comment": ""},
    {"name": "Main.Mask", "type": "BYTE", "area": "int", "slot": 526, "direction": "internal", "comment": ""},
    {"name": "Main.Bits", "type": "WORD", "area": "int", "slot": 527, "direction": "internal", "comment": ""},
    {"name": "Main.Wide", "type": "DWORD", "area": "int", "slot": 528, "direction": "internal", "comment": ""},
    {"name": "Main.Total", "type": "DINT", "area": "int", "slot": 529, "direction": "internal", "comment": ""},
    {"name": "Main.Timer1.ET", "type": "TIME", "area": "int", "slot": 530, "direction": "internal", "comment": ""},
    {"name": "Main.Day", "type": "DATE", "area": "int", "slot": 534, "direction": "internal", "comment": ""},
    {"name": "Main.Clock", "type": "TIME_OF_DAY", "area": "int", "slot": 537, "direction": "internal", "comment": ""},
    {"name": "Main.Stamp", "type": "DATE_AND_TIME", "area": "int", "slot": 540, "direction": "internal", "comment": ""},
    {"name": "Main.Label", "type": "STRING", "length": 8, "area": "char", "slot": 53, "direction": "internal", "comment": ""},
    {"name": "Main.Start", "type": "BOOL", "area": "bool", "slot": 5, "direction": "input", "comment": "start button", "operator": true},
    {"name": "Main.Hidden", "type": "DINT", "area": "int", "slot": 311, "direction": "internal", "comment": ""}
  ],
  "enums": [{"name": "Mode", "values": [{"name": "Idle", "value": 0}, {"name": "Run", "value": 1}]}],
  "sources": [{"file": "conveyor.st", "path": "/src/conveyor.st"}],
  "locations": [{"location": 12, "file": "conveyor.st", "line": 12, "column": 5, "endColumn": 20},
                {"location": 1000014, "file": "timer.st", "line": 14, "column": 3, "endColumn": 9}],
  "instances": [{"number": 1, "path": "Main", "type": "Main"}, {"number": 2, "path": "Main.Timer1", "type": "Tick"}],
  "objects": []
}
)";

TEST(QvctlInput, EveryTypeOfAVersionTwoDescription) {
    const int32_t counts[4] = {40, 560, 17, 70};
    qvtest::LaidOutImage laid(3, counts, "types");
    const std::string symbols = qv::platform::temporaryDirectory() + "/" + laid.name() + ".symbols.json";
    qvtest::writeFile(symbols, kVersion2);
    auto run = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--name", laid.name(), "--symbols", symbols});
        return runQvctl(arguments);
    };
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string output;
    };
    const Case cases[] = {
        {{"set", "Main.Count", "-5"}, 0, "Main.Count = -5\n"},
        {{"set", "Main.Count", "16#7FFF"}, 0, "Main.Count = 32767\n"},
        {{"set", "Main.Count", "32768"}, 1,
         "qvctl: Main.Count is an INT: give a whole number from -32768 to 32767, not \"32768\"\n"},
        {{"set", "Main.Small", "-128"}, 0, "Main.Small = -128\n"},
        {{"set", "Main.Small", "200"}, 1,
         "qvctl: Main.Small is a SINT: give a whole number from -128 to 127, not \"200\"\n"},
        {{"set", "Main.Mask", "255"}, 0, "Main.Mask = 16#FF\n"},
        {{"set", "Main.Mask", "-1"}, 1,
         "qvctl: Main.Mask is a BYTE: give a whole number from 0 to 255 (or 16#00 to 16#FF), not \"-1\"\n"},
        {{"set", "Main.Bits", "16#00ff"}, 0, "Main.Bits = 16#00FF\n"},
        {{"set", "Main.Bits", "2#1000_0000_0000_0000"}, 0, "Main.Bits = 16#8000\n"},
        {{"set", "Main.Wide", "4294967295"}, 0, "Main.Wide = 16#FFFFFFFF\n"},
        {{"set", "Main.Wide", "16#1_0000_0000"}, 1,
         "qvctl: Main.Wide is a DWORD: give a whole number from 0 to 4294967295 (or 16#00000000 to 16#FFFFFFFF), "
         "not \"16#1_0000_0000\"\n"},
        {{"set", "Main.Total", "-7"}, 0, "Main.Total = -7\n"},
        {{"set", "Main.Mode", "Run"}, 0, "Main.Mode = Run\n"},
        {{"set", "Main.Mode", "mode#idle"}, 0, "Main.Mode = Idle\n"},
        {{"set", "Main.Mode", "1"}, 0, "Main.Mode = Run\n"},
        {{"set", "Main.Mode", "2"}, 1, "qvctl: Main.Mode is a Mode: give one of Idle, Run, not \"2\"\n"},
        {{"set", "Main.Timer1.ET", "T#1h2m3.5s"}, 0, "Main.Timer1.ET = T#3723.5s\n"},
        {{"set", "Main.Timer1.ET", "10"}, 1,
         "qvctl: Main.Timer1.ET is a TIME: a number needs a unit, as in T#10s or 10s (or 10ms), not \"10\"\n"},
        {{"set", "Main.Day", "D#2024-01-31"}, 0, "Main.Day = D#2024-01-31\n"},
        {{"set", "Main.Day", "1970-01-01"}, 0, "Main.Day = D#1970-01-01\n"},
        {{"set", "Main.Day", "D#2023-02-29"}, 1,
         "qvctl: Main.Day is a DATE: give a date from D#0001-01-01 to D#9999-12-31, such as D#2024-01-31, not "
         "\"D#2023-02-29\"\n"},
        {{"set", "Main.Clock", "TOD#12:00:00.5"}, 0, "Main.Clock = TOD#12:00:00.5\n"},
        {{"set", "Main.Clock", "24:00:00"}, 1,
         "qvctl: Main.Clock is a TIME_OF_DAY: give a time from TOD#00:00:00 to TOD#23:59:59.9999, such as "
         "TOD#12:00:00.5, not \"24:00:00\"\n"},
        {{"set", "Main.Stamp", "DT#2024-01-31-12:00:00"}, 0, "Main.Stamp = DT#2024-01-31-12:00:00\n"},
        {{"set", "Main.Stamp", "DT#1969-12-31-23:59:59.9999"}, 0, "Main.Stamp = DT#1969-12-31-23:59:59.9999\n"},
        {{"set", "Main.Label", "'it$'s $$5'"}, 0, "Main.Label = 'it$'s $$5'\n"},
        {{"set", "Main.Label", "plain"}, 0, "Main.Label = 'plain'\n"},
        {{"set", "Main.Label", "'123456789'"}, 1,
         "qvctl: Main.Label is a STRING[8]: give at most 8 characters, not \"'123456789'\"\n"},
        {{"force", "Main.Label", "x"}, 1, "qvctl: Main.Label is a STRING; strings are not forced\n"},
        {{"force", "Main.Count", "-2"}, 0, "Main.Count = -2 (forced)\n"},
        {{"force", "Main.Stamp", "DT#2000-02-29-00:00:01"}, 0, "Main.Stamp = DT#2000-02-29-00:00:01 (forced)\n"},
        {{"unforce", "Main.Stamp"}, 0, "Main.Stamp = DT#2000-02-29-00:00:01\n"},
        {{"set", "Main.Start", "TRUE"}, 0, "Main.Start = TRUE\n"},
        // The control words keep their checks under any name: a slot name, or a described
        // variable lying on their slot.
        {{"set", "I311", "7"}, 1,
         "qvctl: I311 takes FREE, STOP, RUN, STEP, END or PAUSE (or 0 to 5), not \"7\" (--raw writes any whole number)\n"},
        {{"set", "Main.Hidden", "9"}, 1,
         "qvctl: Main.Hidden takes FREE, STOP, RUN, STEP, END or PAUSE (or 0 to 5), not \"9\" (--raw writes any whole "
         "number)\n"},
        {{"set", "F10", "0"}, 1,
         "qvctl: F10 takes a period in microseconds above 0 and below 4294967296, not \"0\" (--raw writes it anyway)\n"},
        {{"--raw", "set", "F10", "0"}, 0, "F10 = 0\n"},
        {{"set", "F10", "50000"}, 0, "F10 = 50000\n"},
        {{"get", "Main.Count", "Main.Mode", "Main.Timer1.ET", "Main.Day", "Main.Clock", "Main.Label"}, 0,
         "Main.Count = -2 (forced)\nMain.Mode = Run\nMain.Timer1.ET = T#3723.5s\nMain.Day = D#1970-01-01\n"
         "Main.Clock = TOD#12:00:00.5\nMain.Label = 'plain'\n"},
        // Source lines as breakpoints: every instance, or one.
        {{"break", "add", "conveyor.st:12"}, 0, "breakpoint: pause at conveyor.st:12\n"},
        {{"break", "add", "Main.Timer1@timer.st:14"}, 0, "breakpoint: pause at Main.Timer1@timer.st:14\n"},
        {{"break", "list"}, 0,
         "line conveyor.st:12 in Main (location 12 instance 1)\n"
         "line conveyor.st:12 in Main.Timer1 (location 12 instance 2)\n"
         "line timer.st:14 in Main.Timer1 (location 1000014 instance 2)\n"},
        {{"break", "remove", "conveyor.st:12"}, 0, "breakpoint removed: conveyor.st:12\n"},
        {{"break", "add", "conveyor.st:13"}, 1, "qvctl: no statement of the program starts on line 13 of conveyor.st\n"},
        {{"break", "add", "Main.Pump@conveyor.st:12"}, 1, "qvctl: no instance Main.Pump in conveyor\n"},
        {{"break", "list"}, 0, "line timer.st:14 in Main.Timer1 (location 1000014 instance 2)\n"},
    };
    for (const Case& c : cases) {
        const CtlResult r = run(c.arguments);
        EXPECT_EQ(r.status, c.status) << c.arguments[0] << " " << c.arguments[1];
        EXPECT_EQ(r.output, c.output) << c.arguments[0] << " " << c.arguments[1];
    }
    // The slots hold the values as the library represents them.
    qv::ImageView& image = laid.view();
    EXPECT_EQ(qv::ImageView::read(image.intSlot(525)), -128);            // SINT sign-extended
    EXPECT_EQ(qv::ImageView::read(image.intSlot(527)), 0x8000);          // WORD zero-extended
    EXPECT_EQ(qv::ImageView::read(image.intSlot(528)), -1);              // DWORD as its 32 bits
    EXPECT_EQ(qv::ImageView::read(image.intSlot(534 + 2)), 0);           // D#1970-01-01 is day 0
    EXPECT_EQ(qv::ImageView::read(image.intSlot(537 + 2)), 432005000);   // ticks since midnight
    EXPECT_EQ(qv::ImageView::read(image.intSlot(540 + 2)), 11016);       // 2000-02-29
    EXPECT_EQ(qv::ImageView::read(image.intSlot(540 + 3)), 10000);
    EXPECT_EQ(image.charSlot(53 + 3)[0], 'p');
    EXPECT_EQ(image.charSlot(53 + 3 + 5)[0], 0);

    // Paused at a mapped location: named by its source line and instance path.
    qv::ImageView::write(image.controlInt(0), qv::kStatusPause);
    qv::ImageView::write(image.controlInt(qv::kBpcurrentlocationFromExec), 1000014);
    qv::ImageView::write(image.controlInt(qv::kBpcurrentinstanceFromExec), 2);
    const CtlResult status = run({"status"});
    EXPECT_NE(status.output.find("paused at  timer.st:14 in Main.Timer1\n"), std::string::npos) << status.output;

    // A version-1 description reads as before, over the same slots.
    qvtest::writeFile(symbols, R"({"format": "qv-symbols", "version": 1, "program": "press", "revision": 3,
        "variables": [{"name": "Count", "type": "DINT", "area": "int", "slot": 529, "direction": "output"},
                      {"name": "Dwell", "type": "TIME", "area": "int", "slot": 530, "direction": "internal"}]})");
    EXPECT_CTL(run({"get", "Count", "Dwell"}), 0, "Count = -7\nDwell = T#3723.5s\n");
    std::filesystem::remove(symbols);
}

// A description is read only from a regular file of bounded size: a device, a FIFO, a
// folder, a huge sparse file and a symbolic link are refused with a message.
struct Case2 {
    std::string path;
    std::string message;
};

TEST(QvctlInput, DescriptionsFromAnywhereAreBounded) {
    const int32_t counts[4] = {40, 560, 17, 70};
    qvtest::LaidOutImage laid(3, counts, "bounded");
    const std::string folder = qv::platform::temporaryDirectory() + "/" + laid.name();
    std::filesystem::create_directory(folder);
    const std::string fifo = folder + "/fifo.json", sparse = folder + "/sparse.json", link = folder + "/link.json";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    {
        std::ofstream out(sparse);
    }
    std::filesystem::resize_file(sparse, std::uintmax_t{4} << 30);
    std::filesystem::create_symlink(qvtest::programPath("sdk_model") + ".symbols.json", link);
    const Case2 cases[] = {
        {"/dev/zero", "qvctl: /dev/zero is a device, not a symbol description file\n"},
        {fifo, "qvctl: " + fifo + " is a FIFO, not a symbol description file\n"},
        {folder, "qvctl: " + folder + " is a folder, not a symbol description file\n"},
        {sparse, "qvctl: " + sparse + " holds 4294967296 bytes; a symbol description is at most 64 MiB\n"},
        {link, "qvctl: " + link + " is a symbolic link; name the description itself\n"},
    };
    for (const Case2& c : cases) EXPECT_CTL(runQvctl({"--name", laid.name(), "--symbols", c.path, "status"}), 1, c.message);
    std::filesystem::remove_all(folder);
}

}  // namespace
