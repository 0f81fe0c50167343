#include "epub/XmlFile.h"

#include "util/Utilities.h"

namespace epub {
namespace {

pugi::xpath_node_set Select(const pugi::xml_node& from, const std::string& xpath) {
    try {
        return from.select_nodes(xpath.c_str());
    } catch (const pugi::xpath_exception&) {
        return {};  // an expression that does not compile selects nothing
    }
}

pugi::xml_node FirstElement(const pugi::xpath_node_set& nodes) {
    for (const pugi::xpath_node& n : nodes) {
        if (n.node())
            return n.node();
    }
    return {};
}

}  // namespace

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

pugi::xml_node XmlFile::SelectNode(const std::string& xpath) const {
    return FirstElement(SelectNodes(xpath));
}

pugi::xml_node XmlFile::SelectNode(const std::string& xpath, pugi::xml_node context) const {
    return FirstElement(SelectNodes(xpath, context));
}

pugi::xpath_node_set XmlFile::SelectNodes(const std::string& xpath) const {
    if (!document_)
        return {};
    pugi::xpath_node_set nodes = Select(*document_, xpath);
    nodes.sort();
    return nodes;
}

pugi::xpath_node_set XmlFile::SelectNodes(const std::string& xpath, pugi::xml_node context) const {
    if (!document_ || !context || context.type() != pugi::node_element)
        return {};
    pugi::xpath_node_set nodes = Select(context, xpath);
    nodes.sort();
    return nodes;
}

std::string XmlFile::GetAttribute(pugi::xml_node node, const char* name) {
    if (!node)
        return {};
    return node.attribute(name).value();
}

std::string XmlFile::GetText(pugi::xml_node node) {
    if (!node)
        return {};
    return node.text().get();
}

}  // namespace epub
