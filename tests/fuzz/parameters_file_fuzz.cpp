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

struct Fixture {
    qvtest::TestImage image;
    std::vector<unsigned char> header;

    Fixture() {
        if (!image.ok()) {
            std::fprintf(stderr, "the image could not be laid out\n");
            std::abort();
        }
        header.assign(shared_memory, mem.boolBase);
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
    if (std::memcmp(fixture->header.data(), shared_memory, fixture->header.size()) != 0) {
        std::fprintf(stderr, "the parameters file changed the image header\n");
        std::abort();
    }
    return 0;
}
