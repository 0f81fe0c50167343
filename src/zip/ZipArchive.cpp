#include "zip/ZipArchive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <system_error>
#include <vector>

#include "util/ByteOrder.h"
#include "util/Files.h"
#include "util/Format.h"
#include "util/Text.h"

namespace zip {
namespace {

constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kEnd64Signature = 0x06064b50;
constexpr std::uint32_t kEnd64LocatorSignature = 0x07064b50;
constexpr std::size_t kEnd64RecordSize = 56;
constexpr std::size_t kEnd64LocatorSize = 20;
constexpr std::uint16_t kZip64Extra = 0x0001;
constexpr std::uint32_t kNo32 = 0xffffffffu;      // "the value is in the ZIP64 extra field"
constexpr std::uint64_t kMaxEntries = 1'000'000;  // more is not a book, and would only fill memory
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kCentralRecordSize = 46;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kMaxComment = 65535;
constexpr std::size_t kChunk = 16384;
constexpr std::size_t kMaxPathBytes = 4095;      // PATH_MAX without the terminator
constexpr std::size_t kMaxComponentBytes = 255;  // NAME_MAX

std::uint16_t Get16(const std::uint8_t* p) {
    return util::ReadLittleEndian<std::uint16_t>(p);
}
std::uint32_t Get32(const std::uint8_t* p) {
    return util::ReadLittleEndian<std::uint32_t>(p);
}
std::uint64_t Get64(const std::uint8_t* p) {
    return util::ReadLittleEndian<std::uint64_t>(p);
}

// The ZIP64 extra field of a header: the 64-bit values of those of wanted that the header gave as
// 0xffffffff, in their order. False when they are needed and not all there.
bool ReadZip64Extra(const std::uint8_t* extra, size_t size, std::initializer_list<std::uint64_t*> wanted) {
    for (size_t p = 0; p + 4 <= size;) {
        const std::uint16_t id = Get16(extra + p);
        const size_t length = Get16(extra + p + 2);
        if (p + 4 + length > size)
            break;
        if (id == kZip64Extra) {
            size_t q = p + 4;
            for (std::uint64_t* value : wanted) {
                if (*value != kNo32)
                    continue;
                if (q + 8 > p + 4 + length)
                    return false;
                *value = Get64(extra + q);
                q += 8;
            }
            return true;
        }
        p += 4 + length;
    }
    for (std::uint64_t* value : wanted) {
        if (*value == kNo32)
            return false;
    }
    return true;
}

struct CentralRecord {
    std::uint16_t versionMadeBy = 0;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint16_t dosTime = 0;
    std::uint16_t dosDate = 0;
    std::uint32_t crc = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t uncompressedSize = 0;
    std::uint32_t externalAttributes = 0;
    std::uint64_t localOffset = 0;
    std::string rawName;
};

// The stripping rules for names: drive prefixes, one leading separator, and everything up to a
// "/../" sequence, repeated until none applies. Separators are '/' by then.
std::string StripName(std::string name) {
    for (;;) {
        if (name.size() >= 2 && name[1] == ':') {
            name.erase(0, 2);
            continue;
        }
        if (!name.empty() && name[0] == '/') {
            name.erase(0, 1);
            continue;
        }
        size_t up = name.find("/../");
        if (up != std::string::npos) {
            name.erase(0, up + 4);
            continue;
        }
        if (name.compare(0, 3, "../") == 0) {  // what is left of a folded climb: a\..\..\x gives x
            name.erase(0, 3);
            continue;
        }
        return name;
    }
}

// True when a name may be written below the base folder: relative, no ".." component, no NUL, and
// every component within the file system's bound.
bool IsSafeName(const std::string& name) {
    if (name.empty() || name[0] == '/' || name.find('\0') != std::string::npos)
        return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string::npos)
            end = name.size();
        std::string_view part = std::string_view(name).substr(start, end - start);
        if (part == ".." || part.size() > kMaxComponentBytes)
            return false;
        start = end + 1;
    }
    return true;
}

