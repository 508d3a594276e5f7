// Revision 1's freezes on an image laid out in memory: change marks, edges, forcing,
// data breakpoints, the status message, the modification count and the trace lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <set>
#include <string>

#include "runtime/platform/platform.h"
#include "tests/debug/memory_image.h"
#include "tests/support/program_run.h"

namespace {

using qvtest::MemoryImage;
namespace r1 = qv::r1;

constexpr int32_t kExec = 210;  // execstatus in revision 1

class Freeze : public ::testing::Test {
protected:
    void SetUp() override {
        qv::tracename = qv::platform::temporaryDirectory() + "/qv_freeze_unit_" +
                        std::to_string(qv::platform::processId()) + ".trc";
        *qv::cycleCounterSlot() = 12;
        nbStateModification = 0;
        // The program's state after start-up: every slot seen once, nothing pending.
        image.intSlot(kExec)[0] = image.intSlot(kExec)[1] = qv::kStatusRun;
        for (int32_t i = 0; i < image.count(qv::kAreaBool); ++i) *image.boolSlot(i) = r1::kBoolNotFrozenByModel;
    }
    void TearDown() override {
        if (trace != nullptr) std::fclose(trace);
        trace = nullptr;
        std::remove(qv::tracename.c_str());
    }
    void openTraceFile() {
        trace = std::fopen(qv::tracename.c_str(), "w");
        ASSERT_NE(trace, nullptr);
    }
    std::string text() {
        if (trace != nullptr) std::fflush(trace);
        return qvtest::readFile(qv::tracename);
    }
    void traceOn() { *traceon |= 3; }

