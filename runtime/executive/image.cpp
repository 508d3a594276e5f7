// The shared memory image: opening it, laying out its header and areas, and the
// executive's globals that describe it.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/executive/executive.h"
#include "runtime/platform/platform.h"
#include "runtime/executive/image_check.h"

extern "C" {
unsigned char* shared_memory = nullptr;
int hmem = -1;
unsigned char* memHeader = nullptr;
QV_Bases mem = {nullptr, nullptr, nullptr, nullptr};

int32_t minSize[4] = {0, 0, 0, 0};
int32_t maxSize[4] = {0, 0, 0, 0};
int32_t memSize[4] = {0, 0, 0, 0};
int32_t minBool = 0, minInt = 0, minFloat = 0, minChar = 0;
int32_t maxBool = 0, maxInt = 0, maxFloat = 0, maxChar = 0;
int32_t pospid = 0, posmxsimucounter = 0, posmxmicrostepcounter = 0;
}

namespace qv {

uint32_t imageSize = 0;

namespace {

platform::SharedMapping mapping;

int32_t* headerWord(unsigned char* image, int32_t offset) {
    return reinterpret_cast<int32_t*>(image + offset);
}

// Revision 1 starts every slot of the program's ranges from a known state: all bytes 0,
// then the two-bit change mark at 1 in the flag byte.
[[maybe_unused]] void initialiseRevision1Slots() {
    for (int32_t i = minBool; i < maxBool; ++i) {
        unsigned char* s = boolSlot(mem.boolBase, i);
        std::memset(s, 0, kBoolSlotSize);
        s[1] = r1::kBoolChanged;
    }
    for (int32_t i = minInt; i < maxInt; ++i) {
        unsigned char* s = intSlotBytes(mem.intBase, i);
        std::memset(s, 0, kIntSlotSize);
        s[r1::kIntFlagsOffset] = r1::kIntChanged;
    }
    for (int32_t i = minFloat; i < maxFloat; ++i) {
        unsigned char* s = realSlotBytes(mem.realBase, i);
        std::memset(s, 0, kRealSlotSize);
        s[r1::kRealFlagsOffset] = r1::kChanged;
    }
    for (int32_t i = minChar; i < maxChar; ++i) {
        unsigned char* s = charSlot(mem.charBase, i);
        std::memset(s, 0, static_cast<std::size_t>(kCharSlotSize));
        s[r1::kCharFlagsOffset] = r1::kChanged;
    }
}


void printAllocation(uint32_t needed, uint32_t size) {
    std::printf("Allocated memory : %ld bytes on %ld bytes\n", static_cast<long>(needed),
                static_cast<long>(size));
}

void printInsufficient() { std::printf("insufficient size of shared memory\n"); }

// The process that runs on an existing image, or 0: its status is not FREE and its
// process slot names a live process other than this one. An image that is not soundly
// laid out (foreign, half made) or that a killed program left has nobody on it.
int32_t liveOwner(const platform::SharedMapping& existing, int32_t& status) {
    const ImageCheck check = validateImage(existing.view, existing.size, 0, "");
    if (!check.ok()) return 0;
    status = image_check::wordAt(existing.view, existing.size,
                                 int64_t{check.offsets[kAreaInt]} + int64_t{check.layout.execstatusSlot} * kIntSlotSize);
    const int32_t pid = processOf(existing.view, existing.size, check);
    if (status == kStatusFree || pid == platform::processId() || !platform::processAlive(pid)) return 0;
    return pid;
}

// An existing image that another user could reach was left as it was found; this says
// whose it is.
void reportForeignImage(const std::string& name, const platform::ObjectOwner& owner) {
    const unsigned long user = owner.user;
    const unsigned mode = owner.mode;
    if (owner.symbolicLink)
        std::fprintf(stderr, "image \"%s\" is a symbolic link belonging to user %lu; it is not followed\n",
                     name.c_str(), user);
    else if (!owner.regular)
        std::fprintf(stderr, "image \"%s\" is not a shared memory object (user %lu, mode %04o); it is not used\n",
                     name.c_str(), user, mode);
    else
        std::fprintf(stderr, "image \"%s\" belongs to user %lu with mode %04o; it is not used\n", name.c_str(),
                     user, mode);
}

// Maps the image without writing to it. Another user's image, and a live program's, are
// refused: the mapping is dropped and the reason is on standard error.
bool mapImage() {
    if (shared_memory != nullptr) return true;
    platform::SharedMapping opened = platform::openSharedMemory(requestedImageName(), requestedImageSize());
    if (opened.refused) reportForeignImage(requestedImageName(), opened.owner);
    if (opened.view == nullptr) return false;
    if (!opened.created) {
        // The whole object, in case this program asks for fewer bytes than its owner's.
        platform::SharedMapping whole = platform::attachSharedMemory(requestedImageName());
        int32_t status = 0;
        const int32_t owner = whole.view != nullptr ? liveOwner(whole, status) : liveOwner(opened, status);
        platform::closeSharedMemory(whole);
        if (owner != 0) {
            const std::string name = statusName(status);
            std::fprintf(stderr, "image %s is in use: program %ld runs on it (status %s); it is not taken over\n",
                         requestedImageName().c_str(), static_cast<long>(owner),
                         name.empty() ? std::to_string(status).c_str() : name.c_str());
            platform::closeSharedMemory(opened);
            return false;
        }
    }
    mapping = opened;
    shared_memory = mapping.view;
    hmem = mapping.handle;
    return true;
}

// The bytes the program may use: what was asked for, or less when another process
// created the image smaller.
uint32_t usableSize() { return static_cast<uint32_t>(std::min<std::size_t>(requestedImageSize(), mapping.size)); }

void recordImageSize() {
    imageSize = usableSize();
    if (mapping.size >= sizeof(uint32_t))
        *reinterpret_cast<uint32_t*>(shared_memory + kImageSizeOffset) = imageSize;
}

// An image refused for its size: one this program created goes again; one it found
// stays exactly as it was, for nothing has been written to it.
void dropRefusedImage() {
    const bool created = mapping.created;
    destroyMemory();
    memHeader = nullptr;
    if (created) platform::removeSharedMemory(requestedImageName());
}

}  // namespace

void computeEffectiveBounds() {
    minBool = std::max(minSize[kAreaBool], 0);
    minInt = std::max(minSize[kAreaInt], kLayout.execstatusSlot);
    minFloat = std::max(minSize[kAreaReal], kMinFloatFloor);
    minChar = std::max(minSize[kAreaChar], 0);
    maxBool = maxSize[kAreaBool];
    maxInt = maxSize[kAreaInt];
    maxFloat = maxSize[kAreaReal];
    maxChar = maxSize[kAreaChar];
    pospid = maxInt - kPospidFromEnd;
    posmxsimucounter = maxInt - kSimuCounterFromEnd;
    posmxmicrostepcounter = maxInt - kMicroStepCounterFromEnd;
}

int layOutImage() {
    const AreaOffsets offsets = computeAreaOffsets(kLayout, memSize);

    // An image that cannot hold the header is refused before anything is written.
    const uint32_t requested = requestedImageSize();
    if (requested < static_cast<uint32_t>(kLayout.headerSize)) {
        printAllocation(offsets.end, requested);
        printInsufficient();
        return 1;
    }
    // Nothing is written until the image is known to be free and large enough.
    if (!mapImage()) return -1;
    imageSize = usableSize();
    if (imageSize < offsets.end) {
        printAllocation(offsets.end, imageSize);
        printInsufficient();
        dropRefusedImage();
        return 1;
    }
    recordImageSize();
    memHeader = shared_memory;

    for (int area = 0; area < kAreaCount; ++area)
        *headerWord(memHeader, kLayout.countsOffset + 4 * area) = memSize[area];
    *headerWord(memHeader, kLayout.offsetsOffset + 0) = static_cast<int32_t>(offsets.offsetBool);
    *headerWord(memHeader, kLayout.offsetsOffset + 4) = static_cast<int32_t>(offsets.offsetInt);
    *headerWord(memHeader, kLayout.offsetsOffset + 8) = static_cast<int32_t>(offsets.offsetFloat);
    *headerWord(memHeader, kLayout.offsetsOffset + 12) = static_cast<int32_t>(offsets.offsetChar);

    printAllocation(offsets.end, imageSize);

    initPointersValues(memHeader, &mem);
    computeEffectiveBounds();
    if constexpr (kRevision == 1) initialiseRevision1Slots();

    std::printf(
        "minBool=%d min.Int=%d min.Float=%d min.Char=%d max.Bool=%d max.Int=%d max.Float=%d "
        "max.Char=%d\n",
        minBool, minInt, minFloat, minChar, maxBool, maxInt, maxFloat, maxChar);
    if constexpr (kRevision == 3)
        std::printf("memBool=%ld memInt=%ld memFloat=%ld memChar=%ld\n", static_cast<long>(memSize[0]),
                    static_cast<long>(memSize[1]), static_cast<long>(memSize[2]),
                    static_cast<long>(memSize[3]));
    if constexpr (kRevision == 2)
        std::printf("memBool=%ld mennt=%ld memFloat=%ld memChar=%ld\n", static_cast<long>(memSize[0]),
                    static_cast<long>(memSize[1]), static_cast<long>(memSize[2]),
                    static_cast<long>(memSize[3]));
    return 0;
}

}  // namespace qv

