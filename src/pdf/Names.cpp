#include "pdf/Names.h"

#include <cstring>
#include <utility>
#include <vector>

#include "util/Unicode.h"
#include "util/Urls.h"

namespace pdf {

std::string EncodeUriComponent(std::string_view text) {
    static const char* const hex = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
            (b != 0 && std::strchr("-_.!~*'()", b) != nullptr)) {
            out += c;
        } else {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 0xF];
        }
    }
    return out;
}

Names::Names(std::map<std::string, Spot> destinations) : destinations_(std::move(destinations)) {
    // The id a destination stands for is its name percent-decoded. Names of the page's hidden links
    // (the encoding of the id, exactly) come first: a name the book wrote may decode to some other id
    // ("#pct%41", which the browser resolved to the element "pct%41", decodes to "pctA").
    std::vector<std::pair<std::string, const Spot*>> others;
    for (const auto& [name, spot] : destinations_) {
        std::string id = util::PercentDecode(name);
        if (EncodeUriComponent(id) == name)
            ids_.emplace(std::move(id), spot);
        else if (destinations_.count(EncodeUriComponent(name)) == 0)  // else it named the id it spells
            others.emplace_back(std::move(id), &spot);
    }
    for (auto& [id, spot] : others) ids_.emplace(std::move(id), *spot);
    for (const auto& [id, spot] : ids_) normal_.emplace(util::ToNfc(id), spot);
}

std::optional<Spot> Names::ByDestination(const std::string& name) const {
    if (auto it = destinations_.find(name); it != destinations_.end())
        return it->second;
    return ByFragment(name);
}

std::optional<Spot> Names::ByFragment(std::string_view fragment) const {
    if (fragment.empty() || ids_.empty())
        return std::nullopt;
    // As a browser finds the element of a fragment: the fragment as the id, else decoded.
    const std::string written(fragment);
    const std::string decoded = util::PercentDecode(fragment);
    for (const std::string* id : {&written, &decoded}) {
        if (auto it = ids_.find(*id); it != ids_.end())
            return it->second;
    }
    for (const std::string* id : {&written, &decoded}) {
        if (auto it = normal_.find(util::ToNfc(*id)); it != normal_.end())
            return it->second;
    }
    return std::nullopt;
}

}  // namespace pdf