    MemoryImage image;
};

TEST_F(Freeze, BooleanChangeMarkEdgesAndItsAcknowledgement) {
    unsigned char* b = image.boolSlot(20);
    image.setBool(20, true, false);
    b[1] = r1::kBoolAcknowledged;
    QV_freeze_bool(b);
    EXPECT_EQ(*b & 0x03, 0x03);                            // old := current
    EXPECT_EQ(*b & (r1::kBoolRisingEdge | r1::kBoolFallingEdge), r1::kBoolRisingEdge);
    EXPECT_EQ(*b & r1::kBoolNotFrozenByModel, 0);         // frozen by generated code
    EXPECT_EQ(b[1] & r1::kBoolChangeMarkMask, r1::kBoolChanged);  // changed, the other bit cleared
    EXPECT_TRUE(b[1] & r1::kBoolChangedOnce);
    EXPECT_EQ(nbStateModification, 1);

    // Unchanged: the edge goes, the mark stays until the supervisor acknowledges it.
    QV_freeze_bool(b);
    EXPECT_EQ(*b & (r1::kBoolRisingEdge | r1::kBoolFallingEdge), 0);
    EXPECT_EQ(b[1] & r1::kBoolChangeMarkMask, r1::kBoolChanged);
    b[1] = static_cast<uint8_t>((b[1] & ~r1::kBoolChangeMarkMask) | r1::kBoolAcknowledged);
    QV_freeze_bool(b);
    EXPECT_EQ(b[1] & r1::kBoolChangeMarkMask, 0);
    EXPECT_TRUE(b[1] & r1::kBoolChangedOnce);

    image.setBool(20, false, true);
    QV_freeze_bool(b);
    EXPECT_EQ(*b & (r1::kBoolRisingEdge | r1::kBoolFallingEdge), r1::kBoolFallingEdge);
    EXPECT_EQ(*b & 0x03, 0);
    EXPECT_EQ(nbStateModification, 2);
}

TEST_F(Freeze, AForcedBooleanTakesItsForcedValueBackWithoutEdges) {
    unsigned char* b = image.boolSlot(21);
    // Forced TRUE (the forced value is the old value); the model wrote FALSE.
    *b = static_cast<uint8_t>(r1::kBoolForced | qv::kBoolOld | r1::kBoolRisingEdge);
    QV_freeze_bool(b);
    EXPECT_EQ(*b & 0x03, 0x03);
    EXPECT_EQ(*b & (r1::kBoolRisingEdge | r1::kBoolFallingEdge), 0);
    EXPECT_TRUE(*b & r1::kBoolForced);
    EXPECT_EQ(b[1] & r1::kBoolChangeMarkMask, r1::kBoolChanged);  // the write was seen
    // Released: the next write of the model counts.
    *b = static_cast<uint8_t>(*b & ~(r1::kBoolForced | qv::kBoolCurrent));
    QV_freeze_bool(b);
    EXPECT_EQ(*b & 0x03, 0);
    EXPECT_TRUE(*b & r1::kBoolFallingEdge);
}

TEST_F(Freeze, ForcedWordsTakeTheirForcedValueBackOnlyWhenWritten) {
    int32_t* i = image.intSlot(530);
    auto* ib = reinterpret_cast<unsigned char*>(i);
    i[0] = 7;
    i[1] = 3;
    ib[r1::kIntFlagsOffset] = r1::kIntForced;
    QV_freeze_int(i);
    EXPECT_EQ(i[0], 3);
    EXPECT_EQ(i[1], 3);
    EXPECT_EQ(ib[r1::kIntFlagsOffset], r1::kIntForced | r1::kIntChanged);
    ib[r1::kIntFlagsOffset] = r1::kIntChanged;
    i[0] = 9;
    QV_freeze_int(i);
    EXPECT_EQ(i[1], 9);

    float* f = image.realSlot(18);
    auto* fb = reinterpret_cast<unsigned char*>(f);
    f[0] = 1.5f;
    f[1] = -2.0f;
    fb[r1::kRealFlagsOffset] = r1::kForced | r1::kAcknowledged;
    QV_freeze_float(f);
    EXPECT_EQ(f[0], -2.0f);
    EXPECT_EQ(fb[r1::kRealFlagsOffset], r1::kForced | r1::kChanged);
    // A NaN always counts as changed.
    fb[r1::kRealFlagsOffset] = 0;
    f[0] = f[1] = std::numeric_limits<float>::quiet_NaN();
    nbStateModification = 0;
    QV_freeze_float(f);
    EXPECT_EQ(nbStateModification, 1);
    EXPECT_EQ(fb[r1::kRealFlagsOffset], r1::kChanged);

    unsigned char* c = image.charSlot(60);
    c[0] = 'A';
    c[1] = 'B';
    c[2] = r1::kForced;
    QV_freeze_char(c);
    EXPECT_EQ(c[0], 'B');
    c[2] = r1::kAcknowledged;  // unchanged and acknowledged: the mark is cleared
    QV_freeze_char(c);
    EXPECT_EQ(c[2], 0);
}

TEST_F(Freeze, ArraysFreezeTheirElementsWithThreeByteCharacters) {
    // A BOOL array of 3 at slot 25: elements at slots 27, 28, 29.
    image.setBool(27, true, false);
    image.setBool(29, true, false);
    QV_freeze_bool_array(image.boolSlot(25), 2);
    EXPECT_EQ(*image.boolSlot(27) & 0x03, 0x03);
    EXPECT_EQ(*image.boolSlot(29) & 0x03, 0x01);  // beyond n
    QV_freeze_bool_array(image.boolSlot(25), -1);

    image.intSlot(533)[0] = 4;  // element 1 of an integer array at 530
    QV_freeze_int_array(image.intSlot(530), 2);
    EXPECT_EQ(image.intSlot(533)[1], 4);
    image.realSlot(17)[0] = 2.5f;  // element 1 of a real array at 14
    QV_freeze_float_array(image.realSlot(14), 2);
    EXPECT_EQ(image.realSlot(17)[1], 2.5f);
    // A string at character slot 40: its characters from byte 9, three bytes apart.
    unsigned char* s = image.charSlot(40);
    s[9 + 3] = 'x';
    QV_freeze_char_array(s, 2);
    EXPECT_EQ(s[9 + 3 + 1], 'x');
}

TEST_F(Freeze, ADataBreakpointStopsAndAStatusChangeIsPrinted) {
    image.boolSlot(22)[1] = r1::kBoolDataBreakpoint;
    QV_freeze_bool(image.boolSlot(22));
    EXPECT_EQ(image.intSlot(kExec)[0], qv::kStatusRun);  // no change, no stop
    image.setBool(22, true, false);
    QV_freeze_bool(image.boolSlot(22));
    EXPECT_EQ(image.intSlot(kExec)[0], qv::kStatusStop);

    // The status change is announced when the status slot is frozen.
    testing::internal::CaptureStdout();
    QV_freeze_int(execstatus);
    QV_freeze_int(execstatus);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Exec status change from RUN to STOP\n");
    EXPECT_EQ(image.intSlot(kExec)[1], qv::kStatusStop);

    // The supervisor's END is never undone by a breakpoint.
    image.intSlot(kExec)[0] = qv::kStatusEnd;
    image.setBool(22, false, true);
    QV_freeze_bool(image.boolSlot(22));
    EXPECT_EQ(image.intSlot(kExec)[0], qv::kStatusEnd);
}

TEST_F(Freeze, BitSevenKeepsTheWholeAreaFreezeOffWhatGeneratedCodeFroze) {
    unsigned char* b = image.boolSlot(30);
    image.setBool(30, true, false);
    QV_freeze_bool(b);  // the model's freeze: rising edge, bit 7 cleared
    ASSERT_EQ(*b & r1::kBoolNotFrozenByModel, 0);
    // The supervisor writes it back before the next whole-area freeze: only bit 7 is set.
    *b = static_cast<uint8_t>(*b & ~qv::kBoolCurrent);
    QV_freeze_memory(1);
    EXPECT_EQ(*b & 0x03, 0x02);
    EXPECT_TRUE(*b & r1::kBoolRisingEdge);
    EXPECT_TRUE(*b & r1::kBoolNotFrozenByModel);
    // Flag 0 (stopped) sees the change but leaves value and edges alone.
    QV_freeze_memory(0);
    EXPECT_EQ(*b & 0x03, 0x02);
    EXPECT_EQ(nbStateModification, 1);
    EXPECT_TRUE(*b & r1::kBoolNotFrozenByModel);
    // Flag 1 freezes it.
    QV_freeze_memory(1);
    EXPECT_EQ(*b & 0x03, 0);
    EXPECT_TRUE(*b & r1::kBoolFallingEdge);
    EXPECT_TRUE(*b & r1::kBoolNotFrozenByModel);
    QV_freeze_memory(1);
    EXPECT_EQ(*b & (r1::kBoolRisingEdge | r1::kBoolFallingEdge), 0);
}

TEST_F(Freeze, TheWholeAreaFreezeCountsTheModificationsOfOneFreeze) {
    QV_freeze_memory(1);  // the cycle counter and the period, written before
    QV_freeze_memory(1);
    EXPECT_EQ(nbStateModification, 0);
    image.setBool(31, true, false);
    image.intSlot(530)[0] = 5;
    image.realSlot(19)[0] = 1.0f;
    image.charSlot(61)[0] = 'q';
    QV_freeze_memory(1);
    EXPECT_EQ(nbStateModification, 4);
    EXPECT_EQ(image.intSlot(530)[1], 5);
    EXPECT_EQ(image.realSlot(19)[1], 1.0f);
    EXPECT_EQ(image.charSlot(61)[1], 'q');
    QV_freeze_memory(1);
    EXPECT_EQ(nbStateModification, 0);
    // Slots outside the program's ranges are left alone: real slot 9, integer slot 209.
    image.realSlot(9)[0] = 3.0f;
    image.intSlot(209)[0] = 3;
    QV_freeze_memory(1);
    EXPECT_EQ(image.realSlot(9)[1], 0.0f);
    EXPECT_EQ(image.intSlot(209)[1], 0);
}

// The whole-area freeze looks at slots in groups and walks a group one slot at a time
// only when something in it is not settled: a change or an acknowledged mark anywhere,
// at the edges of the ranges included, is still found and settled.
TEST_F(Freeze, TheWholeAreaFreezeFindsEveryChangeWhereverItLies) {
    QV_freeze_memory(1);
    QV_freeze_memory(1);
    std::mt19937 random(17);
    auto pick = [&](int32_t first, int32_t end) {
        return std::uniform_int_distribution<int32_t>(first, end - 1)(random);
    };
    for (int trial = 0; trial < 400; ++trial) {
        std::set<std::pair<int, int32_t>> touched;
        int changes = 0;
        const int count = std::uniform_int_distribution<int>(1, 6)(random);
        for (int n = 0; n < count; ++n) {
            const int area = std::uniform_int_distribution<int>(0, 3)(random);
            // Booleans and integers from past the control words, the others over their
            // whole range.
            const int32_t i = area == qv::kAreaBool  ? pick(minBool + qv::kBoolControlSlots, maxBool)
                              : area == qv::kAreaInt ? pick(kExec + 20, maxInt - 8)
                              : area == qv::kAreaReal ? pick(minFloat, maxFloat)
                                                     : pick(minChar, maxChar);
            if (!touched.insert({area, i}).second) continue;
            const bool markOnly = area == qv::kAreaInt && n % 3 == 2;
            if (area == qv::kAreaBool) {
                *image.boolSlot(i) ^= qv::kBoolCurrent;
            } else if (markOnly) {
                auto* flags = reinterpret_cast<unsigned char*>(image.intSlot(i)) + r1::kIntFlagsOffset;
                *flags = static_cast<unsigned char>((*flags & ~r1::kIntChangeMarkMask) | r1::kIntAcknowledged);
            } else if (area == qv::kAreaInt) {
                image.intSlot(i)[0] += 1 + trial;
            } else if (area == qv::kAreaReal) {
                image.realSlot(i)[0] += 1.0f;
            } else {
                image.charSlot(i)[0] ^= 0x55;
            }
            if (!markOnly) ++changes;
        }
        QV_freeze_memory(1);
        ASSERT_EQ(nbStateModification, changes) << "trial " << trial;
        for (const auto& [area, i] : touched) {
            if (area == qv::kAreaBool) {
                const unsigned char b = *image.boolSlot(i);
                EXPECT_EQ(b & qv::kBoolCurrent, (b & qv::kBoolOld) >> 1) << "B" << i;
            } else if (area == qv::kAreaInt) {
                const auto* flags = reinterpret_cast<unsigned char*>(image.intSlot(i)) + r1::kIntFlagsOffset;
                EXPECT_EQ(image.intSlot(i)[0], image.intSlot(i)[1]) << "I" << i;
                EXPECT_NE(*flags & r1::kIntChangeMarkMask, r1::kIntAcknowledged) << "I" << i;
            } else if (area == qv::kAreaReal) {
                EXPECT_EQ(image.realSlot(i)[0], image.realSlot(i)[1]) << "F" << i;
            } else {
                EXPECT_EQ(image.charSlot(i)[0], image.charSlot(i)[1]) << "C" << i;
            }
        }
        QV_freeze_memory(1);  // the edges and marks of this trial settle
    }
}

TEST_F(Freeze, TraceLinesOfTracedVariablesWhileTracing) {
    openTraceFile();
    image.setBool(20, true, false);
    *image.boolSlot(20) |= r1::kBoolTraced;
    QV_freeze_bool(image.boolSlot(20));  // tracing off: no line
    traceOn();
    image.setBool(20, false, true);
    QV_freeze_bool(image.boolSlot(20));
    image.setBool(21, true, false);  // not traced
    QV_freeze_bool(image.boolSlot(21));
    int32_t* i = image.intSlot(531);
    i[0] = -5;
    i[1] = 3;
    reinterpret_cast<unsigned char*>(i)[r1::kIntTracedOffset] = 0x40;  // any non-zero value
    QV_freeze_int(i);
    float* f = image.realSlot(18);
    f[0] = 0.1f;
    f[1] = 1e10f;
    reinterpret_cast<unsigned char*>(f)[r1::kRealFlagsOffset] = r1::kTraced;
    QV_freeze_float(f);
    unsigned char* c = image.charSlot(62);
    c[0] = 'A';
    c[1] = 'z';
    c[2] = r1::kTraced;
    QV_freeze_char(c);
    c[0] = 32;
    QV_freeze_char(c);
    EXPECT_EQ(text(),
              "12 B20 1:0\n"
              "12 I531 3:-5\n"
              "12 F18 1e+10:0.1\n"
              "12 C62 z:A\n"
              "12 C62 65:32\n");
}

TEST_F(Freeze, TheWholeAreaFreezeTracesBooleansOnlyAtACycleStart) {
    *resettrace |= 1;  // a fresh file that asks for the period line
    traceOn();
    QV_freeze_memory(1);
    *image.boolSlot(33) |= r1::kBoolTraced;
    image.setBool(33, true, false);
    image.intSlot(532)[0] = 8;
    reinterpret_cast<unsigned char*>(image.intSlot(532))[r1::kIntTracedOffset] = 1;
    QV_freeze_memory(0);
    *qv::cycleCounterSlot() = 13;
    QV_freeze_memory(1);
    const std::string all = text();
    EXPECT_EQ(all.substr(all.find('\n') + 1),
              "50000\n"
              "12 I532 0:8\n"
              "13 B33 0:1\n");
}

TEST_F(Freeze, AResetRestartsTheFileAndThePeriodLineFollowsWhileTracing) {
    openTraceFile();
    std::fputs("before the reset\n", trace);
    *resettrace |= 1;
    QV_freeze_memory(1);
    EXPECT_FALSE(*resettrace & 1);
    std::string all = text();
    EXPECT_EQ(all.find("before"), std::string::npos);
    EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 1);  // the header time only: not tracing
    traceOn();
    *simuperiod = 20000.75f;
    QV_freeze_memory(1);
    QV_freeze_memory(1);
    all = text();
    EXPECT_EQ(all.substr(all.find('\n') + 1), "20000\n");
}

}  // namespace

