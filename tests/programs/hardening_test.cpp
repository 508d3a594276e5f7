// What a program and qvctl refuse: images whose header does not hold, a live program's
// image, control words a program cannot act on.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "tests/programs/qvctl_driver.h"

namespace {

using qvtest::CtlResult;
using qvtest::ProgramRun;
using qvtest::runQvctl;

constexpr int32_t kCounts[4] = {40, 555, 17, 53};  // bistable_cylinder's

// An image of `size` bytes whose header lays out the bistable cylinder's areas.
qv::platform::SharedMapping makeImage(const std::string& name, uint32_t size) {
    qv::platform::SharedMapping image = qv::platform::openSharedMemory(name, size);
    const qv::ImageLayout layout = qv::layoutOf(3);
    const qv::AreaOffsets o = qv::computeAreaOffsets(layout, kCounts);
    auto put = [&](int32_t at, uint32_t value) { std::memcpy(image.view + at, &value, sizeof value); };
    put(qv::kImageSizeOffset, size);
    for (int area = 0; area < 4; ++area) put(layout.countsOffset + 4 * area, static_cast<uint32_t>(kCounts[area]));
    const uint32_t offsets[4] = {o.offsetBool, o.offsetInt, o.offsetFloat, o.offsetChar};
    for (int area = 0; area < 4; ++area) put(layout.offsetsOffset + 4 * area, offsets[area]);
    return image;
}

void expectOneLineRefusal(const CtlResult& result) {
    EXPECT_EQ(result.status, 1) << result.output;
    EXPECT_TRUE(result.output.starts_with("qvctl: image \"")) << result.output;
    EXPECT_EQ(result.output.find('\n'), result.output.size() - 1) << result.output;
}

TEST(Hardening, QvctlRefusesAnImageItsHeaderDoesNotFit) {
    const std::string name = qvtest::uniqueImageName("short");
    qv::platform::SharedMapping image = makeImage(name, 27000);
    for (const char* command : {"status", "get", "trace"}) {
        std::vector<std::string> arguments = {"--name", name, command};
        if (std::string(command) == "get") arguments.push_back("execstatus");
        if (std::string(command) == "trace") arguments.push_back("list");
        EXPECT_CTL(runQvctl(arguments), 1,
                   "qvctl: image \"" + name + "\": integer area ends at 27036, past the image's 27000 bytes\n");
    }
    // Random words in the header of an image that otherwise looks laid out.
    std::mt19937 random(12);
    for (int round = 0; round < 6; ++round) {
        for (int32_t at = qv::kBoolTraceTableOffset - 8; at < 20292; at += 4) {
            const uint32_t word = random();
            std::memcpy(image.view + at, &word, sizeof word);
        }
        const uint32_t recognisable = 20292;
        if (round % 2 == 0) std::memcpy(image.view + qv::layoutOf(3).offsetsOffset, &recognisable, 4);
        for (const char* command : {"status", "trace"}) {
            std::vector<std::string> arguments = {"--name", name, command};
            if (std::string(command) == "trace") arguments.push_back("list");
            expectOneLineRefusal(runQvctl(arguments));
        }
    }
    qv::platform::closeSharedMemory(image);
    qv::platform::removeSharedMemory(name);
}

TEST(Hardening, ALiveImageIsNeverTakenOverAndAKilledProgramsImageIsReused) {
    ProgramRun first("bistable_cylinder", "live");
    ASSERT_TRUE(first.start());
    ASSERT_TRUE(first.waitUntilStopped());
    {
        ProgramRun second("bistable_cylinder", "intruder");
        ASSERT_TRUE(second.start({"QV_MEMORY_NAME=" + first.imageName()}));
        EXPECT_EQ(second.wait(), 255);
        EXPECT_EQ(second.console(), "image " + first.imageName() + " is in use: program " +
                                        std::to_string(first.pid()) + " runs on it (status STOP); it is not taken over\n");
    }
    EXPECT_TRUE(first.running());
    EXPECT_EQ(qv::ImageView::read(first.image().pospid()), first.pid());
    EXPECT_EQ(qv::ImageView::read(first.image().execstatus()), qv::kStatusStop);
    EXPECT_CTL(qvtest::ctl(first, {"step"}), 0, "STOP after cycle 1\n");

    // Killed, it leaves STOP and its pid behind: stale, and free for the next program.
    qv::platform::killProcess(first.pid());
    first.wait();
    const CtlResult status = qvtest::ctl(first, {"status"});
    EXPECT_NE(status.output.find("status     STOP (stale)\nprocess    " + std::to_string(first.pid()) + " (gone)\n"),
              std::string::npos)
        << status.output;
    ProgramRun next("bistable_cylinder", "next");
    ASSERT_TRUE(next.start({"QV_MEMORY_NAME=" + first.imageName()}));
    EXPECT_TRUE(qvtest::waitUntil([&] { return qv::ImageView::read(first.image().pospid()) == next.pid(); }));
    EXPECT_CTL(qvtest::ctl(first, {"end"}), 0, "program " + std::to_string(next.pid()) + " ended before its first cycle\n");
    EXPECT_EQ(next.wait(), 0);
}

// A program lays out an image without clearing it: one of revision 1 on an image that a
// revision-3 program left keeps the old header beside its own. Its live process decides.
TEST(Hardening, AProgramOfTheOtherRevisionOnALeftImageIsRecognisedAndKept) {
    ProgramRun before("bistable_cylinder", "mixed");
    ASSERT_TRUE(before.start());
    ASSERT_TRUE(before.waitUntilStopped());
    EXPECT_EQ(before.end(), 0);
    ProgramRun cell("manipulateur", "cell");
    ASSERT_TRUE(cell.start({"QV_MEMORY_NAME=" + before.imageName()}));
    ASSERT_TRUE(qvtest::waitUntil([&] {
        const CtlResult status = qvtest::ctl(before, {"status"});
        return status.output.find("program    manipulateur\nstatus     STOP\nprocess    " +
                                  std::to_string(cell.pid()) + "\n") != std::string::npos;
    }));
    ProgramRun intruder("bistable_cylinder", "intruder");
    ASSERT_TRUE(intruder.start({"QV_MEMORY_NAME=" + before.imageName()}));
    EXPECT_EQ(intruder.wait(), 255);
    EXPECT_NE(intruder.console().find("is in use: program " + std::to_string(cell.pid())), std::string::npos);
    EXPECT_CTL(qvtest::ctl(before, {"end"}), 0, "program " + std::to_string(cell.pid()) + " ended before its first cycle\n");
    EXPECT_EQ(cell.wait(), 0);
}

TEST(Hardening, QvctlWritesOnlyControlWordsAProgramCanActOn) {
    ProgramRun run("bistable_cylinder", "control");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    EXPECT_CTL(qvtest::ctl(run, {"set", "execstatus", "9"}), 1,
               "qvctl: execstatus takes FREE, STOP, RUN, STEP, END or PAUSE (or 0 to 5), not \"9\" "
               "(--raw writes any whole number)\n");
    for (const char* period : {"-5", "0"})
        EXPECT_CTL(qvtest::ctl(run, {"set", "simuperiod", period}), 1,
                   std::string("qvctl: simuperiod takes a period in microseconds above 0 and below 4294967296, not \"") +
                       period + "\" (--raw writes it anyway)\n");
    EXPECT_EQ(qv::ImageView::read(run.image().execstatus()), qv::kStatusStop);
    EXPECT_EQ(qv::ImageView::read(run.image().simuperiod()), 50000.0f);
    EXPECT_CTL(qvtest::ctl(run, {"set", "--raw", "simuperiod", "-5"}), 0, "simuperiod = -5\n");
    EXPECT_EQ(qv::ImageView::read(run.image().simuperiod()), -5.0f);
    EXPECT_CTL(qvtest::ctl(run, {"set", "execstatus", "run"}), 0, "execstatus = RUN\n");
    EXPECT_EQ(run.end(), 0);
}

}  // namespace
