// One parsed XML file, read through the helpers of XmlNames.h. Loading never fails loudly: a file that
// cannot be read or parsed leaves an empty or partial document, readers then find less, and Problem
// says what went wrong and where.
#pragma once

#include <memory>
#include <pugixml.hpp>
#include <string>

namespace epub {

class XmlFile {
  public:
    // Loads path with pugixml's default options, whitespace text kept (labels are read whole), and
    // automatic encoding detection.
    explicit XmlFile(const std::string& path);

    // The document node; empty children when nothing could be read.
    pugi::xml_node Document() const { return *document_; }

    const std::string& Path() const { return path_; }
    // Empty when the file was read as well-formed XML; otherwise what is wrong and where, such as
    // "is not well-formed: Error parsing start element tag at offset 312".
    std::string Problem() const;

  private:
    std::shared_ptr<pugi::xml_document> document_;
    pugi::xml_parse_result result_;
    std::string path_;
};

}  // namespace epub
