// Faults around a running program: killed and restarted on its image, its image unlinked
// while it runs, its trace file unwritable.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "runtime/executive/image_layout.h"
#include "tests/programs/qvctl_driver.h"
#include "tests/support/program_run.h"

namespace {

using qv::ImageView;
using qvtest::ProgramRun;

const std::string kProgram = "test_model_r" + std::to_string(QV_REVISION);

int32_t read(const int32_t* word) { return ImageView::read(word); }

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

TEST(Faults, AKilledProgramIsRestartedOnItsImage) {
    ProgramRun run(kProgram, "killed");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    ImageView& image = run.image();  // held across the restart: the same image must serve
    ASSERT_TRUE(run.runCycles(3));
    ImageView::write(image.execstatus(), qv::kStatusRun);
    qv::platform::killProcess(run.pid());
    EXPECT_EQ(run.wait(), 128 + 9);
    EXPECT_EQ(read(image.pospid()), run.pid());  // what a killed program leaves

    ASSERT_TRUE(run.start());
    ASSERT_TRUE(qvtest::waitUntil([&] { return read(image.pospid()) == run.pid(); }));
    ASSERT_TRUE(run.waitUntilStopped());
    ASSERT_TRUE(run.runCycles(3));
    EXPECT_EQ(run.end(), 0);
    EXPECT_EQ(read(image.pospid()), 0);
}

TEST(Faults, AProgramWhoseImageIsUnlinkedRunsOnUntilEndedThroughAMapping) {
    ProgramRun run(kProgram, "unlinked");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    run.image();  // mapped before the name goes
    ASSERT_TRUE(qv::platform::removeSharedMemory(run.imageName()));

    // No supervisor can find it by name any more; the one that holds a mapping still
    // drives it.
    const qvtest::CtlResult status = qvtest::ctl(run, {"status"});
    EXPECT_EQ(status.status, 1);
    EXPECT_NE(status.output.find("no image named \"" + run.imageName() + "\""), std::string::npos) << status.output;
    ASSERT_TRUE(run.runCycles(5));
    EXPECT_TRUE(run.running());
    EXPECT_EQ(run.end(), 0);
    EXPECT_FALSE(ImageView::attach(run.imageName()));  // nothing left behind under the name
}

TEST(Faults, AnUnwritableTraceFileIsReportedOnceAndTheProgramRunsOn) {
    ProgramRun run(kProgram, "devfull");
    std::filesystem::create_symlink("/dev/full", run.traceFile());
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    ImageView& image = run.image();
    __atomic_fetch_or(image.boolSlot(qv::kTraceonSlot), qv::kBoolCurrent, __ATOMIC_RELAXED);
    ASSERT_TRUE(run.runCycles(5));
    ImageView::write(image.execstatus(), qv::kStatusRun);
    ASSERT_TRUE(run.runCycles(5));
    EXPECT_EQ(run.end(), 0);
    const std::string message = "unable to write trace file " + run.traceFile() + ", tracing stopped\n";
    EXPECT_EQ(occurrences(run.console(), message), 1u) << run.console();
    EXPECT_EQ(occurrences(run.console(), "trace file"), 1u) << run.console();
}

}  // namespace
