#include "epub/XmlFile.h"

#include "util/Format.h"

namespace epub {

XmlFile::XmlFile(const std::string& path) : document_(std::make_shared<pugi::xml_document>()), path_(path) {
    result_ =
        document_->load_file(path.c_str(), pugi::parse_default | pugi::parse_ws_pcdata, pugi::encoding_auto);
}

std::string XmlFile::Problem() const {
    switch (result_.status) {
        case pugi::status_ok:
            return {};
        case pugi::status_file_not_found:
        case pugi::status_io_error:
        case pugi::status_out_of_memory:
        case pugi::status_internal_error:
            return std::string("cannot be read: ") + result_.description();
        default:
            return util::FormatString("is not well-formed: %s at offset %d", result_.description(),
                                      static_cast<int>(result_.offset));
    }
}

}  // namespace epub
