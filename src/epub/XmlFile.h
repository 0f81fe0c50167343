// A thin wrapper over one parsed XML file that answers XPath queries. Loading never fails loudly: a file
// that cannot be read or parsed leaves an empty or partial document, queries then find less, and
// Problem says what went wrong and where.
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

    // The first node that xpath selects from the document; an empty node when nothing matches.
    pugi::xml_node SelectNode(const std::string& xpath) const;
    // The same, relative to context; an empty context selects nothing.
    pugi::xml_node SelectNode(const std::string& xpath, pugi::xml_node context) const;
    // All element nodes that xpath selects, in document order.
    pugi::xpath_node_set SelectNodes(const std::string& xpath) const;
    // The same, relative to context; an empty context selects nothing.
    pugi::xpath_node_set SelectNodes(const std::string& xpath, pugi::xml_node context) const;

    // The named attribute of node, or an empty string.
    static std::string GetAttribute(pugi::xml_node node, const char* name);
    // The value of node's first text or CDATA child, or an empty string.
    static std::string GetText(pugi::xml_node node);

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
