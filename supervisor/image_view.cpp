#include "supervisor/image_view.h"

#include <bit>
#include <cstring>
#include <utility>

namespace qv {

namespace {
int32_t wordAt(const unsigned char* image, std::size_t size, int32_t offset) {
    if (offset < 0 || static_cast<std::size_t>(offset) + 4 > size) return 0;
    int32_t value = 0;
    std::memcpy(&value, image + offset, sizeof value);
    return value;
}
}  // namespace

int recogniseLayout(const unsigned char* image, std::size_t size) {
    for (int revision : {3, 1}) {
        const ImageLayout layout = layoutOf(revision);
        if (wordAt(image, size, layout.offsetsOffset) == layout.headerSize) return revision;
    }
    return 0;
}

std::optional<ImageView> ImageView::attach(const std::string& name, int revision) {
    platform::SharedMapping mapping = platform::attachSharedMemory(name);
    if (mapping.view == nullptr) return std::nullopt;
    if (revision == 0) revision = recogniseLayout(mapping.view, mapping.size);
    if (revision < 1 || revision > 3) {
        platform::closeSharedMemory(mapping);
        return std::nullopt;
    }
    return ImageView(mapping, layoutOf(revision));
}

ImageView::ImageView(ImageView&& other) noexcept : mapping_(other.mapping_), layout_(other.layout_) {
    other.mapping_ = platform::SharedMapping{};
}

ImageView& ImageView::operator=(ImageView&& other) noexcept {
    if (this != &other) {
        platform::closeSharedMemory(mapping_);
        mapping_ = std::exchange(other.mapping_, platform::SharedMapping{});
        layout_ = other.layout_;
    }
    return *this;
}

ImageView::~ImageView() { platform::closeSharedMemory(mapping_); }

uint32_t ImageView::imageSizeField() const {
    return static_cast<uint32_t>(wordAt(base(), size(), kImageSizeOffset));
}

int32_t ImageView::count(int area) const { return wordAt(base(), size(), layout_.countsOffset + 4 * area); }

uint32_t ImageView::areaOffset(int area) const {
    return static_cast<uint32_t>(wordAt(base(), size(), layout_.offsetsOffset + 4 * area));
}

unsigned char* ImageView::slot(int area, int32_t index) const {
    if (area < 0 || area >= kAreaCount || index < 0 || index >= count(area)) return nullptr;
    const uint64_t width = static_cast<uint64_t>(slotSize(layout_, area));
    const uint64_t at = areaOffset(area) + static_cast<uint64_t>(index) * width;
    if (at + width > size()) return nullptr;
    return base() + at;
}

int32_t* ImageView::indexTable(int32_t tableOffset) const {
    if (!layout_.hasIndexTables) return nullptr;
    if (static_cast<std::size_t>(tableOffset) + 4u * kIndexTableLength > size()) return nullptr;
    return reinterpret_cast<int32_t*>(base() + tableOffset);
}

float ImageView::read(const float* word) {
    return std::bit_cast<float>(__atomic_load_n(reinterpret_cast<const int32_t*>(word), __ATOMIC_RELAXED));
}

void ImageView::write(float* word, float value) {
    __atomic_store_n(reinterpret_cast<int32_t*>(word), std::bit_cast<int32_t>(value), __ATOMIC_RELAXED);
}

}  // namespace qv
