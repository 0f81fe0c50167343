#include "shell/InterfacePackage.h"

#include <QCryptographicHash>
#include <QResource>
#include <cstdio>
#include <mutex>

#include "shell/Literals.h"

namespace shell {

std::string Md5Hex(const std::string& bytes) {
    return QCryptographicHash::hash(
               QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())),
               QCryptographicHash::Md5)
        .toHex()
        .toStdString();
}

bool LoadInterfacePackage() {
    static std::once_flag once;
    static std::string package;  // registered resource data must outlive the registration
    static bool registered = false;
    std::call_once(once, [] {
        package.resize(kPackageSize);
        for (std::size_t i = 0; i < kPackageSize; ++i)
            package[i] = static_cast<char>(kPackageBytes[i] ^ kPackageKey);
        if (Md5Hex(package) != PackageDigest()) {
            std::fprintf(stderr, "epub2pdf-gui: the interface package %s is damaged (digest mismatch)\n",
                         PackageName().c_str());
        }
        registered = QResource::registerResource(reinterpret_cast<const uchar*>(package.data()));
    });
    return registered;
}

}  // namespace shell
