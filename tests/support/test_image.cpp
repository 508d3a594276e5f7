#include "tests/support/test_image.h"

#include <cstdio>

#include "runtime/platform/platform.h"
#include "tests/support/program_run.h"

namespace qvtest {

TestImage::TestImage(uint32_t size) : name_(uniqueImageName("mem")) {
    using qv::platform::environmentVariable;
    using qv::platform::setEnvironmentVariable;
    savedName_ = environmentVariable("QV_MEMORY_NAME");
    savedSize_ = environmentVariable("QV_MEMORY_SIZE");
    setEnvironmentVariable("QV_MEMORY_NAME", name_);
    setEnvironmentVariable("QV_MEMORY_SIZE", std::to_string(size));
    memorySizeInit(minSize, maxSize, memSize);
    laidOut_ = qv::layOutImage();
    std::fflush(stdout);
    if (laidOut_ == 0) controlVariablesAccessInitialization();
}

TestImage::~TestImage() {
    destroyMemory();
    qv::platform::removeSharedMemory(name_);
    qv::platform::setEnvironmentVariable("QV_MEMORY_NAME", savedName_);
    qv::platform::setEnvironmentVariable("QV_MEMORY_SIZE", savedSize_);
}

}  // namespace qvtest
