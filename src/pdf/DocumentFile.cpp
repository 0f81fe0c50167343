#include "pdf/DocumentFile.h"

#include <cerrno>
#include <system_error>

#include "pdf/Check.h"
#include "pdf/Compactor.h"
#include "pdf/Objects.h"
#include "util/AtomicFile.h"
#include "util/Files.h"

namespace pdf {
namespace {

std::string SystemError(int error) {
    return std::generic_category().message(error);
}

}  // namespace

util::Status ReadDocument(PoDoFo::PdfMemDocument& doc, const std::string& path, const std::string& what) {
    const std::string failed = what + " " + path + " cannot be read";
    std::string bytes;
    errno = 0;
    if (!util::ReadFileBytes(path, bytes))
        return util::Status::Failure(failed + (errno != 0 ? ": " + SystemError(errno) : std::string()));
    return Guarded(failed, [&] { doc.LoadFromBuffer(bytes.data(), static_cast<long>(bytes.size())); });
}

util::Status Serialize(PoDoFo::PdfMemDocument& doc, DocumentBytes& bytes) {
    return Guarded("the document cannot be written out", [&] {
        PoDoFo::PdfOutputDevice device(&bytes.buffer);
        doc.Write(&device);
        bytes.length = device.GetLength();
    });
}

util::Status Store(std::string_view bytes, const std::string& path, bool compact,
                   std::vector<std::string>& warnings) {
    std::string compacted;
    bool checked = false;  // whether bytes are known to check clean
    if (compact) {
        if (const util::Status done = Compact(bytes, compacted); done) {
            bytes = compacted;
            checked = true;  // the compactor checks what it makes
        } else {
            warnings.push_back(done.Reason() + "; the PDF is stored as merged, larger");
        }
    }
    if (!checked) {
        if (const util::Status sound = CheckDocument(bytes); !sound)
            return util::Status::Failure("the PDF is not sound: " + sound.Reason());
    }
    util::AtomicFile file(path);
    if (!file.IsOpen())
        return util::Status::Failure("cannot create a file beside " + path + ": " + SystemError(errno));
    if (!file.Write(bytes))
        return util::Status::Failure("cannot write " + path + ": " + SystemError(errno));
    if (!file.Commit())
        return util::Status::Failure("cannot store " + path + ": " + SystemError(errno));
    return {};
}

}  // namespace pdf
