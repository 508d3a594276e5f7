// The demo, run as the README runs it, with short travel times.
#include <gtest/gtest.h>

#include <regex>

#include "tests/programs/qvctl_driver.h"

namespace {

using qvtest::CtlResult;
using qvtest::runQvctl;

// The progress headings [k/n] in order, each once, up to n.
void expectAllProgress(const std::string& output) {
    const std::regex heading(R"(\[(\d)/(\d)\])");
    int expected = 1, total = 0;
    for (auto it = std::sregex_iterator(output.begin(), output.end(), heading); it != std::sregex_iterator(); ++it) {
        EXPECT_EQ(std::stoi((*it)[1]), expected) << output;
        total = std::stoi((*it)[2]);
        ++expected;
    }
    EXPECT_GT(total, 0) << output;
    EXPECT_EQ(expected - 1, total) << output;
}

TEST(Demo, PlaysOneWholeMachineCycle) {
    const CtlResult demo = runQvctl({"demo", "--travel", "0.2", "--vacuum", "0.1"});
    EXPECT_EQ(demo.status, 0) << demo.output;
    expectAllProgress(demo.output);
    EXPECT_TRUE(demo.output.starts_with("Demo: one ")) << demo.output;
    EXPECT_NE(demo.output.find("\n cycle      time  event\n"), std::string::npos);
    EXPECT_NE(demo.output.find("qvctl writes END\n"), std::string::npos);
    EXPECT_NE(demo.output.find("ended with exit status 0; the image qv_demo_"), std::string::npos);
    EXPECT_TRUE(demo.output.ends_with("The demo completed.\n")) << demo.output;
    EXPECT_EQ(demo.output.find("FAILED"), std::string::npos);
    if (demo.output.starts_with("Demo: one manipulation cycle")) {
        EXPECT_NE(demo.output.find("The part was picked at position 5 and put down at position 3;"), std::string::npos);
    }
}

TEST(Demo, TheBistableCylinderStroke) {
    const CtlResult demo = runQvctl({"demo", "--program", "bistable_cylinder", "--travel", "0.2"});
    EXPECT_EQ(demo.status, 0) << demo.output;
    expectAllProgress(demo.output);
    for (const char* line : {"  steps entered: 20 (extending)\n", "  orders on: OrdreS\n", "  sensors off: CR\n",
                             "  cylinder leaves retracted\n", "  sensors on: CS\n", "  cylinder extended\n",
                             "  steps entered: 21 (extended)\n", "  outputs on: EtatS\n"})
        EXPECT_NE(demo.output.find(line), std::string::npos) << line;
    // The image is gone.
    const std::smatch image = [&] {
        std::smatch m;
        std::regex_search(demo.output, m, std::regex("image (qv_demo_[0-9a-f]{16}) is removed"));
        return m;
    }();
    ASSERT_EQ(image.size(), 2u);
    EXPECT_EQ(runQvctl({"--name", image[1].str(), "status"}).status, 1);
}

TEST(Demo, RefusesAProgramItCannotPlay) {
    EXPECT_CTL(runQvctl({"demo", "--program", "suction_cup"}), 1,
               "qvctl: the demo runs manipulateur or bistable_cylinder, not suction_cup\n");
}

}  // namespace
