#include "epub/TocEntry.h"

#include "util/Paths.h"
#include "util/Urls.h"

namespace epub {

void TocEntry::Resolve(const std::string& folder) {
    file = util::JoinPath(folder, util::PercentDecode(util::CutQueryAndFragment(target)));
    const size_t hash = target.find('#');
    fragment = hash == std::string::npos ? std::string() : util::PercentDecode(target.substr(hash + 1));
}

}  // namespace epub