extern "C" {

unsigned char* openMemory(void) {
    using namespace qv;
    if (!mapImage()) return nullptr;
    recordImageSize();
    return shared_memory;
}

void initPointersValues(unsigned char* image, QV_Bases* bases) {
    const auto word = [image](int32_t offset) {
        return static_cast<std::size_t>(*reinterpret_cast<const uint32_t*>(image + offset));
    };
    const int32_t at = qv::kLayout.offsetsOffset;
    bases->boolBase = image + word(at + 0);
    bases->intBase = image + word(at + 4);
    bases->realBase = image + word(at + 8);
    bases->charBase = image + word(at + 12);
}

void closeMemory(unsigned char* /*image*/) {
    // The view and the mapping stay until the process ends, so the image lives on as
    // long as the supervisor holds it.
}

int destroyMemory(void) {
    qv::platform::closeSharedMemory(qv::mapping);
    shared_memory = nullptr;
    hmem = -1;
    return 1;
}

void eraseMemory(unsigned char* image) {
    // The length comes from the mapping, never from a header word a supervisor may write.
    if (image == nullptr || image != shared_memory) return;
    std::memset(image, 0, qv::mapping.size);
    if (qv::mapping.size >= sizeof(uint32_t))
        *reinterpret_cast<uint32_t*>(image + qv::kImageSizeOffset) = qv::imageSize;
}

uint32_t align(uint32_t value, uint32_t unit) { return qv::alignUp(value, unit); }

#if QV_REVISION == 2
int memoryOrganization(void) {
    const int laid = qv::layOutImage();
    if (laid == 1) std::exit(1);
    return laid == 0 ? 1 : 0;
}
#endif

}  // extern "C"
