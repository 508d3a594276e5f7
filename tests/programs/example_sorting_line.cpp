// The sorting line example runs as a real program, driven through its image: the test
// plays the supervisor, reads the products' status and matrix slots between bursts of
// cycles, and checks that every product goes where its model sends it.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <map>
#include <thread>
#include <vector>

#include "examples/sorting_line/sorting_line.h"
#include "supervisor/core/symbols/description.h"
#include "tests/support/program_run.h"

namespace {

using qv::ImageView;

static_assert(SL_BOOL_BASE == qv::kBoolControlSlots);
static_assert(SL_INT_BASE == qv::layoutOf(3).execstatusSlot + qv::kIntControlSlots);
static_assert(SL_REAL_BASE == qv::kMinFloatFloor + qv::kRealControlSlots);

struct Placement {
    int32_t status;
    double x, y, z, dx, dy, dz;
};

class SortingLine {
public:
    SortingLine() : run_("sorting_line", "sorting") {}

    bool start() {
        if (!run_.start() || !run_.waitUntilStopped()) return false;
        ImageView::write(image().simuperiod(), 2000.0f);  // 2 ms cycles
        return true;
    }

    ImageView& image() { return run_.image(); }
    qvtest::ProgramRun& run() { return run_; }

    // Runs about `cycles` cycles and waits until the program idles between two cycles.
    bool runCycles(int32_t cycles) {
        if (!run_.runCycles(cycles)) return false;
        int32_t last = -1;
        return qvtest::waitUntil([&] {
            const int32_t now = ImageView::read(image().cycleCounter());
            const bool idle = now == last;
            last = now;
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
            return idle;
        });
    }

    bool input(int variable, bool value) {
        unsigned char* slot = image().boolSlot(SL_BOOL_BASE + variable);
        *slot = static_cast<unsigned char>((*slot & ~1u) | (value ? 1u : 0u));
        return true;
    }
    bool output(int variable) { return (*image().boolSlot(SL_BOOL_BASE + variable) & 1) != 0; }
    int32_t counter(int variable) { return ImageView::read(image().intSlot(SL_INT_BASE + variable)); }
    double real(int variable) { return ImageView::read(image().realSlot(SL_REAL_BASE + variable)); }

    Placement object(int k) {
        auto e = [&](int i) { return static_cast<double>(ImageView::read(image().realSlot(SL_OBJECT_MATRIX(k) + i))); };
        return Placement{ImageView::read(image().intSlot(SL_OBJECT_INT(k))), e(3), e(7), e(11), e(0), e(5), e(10)};
    }

private:
    qvtest::ProgramRun run_;
};

int kindOf(int k) { return k < SL_FIRST_TRAY ? SL_KIND_PART : k < SL_FIRST_BOX ? SL_KIND_TRAY : SL_KIND_BOX; }

TEST(SortingLine, ProductsTravelWhereTheirModelsSendThem) {
    SortingLine line;
    ASSERT_TRUE(line.start());
    EXPECT_EQ(line.object(SL_CONVEYOR).dx, SL_BELT_LENGTH);
    EXPECT_EQ(line.object(SL_FIRST_BOX).status, 2);

    std::map<int, Placement> previous;
    bool boxAgainstStop = false, boxPushedOff = false, partOnMovedTray = false, stopSeenOpen = false;
    for (int burst = 0; burst < 40; ++burst) {
        ASSERT_TRUE(line.runCycles(12));
        stopSeenOpen = stopSeenOpen || line.output(SL_STOP_OPEN);
        for (int k = SL_FIRST_PART; k < SL_OBJECTS; ++k) {
            const Placement p = line.object(k);
            if (p.status != 1) {
                previous.erase(k);
                continue;
            }
            ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) << k;
            ASSERT_GE(p.x, 0.0) << k;
            ASSERT_LE(p.x, SL_CHUTE_X + SL_CHUTE_DX) << k;
            ASSERT_GE(p.z, -1.5) << k;
            // Along the belt, products only go forward. An entry seen back at the start of
            // the belt is a new product in it (removed and brought in again between looks).
            if (auto before = previous.find(k); before != previous.end() && p.x > 1.0) {
                ASSERT_GE(p.x, before->second.x - 1e-5) << k;
            }
            previous[k] = p;

            if (kindOf(k) == SL_KIND_BOX) {
                EXPECT_NEAR(p.dx, SL_BOX_SIZE, 1e-6);
                if (std::fabs(p.x + p.dx - SL_STOP_X) < 1e-5 && p.z == SL_BELT_TOP) boxAgainstStop = true;
                if (p.y < -0.2) {
                    boxPushedOff = true;
                    EXPECT_GT(p.x, SL_BIN_X);
                    EXPECT_LT(p.x + p.dx, SL_BIN_X + SL_BIN_DX);
                }
            }
            if (kindOf(k) == SL_KIND_PART && p.z > SL_BELT_TOP) {
                // On its tray, carried along: the part is stepped before its tray, so it
                // follows the tray's motion one cycle late.
                const double margin = (SL_TRAY_SIZE - SL_PART_SIZE) / 2;
                for (int t = SL_FIRST_TRAY; t < SL_FIRST_BOX; ++t) {
                    const Placement tray = line.object(t);
                    if (tray.status != 1 || tray.x < 1.0) continue;
                    const double lag = tray.x + margin - p.x;
                    if (lag > -1e-4 && lag < SL_BELT_SPEED + 1e-4 && std::fabs(p.y - tray.y - margin) < 1e-4 &&
                        std::fabs(p.z - tray.z - (SL_TRAY_HEIGHT - SL_PART_SINK)) < 1e-4)
                        partOnMovedTray = true;
                }
            }
        }
    }
    EXPECT_TRUE(boxAgainstStop);
    EXPECT_TRUE(boxPushedOff);
    EXPECT_TRUE(partOnMovedTray);
    EXPECT_TRUE(stopSeenOpen);