std::int64_t DosToUnix(std::uint16_t date, std::uint16_t time) {
    std::tm tm{};
    tm.tm_year = 80 + (date >> 9);
    tm.tm_mon = ((date >> 5) & 15) - 1;
    tm.tm_mday = date & 31;
    tm.tm_hour = time >> 11;
    tm.tm_min = (time >> 5) & 63;
    tm.tm_sec = 2 * (time & 31);
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);
    return t == static_cast<std::time_t>(-1) ? 0 : static_cast<std::int64_t>(t);
}

// Traditional PKWARE encryption.
class ZipCrypto {
  public:
    explicit ZipCrypto(const std::string& password) {
        for (char c : password) Update(static_cast<std::uint8_t>(c));
    }
    std::uint8_t Decrypt(std::uint8_t c) {
        std::uint16_t t = static_cast<std::uint16_t>(keys_[2] | 2);
        std::uint8_t plain = c ^ static_cast<std::uint8_t>((t * (t ^ 1)) >> 8);
        Update(plain);
        return plain;
    }

  private:
    void Update(std::uint8_t c) {
        keys_[0] = Crc(keys_[0], c);
        keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813u + 1;
        std::uint8_t high = static_cast<std::uint8_t>(keys_[1] >> 24);
        keys_[2] = Crc(keys_[2], high);
    }
    static std::uint32_t Crc(std::uint32_t crc, std::uint8_t c) {
        static const std::array<std::uint32_t, 256> table = [] {
            std::array<std::uint32_t, 256> t{};
            for (std::uint32_t n = 0; n < 256; ++n) {
                std::uint32_t v = n;
                for (int k = 0; k < 8; ++k) v = (v & 1) ? 0xEDB88320u ^ (v >> 1) : v >> 1;
                t[n] = v;
            }
            return t;
        }();
        return table[(crc ^ c) & 0xFF] ^ (crc >> 8);
    }
    std::array<std::uint32_t, 3> keys_{0x12345678u, 0x23456789u, 0x34567890u};
};

}  // namespace

struct ZipArchive::State {
    int fd = -1;
    std::uint64_t fileSize = 0;
    std::uint64_t centralDirOffset = 0;
    std::uint32_t entryCount = 0;
    std::uint64_t prefixBytes = 0;
    std::string password;
    std::string baseFolder;
    std::vector<CentralRecord> records;  // the readable prefix of the central directory
    std::vector<std::uint8_t> readBuffer;
    int cachedIndex = -1;
    ZipEntry cachedEntry;
    std::uint64_t dataOffset = 0;  // of the cached entry, after its local header
    int writeError = 0;            // the errno of the first output that could not be written

