// Feeds images to the image check and, when it accepts one, reads every slot, control
// word and index table entry through an ImageView over the buffer and forces slots the
// way qvctl does. The sanitizers report any access outside the buffer.
//
// Input: byte 0 selects the revision to check against (bits 0-1: 0 recognises it), a raw
// image (bit 2: the rest of the input is the image, byte for byte) or a built one, and
// the header layout a built image is written in (bit 3: revision 1's, else the shared
// one). A built image takes its size, recorded size, counts and offsets from the next
// 40 bytes; the rest of the input fills the image after its header.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/debug/qv_debug.h"
#include "supervisor/core/image_view.h"

namespace {

uint32_t take32(const uint8_t* data) {
    uint32_t value = 0;
    std::memcpy(&value, data, sizeof value);
    return value;
}

void put32(std::vector<unsigned char>& image, int32_t at, uint32_t value) {
    if (at >= 0 && static_cast<std::size_t>(at) + 4 <= image.size()) std::memcpy(image.data() + at, &value, 4);
}

std::vector<unsigned char> buildImage(uint8_t mode, const uint8_t* data, std::size_t size) {
    constexpr std::size_t kFields = 40;
    if (size < kFields) return {};
    const qv::ImageLayout layout = qv::layoutOf((mode & 8) != 0 ? 1 : 3);
    std::vector<unsigned char> image(take32(data) % (1u << 17));
    put32(image, qv::kImageSizeOffset, take32(data + 4));
    for (int k = 0; k < 4; ++k) {
        put32(image, layout.countsOffset + 4 * k, take32(data + 8 + 4 * k));
        put32(image, layout.offsetsOffset + 4 * k, take32(data + 24 + 4 * k));
    }
    const std::size_t at = static_cast<std::size_t>(layout.headerSize);
    if (image.size() > at) std::memcpy(image.data() + at, data + kFields, std::min(size - kFields, image.size() - at));
    return image;
}

volatile unsigned sink = 0;

void touch(const unsigned char* bytes, int32_t width) {
    for (int32_t k = 0; k < width; ++k) sink = sink + bytes[k];
}

// A view the check accepted: every control slot is there, and nothing reached through
// it lies outside the buffer.
void exercise(qv::ImageView& view, unsigned char* image) {
    if (view.execstatus() == nullptr || view.signature() == nullptr || view.simuperiod() == nullptr ||
        view.pospid() == nullptr || view.cycleCounter() == nullptr || view.boolSlot(qv::kTraceonSlot) == nullptr ||
        view.charSlot(qv::kCharControlSlots - 1) == nullptr || view.controlInt(qv::kGenerationtimeFromExec) == nullptr)
        std::abort();  // the check let through an image without its control variables
    for (int area = 0; area < qv::kAreaCount; ++area) {
        const int32_t count = view.count(area);
        for (int32_t index : {-1, 0, 1, count / 2, count - 1, count, count + 1, INT32_MAX, INT32_MIN}) {
            if (const unsigned char* slot = view.slot(area, index)) touch(slot, qv::slotSize(view.layout(), area));
        }
    }
    const int32_t breakpoints = qv::ImageView::read(view.controlInt(qv::kBpnolineFromExec));
    sink = sink + static_cast<unsigned>(breakpoints);
    for (int32_t table : {qv::kBoolTraceTableOffset, qv::kIntTraceTableOffset, qv::kRealTraceTableOffset,
                          qv::kCharTraceTableOffset, qv::kBoolBreakpointTableOffset, -4, 20000, INT32_MAX}) {
        int32_t* entries = view.indexTable(table);
        if (entries == nullptr) continue;
        for (int32_t p = 0; p < qv::kIndexTableLength; ++p) {
            const int32_t entry = qv::ImageView::read(entries + p);
            for (int area = 0; area < qv::kAreaCount; ++area)
                if (const unsigned char* slot = view.slot(area, entry)) touch(slot, 1);
        }
        if (view.revision() != 1) {
            QV_addIndex(qv::ImageView::read(entries), entries);
            QV_removeIndex(qv::ImageView::read(entries + 1), entries);
        }
    }
    if (view.revision() == 1) return;  // revision 1 is forced through its slot flags
    const int32_t index = qv::ImageView::read(view.intSlot(view.count(qv::kAreaInt) - 1));
    for (int32_t i : {index, 0, view.count(qv::kAreaBool) - 1, view.count(qv::kAreaBool), -1}) {
        QV_force_bool(image, i, 1);
        QV_force_int(image, i, 7);
        QV_force_float(image, i, 1.5f);
        QV_force_char(image, i, 'x');
        QV_unforce_bool(image, i);
        QV_unforce_int(image, i);
        QV_unforce_float(image, i);
        QV_unforce_char(image, i);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    std::vector<unsigned char> image = (mode & 4) != 0 ? std::vector<unsigned char>(data + 1, data + size)
                                                       : buildImage(mode, data + 1, size - 1);
    std::string problem;
    std::optional<qv::ImageView> view = qv::ImageView::over(image.data(), image.size(), mode & 3, problem);
    if (!view) {
        if (problem.empty() || problem.find('\n') != std::string::npos) std::abort();  // one line, always
        return 0;
    }
    exercise(*view, image.data());
    return 0;
}
