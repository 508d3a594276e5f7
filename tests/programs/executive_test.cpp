// The executive of a real program, driven through its image as a supervisor would:
// start-up, the image layout, the environment, the loop under every status, the
// schedule, the parameters file.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <random>
#include <regex>
#include <thread>

#include "runtime/executive/image_layout.h"
#include "runtime/revision.h"
#include "tests/support/program_run.h"

namespace {

using namespace std::chrono_literals;
using qv::ImageView;
using qvtest::ProgramRun;

const std::string kProgram = "test_model_r" + std::to_string(QV_REVISION);
constexpr int32_t kSignature = 123456789;  // the test model's
constexpr uint32_t kNeeded = QV_REVISION == 1 ? 7395 : 27452;  // slot counts (40, 555, 17, 53)

int32_t read(const int32_t* word) { return ImageView::read(word); }
void write(int32_t* word, int32_t value) { ImageView::write(word, value); }

std::string startUpReport(const std::string& paramsPath, uint32_t size = 6000000) {
    std::string report = "Allocated memory : " + std::to_string(kNeeded) + " bytes on " + std::to_string(size) + " bytes\n";
    report += std::string("minBool=0 min.Int=") + (QV_REVISION == 1 ? "210" : "311") +
              " min.Float=10 min.Char=0 max.Bool=40 max.Int=555 max.Float=17 max.Char=53\n";
    if (QV_REVISION == 3) report += "memBool=40 memInt=555 memFloat=17 memChar=53\n";
    if (QV_REVISION == 2) report += "memBool=40 mennt=555 memFloat=17 memChar=53\n";
    report += "can't open file " + paramsPath + "\n";
    report += "Exec status change from FREE to STOP\n";
    return report;
}

// ---- Start-up and layout ----------------------------------------------------------------

TEST(StartUp, ReportsLayoutAndWaitsInStop) {
    ProgramRun run(kProgram, "report");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    EXPECT_EQ(run.console(), startUpReport(run.paramsFile()));
    ImageView& image = run.image();
    EXPECT_EQ(image.imageSizeField(), 6000000u);
    EXPECT_EQ(image.size(), 6000000u);
    const int32_t counts[4] = {40, 555, 17, 53};
    const qv::AreaOffsets o = qv::computeAreaOffsets(qv::kLayout, counts);
    for (int area = 0; area < 4; ++area) EXPECT_EQ(image.count(area), counts[area]);
    EXPECT_EQ(image.areaOffset(qv::kAreaBool), o.offsetBool);
    EXPECT_EQ(image.areaOffset(qv::kAreaInt), o.offsetInt);
    EXPECT_EQ(image.areaOffset(qv::kAreaReal), o.offsetFloat);
    EXPECT_EQ(image.areaOffset(qv::kAreaChar), o.offsetChar);
    if (QV_REVISION != 1) {
        EXPECT_EQ(o.offsetInt, 20376u);
        EXPECT_EQ(o.offsetFloat, 27036u);
        EXPECT_EQ(o.offsetChar, 27240u);
    }
    EXPECT_EQ(read(image.intSlot(552)), run.pid());  // pospid = maxInt - 3
    EXPECT_EQ(read(image.intSlot(553)), QV_REVISION == 3 ? 1 : 0);  // the cycle counter
    EXPECT_EQ(read(image.signature()), kSignature);
    EXPECT_EQ(read(image.controlInt(qv::kGenerationtimeFromExec)), 1700000000);
    EXPECT_EQ(ImageView::read(image.simuperiod()), 50000.0f);
    EXPECT_EQ(image.execstatus()[1], qv::kStatusStop);  // acknowledged
    EXPECT_EQ(run.end(), 0);
}

TEST(StartUp, WithoutEnvironmentTheImageIsSharedOfSixMillionBytes) {
    if (QV_REVISION != 3) GTEST_SKIP() << "one revision is enough for the default name";
    qv::platform::removeSharedMemory("Shared");
    ProgramRun run(kProgram, "default");
    ASSERT_TRUE(run.start({"QV_MEMORY_NAME"}));
    std::optional<ImageView> image;
    ASSERT_TRUE(qvtest::waitUntil([&] {
        image = ImageView::attach("Shared");
        // The signature, not the pid, says start-up is over: until then the program
        // still writes its starting status over whatever a supervisor wrote.
        return image && ImageView::read(image->pospid()) == run.pid() && ImageView::read(image->signature()) != 0;
    }));
    EXPECT_EQ(image->size(), 6000000u);
    EXPECT_EQ(image->imageSizeField(), 6000000u);
    ImageView::write(image->execstatus(), qv::kStatusEnd);
    EXPECT_EQ(run.wait(), 0);
    image.reset();
    qv::platform::removeSharedMemory("Shared");
}

TEST(StartUp, ExactSizeStartsAndOneByteLessIsRefused) {
    {
        ProgramRun run(kProgram, "exact");
        ASSERT_TRUE(run.start({"QV_MEMORY_SIZE=" + std::to_string(kNeeded)}));
        ASSERT_TRUE(run.waitUntilStopped());
        EXPECT_EQ(run.image().size(), kNeeded);
        EXPECT_EQ(run.end(), 0);
    }
    ProgramRun run(kProgram, "short");
    ASSERT_TRUE(run.start({"QV_MEMORY_SIZE=" + std::to_string(kNeeded - 1)}));
    EXPECT_EQ(run.wait(), 1);
    EXPECT_EQ(run.console(), "Allocated memory : " + std::to_string(kNeeded) + " bytes on " +
                                 std::to_string(kNeeded - 1) + " bytes\ninsufficient size of shared memory\n");
    // The image it created for nothing is gone again.
    qv::platform::SharedMapping left = qv::platform::attachSharedMemory(run.imageName());
    EXPECT_EQ(left.view, nullptr);
    qv::platform::closeSharedMemory(left);
}

TEST(StartUp, ASizeBelowTheHeaderIsRefusedBeforeAnyImageExists) {
    for (const char* size : {"0", "100"}) {
        ProgramRun run(kProgram, "tiny");
        ASSERT_TRUE(run.start({std::string("QV_MEMORY_SIZE=") + size}));
        EXPECT_EQ(run.wait(), 1);
        EXPECT_EQ(run.console(), "Allocated memory : " + std::to_string(kNeeded) + " bytes on " + size +
                                     " bytes\ninsufficient size of shared memory\n");
        EXPECT_FALSE(ImageView::attach(run.imageName(), QV_REVISION));
    }
}

TEST(StartUp, AnExistingSmallerImageIsUsedAtItsRealSize) {
    const uint32_t header = static_cast<uint32_t>(qv::kLayout.headerSize);
    for (uint32_t existing : {header / 2, header + 100}) {
        ProgramRun run(kProgram, "smaller");
        auto made = qv::platform::openSharedMemory(run.imageName(), existing);
        ASSERT_NE(made.view, nullptr);
        std::memset(made.view, 0xAB, existing);
        ASSERT_TRUE(run.start());
        EXPECT_EQ(run.wait(), 1);  // a write past the end would have killed it with a signal
        EXPECT_EQ(run.console(), "Allocated memory : " + std::to_string(kNeeded) + " bytes on " +
                                     std::to_string(existing) + " bytes\ninsufficient size of shared memory\n");
        // Another's image stays exactly as it was.
        EXPECT_EQ(std::count(made.view, made.view + existing, 0xAB), static_cast<std::ptrdiff_t>(existing));
        auto again = qv::platform::attachSharedMemory(run.imageName());
        EXPECT_EQ(again.size, existing);
        qv::platform::closeSharedMemory(again);
        qv::platform::closeSharedMemory(made);
    }
}

TEST(StartUp, AnImageMadeByTheSupervisorKeepsItsTablesAndBreakpoints) {
    if (QV_REVISION == 1) GTEST_SKIP() << "revision 1 starts every slot afresh";
    ProgramRun run(kProgram, "premade");
    auto made = qv::platform::openSharedMemory(run.imageName(), 6000000);
    ASSERT_NE(made.view, nullptr);
    int32_t entry = 77;
    std::memcpy(made.view + qv::kIntTraceTableOffset, &entry, sizeof entry);
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    EXPECT_EQ(run.image().indexTable(qv::kIntTraceTableOffset)[0], 77);
    EXPECT_EQ(run.end(), 0);
    qv::platform::closeSharedMemory(made);
}

TEST(StartUp, UnusableEnvironmentEndsWithMinusOneBeforeAnyImageExists) {
    struct Case {
        std::string variable;
        std::string message;
    };
    std::vector<Case> cases = {
        {"QV_MEMORY_NAME=" + std::string(30, 'n'), "QV_MEMORY_NAME is too long (30 characters, at most 29)\n"},
        {"QV_MEMORY_NAME=a/b", "QV_MEMORY_NAME \"a/b\" cannot name a shared memory image\n"},
        {"QV_MEMORY_SIZE=" + std::string(30, '1'), "QV_MEMORY_SIZE is too long (30 characters, at most 29)\n"},
        {"QV_MEMORY_SIZE=12x", "QV_MEMORY_SIZE \"12x\" is not a size in bytes (a decimal number up to 4294967295)\n"},
        {"QV_MEMORY_SIZE=-5", "QV_MEMORY_SIZE \"-5\" is not a size in bytes (a decimal number up to 4294967295)\n"},
        {"QV_MEMORY_SIZE=4294967296",
         "QV_MEMORY_SIZE \"4294967296\" is not a size in bytes (a decimal number up to 4294967295)\n"},
    };
    for (const char* speed : {"0", "fast", "-2", "1e3", "2000000", "."})
        cases.push_back({std::string("QV_SPEED=") + speed, std::string("QV_SPEED \"") + speed +
                                                                "\" is not a speed (a number above 0 up to 1000000, or max)\n"});
    cases.push_back({"QV_REALTIME=yes", "QV_REALTIME \"yes\" is neither 1 (on) nor 0 (off)\n"});
    cases.push_back({"QV_TRACE_FILE=", "QV_TRACE_FILE \"\" does not name a file\n"});
    if (QV_REVISION != 1) {
        cases.push_back({"QV_TIMEOUT=soon", "QV_TIMEOUT \"soon\" is not a number of seconds\n"});
        cases.push_back({"QV_TIMEOUT=-1", "QV_TIMEOUT \"-1\" is not a number of seconds\n"});
        cases.push_back({"QV_TIMEOUT=1234567890", "QV_TIMEOUT is too long (10 characters, at most 9)\n"});
    }
    for (const Case& c : cases) {
        ProgramRun run(kProgram, "env");
        ASSERT_TRUE(run.start({c.variable}));
        EXPECT_EQ(run.wait(), 255) << c.variable;
        EXPECT_EQ(run.console(), c.message);
        EXPECT_FALSE(ImageView::attach(run.imageName(), QV_REVISION)) << c.variable;
    }
}

// ---- The loop under every status ----------------------------------------------------------

TEST(ScanCycle, StopPollsRunRunsStepRunsOneCycle) {
    ProgramRun run(kProgram, "status");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    ImageView& image = run.image();
    int32_t* counter = image.cycleCounter();
    const int32_t first = read(counter);
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(read(counter), first) << "STOP must not run cycles";

    write(image.execstatus(), qv::kStatusStep);
    // The step ends in STOP; the counter moves on after the cycle's wait.
    ASSERT_TRUE(qvtest::waitUntil(
        [&] { return read(image.execstatus()) == qv::kStatusStop && read(counter) == first + 1; }));
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(read(counter), first + 1) << "STEP runs exactly one cycle";
    EXPECT_EQ(read(image.intSlot(qv::kLayout.execstatusSlot + qv::kIntControlSlots + 1)), 1);  // Steps

    EXPECT_TRUE(run.runCycles(3));
    EXPECT_EQ(run.end(), 0);
    if (QV_REVISION != 1) {
        EXPECT_NE(run.console().find("Exec status change from STOP to STEP\nExec status change from STEP to STOP\n"),
                  std::string::npos)
            << run.console();
    }
}

TEST(ScanCycle, FreeAndUnknownCodesRunCycles) {
    ProgramRun run(kProgram, "free");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    ImageView& image = run.image();
    for (int32_t code : {int32_t{qv::kStatusFree}, int32_t{77}, int32_t{-3}}) {
        const int32_t before = read(image.cycleCounter());
        write(image.execstatus(), code);
        EXPECT_TRUE(qvtest::waitUntil([&] { return read(image.cycleCounter()) >= before + 2; })) << code;
    }
    EXPECT_EQ(run.end(), 0);
}

TEST(ScanCycle, EndWhileRunningEndsCleanly) {
    ProgramRun run(kProgram, "end");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    ImageView& image = run.image();
    write(image.execstatus(), qv::kStatusRun);
    ASSERT_TRUE(qvtest::waitUntil([&] { return read(image.cycleCounter()) >= 3; }));
    write(image.execstatus(), qv::kStatusEnd);
    EXPECT_EQ(run.wait(), 0);
    EXPECT_EQ(read(image.execstatus()), qv::kStatusFree);
    EXPECT_EQ(read(image.signature()), 0);
    EXPECT_EQ(read(image.pospid()), 0);
}

TEST(ScanCycle, TimeoutEndsAStoppedProgram) {
    if (QV_REVISION == 1) GTEST_SKIP() << "revision 1 has no time-out";
    ProgramRun run(kProgram, "timeout");
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(run.start({"QV_TIMEOUT=1"}));
    EXPECT_EQ(run.wait(10s), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - started, 900ms);
    ImageView& image = run.image(false);
    EXPECT_EQ(read(image.execstatus()), qv::kStatusFree);
    EXPECT_EQ(read(image.signature()), 0);
    EXPECT_EQ(read(image.pospid()), 0);
}

TEST(ScanCycle, TheCycleCounterWrapsInRevisionThreeOnly) {
    ProgramRun run(kProgram, "wrap");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    ImageView& image = run.image();
    write(image.cycleCounter(), INT32_MAX - 1);
    for (int k = 0; k < 2; ++k) {
        write(image.execstatus(), qv::kStatusStep);
        ASSERT_TRUE(qvtest::waitUntil([&] { return read(image.execstatus()) == qv::kStatusStop; }));
        ASSERT_TRUE(qvtest::waitUntil([&] { return read(image.cycleCounter()) != INT32_MAX - 1 + k; }));
    }
    EXPECT_EQ(read(image.cycleCounter()), QV_REVISION == 3 ? 1 : INT32_MIN);
    EXPECT_EQ(run.end(), 0);
}

TEST(ScanCycle, TheScheduleDoesNotDrift) {
    ProgramRun run(kProgram, "schedule");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    ImageView& image = run.image();
    ImageView::write(image.simuperiod(), 10000.0f);
    write(image.execstatus(), qv::kStatusRun);
    int32_t* counter = image.cycleCounter();
    const int32_t first = read(counter) + 5;
    ASSERT_TRUE(qvtest::waitUntil([&] { return read(counter) >= first; }));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(qvtest::waitUntil([&] { return read(counter) >= first + 200; }));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_NEAR(seconds / 200, 0.010, 0.0002);
    EXPECT_EQ(run.end(), 0);
}

TEST(ScanCycle, TheWaitListensToStopEndAndANewPeriod) {
    ProgramRun run(kProgram, "listen");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    ImageView& image = run.image();
    int32_t* counter = image.cycleCounter();
    write(image.execstatus(), qv::kStatusRun);
    ASSERT_TRUE(qvtest::waitUntil([&] { return read(counter) >= 3; }));

    // Ten minutes a cycle: the program settles into the wait, then hears a shorter period.
    ImageView::write(image.simuperiod(), 600000000.0f);
    std::this_thread::sleep_for(300ms);
    const int32_t waiting = read(counter);
    std::this_thread::sleep_for(100ms);
    ASSERT_EQ(read(counter), waiting) << "the long period must hold the program";
    ImageView::write(image.simuperiod(), 10000.0f);
    EXPECT_TRUE(qvtest::waitUntil([&] { return read(counter) >= waiting + 5; }, 1s));

    // STOP, then END, each in the middle of a long wait.
    ImageView::write(image.simuperiod(), 600000000.0f);
    std::this_thread::sleep_for(200ms);
    write(image.execstatus(), qv::kStatusStop);
    EXPECT_TRUE(qvtest::waitUntil([&] { return image.execstatus()[1] == qv::kStatusStop; }, 1s));
    write(image.execstatus(), qv::kStatusRun);
    std::this_thread::sleep_for(200ms);
    write(image.execstatus(), qv::kStatusEnd);
    EXPECT_EQ(run.wait(1s), 0);
    // The schedule moved with the period: no cycle counts the 400 ms spent waiting as its
    // own (a loaded machine may still make one a little late).
    const std::string console = run.console();
    const std::regex warning(R"(Warning: Cycle duration \((\d+) ms\))");
    for (std::sregex_iterator w(console.begin(), console.end(), warning), end; w != end; ++w)
        EXPECT_LT(std::stoi((*w)[1]), 250) << console;
}

TEST(ScanCycle, TheTraceFileCanBeNamed) {
    ProgramRun run(kProgram, "tracefile");
    const std::string named = run.folder() + "/own.trc";
    ASSERT_TRUE(run.start({"QV_TRACE_FILE=" + named}));
    ASSERT_TRUE(run.waitUntilStopped());
    EXPECT_TRUE(run.runCycles(2));
    EXPECT_EQ(run.end(), 0);
    EXPECT_TRUE(std::filesystem::exists(named));
    EXPECT_FALSE(std::filesystem::exists(run.traceFile()));
    if (QV_REVISION == 3) {
        EXPECT_NE(qvtest::readFile(named).find(" end 0:0\n"), std::string::npos);
    }
}

TEST(ScanCycle, AnOverrunIsReportedEachCycle) {
    ProgramRun run(kProgram, "overrun");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    ImageView& image = run.image();
    ImageView::write(image.simuperiod(), 0.0f);  // every cycle of measurable length overruns
    write(image.execstatus(), qv::kStatusRun);
    ASSERT_TRUE(qvtest::waitUntil([&] {
        return run.console().find("Warning: Cycle duration (") != std::string::npos;
    }));
    write(image.execstatus(), qv::kStatusStop);
    EXPECT_EQ(run.end(), 0);
    const std::regex line(R"(Warning: Cycle duration \((\d+) ms\) higher than cycle \(0 ms\) in step (\d+)\n)");
    const std::string console = run.console();
    EXPECT_TRUE(std::regex_search(console, line)) << console;
}

TEST(ScanCycle, AnUnusablePeriodKeepsTheLastOne) {
    ProgramRun run(kProgram, "badperiod");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    ImageView& image = run.image();
    ImageView::write(image.simuperiod(), 10000.0f);
    write(image.execstatus(), qv::kStatusRun);
    ASSERT_TRUE(qvtest::waitUntil([&] { return read(image.cycleCounter()) >= 3; }));
    for (float bad : {-1.0f, std::nanf(""), -INFINITY, INFINITY}) {
        ImageView::write(image.simuperiod(), bad);
        const int32_t before = read(image.cycleCounter());
        EXPECT_TRUE(qvtest::waitUntil([&] { return read(image.cycleCounter()) >= before + 5; }, 2s)) << bad;
    }
    EXPECT_EQ(run.end(), 0);
    EXPECT_NE(run.console().find("Warning: cycle period -1 us is not usable, keeping 10000 us\n"), std::string::npos);
    EXPECT_NE(run.console().find("Warning: cycle period nan us is not usable, keeping 10000 us\n"), std::string::npos);
}

// ---- Parameters file ------------------------------------------------------------------------------

TEST(Parameters, APeriodAndAnInputFromTheFileTakeEffect) {
    ProgramRun run(kProgram, "params");
    const std::string signature = QV_REVISION == 1 ? std::to_string(static_cast<uint32_t>(kSignature)) + "d"
                                                   : std::to_string(kSignature);
    qvtest::writeFile(run.paramsFile(), signature + "\nF 10 20000 simuperiod\nB 5 3 Start\n");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    ImageView& image = run.image();
    EXPECT_EQ(ImageView::read(image.simuperiod()), 20000.0f);
    EXPECT_EQ(*image.boolSlot(5) & 1, 1);
    EXPECT_TRUE(run.runCycles(2));
    EXPECT_GE(read(image.intSlot(qv::kLayout.execstatusSlot + qv::kIntControlSlots)), 2);  // Counter counts
    EXPECT_EQ(run.end(), 0);
    EXPECT_EQ(run.console().find("can't open file"), std::string::npos);
}

// ---- A supervisor that writes anything ------------------------------------------------------------

TEST(Robustness, RandomWordsInTheControlBlockNeverCrashTheProgram) {
    ProgramRun run(kProgram, "random");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    ImageView& image = run.image();
    std::mt19937 random(12345);
    const int32_t statuses[] = {qv::kStatusFree, qv::kStatusStop, qv::kStatusRun, qv::kStatusStep,
                                qv::kStatusPause, 6, -1, INT32_MIN, INT32_MAX};
    const auto until = std::chrono::steady_clock::now() + 2s;
    while (std::chrono::steady_clock::now() < until) {
        write(image.execstatus(), statuses[random() % std::size(statuses)]);
        // Periods: random bit patterns that are not usable, or short usable ones.
        uint32_t bits = random();
        float period = 0;
        std::memcpy(&period, &bits, sizeof period);
        if (std::isfinite(period) && period >= 0) period = static_cast<float>(random() % 20000);
        ImageView::write(image.simuperiod(), period);
        for (int32_t k = 1; k < qv::kIntControlSlots; ++k)
            if (k != qv::kSignatureFromExec && k != qv::kGenerationtimeFromExec && random() % 4 == 0)
                write(image.controlInt(k), static_cast<int32_t>(random()));
        write(image.cycleCounter(), static_cast<int32_t>(random()));
        std::this_thread::sleep_for(1ms);
        ASSERT_TRUE(run.running());
    }
    ImageView::write(image.simuperiod(), 1000.0f);
    EXPECT_EQ(run.end(), 0);
}

}  // namespace
