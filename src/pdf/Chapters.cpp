#include "pdf/Chapters.h"

#include <algorithm>

namespace pdf {

void Chapters::Add(const std::string& pdfPath, const std::string& title, int pages,
                   std::map<std::string, Spot> destinations) {
    byPdf_[pdfPath] = chapters_.size();
    chapters_.push_back({pdfPath, title, nextPage_, Names(std::move(destinations))});
    nextPage_ += pages;
}

const Chapters::Chapter* Chapters::Find(const std::string& pdfPath) const {
    auto it = byPdf_.find(pdfPath);
    return it == byPdf_.end() ? nullptr : &chapters_[it->second];
}

int Chapters::PageOf(const std::string& pdfPath) const {
    const Chapter* chapter = pdfPath.empty() ? nullptr : Find(pdfPath);
    return chapter != nullptr ? chapter->firstPage : 0;
}

std::optional<Place> Chapters::Locate(const std::string& pdfPath, std::string_view fragment) const {
    const Chapter* chapter = Find(pdfPath);
    if (chapter == nullptr)
        return std::nullopt;
    const std::optional<Spot> spot = chapter->names.ByFragment(fragment);
    if (!spot)
        return std::nullopt;
    return Place{chapter->firstPage + spot->page, spot->top};
}

std::optional<Place> Chapters::LocateDestination(const std::string& pdfPath, const std::string& name) const {
    const Chapter* chapter = Find(pdfPath);
    if (chapter == nullptr)
        return std::nullopt;
    const std::optional<Spot> spot = chapter->names.ByDestination(name);
    if (!spot)
        return std::nullopt;
    return Place{chapter->firstPage + spot->page, spot->top};
}

const Chapters::Chapter* Chapters::ChapterOfPage(int page) const {
    if (page < 1 || page >= nextPage_)
        return nullptr;
    // The last chapter that begins at or before the page (a chapter of no pages begins where the next does).
    auto after = std::upper_bound(chapters_.begin(), chapters_.end(), page,
                                  [](int p, const Chapter& chapter) { return p < chapter.firstPage; });
    return after == chapters_.begin() ? nullptr : &*std::prev(after);
}

}  // namespace pdf
