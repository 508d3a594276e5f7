#include "supervisor/core/image_view.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <utility>

namespace qv {

ImageView::ImageView(platform::SharedMapping mapping, const ImageCheck& check, bool owned, std::string name)
    : mapping_(mapping), name_(std::move(name)), layout_(check.layout), owned_(owned) {
    std::copy(std::begin(check.counts), std::end(check.counts), counts_);
    std::copy(std::begin(check.offsets), std::end(check.offsets), offsets_);
}

std::optional<ImageView> ImageView::attach(const std::string& name, int revision) {
    std::string problem;
    return attach(name, revision, problem);
}

std::optional<ImageView> ImageView::attach(const std::string& name, int revision, std::string& problem,
                                           bool readOnly) {
    platform::SharedMapping mapping = platform::attachSharedMemory(name, readOnly);
    if (mapping.refused || (mapping.view != nullptr && !platform::ownedPrivately(mapping.owner))) {
        problem = foreignImageProblem(name, mapping.owner);
        platform::closeSharedMemory(mapping);
        return std::nullopt;
    }
    if (mapping.view == nullptr) {
        problem = "no image named \"" + name + "\"";
        return std::nullopt;
    }
    const ImageCheck check = validateImage(mapping.view, mapping.size, revision, "\"" + name + "\"");
    if (!check.ok()) {
        problem = check.problem;
        platform::closeSharedMemory(mapping);
        return std::nullopt;
    }
    return ImageView(mapping, check, true, name);
}

std::optional<ImageView> ImageView::over(unsigned char* image, std::size_t size, int revision, std::string& problem,
                                         const std::string& name) {
    const ImageCheck check = validateImage(image, size, revision, name);
    if (!check.ok()) {
        problem = check.problem;
        return std::nullopt;
    }
    platform::SharedMapping mapping;
    mapping.view = image;
    mapping.size = size;
    return ImageView(mapping, check, false, name);
}

ImageView::ImageView(ImageView&& other) noexcept
    : mapping_(std::exchange(other.mapping_, platform::SharedMapping{})), name_(std::move(other.name_)),
      layout_(other.layout_), owned_(other.owned_) {
    std::copy(std::begin(other.counts_), std::end(other.counts_), counts_);
    std::copy(std::begin(other.offsets_), std::end(other.offsets_), offsets_);
}

ImageView& ImageView::operator=(ImageView&& other) noexcept {
    if (this != &other) {
        if (owned_) platform::closeSharedMemory(mapping_);
        mapping_ = std::exchange(other.mapping_, platform::SharedMapping{});
        name_ = std::move(other.name_);
        layout_ = other.layout_;
        owned_ = other.owned_;
        std::copy(std::begin(other.counts_), std::end(other.counts_), counts_);
        std::copy(std::begin(other.offsets_), std::end(other.offsets_), offsets_);
    }
    return *this;
}

ImageView::~ImageView() {
    if (owned_) platform::closeSharedMemory(mapping_);
}

bool ImageView::intact(std::string& problem) const {
    // A buffer of the caller's cannot shrink; a view that maps nothing has nothing to lose.
    if (!owned_ || mapping_.view == nullptr) return true;
    const std::size_t now = platform::sharedMemorySize(mapping_);
    if (now >= mapping_.size) return true;
    problem = "image \"" + name_ + "\" shrank to " + std::to_string(now) + " bytes while mapped (it had " +
              std::to_string(mapping_.size) + "); it is no longer read or written";
    return false;
}

uint32_t ImageView::imageSizeField() const {
    return static_cast<uint32_t>(image_check::wordAt(base(), size(), kImageSizeOffset));
}

int32_t ImageView::count(int area) const { return area >= 0 && area < kAreaCount ? counts_[area] : 0; }

uint32_t ImageView::areaOffset(int area) const { return area >= 0 && area < kAreaCount ? offsets_[area] : 0; }

unsigned char* ImageView::slot(int area, int32_t index) const {
    if (area < 0 || area >= kAreaCount || index < 0 || index >= count(area)) return nullptr;
    const uint64_t width = static_cast<uint64_t>(slotSize(layout_, area));
    const uint64_t at = areaOffset(area) + static_cast<uint64_t>(index) * width;
    if (at + width > size()) return nullptr;
    return base() + at;
}

int32_t* ImageView::indexTable(int32_t tableOffset) const {
    if (!layout_.hasIndexTables) return nullptr;
    // The tables live in the header, which validation found inside the image.
    if (tableOffset < 0 || tableOffset > layout_.headerSize - 4 * kIndexTableLength) return nullptr;
    return reinterpret_cast<int32_t*>(base() + tableOffset);
}

float ImageView::read(const float* word) {
    return std::bit_cast<float>(__atomic_load_n(reinterpret_cast<const int32_t*>(word), __ATOMIC_RELAXED));
}

void ImageView::write(float* word, float value) {
    __atomic_store_n(reinterpret_cast<int32_t*>(word), std::bit_cast<int32_t>(value), __ATOMIC_RELAXED);
}

std::string foreignImageProblem(const std::string& name, const platform::ObjectOwner& owner) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(owner.mode & 07777));
    const std::string user = std::to_string(owner.user);
    if (owner.symbolicLink)
        return "image \"" + name + "\" is a symbolic link belonging to user " + user + "; it is not followed";
    if (!owner.regular)
        return "image \"" + name + "\" is not a shared memory object (user " + user + ", mode " + mode +
               "); it is not used";
    return "image \"" + name + "\" belongs to user " + user + " with mode " + mode + "; it is not used";
}

}  // namespace qv
