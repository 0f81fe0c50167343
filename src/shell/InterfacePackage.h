// The interface package: the skin's style sheet and images, compiled into a Qt binary resource and
// embedded scrambled with a one-byte key. Loading descrambles it, compares its MD5 digest with the one
// recorded at build time and registers it, so that ":/skin/..." names its files.
#pragma once

#include <cstddef>
#include <string>

#include "util/Scrambled.h"

namespace shell {

extern const unsigned char kPackageBytes[];
extern const std::size_t kPackageSize;
extern const unsigned char kPackageKey;
const std::string& PackageDigest();

// Descrambles and registers the package once; true when registered. A digest mismatch is reported on
// standard error and loading goes on.
bool LoadInterfacePackage();
// The 32 lower-case hexadecimal digits of the MD5 digest of bytes.
std::string Md5Hex(const std::string& bytes);

}  // namespace shell
