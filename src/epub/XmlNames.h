// Element and attribute names read by namespace, whatever prefix a file binds to it: "opf:package",
// "package" under a default namespace and "package" in a file that binds no namespace at all are the
// same element to the readers. An element in a namespace other than the one asked for never matches.
#pragma once

#include <functional>
#include <pugixml.hpp>
#include <string>
#include <vector>

namespace epub::xml {

inline constexpr const char* kContainer = "urn:oasis:names:tc:opendocument:xmlns:container";
inline constexpr const char* kOpf = "http://www.idpf.org/2007/opf";
inline constexpr const char* kDc = "http://purl.org/dc/elements/1.1/";
inline constexpr const char* kNcx = "http://www.daisy.org/z3986/2005/ncx/";
inline constexpr const char* kXhtml = "http://www.w3.org/1999/xhtml";
inline constexpr const char* kOps = "http://www.idpf.org/2007/ops";
inline constexpr const char* kSvg = "http://www.w3.org/2000/svg";

// The name after the prefix: "package" for "opf:package".
const char* LocalName(pugi::xml_node node);
// The namespace an element's prefix (or the default namespace) is bound to where it stands; empty when
// none is bound.
std::string NamespaceOf(pugi::xml_node node);
// True for an element with this local name in namespace ns, or in no namespace at all.
bool Is(pugi::xml_node node, const char* ns, const char* local);

// The first child element, or every child element, that Is(ns, local).
pugi::xml_node Child(pugi::xml_node parent, const char* ns, const char* local);
std::vector<pugi::xml_node> Children(pugi::xml_node parent, const char* ns, const char* local);
// The first element below parent, in document order, for which match is true; empty when none is.
pugi::xml_node FirstElement(pugi::xml_node parent, const std::function<bool(pugi::xml_node)>& match);
// The first element below parent, or every one, in document order, that Is(ns, local).
pugi::xml_node Descendant(pugi::xml_node parent, const char* ns, const char* local);
std::vector<pugi::xml_node> Descendants(pugi::xml_node parent, const char* ns, const char* local);

// An attribute without a prefix ("href"), or an empty string.
std::string Attribute(pugi::xml_node node, const char* local);
// An attribute in a namespace ("epub:type", "opf:role"), whatever its prefix; an unprefixed one of that
// name counts too when the element itself is in that namespace. Empty when absent.
std::string AttributeNs(pugi::xml_node node, const char* ns, const char* local);

// All text below node (every descendant's), whitespace runs collapsed to one space, trimmed.
std::string Text(pugi::xml_node node);
// Whitespace runs collapsed to one space, trimmed.
std::string CollapseWhitespace(const std::string& text);
// True when a whitespace-separated list holds word: HasToken("nav scripted", "nav").
bool HasToken(const std::string& list, const std::string& word);

}  // namespace epub::xml
