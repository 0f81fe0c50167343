#include "cli/Wrap.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "cli/ProgressView.h"

namespace cli {
namespace {

constexpr int kMostHelpColumns = 100;
constexpr int kNoTerminalColumns = 80;
constexpr int kNarrowestHangingText = 20;  // a hang that leaves less than this moves left

// The bytes of the UTF-8 character that begins at text[i] (1 for a byte that begins none).
size_t CharLength(const std::string& text, size_t i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const size_t length = c < 0x80             ? 1
                          : (c & 0xE0) == 0xC0 ? 2
                          : (c & 0xF0) == 0xE0 ? 3
                          : (c & 0xF8) == 0xF0 ? 4
                                               : 1;
    return std::min(length, text.size() - i);
}

bool IsWide(const std::string& character) {
    return Columns(character) == 2;
}

// Punctuation that never begins a line, and that never ends one.
bool Closes(const std::string& c) {
    static const std::vector<std::string> closing = {"，", "。", "、", "；", "：", "！", "？",
                                                     "）", "」", "』", "】", "》", ",",  ".",
                                                     ";",  ":",  "!",  "?",  ")"};
    return std::find(closing.begin(), closing.end(), c) != closing.end();
}
bool Opens(const std::string& c) {
    return c == "（" || c == "「" || c == "『" || c == "【" || c == "《";
}

struct Unit {
    bool spaceBefore;
    std::string text;
};

// The pieces a line may break between: words, and East Asian characters one by one, punctuation held
// to its neighbour.
std::vector<Unit> Units(const std::string& text) {
    std::vector<Unit> units;
    bool space = false, glue = false;
    for (size_t i = 0; i < text.size();) {
        const std::string c = text.substr(i, CharLength(text, i));
        if (c == " ") {
            space = true;
            glue = false;
            i += 1;
            continue;
        }
        std::string unit = c;
        i += c.size();
        if (!IsWide(c) || Closes(c)) {
            // A word runs to the next blank or East Asian character; its closing punctuation stays with it.
            while (i < text.size()) {
                const std::string next = text.substr(i, CharLength(text, i));
                if (next == " " || (IsWide(next) && !Closes(next)))
                    break;
                unit += next;
                i += next.size();
                if (IsWide(next))
                    break;  // a line may break after East Asian punctuation
            }
        }
        while (i < text.size()) {  // closing punctuation after an East Asian character
            const std::string next = text.substr(i, CharLength(text, i));
            if (!Closes(next))
                break;
            unit += next;
            i += next.size();
        }
        if (glue && !units.empty() && !space)
            units.back().text += unit;
        else
            units.push_back({space, unit});
        glue = Opens(c) && unit == c;
        space = false;
    }
    return units;
}

int LeadingSpaces(const std::string& line) {
    return static_cast<int>(std::find_if(line.begin(), line.end(), [](char c) { return c != ' '; }) -
                            line.begin());
}

// The column at which an item's text begins ("  -o, --output PATH     with..." -> 24): after the first
// run of two blanks or more past its indent; -1 for a line that is no item.
size_t HangAt(const std::string& line, int indent) {
    if (indent == 0)
        return std::string::npos;
    size_t gap = line.find("  ", static_cast<size_t>(indent));
    if (gap == std::string::npos)
        return gap;
    while (gap < line.size() && line[gap] == ' ') ++gap;
    return gap < line.size() ? gap : std::string::npos;
}

// Joins a continuation line to the text before it: with a blank, except between East Asian text.
void Join(std::string& text, const std::string& more) {
    if (text.empty() || more.empty()) {
        text += more;
        return;
    }
    size_t last = text.size() - 1;
    while (last > 0 && (static_cast<unsigned char>(text[last]) & 0xC0) == 0x80) --last;
    const bool wide = IsWide(text.substr(last)) || IsWide(more.substr(0, CharLength(more, 0)));
    text += (wide ? "" : " ") + more;
}

// Lays one item or paragraph out: head (its label, as written) on the first line, text filled after
// it, continuation lines indented to hang.
std::string Layout(const std::string& head, const std::string& text, int hang, int width) {
    std::string out = head;
    int column = Columns(head);
    if (width - hang < kNarrowestHangingText)
        hang = std::min(hang, 8);
    bool empty = true;  // no piece of text on this line yet
    for (const Unit& unit : Units(text)) {
        const int size = Columns(unit.text);
        const int blank = unit.spaceBefore && !empty ? 1 : 0;
        if (column + blank + size > width && (!empty || column > hang)) {
            out += "\n" + std::string(static_cast<size_t>(hang), ' ');
            column = hang;
            empty = true;
        }
        if (unit.spaceBefore && !empty) {
            out += ' ';
            ++column;
        }
        out += unit.text;
        column += size;
        empty = false;
    }
    return out + "\n";
}

}  // namespace

std::string Reflow(const std::string& text, int width) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    std::string out;
    for (size_t i = 0; i < lines.size();) {
        const std::string& line = lines[i++];
        if (line.find_first_not_of(' ') == std::string::npos) {
            out += "\n";
            continue;
        }
        const int indent = LeadingSpaces(line);
        const size_t at = HangAt(line, indent);
        const bool item = at != std::string::npos;
        const std::string head = item ? line.substr(0, at) : line.substr(0, static_cast<size_t>(indent));
        std::string body = line.substr(head.size());
        const int hang = item ? Columns(head) : indent;
        // The lines that carry on the same item or paragraph: indented to its hang (an item's) or as far
        // as it (a paragraph's), and no item of their own.
        while (i < lines.size() && lines[i].find_first_not_of(' ') != std::string::npos) {
            const std::string& next = lines[i];
            const int nextIndent = LeadingSpaces(next);
            if (nextIndent != hang || (!item && HangAt(next, nextIndent) != std::string::npos))
                break;
            Join(body, next.substr(static_cast<size_t>(nextIndent)));
            ++i;
        }
        out += Layout(head, body, hang, width);
    }
    return out;
}

int HelpWidth() {
    winsize size{};
    if (isatty(STDOUT_FILENO) != 0 && ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return std::min<int>(size.ws_col, kMostHelpColumns);
    return kNoTerminalColumns;
}

}  // namespace cli
