// The cell's cycle driven by hand as docs/programs.md walks through it: the plant beside
// the program, a step breakpoint where the pick begins, a pause of two seconds, then on to
// the end of the cycle. The paused time is the supervisor's: the program must go on at its
// own pace, with no burst of late cycles that the plant, in real time, cannot follow.
#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "tests/programs/qvctl_driver.h"

namespace {

using qvtest::ctl;
using qvtest::ProgramRun;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(CellWalkthrough, APauseAtTheStartOfThePickEndsInOKcycle) {
    ProgramRun run("manipulateur", "walk");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    auto plant = qv::platform::startProcess(
        {qvtest::programPath("qvctl"), "--name", run.imageName(), "plant", "--quiet"}, {}, "");
    ASSERT_TRUE(plant);
    ASSERT_TRUE(qvtest::waitUntil([&] { return (*run.image().boolSlot(9) & 1) != 0; }));  // FCGXR from the plant

    ASSERT_EQ(ctl(run, {"-q", "run"}).status, 0);
    ASSERT_EQ(ctl(run, {"-q", "set", "Pos_depart", "5"}).status, 0);
    ASSERT_EQ(ctl(run, {"-q", "set", "Pos_arrivee", "3"}).status, 0);
    ASSERT_EQ(ctl(run, {"-q", "break", "add", "graf_mdl_manipulateur1", "12"}).status, 0);
    ASSERT_EQ(ctl(run, {"-q", "set", "DCY", "TRUE"}).status, 0);
    ASSERT_TRUE(qvtest::waitUntil([&] { return *run.image().execstatus() == 5; }, std::chrono::seconds(30)))
        << run.console();
    EXPECT_TRUE(contains(ctl(run, {"status"}).output, "graf_mdl_manipulateur1._X_12"));
    std::this_thread::sleep_for(std::chrono::seconds(2));
    ASSERT_EQ(ctl(run, {"-q", "set", "DCY", "FALSE"}).status, 0);
    ASSERT_EQ(ctl(run, {"-q", "break", "remove", "graf_mdl_manipulateur1", "12"}).status, 0);
    ASSERT_EQ(ctl(run, {"-q", "run"}).status, 0);
    const qvtest::CtlResult watched = ctl(run, {"watch", "OKcycle", "--cycles", "200"});
    EXPECT_EQ(watched.status, 0);
    EXPECT_TRUE(contains(watched.output, ": OKcycle = TRUE\n")) << watched.output << run.console();
    EXPECT_CTL(ctl(run, {"get", "OKcycle", "Def_Manip", "def_prisepose"}), 0,
               "OKcycle = TRUE\nDef_Manip = FALSE\ndef_prisepose = FALSE\n");

    // The cycle that held the pause measured its running time only: no overrun counts the
    // two seconds paused (a busy machine may still make an ordinary cycle late), and the
    // longest cycle stays far below them.
    const std::string console = run.console();
    const std::regex overrun(R"(Warning: Cycle duration \((\d+) ms\))");
    for (auto it = std::sregex_iterator(console.begin(), console.end(), overrun); it != std::sregex_iterator(); ++it)
        EXPECT_LT(std::stol((*it)[1]), 1000) << console;
    EXPECT_LT(*run.image().realSlot(12), 1e6f);  // maxsimuperiod, microseconds
    EXPECT_EQ(run.end(), 0);
    EXPECT_EQ(qv::platform::waitProcess(*plant, 5000), 0);
}

}  // namespace

namespace {

// In every revision: a second paused at a location breakpoint, then RUN. The schedule takes
// up from the moment the program goes on: no overrun counts the pause, and the longest
// measured cycle stays far below it.
TEST(PauseSchedule, EveryRevisionGoesOnWithoutCatchingUp) {
    for (int revision : {3, 2, 1}) {
        SCOPED_TRACE(revision);
        ProgramRun run("test_model_r" + std::to_string(revision), "pause");
        auto at = [&](std::vector<std::string> arguments) {
            arguments.insert(arguments.begin(), {"-q", "--revision", std::to_string(revision)});
            return ctl(run, arguments).status;
        };
        ASSERT_TRUE(run.start());
        ASSERT_TRUE(run.waitUntilStopped());
        ASSERT_EQ(at({"break", "add", "20", "1"}), 0);
        ASSERT_EQ(at({"set", "B8", "TRUE"}), 0);  // the model calls (10, 1) and (20, 1)
        ASSERT_EQ(at({"run"}), 0);
        ASSERT_TRUE(qvtest::waitUntil([&] { return *run.image().execstatus() == 5; }));
        std::this_thread::sleep_for(std::chrono::seconds(1));
        ASSERT_EQ(at({"break", "remove", "20", "1"}), 0);
        ASSERT_EQ(at({"run"}), 0);
        ASSERT_TRUE(run.runCycles(10));
        const std::string console = run.console();
        const std::regex overrun(R"(Warning: Cycle duration \((\d+) ms\))");
        for (auto it = std::sregex_iterator(console.begin(), console.end(), overrun); it != std::sregex_iterator(); ++it)
            EXPECT_LT(std::stol((*it)[1]), 500) << console;
        EXPECT_LT(*run.image().realSlot(12), 5e5f);  // maxsimuperiod, microseconds
        EXPECT_EQ(run.end(), 0);
    }
}

// A model built on the SDK is no program qvctl has a table of: its symbol description,
// beside its executable, names it in the list of images and in the status.
TEST(QvctlNaming, AnSdkModelIsNamedByItsDescription) {
    ProgramRun run("sorting_line", "named");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    EXPECT_TRUE(contains(ctl(run, {"status"}).output, "program    sorting_line (named by its symbol description)\n"));
    const std::regex row("\n" + run.imageName() + " +[0-9]+ +3 sorting_line +[0-9]+ +yes STOP ");
    const std::string list = qvtest::runQvctl({"list"}).output;
    EXPECT_TRUE(std::regex_search(list, row)) << list;
    EXPECT_EQ(run.end(), 0);
}

}  // namespace
