#include "pdf/Check.h"

#include <memory>
#include <qpdf/Pl_Discard.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFLogger.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "pdf/QpdfLogger.h"

namespace pdf {

util::Status CheckDocument(std::string_view bytes) {
    std::vector<std::string> errors;
    size_t warnings = 0;
    std::string first;
    ShareQpdfLogger();
    try {
        QPDF pdf;
        // Nothing on the standard streams: what qpdf would print is collected.
        auto quiet = QPDFLogger::create();
        auto discard = std::make_shared<Pl_Discard>();
        quiet->setInfo(discard);
        quiet->setWarn(discard);
        quiet->setError(discard);
        pdf.setLogger(quiet);
        pdf.setSuppressWarnings(true);
        pdf.processMemoryFile("the PDF", bytes.data(), bytes.size());
        if (pdf.isLinearized() && !pdf.checkLinearization())
            errors.emplace_back("its linearization is damaged");
        // Listing the objects reads every one in the file (and every reference); each stream's data is
        // then decoded to nowhere, by as many filters as qpdf knows.
        for (QPDFObjectHandle object : pdf.getAllObjects()) {
            if (!object.isStream())
                continue;
            Pl_Discard nowhere;
            (void)object.pipeStreamData(&nowhere, 0, qpdf_dl_all);  // what fails, qpdf warns of
        }
        (void)QPDFPageDocumentHelper(pdf).getAllPages();  // the page tree, read and checked
        // An object stream's data is decoded twice (for its objects and as a stream): a warning counts
        // once.
        std::set<std::string> seen;
        for (const QPDFExc& warning : pdf.getWarnings()) {
            if (seen.insert(warning.what()).second && first.empty())
                first = warning.what();
        }
        warnings = seen.size();
    } catch (const std::exception& e) {
        errors.emplace_back(e.what());
    }
    if (errors.empty() && warnings == 0)
        return {};
    const size_t count = errors.size() + warnings;
    return util::Status::Failure("qpdf finds " + std::to_string(count) +
                                 (count == 1 ? " problem" : " problems") +
                                 " in it: " + (errors.empty() ? first : errors.front()));
}

}  // namespace pdf
