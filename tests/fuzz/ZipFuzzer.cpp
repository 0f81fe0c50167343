// libFuzzer entry point over the ZIP reader.
#include "ZipFuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzZipArchive(data, size);
}
