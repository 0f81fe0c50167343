// libFuzzer entry point over the compactor.
#include "CompactorFuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzCompactor(data, size);
}
