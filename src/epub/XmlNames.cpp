#include "epub/XmlNames.h"

#include <cstring>
#include <sstream>

namespace epub::xml {
namespace {

// How far up a declaration is looked for. Real documents declare their namespaces within a few levels;
// a hostile one nested a million deep must not make every lookup walk all of them. Beyond this the
// prefix counts as unbound, which the readers accept as well.
constexpr int kMaxLookup = 256;

// The namespace bound to prefix (empty: the default namespace) at node, looking up its ancestors.
std::string Lookup(pugi::xml_node node, const std::string& prefix) {
    const std::string declaration = prefix.empty() ? "xmlns" : "xmlns:" + prefix;
    int up = 0;
    for (pugi::xml_node n = node; n && n.type() == pugi::node_element && up < kMaxLookup;
         n = n.parent(), ++up) {
        if (pugi::xml_attribute a = n.attribute(declaration.c_str()))
            return a.value();
    }
    if (prefix == "xml")
        return "http://www.w3.org/XML/1998/namespace";
    return {};
}

std::string PrefixOf(const char* name) {
    const char* colon = std::strchr(name, ':');
    return colon == nullptr ? std::string() : std::string(name, colon);
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

}  // namespace

const char* LocalName(pugi::xml_node node) {
    const char* name = node.name();
    const char* colon = std::strchr(name, ':');
    return colon == nullptr ? name : colon + 1;
}

std::string NamespaceOf(pugi::xml_node node) {
    return Lookup(node, PrefixOf(node.name()));
}

bool Is(pugi::xml_node node, const char* ns, const char* local) {
    if (node.type() != pugi::node_element || std::strcmp(LocalName(node), local) != 0)
        return false;
    const std::string bound = NamespaceOf(node);
    return bound.empty() || bound == ns;
}

pugi::xml_node Child(pugi::xml_node parent, const char* ns, const char* local) {
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
        if (Is(c, ns, local))
            return c;
    }
    return {};
}

std::vector<pugi::xml_node> Children(pugi::xml_node parent, const char* ns, const char* local) {
    std::vector<pugi::xml_node> found;
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
        if (Is(c, ns, local))
            found.push_back(c);
    }
    return found;
}

namespace {

// Visits every node below parent in document order without recursion (nesting may be hostile); stops
// when visit returns false.
template <typename Visit>
void WalkNodes(pugi::xml_node parent, Visit visit) {
    pugi::xml_node n = parent.first_child();
    while (n) {
        if (!visit(n))
            return;
        if (n.first_child()) {
            n = n.first_child();
            continue;
        }
        while (n != parent && !n.next_sibling()) n = n.parent();
        if (n == parent)
            return;
        n = n.next_sibling();
    }
}

// The same for element nodes only.
template <typename Visit>
void Walk(pugi::xml_node parent, Visit visit) {
    WalkNodes(parent, [&](pugi::xml_node n) { return n.type() != pugi::node_element || visit(n); });
}

}  // namespace

pugi::xml_node FirstElement(pugi::xml_node parent, const std::function<bool(pugi::xml_node)>& match) {
    pugi::xml_node found;
    Walk(parent, [&](pugi::xml_node n) {
        if (!match(n))
            return true;
        found = n;
        return false;
    });
    return found;
}

pugi::xml_node Descendant(pugi::xml_node parent, const char* ns, const char* local) {
    return FirstElement(parent, [ns, local](pugi::xml_node n) { return Is(n, ns, local); });
}

std::vector<pugi::xml_node> Descendants(pugi::xml_node parent, const char* ns, const char* local) {
    std::vector<pugi::xml_node> found;
    Walk(parent, [&](pugi::xml_node n) {
        if (Is(n, ns, local))
            found.push_back(n);
        return true;
    });
    return found;
}

std::string Attribute(pugi::xml_node node, const char* local) {
    return node.attribute(local).value();
}

std::string AttributeNs(pugi::xml_node node, const char* ns, const char* local) {
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
        const char* name = a.name();
        const char* colon = std::strchr(name, ':');
        if (colon == nullptr) {
            if (std::strcmp(name, local) == 0 && NamespaceOf(node) == ns)
                return a.value();
            continue;
        }
        if (std::strcmp(colon + 1, local) != 0)
            continue;
        const std::string prefix(name, colon);
        if (prefix != "xmlns" && Lookup(node, prefix) == ns)
            return a.value();
    }
    return {};
}

std::string Text(pugi::xml_node node) {
    if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata)
        return CollapseWhitespace(node.value());
    std::string text;
    WalkNodes(node, [&](pugi::xml_node n) {
        if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata)
            text += n.value();
        return true;
    });
    return CollapseWhitespace(text);
}

std::string CollapseWhitespace(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    bool space = false;
    for (char c : text) {
        if (IsSpace(c)) {
            space = !out.empty();
            continue;
        }
        if (space)
            out += ' ';
        space = false;
        out += c;
    }
    return out;
}

bool HasToken(const std::string& list, const std::string& word) {
    std::istringstream in(list);
    std::string token;
    while (in >> token) {
        if (token == word)
            return true;
    }
    return false;
}

}  // namespace epub::xml