    bool ReadAt(std::uint64_t offset, void* buffer, size_t size) const {
        auto* p = static_cast<std::uint8_t*>(buffer);
        while (size > 0) {
            ssize_t n = ::pread(fd, p, size, static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            p += n;
            offset += static_cast<std::uint64_t>(n);
            size -= static_cast<size_t>(n);
        }
        return true;
    }
};

ZipArchive::ZipArchive() : state_(std::make_unique<State>()) {}

ZipArchive::~ZipArchive() {
    Close();
}

void ZipArchive::Close() {
    if (state_->fd >= 0)
        ::close(state_->fd);
    state_ = std::make_unique<State>();
}

std::uint64_t ZipArchive::DeclaredTotalSize() const {
    std::uint64_t total = 0;
    for (const CentralRecord& r : state_->records) total += r.uncompressedSize;
    return total;
}

std::uint32_t ZipArchive::Open(const std::string& archivePath, const std::string& password) {
    if (state_->fd >= 0)
        return kAlreadyOpen;
    int fd = ::open(archivePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return kNoFile;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return kNoFile;
    }
    State& s = *state_;
    s.fd = fd;
    s.fileSize = static_cast<std::uint64_t>(st.st_size);
    s.password = password;

    // The end record is within the last 22 + 65,535 bytes; the last signature found wins.
    const std::uint64_t tailSize = std::min<std::uint64_t>(s.fileSize, kEndRecordSize + kMaxComment);
    std::vector<std::uint8_t> tail(tailSize);
    if (tailSize < kEndRecordSize || !s.ReadAt(s.fileSize - tailSize, tail.data(), tail.size())) {
        Close();
        return kCorrupt;
    }
    std::int64_t found = -1;
    for (std::int64_t i = static_cast<std::int64_t>(tailSize - kEndRecordSize); i >= 0; --i) {
        if (Get32(&tail[static_cast<size_t>(i)]) == kEndSignature) {
            found = i;
            break;
        }
    }
    if (found < 0) {
        Close();
        return kCorrupt;
    }
    const std::uint8_t* end = &tail[static_cast<size_t>(found)];
    const std::uint64_t recordPos = s.fileSize - tailSize + static_cast<std::uint64_t>(found);
    std::uint32_t disk = Get16(end + 4), cdDisk = Get16(end + 6);
    std::uint64_t entriesHere = Get16(end + 8), entriesTotal = Get16(end + 10);
    std::uint64_t cdSize = Get32(end + 12), cdOffset = Get32(end + 16);
    // A ZIP64 archive (more than 65,535 entries, or offsets past 4 GiB) says where its ZIP64 end record
    // is in a locator just before the end record; that record's values stand.
    std::uint64_t directoryEnd = recordPos;  // where the central directory's last record ends
    std::array<std::uint8_t, kEnd64LocatorSize> locator{};
    if (recordPos >= kEnd64LocatorSize &&
        s.ReadAt(recordPos - kEnd64LocatorSize, locator.data(), locator.size()) &&
        Get32(locator.data()) == kEnd64LocatorSignature) {
        const std::uint64_t end64Offset = Get64(&locator[8]);
        const std::uint64_t locatorPos = recordPos - kEnd64LocatorSize;
        // The record is where the locator says, or that far after a prefix (a self-extracting stub):
        // either way it ends just before the locator.
        std::array<std::uint8_t, kEnd64RecordSize> end64{};
        if (locatorPos < kEnd64RecordSize || end64Offset > locatorPos - kEnd64RecordSize ||
            !s.ReadAt(locatorPos - kEnd64RecordSize, end64.data(), end64.size()) ||
            Get32(end64.data()) != kEnd64Signature || Get32(&locator[4]) != 0 || Get32(&locator[16]) > 1) {
            Close();
            return kCorrupt;
        }
        disk = Get32(&end64[16]);
        cdDisk = Get32(&end64[20]);
        entriesHere = Get64(&end64[24]);
        entriesTotal = Get64(&end64[32]);
        cdSize = Get64(&end64[40]);
        cdOffset = Get64(&end64[48]);
        directoryEnd = locatorPos - kEnd64RecordSize;
    }
    if (disk != 0 || cdDisk != 0 || entriesHere != entriesTotal || cdOffset > directoryEnd ||
        cdSize > directoryEnd - cdOffset || entriesTotal > kMaxEntries) {
        Close();
        return kCorrupt;
    }
    s.prefixBytes = directoryEnd - (cdOffset + cdSize);
    s.centralDirOffset = cdOffset;
    s.entryCount = static_cast<std::uint32_t>(entriesTotal);

    // Read the central directory; a broken record ends the readable part.
    std::vector<std::uint8_t> directory(cdSize);
    if (cdSize > 0 && !s.ReadAt(cdOffset + s.prefixBytes, directory.data(), cdSize)) {
        Close();
        return kReadFailed;
    }
    size_t pos = 0;
    for (std::uint32_t i = 0; i < s.entryCount; ++i) {
        if (pos + kCentralRecordSize > directory.size())
            break;
        const std::uint8_t* r = &directory[pos];
        if (Get32(r) != kCentralSignature)
            break;
        CentralRecord rec;
        rec.versionMadeBy = Get16(r + 4);
        rec.flags = Get16(r + 8);
        rec.method = Get16(r + 10);
        rec.dosTime = Get16(r + 12);
        rec.dosDate = Get16(r + 14);
        rec.crc = Get32(r + 16);
        rec.compressedSize = Get32(r + 20);
        rec.uncompressedSize = Get32(r + 24);
        const size_t nameLength = Get16(r + 28), extraLength = Get16(r + 30), commentLength = Get16(r + 32);
        rec.externalAttributes = Get32(r + 38);
        rec.localOffset = Get32(r + 42);
        if (pos + kCentralRecordSize + nameLength + extraLength > directory.size())
            break;
        rec.rawName.assign(reinterpret_cast<const char*>(r + kCentralRecordSize), nameLength);
        if (!ReadZip64Extra(r + kCentralRecordSize + nameLength, extraLength,
                            {&rec.uncompressedSize, &rec.compressedSize, &rec.localOffset}))
            break;
        s.records.push_back(std::move(rec));
        pos += kCentralRecordSize + nameLength + extraLength + commentLength;
    }
    return kOk;
}

std::uint32_t ZipArchive::GetItem(int index, ZipEntry& entry) {
    State& s = *state_;
    if (s.fd < 0)
        return kBadArguments;
    if (index < -1 || (index >= 0 && static_cast<std::uint32_t>(index) >= s.entryCount))
        return kBadArguments;
    if (index == -1) {
        entry = ZipEntry{};
        entry.index = static_cast<int>(s.entryCount);
        return kOk;
    }
    if (index == s.cachedIndex) {
        entry = s.cachedEntry;
        return kOk;
    }
    if (static_cast<size_t>(index) >= s.records.size())
        return kCorrupt;  // behind a broken record
    const CentralRecord& rec = s.records[static_cast<size_t>(index)];

    // The local header must agree with the central record.
    std::array<std::uint8_t, kLocalHeaderSize> local{};
    const std::uint64_t localPos = rec.localOffset + s.prefixBytes;
    if (!s.ReadAt(localPos, local.data(), local.size()))
        return kReadFailed;
    if (Get32(local.data()) != kLocalSignature)
        return kCorrupt;
    const std::uint16_t method = Get16(&local[8]);
    if (method != rec.method || (method != 0 && method != 8))
        return kCorrupt;
    const size_t nameLength = Get16(&local[26]), extraLength = Get16(&local[28]);
    if (nameLength != rec.rawName.size())
        return kCorrupt;
    // The local header must name the same file: an entry that is another file to a reader of local
    // headers is not extracted.
    std::string localName(nameLength, '\0');
    if (nameLength > 0 &&
        !s.ReadAt(localPos + kLocalHeaderSize, reinterpret_cast<std::uint8_t*>(localName.data()), nameLength))
        return kReadFailed;
    if (localName != rec.rawName)
        return kCorrupt;
    std::vector<std::uint8_t> extra(extraLength);
    if (extraLength > 0 && !s.ReadAt(localPos + kLocalHeaderSize + nameLength, extra.data(), extraLength)) {
        return kReadFailed;
    }
    if ((rec.flags & 8) == 0) {
        std::uint64_t compressed = Get32(&local[18]), uncompressed = Get32(&local[22]);
        if (Get32(&local[14]) != rec.crc ||
            !ReadZip64Extra(extra.data(), extra.size(), {&uncompressed, &compressed}) ||
            compressed != rec.compressedSize || uncompressed != rec.uncompressedSize) {
            return kCorrupt;
        }
    }

    ZipEntry e;
    e.index = index;
    // Names are taken as UTF-8; over-long names are refused rather than cut into another name.
    // A name that begins by climbing out of the folder is refused, not rewritten.
    if (rec.rawName.size() < kMaxNameBytes) {
        std::string name = util::ValidUtf8(rec.rawName);
        std::replace(name.begin(), name.end(), '\\', '/');
        if (name != ".." && name.compare(0, 3, "../") != 0)
            e.name = StripName(name);
        if (!IsSafeName(e.name))
            e.name.clear();
    }

    const std::uint32_t a = rec.externalAttributes;
    const std::uint8_t host = static_cast<std::uint8_t>(rec.versionMadeBy >> 8);
    bool directory = (a & 0x40000000u) != 0, readOnly = (a & 0x00800000u) == 0;
    bool hidden = false, system = false, archive = true;
    if (host == 0 || host == 7 || host == 11 || host == 14) {
        readOnly = (a & 0x01) != 0;
        hidden = (a & 0x02) != 0;
        system = (a & 0x04) != 0;
        directory = (a & 0x10) != 0;
        archive = (a & 0x20) != 0;
    } else {
        e.symbolicLink = ((a >> 16) & S_IFMT) == S_IFLNK;
        e.unixPermissions = (a >> 16) & 0777;
    }
    if (!e.name.empty() && e.name.back() == '/')
        directory = true;
    e.attributes = (readOnly ? kAttrReadOnly : 0) | (hidden ? kAttrHidden : 0) | (system ? kAttrSystem : 0) |
                   (directory ? kAttrDirectory : 0) | (archive ? kAttrArchive : 0);

    e.writeTime = e.accessTime = e.creationTime = DosToUnix(rec.dosDate, rec.dosTime);
    for (size_t p = 0; p + 4 <= extra.size();) {
        const std::uint16_t id = Get16(&extra[p]);
        const size_t size = Get16(&extra[p + 2]);
        if (id == 0x5455 && size >= 1 && p + 4 + size <= extra.size()) {
            const std::uint8_t flags = extra[p + 4];
            size_t q = p + 5;
            const size_t blockEnd = p + 4 + size;
            std::int64_t* times[] = {&e.writeTime, &e.accessTime, &e.creationTime};
            for (int bit = 0; bit < 3; ++bit) {
                if ((flags & (1 << bit)) == 0)
                    continue;
                if (q + 4 > blockEnd)
                    break;
                *times[bit] = static_cast<std::int32_t>(Get32(&extra[q]));
                q += 4;
            }
            break;
        }
        p += 4 + size;
    }
    e.compressedSize = rec.compressedSize;
    e.uncompressedSize = rec.uncompressedSize;

    s.cachedIndex = index;
    s.cachedEntry = e;
    s.dataOffset = localPos + kLocalHeaderSize + nameLength + extraLength;
    entry = e;
    return kOk;
}

std::uint32_t ZipArchive::SetBaseFolder(const std::string& folder) {
    std::string f = folder;
    std::replace(f.begin(), f.end(), '\\', '/');
    if (f.empty() || f.back() != '/')
        f += '/';
    if (f.size() > kMaxPathBytes)
        return kBadArguments;
    state_->baseFolder = f;
    return kOk;
}

namespace {

// Errors of the disk rather than of the entry: the output could not be written whatever it held.
bool IsDiskError(int error) {
    return error == ENOSPC || error == EDQUOT || error == EFBIG || error == EIO || error == EROFS;
}

// Creates base and then each folder of relative below it, one level at a time.
bool CreateFolders(const std::string& base, const std::string& relative) {
    if (::mkdir(base.c_str(), 0755) != 0 && errno != EEXIST)
        return false;
    std::string path = base;
    size_t start = 0;
    while (start < relative.size()) {
        size_t end = relative.find('/', start);
        if (end == std::string::npos)
            end = relative.size();
        if (end > start) {
            path += relative.substr(start, end - start);
            struct stat st {};
            if (::lstat(path.c_str(), &st) != 0) {
                if (::mkdir(path.c_str(), 0755) != 0)
                    return false;
            } else if (!S_ISDIR(st.st_mode)) {
                return false;  // a file or a link stands where a folder belongs
            }
            path += '/';
        }
        start = end + 1;
    }
    return true;
}

}  // namespace

std::uint32_t ZipArchive::ExtractItem(int index, const std::string& name) {
    State& s = *state_;
    if (s.fd < 0)
        return kBadArguments;
    if (index < 0 || static_cast<std::uint32_t>(index) >= s.entryCount)
        return kBadArguments;
    ZipEntry entry;
    if (std::uint32_t code = GetItem(index, entry); code != kOk)
        return code;
    if (entry.symbolicLink)
        return kNoFile;
    const CentralRecord& rec = s.records[static_cast<size_t>(index)];

    std::string relative = name;
    std::replace(relative.begin(), relative.end(), '\\', '/');
    if (!IsSafeName(relative) || s.baseFolder.size() + relative.size() > kMaxPathBytes)
        return kNoFile;

    auto noteDiskError = [&s] {
        if (s.writeError == 0 && IsDiskError(errno))
            s.writeError = errno;
    };
    if (entry.attributes & kAttrDirectory) {
        if (CreateFolders(s.baseFolder, relative))
            return kOk;
        noteDiskError();
        return kNoFile;
    }
    const size_t slash = relative.rfind('/');
    const std::string folderPart = slash == std::string::npos ? std::string() : relative.substr(0, slash + 1);
    const std::string fileName = slash == std::string::npos ? relative : relative.substr(slash + 1);
    if (fileName.empty() || fileName == ".")
        return kNoFile;
    if (!CreateFolders(s.baseFolder, folderPart)) {
        noteDiskError();
        return kNoFile;
    }
    const std::string outputPath = s.baseFolder + folderPart + fileName;
    // Unix permissions keep their execute bits (a browser snapshot holds programs), never set-id bits or
    // write access for others; read-only entries get no write bit at all.
    mode_t mode =
        entry.unixPermissions != 0 ? static_cast<mode_t>((entry.unixPermissions & 0755) | 0400) : 0644;
    if (entry.attributes & kAttrReadOnly)
        mode &= static_cast<mode_t>(~0222);
    int out = ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, mode);
    if (out < 0) {
        noteDiskError();
        return kNoFile;
    }

