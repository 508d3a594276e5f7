// A supervisor that writes random values into the index tables and the breakpoint list
// while the program runs with tracing on. The image is exactly as large as the program
// needs, so a read far outside it would end the program with a signal.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

#include "tests/programs/debug_supervisor.h"

namespace {

using namespace std::chrono_literals;
using namespace qvtest::debug;
using qvtest::ProgramRun;

constexpr uint32_t kNeeded = 27452;  // the test model's areas (40, 555, 17, 53 slots)

TEST(Fuzz, RandomTablesAndBreakpointListsNeverCrashTheProgram) {
    ProgramRun run(kProgram, "fuzz");
    ASSERT_TRUE(run.start({"QV_MEMORY_SIZE=" + std::to_string(kNeeded)}));
    ASSERT_TRUE(run.waitUntilStopped());
    qv::ImageView& image = run.image();
    ASSERT_EQ(image.size(), kNeeded);
    qv::ImageView::write(image.simuperiod(), 2000.0f);
    setBool(image.boolSlot(kStart), true);
    setBool(image.boolSlot(kBreaks), true);
    setBool(image.boolSlot(qv::kTraceonSlot), true);
    write(image.execstatus(), qv::kStatusRun);

    std::mt19937 random(29);
    // Mostly small values (many of them real slots, and breakpoint pairs that match),
    // sometimes anything at all.
    const auto value = [&]() -> int32_t {
        const uint32_t r = random();
        switch (r % 4) {
            case 0: return static_cast<int32_t>(random());
            case 1: return static_cast<int32_t>(random() % 30) - 5;
            default: return static_cast<int32_t>(random() % 700) - 50;
        }
    };
    const int32_t firstCycle = read(image.cycleCounter());
    const auto until = std::chrono::steady_clock::now() + 3s;
    int32_t pausesAnswered = 0;
    while (std::chrono::steady_clock::now() < until && run.running()) {
        for (int32_t table : {qv::kBoolTraceTableOffset, qv::kIntTraceTableOffset, qv::kRealTraceTableOffset,
                              qv::kCharTraceTableOffset, qv::kBoolBreakpointTableOffset}) {
            int32_t* t = image.indexTable(table);
            for (int n = 0; n < 50; ++n) write(t + random() % 1000, value());
        }
        for (int n = 0; n < 20; ++n) write(image.controlInt(qv::kBpnolineFromExec + static_cast<int32_t>(random() % 102)), value());
        for (int n = 0; n < 20; ++n) write(image.controlInt(qv::kBpnoinstanceFromExec + 1 + static_cast<int32_t>(random() % 101)), value());
        if (random() % 16 == 0) write(image.controlInt(qv::kBpnolineFromExec), static_cast<int32_t>(random()));
        if (random() % 32 == 0) setBool(image.boolSlot(qv::kResettraceSlot), true);
        if (qv::kRevision == 3 && random() % 8 == 0) setBool(image.boolSlot(qv::kTracesnapshopSlot), true);
        // Data breakpoints stop it and location breakpoints pause it: carry on.
        const int32_t status = read(image.execstatus());
        if (status == qv::kStatusStop || status == qv::kStatusPause) {
            write(image.execstatus(), random() % 2 ? qv::kStatusRun : qv::kStatusStep);
            ++pausesAnswered;
        }
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_TRUE(run.running());
    EXPECT_GT(read(image.cycleCounter()), firstCycle + 10);
    EXPECT_GT(pausesAnswered, 0);
    // A data breakpoint that fires in the cycle that sees END turns it into STOP, so the
    // lists are emptied first, and END is written until the program has gone.
    write(image.indexTable(qv::kBoolBreakpointTableOffset), 0);
    write(image.controlInt(qv::kBpnolineFromExec), 0);
    std::optional<int> status;
    for (int attempt = 0; attempt < 100 && !status; ++attempt) {
        write(image.execstatus(), qv::kStatusEnd);
        status = run.wait(100ms);
    }
    EXPECT_EQ(status, 0);
}

}  // namespace
