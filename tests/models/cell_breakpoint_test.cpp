// Instance numbers of the composite scheme, seen by a location breakpoint: a test tree of
// probes (leaves that reach a breakpoint location) inside nested composites pauses in the
// instance the breakpoint names.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "models/components/composite_scheme.h"
#include "tests/models/model_image.h"

namespace {

using namespace qv::models;

constexpr int kLocation = 7;
std::vector<int32_t> visited;  // instance numbers in visiting order

int32_t probeNum = 0, innerNum = 0;
int32_t offA[4], offB[4], offC[4], offD[4], offE[4], innerEnd[4], outerEnd[4];

void wireNothing(const QV_Bases&) {}
int32_t probeInit() { return 0; }
int32_t probeStep() {
    visited.push_back(self_num);
    breakpoint_st(kLocation, self_num);
    return 0;
}

constexpr SubInstance kInner[] = {
    {"C", offC, &probeNum, wireNothing, probeInit, probeStep},
    {"D", offD, &probeNum, wireNothing, probeInit, probeStep},
};
constexpr CompositeModel kInnerComposite = {"inner", {1, 0, 0, 0}, kInner, innerEnd};
int32_t innerInit() { return initialiseComposite(kInnerComposite); }
int32_t innerStep() { return evolveComposite(kInnerComposite); }

constexpr SubInstance kOuter[] = {
    {"A", offA, &probeNum, wireNothing, probeInit, probeStep},
    {"B", offB, &innerNum, wireNothing, innerInit, innerStep},
    {"E", offE, &probeNum, wireNothing, probeInit, probeStep},
};
constexpr CompositeModel kOuterComposite = {"outer", {2, 0, 0, 0}, kOuter, outerEnd};

TEST(CompositeInstances, ABreakpointPausesInTheInstanceItNames) {
    qvtest::ModelImage image(qv::symbols::kManipulateurSymbols);  // the control variables
    unsigned char bools[16] = {};
    const QV_Bases base{bools, nullptr, nullptr, nullptr};
    self = base;
    initialiseComposite(kOuterComposite);

    // The supervisor's pair: location 7 in instance 5 (D: top 1, A 2, B 3, C 4, D 5, E 6).
    *bpnoline = 1;
    *qv::nextIntSlot(bpnoline, 1) = kLocation;
    *qv::nextIntSlot(bpnoinstance, 1) = 5;
    *execstatus = qv::kStatusRun;

    std::atomic<int32_t> pausedInstance{0};
    std::atomic<std::size_t> pausedAfter{0};
    std::thread supervisor([&] {
        while (qv::loadShared(execstatus) != qv::kStatusPause) std::this_thread::yield();
        pausedInstance = qv::loadShared(bpcurrentinstance);
        pausedAfter = visited.size();
        qv::storeShared(execstatus, qv::kStatusRun);
    });
    visited.clear();
    self = base;
    self_num = 1;
    EXPECT_EQ(evolveComposite(kOuterComposite), 0);
    supervisor.join();

    EXPECT_EQ(visited, (std::vector<int32_t>{2, 4, 5, 6}));
    EXPECT_EQ(pausedInstance.load(), 5);
    EXPECT_EQ(pausedAfter.load(), 3u);  // paused in D, before E ran
    EXPECT_EQ(*bpcurrentlocation, kLocation);
    EXPECT_EQ(self.boolBase, bools + outerEnd[0] * qv::kBoolSlotSize);
}

}  // namespace