    std::uint32_t result = kOk;
    std::vector<std::uint8_t> input(kChunk);
    if (s.readBuffer.empty())
        s.readBuffer.resize(kChunk);
    std::uint64_t inputOffset = s.dataOffset;
    std::uint64_t compressedLeft = rec.compressedSize;
    std::uint64_t uncompressedLeft = rec.uncompressedSize;
    std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, nullptr, 0));

    std::unique_ptr<ZipCrypto> crypto;
    if (rec.flags & 1) {
        std::array<std::uint8_t, 12> header{};
        const std::uint8_t check = (rec.flags & 8) ? static_cast<std::uint8_t>(rec.dosTime >> 8)
                                                   : static_cast<std::uint8_t>(rec.crc >> 24);
        if (s.password.empty() || compressedLeft < header.size() ||
            !s.ReadAt(inputOffset, header.data(), header.size())) {
            result = kWrongPassword;
        } else {
            crypto = std::make_unique<ZipCrypto>(s.password);
            std::uint8_t last = 0;
            for (std::uint8_t b : header) last = crypto->Decrypt(b);
            if (last != check)
                result = kWrongPassword;
            inputOffset += header.size();
            compressedLeft -= header.size();
        }
    }

    z_stream zs{};
    const bool deflated = rec.method == 8;
    bool inflating = false;
    if (result == kOk && deflated) {
        inflating = inflateInit2(&zs, -MAX_WBITS) == Z_OK;
        if (!inflating)
            result = kInflateFailed;
    }

    auto readInput = [&]() -> bool {
        const size_t n = std::min<size_t>(kChunk, compressedLeft);
        if (!s.ReadAt(inputOffset, input.data(), n))
            return false;
        if (crypto) {
            for (size_t i = 0; i < n; ++i) input[i] = crypto->Decrypt(input[i]);
        }
        inputOffset += n;
        compressedLeft -= n;
        zs.next_in = input.data();
        zs.avail_in = static_cast<uInt>(n);
        return true;
    };

    bool streamEnded = false;
    while (result == kOk && uncompressedLeft > 0 && !streamEnded) {
        const size_t want = std::min<size_t>(kChunk, uncompressedLeft);
        size_t produced = 0;
        if (zs.avail_in == 0 && compressedLeft > 0 && !readInput()) {
            result = kInflateFailed;
            break;
        }
        if (!deflated) {
            produced = std::min<size_t>(want, zs.avail_in);
            if (produced == 0)
                break;  // the stored data ended early
            std::memcpy(s.readBuffer.data(), zs.next_in, produced);
            zs.next_in += produced;
            zs.avail_in -= static_cast<uInt>(produced);
        } else {
            zs.next_out = s.readBuffer.data();
            zs.avail_out = static_cast<uInt>(want);
            const int rc = inflate(&zs, Z_SYNC_FLUSH);
            produced = want - zs.avail_out;
            if (rc == Z_STREAM_END) {
                streamEnded = true;
            } else if (rc != Z_OK && !(rc == Z_BUF_ERROR && produced > 0)) {
                result = kInflateFailed;
            } else if (produced == 0 && zs.avail_in == 0 && compressedLeft == 0) {
                break;  // the compressed data ended before the stream did
            }
        }
        if (produced > 0) {
            crc = static_cast<std::uint32_t>(crc32(crc, s.readBuffer.data(), static_cast<uInt>(produced)));
            uncompressedLeft -= produced;
            if (!util::WriteAll(
                    out, std::string_view(reinterpret_cast<const char*>(s.readBuffer.data()), produced))) {
                if (s.writeError == 0)
                    s.writeError = errno != 0 ? errno : EIO;
                result = kWriteFailed;
            }
        }
    }
    if (inflating)
        inflateEnd(&zs);
    // Data that does not match its checksum, or ended early, is damaged: nothing of it stays.
    if (result == kOk && (uncompressedLeft > 0 || crc != rec.crc))
        result = kCorrupt;

    if (result == kOk) {
        struct timespec times[2];
        times[0].tv_sec = static_cast<time_t>(entry.accessTime);
        times[0].tv_nsec = 0;
        times[1].tv_sec = static_cast<time_t>(entry.writeTime);
        times[1].tv_nsec = 0;
        ::futimens(out, times);
    }
    if (::close(out) != 0 && result == kOk) {
        if (s.writeError == 0)
            s.writeError = errno != 0 ? errno : EIO;
        result = kWriteFailed;
    }
    if (result != kOk)
        ::unlink(outputPath.c_str());
    return result;
}

