// A supervisor's view of a program's image: maps it by name (or takes a buffer) and
// finds the header fields, areas, slots and control variables from the layout
// constants. Works for every revision. It is only made over an image that passed
// validateImage, and it never reads or writes outside the mapping.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "runtime/executive/image_layout.h"
#include "runtime/platform/platform.h"
#include "runtime/executive/image_check.h"

namespace qv {

class ImageView {
public:
    // Maps the existing image `name`. `revision` 0 recognises the layout (revision 1 or
    // the shared layout of revisions 2 and 3, reported as 3). Nothing when there is no
    // such image or it fails validateImage; `problem` then says why in one line.
    // Only an image of this process's own user, closed to group and others, is mapped:
    // another user could read, drive or shrink it under the supervisor. A symbolic link is
    // never followed. `readOnly` maps it for reading only: a write through the view faults.
    static std::optional<ImageView> attach(const std::string& name, int revision = 0);
    static std::optional<ImageView> attach(const std::string& name, int revision, std::string& problem,
                                           bool readOnly = false);

    // A view of `size` bytes at `image` that the caller owns and keeps alive, checked as
    // attach checks a mapping (`name` only names it in the problem line).
    static std::optional<ImageView> over(unsigned char* image, std::size_t size, int revision, std::string& problem,
                                         const std::string& name = "buffer");

    ImageView(ImageView&& other) noexcept;
    ImageView& operator=(ImageView&& other) noexcept;
    ImageView(const ImageView&) = delete;
    ImageView& operator=(const ImageView&) = delete;
    ~ImageView();

    // False, with the one line that says so, when the image has shrunk below the mapping
    // since it was mapped (a touch past its new end would kill the process). Every face
    // asks before it touches the image again after a pause.
    bool intact(std::string& problem) const;

    const std::string& name() const { return name_; }
    unsigned char* base() const { return mapping_.view; }
    std::size_t size() const { return mapping_.size; }
    const ImageLayout& layout() const { return layout_; }
    int revision() const { return layout_.revision; }

    // Header fields. The counts and offsets are those validated when the view was made.
    uint32_t imageSizeField() const;
    int32_t count(int area) const;         // memBool .. memChar
    uint32_t areaOffset(int area) const;   // offsetBool .. offsetChar

    // Slot addresses, or null when the index lies outside the area or the mapping.
    unsigned char* slot(int area, int32_t index) const;
    unsigned char* boolSlot(int32_t index) const { return slot(kAreaBool, index); }
    int32_t* intSlot(int32_t index) const { return reinterpret_cast<int32_t*>(slot(kAreaInt, index)); }
    float* realSlot(int32_t index) const { return reinterpret_cast<float*>(slot(kAreaReal, index)); }
    unsigned char* charSlot(int32_t index) const { return slot(kAreaChar, index); }

    // Index tables (revisions 2 and 3), null otherwise.
    int32_t* indexTable(int32_t tableOffset) const;

    // Control variables (current values).
    int32_t* execstatus() const { return intSlot(layout_.execstatusSlot); }
    int32_t* controlInt(int32_t fromExec) const { return intSlot(layout_.execstatusSlot + fromExec); }
    int32_t* signature() const { return controlInt(kSignatureFromExec); }
    float* simuperiod() const { return realSlot(kSimuperiodSlot); }
    // The runtime slots at the end of the integer area (the programs use all of it).
    int32_t* pospid() const { return intSlot(count(kAreaInt) - kPospidFromEnd); }
    int32_t* cycleCounter() const { return intSlot(count(kAreaInt) - kSimuCounterFromEnd); }

    // Relaxed single-word access, as the program sees the supervisor's writes.
    static int32_t read(const int32_t* word) { return __atomic_load_n(word, __ATOMIC_RELAXED); }
    static void write(int32_t* word, int32_t value) { __atomic_store_n(word, value, __ATOMIC_RELAXED); }
    static float read(const float* word);
    static void write(float* word, float value);

private:
    ImageView(platform::SharedMapping mapping, const ImageCheck& check, bool owned, std::string name);
    platform::SharedMapping mapping_;
    std::string name_;
    ImageLayout layout_;
    int32_t counts_[kAreaCount];
    uint32_t offsets_[kAreaCount];
    bool owned_;  // the mapping is this view's to close
};

// Why an existing image found under `name` is not used: it is another user's, open to
// group or others, a symbolic link, or no shared memory object at all. One line.
std::string foreignImageProblem(const std::string& name, const platform::ObjectOwner& owner);

}  // namespace qv
