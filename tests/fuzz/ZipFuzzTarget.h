// One fuzz input for the ZIP reader: the bytes are an archive file, extracted into a scratch folder.
#pragma once

#include <cstddef>
#include <cstdint>

int FuzzZipArchive(const std::uint8_t* data, std::size_t size);
