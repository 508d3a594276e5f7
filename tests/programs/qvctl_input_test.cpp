// qvctl refuses what it cannot do with a clear message and a non-zero status, and then
// writes nothing; and it writes the slot flags of revision 1 images.
#include <gtest/gtest.h>

#include <cstring>
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
        {{"set", "TTL", "10"}, 1, "TTL is a TIME: give a duration such as 2.5s, 250ms or T#10s, not \"10\""},
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
