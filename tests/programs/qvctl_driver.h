// Process tests of qvctl: runs the real tool against real programs and reads what it
// prints and what it wrote into the image.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/program_run.h"

namespace qvtest {

struct CtlResult {
    int status = -1;
    std::string output;  // standard output and standard error, in order
};

// Runs build/bin/qvctl with `arguments` and waits for it (at most 30 s).
inline CtlResult runQvctl(const std::vector<std::string>& arguments) {
    static int next = 0;
    const std::string out = qv::platform::temporaryDirectory() + "/" + uniqueImageName("qvctl_out") + std::to_string(next++);
    std::vector<std::string> argv = {programPath("qvctl")};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    CtlResult result;
    if (auto child = qv::platform::startProcess(argv, {"QV_MEMORY_NAME"}, out)) {
        result.status = qv::platform::waitProcess(*child, 30000).value_or(-1);
        result.output = readFile(out);
    }
    std::error_code ignored;
    std::filesystem::remove(out, ignored);
    return result;
}

// qvctl on the image of a run.
inline CtlResult ctl(const ProgramRun& run, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--name", run.imageName()});
    return runQvctl(arguments);
}

#define EXPECT_CTL(result, status_, text)           \
    do {                                            \
        const ::qvtest::CtlResult r_ = (result);    \
        EXPECT_EQ(r_.status, status_) << r_.output; \
        EXPECT_EQ(r_.output, text);                 \
    } while (0)

}  // namespace qvtest
