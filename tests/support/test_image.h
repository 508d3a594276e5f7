// An image laid out in the test process by the runtime itself, with the control
// variables bound by the linked model: for unit tests that need the executive's globals.
#pragma once

#include <optional>
#include <string>

#include "runtime/executive/executive.h"

namespace qvtest {

class TestImage {
public:
    // Lays out a fresh image of `size` bytes under a unique name, as start-up does
    // (memorySizeInit, layout, control-variable binding), without running the model.
    explicit TestImage(uint32_t size = 6000000);
    ~TestImage();
    TestImage(const TestImage&) = delete;
    TestImage& operator=(const TestImage&) = delete;

    bool ok() const { return laidOut_ == 0; }
    const std::string& name() const { return name_; }

private:
    std::string name_;
    std::optional<std::string> savedName_, savedSize_;
    int laidOut_ = -1;
};

}  // namespace qvtest
