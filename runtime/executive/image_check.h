// The check every reader of an image makes before it touches anything: the header's
// counts and offsets against the revision's layout and against the bytes really there.
// An image may be foreign, damaged, half made, or written by a careless supervisor;
// nothing that reads it may trust a header word it has not checked.
//
// Header-only, so that the runtime's supervisor-side operations use the very same check
// without linking the supervisor's image view.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "runtime/executive/image_layout.h"
#include "runtime/platform/platform.h"

namespace qv {

// What a sound image holds: its layout, slot counts and area offsets, as checked.
struct ImageCheck {
    ImageLayout layout = layoutOf(3);
    int32_t counts[kAreaCount] = {0, 0, 0, 0};
    uint32_t offsets[kAreaCount] = {0, 0, 0, 0};
    std::string problem;  // one line naming what is wrong; empty when the image is sound
    bool ok() const { return problem.empty(); }
};

namespace image_check {

inline int32_t wordAt(const unsigned char* image, std::size_t size, int64_t offset) {
    if (image == nullptr || offset < 0 || static_cast<uint64_t>(offset) + 4 > size) return 0;
    int32_t value = 0;
    std::memcpy(&value, image + offset, sizeof value);
    return value;
}

inline const char* areaName(int area) {
    switch (area) {
        case kAreaBool: return "boolean";
        case kAreaInt: return "integer";
        case kAreaReal: return "real";
        default: return "character";
    }
}

// The slots an area must hold for the control variables and, in the integer area, the
// three runtime slots that follow them.
inline int32_t controlSlots(const ImageLayout& layout, int area) {
    switch (area) {
        case kAreaBool: return kBoolControlSlots;
        case kAreaInt: return layout.execstatusSlot + kIntControlSlots + kPospidFromEnd;
        case kAreaReal: return kMaxModificationSlot + 1;
        default: return kCharControlSlots;
    }
}

inline std::string number(int64_t value) { return std::to_string(value); }

// "image NAME: " followed by the parts, appended in place (no temporary is prefixed,
// which keeps GCC's -Wrestrict false positive of string concatenation away).
template <typename... Parts>
std::string problem(std::string_view name, const Parts&... parts) {
    std::string line = "image ";
    line.append(name).append(": ");
    (line.append(std::string_view(parts)), ...);
    return line;
}

}  // namespace image_check

inline ImageCheck validateImage(const unsigned char* image, std::size_t size, int revision, std::string_view name);

// The process a sound image's process slot (`pospid`) names; 0 when none.
inline int32_t processOf(const unsigned char* image, std::size_t size, const ImageCheck& check) {
    const int64_t slot = check.counts[kAreaInt] - kPospidFromEnd;
    return image_check::wordAt(image, size, int64_t{check.offsets[kAreaInt]} + slot * kIntSlotSize);
}

// Recognises the layout of a mapped image: 1, 3 (revisions 2 and 3), or 0 when neither
// header describes it. A program lays out an image without clearing it, so one of
// revision 1 on an image a revision 3 one left (or the other way round) leaves the
// other's header in place: then the layout whose process slot names a live process
// wins, else revision 3.
inline int recogniseLayout(const unsigned char* image, std::size_t size) {
    const auto describes = [&](int revision) {
        const ImageLayout layout = layoutOf(revision);
        return image_check::wordAt(image, size, layout.offsetsOffset) == layout.headerSize;
    };
    const bool three = describes(3), one = describes(1);
    if (three && one) {
        const auto runs = [&](int revision) {
            const ImageCheck check = validateImage(image, size, revision, "");
            return check.ok() && platform::processAlive(processOf(image, size, check));
        };
        return !runs(3) && runs(1) ? 1 : 3;
    }
    return three ? 3 : one ? 1 : 0;
}

// Checks the `size` bytes at `image` as an image of `revision` (0: the layout its header
// shows). `name` only names the image in the problem line.
inline ImageCheck validateImage(const unsigned char* image, std::size_t size, int revision, std::string_view name) {
    using namespace image_check;
    ImageCheck check;
    if (revision == 0) revision = recogniseLayout(image, size);
    if (revision < 1 || revision > 3) {
        check.problem = "image ";
        check.problem.append(name).append(" has not been laid out by a program");
        return check;
    }
    const ImageLayout layout = layoutOf(revision);
    check.layout = layout;
    const auto bytes = static_cast<uint64_t>(size);
    const std::string imageBytes = number(static_cast<int64_t>(bytes));
    if (image == nullptr || bytes < static_cast<uint64_t>(layout.headerSize)) {
        check.problem = problem(name, "header ends at ", number(layout.headerSize), ", past the image's ", imageBytes,
                                " bytes");
        return check;
    }
    // The size the program recorded bounds what the supervisor-side operations touch.
    const auto recorded = static_cast<uint32_t>(wordAt(image, size, kImageSizeOffset));
    if (recorded > bytes) {
        check.problem = problem(name, "header records ", number(recorded), " bytes, more than the image's ",
                                imageBytes, " bytes");
        return check;
    }
    for (int area = 0; area < kAreaCount; ++area) {
        check.counts[area] = wordAt(image, size, layout.countsOffset + 4 * area);
        check.offsets[area] = static_cast<uint32_t>(wordAt(image, size, layout.offsetsOffset + 4 * area));
    }
    for (int area = 0; area < kAreaCount; ++area) {
        const char* what = areaName(area);
        if (check.counts[area] < controlSlots(layout, area)) {
            check.problem = problem(name, what, " area has ", number(check.counts[area]), " slots, fewer than the ",
                                    number(controlSlots(layout, area)), " its control variables take");
            return check;
        }
        if (check.offsets[area] < static_cast<uint32_t>(layout.headerSize)) {
            check.problem = problem(name, what, " area begins at ", number(check.offsets[area]),
                                    ", inside the header of ", number(layout.headerSize), " bytes");
            return check;
        }
        const uint64_t end = check.offsets[area] + static_cast<uint64_t>(check.counts[area]) *
                                                       static_cast<uint64_t>(slotSize(layout, area));
        if (end > bytes) {
            check.problem = problem(name, what, " area ends at ", number(static_cast<int64_t>(end)),
                                    ", past the image's ", imageBytes, " bytes");
            return check;
        }
    }
    // Every area lies inside the image; where it lies must also follow from the counts,
    // as the program lays it out.
    const AreaOffsets expected = computeAreaOffsets(layout, check.counts);
    const uint32_t wanted[kAreaCount] = {expected.offsetBool, expected.offsetInt, expected.offsetFloat,
                                         expected.offsetChar};
    for (int area = 0; area < kAreaCount; ++area) {
        if (check.offsets[area] != wanted[area]) {
            check.problem = problem(name, areaName(area), " area begins at ", number(check.offsets[area]),
                                    ", not at ", number(wanted[area]), " where the slot counts place it");
            return check;
        }
    }
    return check;
}

}  // namespace qv
