#include <gtest/gtest.h>

#include <map>
#include <string>

#include "pdf/Names.h"

namespace {

// A chapter's destinations named as the browser names them (read off a real chapter PDF with qpdf): one
// per element, after the page's hidden link to it, which is what encodeURIComponent makes of its id;
// and those of the book's own links within the chapter, after the fragment as its URL parser leaves it
// (outside ASCII percent-encoded, brackets and slashes as written). Each spot's page tells them apart.
std::map<std::string, pdf::Spot> Destinations() {
    return {
        {"h.0001.%E7%B7%8F%E5%90%88", {1, 700}},       // id h.0001.総合
        {"%D0%B3%D0%BB%D0%B0%D0%B2%D0%B0", {2, 700}},  // глава
        {"two%20words", {3, 700}},
        {"pct%2541", {4, 700}},  // pct%41
        {"pct%41", {4, 700}},    // the book's link "#pct%41", which the browser resolved to pct%41
        {"pctA", {5, 700}},
        {"%E3%83%97%E3%83%A9%E3%82%B0", {6, 700}},  // プラグ, composed
        {"a%5B1%5D%7Bx%7D", {7, 700}},              // a[1]{x}
        {"a[1]{x}", {7, 700}},                      // the book's link "#a[1]{x}"
        {"hash%23in", {8, 700}},                    // hash#in
        {"slash%2Fand%3Fq", {9, 700}},              // slash/and?q
        {"q%22%3C%3E%60'", {10, 700}},              // q"<>`'
        {"odd%3", {11, 700}},                       // a link the book wrote with a broken escape
    };
}

// A book's fragment finds its element as written, percent-decoded, composed or decomposed.
TEST(NamesTest, AFragmentFindsItsElementInEveryForm) {
    const pdf::Names names(Destinations());
    const std::pair<std::string, int> cases[] = {
        {"h.0001.総合", 1},
        {"h.0001.%E7%B7%8F%E5%90%88", 1},
        {"h.0001.%e7%b7%8f%e5%90%88", 1},
        {"глава", 2},
        {"two words", 3},
        {"two%20words", 3},
        {"pct%41", 4},  // an id with a percent sign in it: as written first
        {"pct%2541", 4},
        {"pctA", 5},
        {"\u30D5\u309A\u30E9\u30AF\u3099", 6},  // プラグ decomposed
        {"%E3%83%95%E3%82%9A%E3%83%A9%E3%82%AF%E3%82%99", 6},
        {"a[1]{x}", 7},
        {"a%5B1%5D%7Bx%7D", 7},
        {"hash#in", 8},
        {"hash%23in", 8},
        {"slash/and?q", 9},
        {"q\"<>`'", 10},
        {"q%22%3C%3E%60'", 10},
        {"odd%3", 11},
        {"nothing", -1},
        {"", -1},
    };
    for (const auto& [fragment, page] : cases) {
        const auto spot = names.ByFragment(fragment);
        EXPECT_EQ(spot ? spot->page : -1, page) << fragment;
    }
}

// A link annotation of the chapter names its destination exactly as the browser wrote it; a name it did
// not write is taken as a fragment.
TEST(NamesTest, ALinkFindsTheDestinationTheBrowserNamed) {
    const pdf::Names names(Destinations());
    for (const auto& [name, spot] : Destinations()) {
        const auto found = names.ByDestination(name);
        EXPECT_TRUE(found && found->page == spot.page) << name;
    }
    EXPECT_EQ(names.ByDestination("two words")->page, 3);
    EXPECT_FALSE(names.ByDestination("gone"));
    EXPECT_FALSE(pdf::Names().ByFragment("x"));
}

TEST(NamesTest, EncodeUriComponentAsTheBrowserDoes) {
    EXPECT_EQ(pdf::EncodeUriComponent("A-z_0.!~*'()"), "A-z_0.!~*'()");
    EXPECT_EQ(pdf::EncodeUriComponent("a b%/?#[]\"総"), "a%20b%25%2F%3F%23%5B%5D%22%E7%B7%8F");
}

}  // namespace
