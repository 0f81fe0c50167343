#include "pdf/QpdfLogger.h"

#include <mutex>
#include <qpdf/QPDFLogger.hh>

namespace pdf {

void ShareQpdfLogger() {
    static std::once_flag made;
    std::call_once(made, [] { QPDFLogger::defaultLogger(); });
}

}  // namespace pdf
