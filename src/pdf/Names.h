// The names by which the elements of a chapter are found. The browser names an element's destination
// after the fragment of a link that points at it, as its URL parser leaves the fragment: characters
// outside ASCII, the space and " < > ` percent-encoded as UTF-8, escapes already there kept as they are.
// The page's own hidden link to an element (the fragment encodeURIComponent makes of its id) thus
// names "h.0001.%E7%B7%8F" for the id "h.0001.総", "a%5B1%5D" for "a[1]"; a link the book wrote within
// the chapter names what it wrote ("a[1]"). A book names an element as its author wrote the reference:
// the id itself, percent-encoded or not, composed (NFC) or decomposed (NFD).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "pdf/Destinations.h"

namespace pdf {

class Names {
  public:
    Names() = default;
    // From a chapter's named destinations, by the names the browser gave them.
    explicit Names(std::map<std::string, Spot> destinations);

    // Where the destination a link annotation of the chapter names is (the name as the browser wrote
    // it); failing that, as a fragment.
    std::optional<Spot> ByDestination(const std::string& name) const;
    // Where the element a fragment of a reference names is: the fragment taken as the id itself, then
    // percent-decoded, then either in NFC. None when the chapter has no such element.
    std::optional<Spot> ByFragment(std::string_view fragment) const;
    bool Empty() const { return destinations_.empty(); }

  private:
    std::map<std::string, Spot> destinations_;  // as the browser named them
    std::map<std::string, Spot> ids_;           // by the element's id
    std::map<std::string, Spot> normal_;        // by the id in NFC
};

// What JavaScript's encodeURIComponent makes of UTF-8 text: every byte but A-Z a-z 0-9 - _ . ! ~ * ' ( )
// as %XX (upper-case hex).
std::string EncodeUriComponent(std::string_view text);

}  // namespace pdf