    // About 480 cycles: a product every 40 cycles, boxes and trays in turn.
    EXPECT_GE(line.counter(SL_CREATED), 15);
    EXPECT_GE(line.counter(SL_REJECTED), 3);
    EXPECT_GE(line.counter(SL_DELIVERED), 2);
    EXPECT_EQ(line.counter(SL_PARTS_DELIVERED), line.counter(SL_DELIVERED));
    // The last box came to rest on the bin, the last tray on the chute.
    EXPECT_GT(line.real(SL_LAST_REJECTED_X), SL_BIN_X);
    EXPECT_LT(line.real(SL_LAST_REJECTED_Y), 0.0);
    EXPECT_NEAR(line.real(SL_LAST_REJECTED_Z), SL_BIN_TOP, SL_FALL_SPEED + 1e-3);
    EXPECT_GT(line.real(SL_LAST_DELIVERED_X) + SL_TRAY_SIZE, SL_CHUTE_X);
    EXPECT_NEAR(line.real(SL_LAST_DELIVERED_Z), SL_CHUTE_TOP, SL_FALL_SPEED + 1e-3);

    EXPECT_EQ(line.run().end(), 0);
}

TEST(SortingLine, AStoppedBeltHoldsItsProducts) {
    SortingLine line;
    ASSERT_TRUE(line.start());
    ASSERT_TRUE(line.runCycles(100));
    line.input(SL_CONVEYOR_ON, false);
    line.input(SL_FEED, false);
    ASSERT_TRUE(line.runCycles(2));
    std::vector<Placement> before;
    for (int k = SL_FIRST_PART; k < SL_OBJECTS; ++k) before.push_back(line.object(k));
    ASSERT_TRUE(line.runCycles(30));
    int present = 0;
    for (int k = SL_FIRST_PART; k < SL_OBJECTS; ++k) {
        const Placement p = line.object(k);
        EXPECT_EQ(p.status, before[static_cast<std::size_t>(k - SL_FIRST_PART)].status) << k;
        EXPECT_EQ(p.x, before[static_cast<std::size_t>(k - SL_FIRST_PART)].x) << k;
        present += p.status == 1;
    }
    EXPECT_GE(present, 2);

    // Running again, the belt empties itself.
    line.input(SL_CONVEYOR_ON, true);
    ASSERT_TRUE(line.runCycles(400));
    for (int k = SL_FIRST_PART; k < SL_OBJECTS; ++k) EXPECT_EQ(line.object(k).status, 2) << k;
    EXPECT_EQ(line.run().end(), 0);
}

// The description its build wrote names every object at the slots the line runs them on,
// in table order, with its kind.
TEST(SortingLine, ItsDescriptionNamesItsObjectsWhereTheyLive) {
    std::string error;
    std::optional<qv::symbols::SymbolSet> set =
        qv::symbols::readDescriptionFile(std::string(QV_BUILD_BIN_DIR) + "/sorting_line.symbols.json", error);
    ASSERT_TRUE(set) << error;
    ASSERT_EQ(set->objects().size(), static_cast<std::size_t>(SL_OBJECTS));
    for (int k = 0; k < SL_OBJECTS; ++k) {
        const qv::symbols::SceneObject& o = set->objects()[static_cast<std::size_t>(k)];
        EXPECT_EQ(o.index, k);
        EXPECT_EQ(o.matrixSlot, SL_OBJECT_MATRIX(k)) << o.name;
        EXPECT_EQ(o.statusSlot, SL_OBJECT_INT(k)) << o.name;
        EXPECT_EQ(o.kind == qv::symbols::ObjectKind::Actor, k < SL_ACTORS) << o.name;
        if (k >= SL_ACTORS) {
            EXPECT_EQ(o.kindId, kindOf(k)) << o.name;
        }
    }
    EXPECT_EQ(set->objects()[SL_CONVEYOR].name, "conveyor");
    EXPECT_EQ(set->objects()[SL_FIRST_TRAY].name, "tray[0]");
}

}  // namespace
