// A program image laid out in process memory for the unit tests of the debug services:
// the header, the areas, the executive's globals and the control variables bound as the
// program binds them. The buffer holds exactly the bytes of the layout, so that
// AddressSanitizer reports any access past the image.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/debug/debug.h"
#include "runtime/executive/executive.h"

namespace qvtest {

class MemoryImage {
public:
    // The test model's counts by default, with room for a few more reals and characters.
    explicit MemoryImage(std::array<int32_t, 4> counts = {40, 555, 20, 64}) : counts_(counts) {
        using namespace qv;
        const AreaOffsets offsets = computeAreaOffsets(kLayout, counts.data());
        bytes_.assign(offsets.end, 0);
        unsigned char* image = bytes_.data();
        writeWord(kImageSizeOffset, static_cast<int32_t>(offsets.end));
        for (int area = 0; area < kAreaCount; ++area) writeWord(kLayout.countsOffset + 4 * area, counts[area]);
        writeWord(kLayout.offsetsOffset + 0, static_cast<int32_t>(offsets.offsetBool));
        writeWord(kLayout.offsetsOffset + 4, static_cast<int32_t>(offsets.offsetInt));
        writeWord(kLayout.offsetsOffset + 8, static_cast<int32_t>(offsets.offsetFloat));
        writeWord(kLayout.offsetsOffset + 12, static_cast<int32_t>(offsets.offsetChar));

        memHeader = image;
        shared_memory = image;
        qv::imageSize = offsets.end;
        initPointersValues(image, &mem);
        for (int area = 0; area < kAreaCount; ++area) {
            minSize[area] = 0;
            maxSize[area] = counts[area];
            memSize[area] = counts[area];
        }
        minBool = 0;
        minInt = kLayout.execstatusSlot;
        minFloat = kMinFloatFloor;
        minChar = 0;
        maxBool = counts[0];
        maxInt = counts[1];
        maxFloat = counts[2];
        maxChar = counts[3];
        pospid = maxInt - kPospidFromEnd;
        posmxsimucounter = maxInt - kSimuCounterFromEnd;
        posmxmicrostepcounter = maxInt - kMicroStepCounterFromEnd;
        controlVariablesAccessInitialization();
        *cycleCounterSlot() = 1;
        *simuperiod = 50000.0f;
    }

    ~MemoryImage() {
        memHeader = nullptr;
        shared_memory = nullptr;
        mem = QV_Bases{nullptr, nullptr, nullptr, nullptr};
        for (int area = 0; area < qv::kAreaCount; ++area) memSize[area] = 0;
    }

    MemoryImage(const MemoryImage&) = delete;
    MemoryImage& operator=(const MemoryImage&) = delete;

    unsigned char* base() { return bytes_.data(); }
    int32_t count(int area) const { return counts_[static_cast<std::size_t>(area)]; }
    std::size_t size() const { return bytes_.size(); }

    unsigned char* boolSlot(int32_t i) { return qv::boolSlot(mem.boolBase, i); }
    int32_t* intSlot(int32_t i) { return qv::intSlot(mem.intBase, i); }
    float* realSlot(int32_t i) { return qv::realSlot(mem.realBase, i); }
    unsigned char* charSlot(int32_t i) { return qv::charSlot(mem.charBase, i); }
    int32_t* table(int32_t offset) { return reinterpret_cast<int32_t*>(base() + offset); }

    // The five tables, as the supervisor sees them.
    int32_t* boolTrace() { return table(qv::kBoolTraceTableOffset); }
    int32_t* intTrace() { return table(qv::kIntTraceTableOffset); }
    int32_t* realTrace() { return table(qv::kRealTraceTableOffset); }
    int32_t* charTrace() { return table(qv::kCharTraceTableOffset); }
    int32_t* boolBreakpoints() { return table(qv::kBoolBreakpointTableOffset); }

    void setBool(int32_t i, bool current, bool old) {
        unsigned char* s = boolSlot(i);
        *s = static_cast<unsigned char>((*s & ~3u) | (current ? 1u : 0u) | (old ? 2u : 0u));
    }
    void setInt(int32_t i, int32_t current, int32_t old) {
        intSlot(i)[0] = current;
        intSlot(i)[1] = old;
    }
    void setReal(int32_t i, float current, float old) {
        realSlot(i)[0] = current;
        realSlot(i)[1] = old;
    }
    void setChar(int32_t i, unsigned char current, unsigned char old) {
        charSlot(i)[0] = current;
        charSlot(i)[qv::kCharOldOffset] = old;
    }

private:
    void writeWord(int32_t offset, int32_t value) { std::memcpy(bytes_.data() + offset, &value, sizeof value); }
    std::array<int32_t, 4> counts_;
    std::vector<unsigned char> bytes_;
};

}  // namespace qvtest