bool ZipArchive::ExtractAll(const std::string& destFolder, const std::string& archivePath,
                            const std::string& password) {
    ZipArchive archive;
    if (archive.Open(archivePath, password) != kOk)
        return false;
    if (archive.DeclaredTotalSize() > kMaxTotalBytes)
        return false;
    ::mkdir(destFolder.c_str(), 0755);
    archive.ExtractEntries(destFolder);
    return true;
}

util::Status ZipArchive::Extract(const std::string& destFolder, const std::string& archivePath,
                                 std::vector<std::string>* damagedEntries) {
    struct stat st {};
    if (::stat(archivePath.c_str(), &st) != 0) {
        return util::Status::Failure(errno == ENOENT ? "the file does not exist" : "the file cannot be read");
    }
    if (!S_ISREG(st.st_mode))
        return util::Status::Failure("not a file");
    ZipArchive archive;
    const std::uint32_t opened = archive.Open(archivePath);
    if (opened == kNoFile)
        return util::Status::Failure("the file cannot be read");
    if (opened != kOk)
        return util::Status::Failure("not a readable ZIP archive");
    if (archive.DeclaredTotalSize() > kMaxTotalBytes) {
        return util::Status::Failure(
            util::FormatString("the archive declares %d MiB, more than the 2048 MiB allowed",
                               static_cast<int>(archive.DeclaredTotalSize() >> 20)));
    }
    if (::mkdir(destFolder.c_str(), 0755) != 0 && errno != EEXIST) {
        return util::Status::Failure("cannot create the folder " + destFolder);
    }
    const std::vector<std::string> damaged = archive.ExtractEntries(destFolder);
    if (damagedEntries != nullptr)
        *damagedEntries = damaged;
    // An entry that could not be written is not the book's fault: the book cannot be unpacked whole.
    if (const int error = archive.state_->writeError; error != 0)
        return util::Status::Failure(std::string("the book cannot be unpacked: ") +
                                     (error == ENOSPC || error == EDQUOT
                                          ? "the disk is full"
                                          : std::error_code(error, std::generic_category()).message()));
    return {};
}

std::vector<std::string> ZipArchive::ExtractEntries(const std::string& destFolder) {
    std::vector<std::string> damaged;
    ZipEntry entry;
    GetItem(-1, entry);
    const int count = entry.index;
    SetBaseFolder(destFolder);
    for (int i = 0; i < count; ++i) {
        entry = ZipEntry{};
        const std::uint32_t read = GetItem(i, entry);
        const std::uint32_t result = read == kOk ? ExtractItem(i, entry.name) : read;
        if (result != kCorrupt && result != kInflateFailed)
            continue;
        // Named as the central directory names it (the local header may not be readable at all).
        std::string name = entry.name;
        if (name.empty() && static_cast<size_t>(i) < state_->records.size())
            name = util::ValidUtf8(state_->records[static_cast<size_t>(i)].rawName);
        damaged.push_back(name.empty() ? util::FormatString("#%d", i + 1) : name);
    }
    return damaged;
}

}  // namespace zip
