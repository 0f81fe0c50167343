#include "cli/ProgressView.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

#include "cli/Translation.h"
#include "engine/ConversionItem.h"
#include "frontend/States.h"
#include "util/Files.h"
#include "util/Format.h"
#include "util/Paths.h"
#include "util/Text.h"

namespace cli {
namespace {

constexpr const char* kHideCursor = "\x1b[?25l";
constexpr const char* kShowCursor = "\x1b[?25h";

// The code point at text[i] and its length in bytes; a byte that begins no valid sequence is one
// character of its own.
std::pair<char32_t, size_t> Decode(const std::string& text, size_t i) {
    const util::Utf8Char c = util::DecodeUtf8(text, i);
    return c.length == 0 ? std::pair<char32_t, size_t>{0xFFFD, 1} : std::pair{c.code, c.length};
}

int Width(char32_t c) {
    if (c < 0x20 || (c >= 0x7F && c < 0xA0))
        return 0;
    if ((c >= 0x0300 && c <= 0x036F) || (c >= 0x200B && c <= 0x200F) || (c >= 0xFE00 && c <= 0xFE0F))
        return 0;  // combining marks, zero-width characters, variation selectors
    const bool wide =
        (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) || (c >= 0x3041 && c <= 0x33FF) ||
        (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
        (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
        (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
        (c >= 0x20000 && c <= 0x3FFFD);
    return wide ? 2 : 1;
}

}  // namespace

int Columns(const std::string& utf8) {
    int columns = 0;
    for (size_t i = 0; i < utf8.size();) {
        const auto [code, length] = Decode(utf8, i);
        columns += Width(code);
        i += length;
    }
    return columns;
}

std::string Fit(const std::string& utf8, int columns) {
    if (Columns(utf8) <= columns)
        return utf8;
    const std::string ellipsis = "...";
    const int room = columns - static_cast<int>(ellipsis.size());
    if (room <= 0)
        return ellipsis.substr(0, static_cast<size_t>(std::max(columns, 0)));
    std::string out;
    int used = 0;
    for (size_t i = 0; i < utf8.size();) {
        const auto [code, length] = Decode(utf8, i);
        const int width = Width(code);
        if (used + width > room)
            break;
        out.append(utf8, i, length);
        used += width;
        i += length;
    }
    return out + ellipsis;
}

std::string StatusWord(const engine::ConversionItem& item) {
    return T(frontend::StatusWord(item.State()));
}

ProgressView::ProgressView(std::vector<std::shared_ptr<engine::ConversionItem>> items, Mode mode, int fd)
    : items_(std::move(items)), mode_(mode), fd_(fd) {}

ProgressView::~ProgressView() {
    try {
        Finish();
    } catch (...) {
        ShowCursor(fd_);  // at the least
    }
}

void ProgressView::Write(const std::string& bytes) const {
    util::WriteAll(fd_, bytes);  // a terminal that went away takes nothing more
}

void ProgressView::ShowCursor(int fd) {
    const ssize_t ignored = ::write(fd, kShowCursor, 6);
    (void)ignored;
}

std::pair<int, int> ProgressView::Size() const {
    winsize size{};
    if (::ioctl(fd_, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0)
        return {size.ws_col, size.ws_row};
    return {80, 24};
}

void ProgressView::Changed(const std::shared_ptr<engine::ConversionItem>& item) {
    if (mode_ != Mode::Plain || !item)
        return;
    std::lock_guard lock(mutex_);
    const engine::ItemState state = item->State();
    const int percent = item->progress;
    // A line when a book starts and when it ends (each change of state), and at a few milestones on the
    // way (a quarter, a half, three quarters): a log, not an animation.
    const int milestone = percent / 25;
    auto found = last_.find(item.get());
    if (found != last_.end() && found->second.first == state && found->second.second >= milestone)
        return;
    last_[item.get()] = {state, milestone};
    Write(util::FormatString("%s: %s %d%%\n", util::GetFileName(item->epubPath, true), StatusWord(*item),
                             percent));
}

std::string ProgressView::Erase(int width) {
    // Row by row from the one below the block up to its first (a line drawn wider than the terminal is
    // now takes more rows), each erased, the cursor left at the start of the first. Never "erase below"
    // from the top-left corner: tmux and screen take that for a clear screen and keep a copy of the block
    // in the scrollback at every redraw.
    int rows = 0;
    for (int columns : drawn_) rows += std::max(1, (columns + width - 1) / width);
    drawn_.clear();
    std::string out = "\r\x1b[2K";
    for (int i = 0; i < rows; ++i) out += "\x1b[1A\x1b[2K";
    return out;
}

void ProgressView::Draw() {
    if (mode_ != Mode::Live)
        return;
    std::lock_guard lock(mutex_);
    if (finished_)
        return;
    const auto [width, rows] = Size();
    const int usable = std::max(width - 1, 1);  // never the last column: no terminal wraps then
    std::string out;
    if (!cursorHidden_) {
        out += kHideCursor;
        cursorHidden_ = true;
    }
    out += Erase(width);
    // Books that ended leave their final line above the block, once.
    int running = 0, waiting = 0, converted = 0, failed = 0;
    std::vector<std::string> block;
    for (const auto& item : items_) {
        const bool ended = item->Done() || item->Failed();
        if (ended) {
            (item->Done() ? converted : failed) += 1;
            if (ended_.insert(item.get()).second) {
                out += Fit(StatusWord(*item) + ": " + util::GetFileName(item->epubPath, true), usable) + "\n";
            }
            continue;
        }
        const bool converting = item->State() == engine::ItemState::Converting;
        (converting ? running : waiting) += 1;
        if (converting)
            block.push_back(util::FormatString("%3d%% %s", item->progress.load(),
                                               util::GetFileName(item->epubPath, true)));
    }
    // As many running books as the terminal holds beside the count line; the rest are counted.
    const size_t room = static_cast<size_t>(std::max(rows - 2, 0));
    const int hidden = block.size() > room ? static_cast<int>(block.size() - room) : 0;
    block.resize(std::min(block.size(), room));
    std::string count = util::FormatString(T("%d converting, %d waiting, %d converted, %d failed"), running,
                                           waiting, converted, failed);
    if (hidden > 0)
        count += util::FormatString(T(" (%d not shown)"), hidden);
    block.push_back(count);
    for (const std::string& line : block) {
        const std::string fitted = Fit(line, usable);
        out += fitted + "\n";
        drawn_.push_back(Columns(fitted));
    }
    Write(out);
}

void ProgressView::Finish() {
    if (mode_ != Mode::Live)
        return;
    Draw();
    std::lock_guard lock(mutex_);
    if (finished_)
        return;
    finished_ = true;
    // The count line goes; what stays is a final line per book that ended.
    std::string out = Erase(Size().first);
    out += kShowCursor;
    cursorHidden_ = false;
    Write(out);
}

}  // namespace cli
