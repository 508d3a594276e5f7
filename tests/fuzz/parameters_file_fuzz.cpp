// Feeds arbitrary bytes to the parameters-file reader of the executive, as the file
// beside a program, over an image laid out by the runtime for the test model. Besides
// crashes it catches a write outside the four areas: the header of the image before the
// first area must come out of every file unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "runtime/executive/executive.h"
#include "tests/support/test_image.h"

namespace {

// A digest of the header, word by word: one comparison per input instead of one per byte
// (libFuzzer records the operands of every comparison it sees).
uint64_t headerDigest() {
    uint64_t digest = 0;
    const std::size_t words = static_cast<std::size_t>(mem.boolBase - shared_memory) / sizeof(uint64_t);
    for (std::size_t k = 0; k < words; ++k) {
        uint64_t word;
        std::memcpy(&word, shared_memory + k * sizeof word, sizeof word);
        digest = (digest ^ word) * 0x100000001b3ull;
    }
    return digest;
}

struct Fixture {
    qvtest::TestImage image;
    uint64_t header = 0;

    Fixture() {
        if (!image.ok()) {
            std::fprintf(stderr, "the image could not be laid out\n");
            std::abort();
        }
        header = headerDigest();
    }
};

std::unique_ptr<Fixture> fixture;

void removeImage() { fixture.reset(); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fixture = std::make_unique<Fixture>();
    std::atexit(removeImage);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) return 0;  // fmemopen wants at least one byte
    // A private copy: the stream must not see past the input.
    std::vector<char> bytes(data, data + size);
    std::FILE* file = fmemopen(bytes.data(), bytes.size(), "r");
    if (file == nullptr) return 0;
    qv::readParameters(file, "model_params.txt");
    std::fclose(file);
    if (headerDigest() != fixture->header) {
        std::fprintf(stderr, "the parameters file changed the image header\n");
        std::abort();
    }
    return 0;
}