namespace {

// The modifications counted by a whole-area freeze feed the cycle statistics: a running
// mean over the cycle counter, the least and the greatest count.
TEST_F(Freeze, TheModificationCountFeedsTheStatistics) {
    qv::resetCycleStatistics();
    *qv::cycleCounterSlot() = 0;
    QV_freeze_memory(1);  // settles what the image was set up with
    qv::updateCycleStatistics(1000);
    EXPECT_EQ(*mxminvariablemodification, static_cast<float>(nbStateModification));
    QV_freeze_memory(1);  // settles the statistics just written

    *qv::cycleCounterSlot() = 1;
    image.setBool(31, true, false);
    image.intSlot(530)[0] = 5;
    QV_freeze_memory(1);
    ASSERT_EQ(nbStateModification, 3);  // the two variables and the cycle counter
    const float before = *mxmeanvariablemodification;
    qv::updateCycleStatistics(1000);
    EXPECT_EQ(*mxmaxvariablemodification, 3.0f);
    EXPECT_FLOAT_EQ(*mxmeanvariablemodification, (1 * before + 3) / 2);
}

}  // namespace

namespace {

// Revision 1 waits in microseconds: a wait below one millisecond is not dropped, and a
// wait of 2.5 ms lasts its half millisecond too.
TEST(MicrosecondWait, KeepsTheMicrosecondsBelowAMillisecond) {
    auto lasts = [](uint32_t us) {
        const uint64_t before = qv::platform::monotonicNanoseconds();
        waitMicroSeconds(us);
        return (qv::platform::monotonicNanoseconds() - before) / 1000;
    };
    EXPECT_GE(lasts(700), 700u);
    EXPECT_GE(lasts(2500), 2500u);
}

}  // namespace
