// The program's own ZIP reader: walks the central directory, checks each local header, copies stored
// entries and inflates deflated ones, recreates folders and applies the recorded permissions and times.
// Nothing is ever written outside the base folder, no entry becomes a symbolic link, and no entry
// yields more bytes than it declares. One archive is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "util/Status.h"

namespace zip {

// Result codes of the low-level operations; 0 is success.
enum ResultCode : std::uint32_t {
    kOk = 0,
    kNoFile = 0x00000200,         // archive or output file cannot be opened or created
    kWriteFailed = 0x00000400,    // writing an output file failed
    kCorrupt = 0x00000700,        // local header does not match the central directory, or corrupt archive
    kReadFailed = 0x00000800,     // seeking or reading the archive failed
    kWrongPassword = 0x00001000,  // wrong password for an encrypted entry
    kBadArguments = 0x00010000,   // index out of range, no archive
    kNotForReading = 0x00080000,  // the handle is not an archive opened for reading
    kAlreadyOpen = 0x01000000,    // the archive was already open
    kCannotSeek = 0x02000000,     // the archive file cannot be positioned
    kInflateFailed = 0x05000000,  // the entry data cannot be read or inflated
};

// Attribute flags of an entry (the DOS attribute bits).
inline constexpr std::uint32_t kAttrReadOnly = 0x01;
inline constexpr std::uint32_t kAttrHidden = 0x02;
inline constexpr std::uint32_t kAttrSystem = 0x04;
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrArchive = 0x20;

// The description of one entry, as GetItem returns it.
struct ZipEntry {
    int index = 0;                      // position in the central directory (index -1: the entry count)
    std::string name;                   // UTF-8, '/'-separated, made safe; empty when the entry is refused
    std::uint32_t attributes = 0;       // kAttr... flags
    bool symbolicLink = false;          // marked as a link by a Unix host; never extracted
    std::uint32_t unixPermissions = 0;  // rwx bits recorded by a Unix host, 0 otherwise
    std::int64_t accessTime = 0;        // Unix seconds
    std::int64_t creationTime = 0;      // Unix seconds
    std::int64_t writeTime = 0;         // Unix seconds
    std::uint64_t compressedSize = 0;
    std::uint64_t uncompressedSize = 0;
};

class ZipArchive {
  public:
    // Entry names of this many bytes or more are refused.
    static constexpr std::size_t kMaxNameBytes = 260;
    // Archives whose entries declare more than this in total are refused by ExtractAll.
    static constexpr std::uint64_t kMaxTotalBytes = 2ull << 30;

    ZipArchive();
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    // Extracts every entry below destFolder. False when the archive cannot be opened, is not a ZIP
    // archive, or declares more than kMaxTotalBytes; entries that fail are skipped.
    static bool ExtractAll(const std::string& destFolder, const std::string& archivePath,
                           const std::string& password);
    // The same, with the reason when it fails ("the file does not exist", "not a ZIP archive", ...).
    // damagedEntries (when given) receives the names of the entries that were not extracted because
    // their data is damaged: a checksum that does not match, data that ends early or does not inflate,
    // a local header that names another file. No partial file of a failed entry stays.
    static util::Status Extract(const std::string& destFolder, const std::string& archivePath,
                                std::vector<std::string>* damagedEntries = nullptr);

    // Opens the archive file and reads its directory.
    std::uint32_t Open(const std::string& archivePath, const std::string& password = {});
    // Fills entry for index; index -1 gives only the number of entries (in entry.index).
    std::uint32_t GetItem(int index, ZipEntry& entry);
    // The folder into which entries are written.
    std::uint32_t SetBaseFolder(const std::string& folder);
    // Writes entry index as a file, or creates its folder, at name below the base folder.
    std::uint32_t ExtractItem(int index, const std::string& name);
    // Releases everything.
    void Close();

    // The sum of the uncompressed sizes that the entries declare.
    std::uint64_t DeclaredTotalSize() const;

  private:
    // Extracts every entry of the open archive below destFolder; entries that fail are skipped. The
    // names of those whose data is damaged.
    std::vector<std::string> ExtractEntries(const std::string& destFolder);
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace zip
