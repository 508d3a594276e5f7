// An image laid out by the test itself, as a program of the given revision and slot
// counts would lay it out, so that supervisor code can be tested without a program.
#pragma once

#include <cstring>
#include <string>

#include "runtime/executive/image_layout.h"
#include "runtime/platform/platform.h"
#include "supervisor/core/image_view.h"
#include "tests/support/program_run.h"

namespace qvtest {

class LaidOutImage {
public:
    LaidOutImage(int revision, const int32_t (&counts)[4], const std::string& tag = "img")
        : name_(uniqueImageName(tag)) {
        const qv::ImageLayout layout = qv::layoutOf(revision);
        const qv::AreaOffsets offsets = qv::computeAreaOffsets(layout, counts);
        mapping_ = qv::platform::openSharedMemory(name_, offsets.end);
        unsigned char* image = mapping_.view;
        auto put = [image](int32_t at, uint32_t value) { std::memcpy(image + at, &value, sizeof value); };
        put(qv::kImageSizeOffset, offsets.end);
        for (int area = 0; area < qv::kAreaCount; ++area) put(layout.countsOffset + 4 * area, counts[area]);
        put(layout.offsetsOffset, offsets.offsetBool);
        put(layout.offsetsOffset + 4, offsets.offsetInt);
        put(layout.offsetsOffset + 8, offsets.offsetFloat);
        put(layout.offsetsOffset + 12, offsets.offsetChar);
        view_ = qv::ImageView::attach(name_, revision);
    }
    ~LaidOutImage() {
        view_.reset();
        qv::platform::closeSharedMemory(mapping_);
        qv::platform::removeSharedMemory(name_);
    }
    LaidOutImage(const LaidOutImage&) = delete;
    LaidOutImage& operator=(const LaidOutImage&) = delete;

    const std::string& name() const { return name_; }
    qv::ImageView& view() { return *view_; }

private:
    std::string name_;
    qv::platform::SharedMapping mapping_;
    std::optional<qv::ImageView> view_;
};

}  // namespace qvtest
