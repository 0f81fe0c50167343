// What the terminal shows of the books while they convert, on standard error. On a terminal: a block
// of lines redrawn in place (the running books, then a count of the rest), as wide and as high as the
// terminal is at each redraw, with the cursor hidden while it shows; each book leaves one final line
// above it when it ends. Elsewhere: plain lines, no escapes: a line when a book starts, at a quarter, a
// half and three quarters of the way, and when it ends.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/ConversionItem.h"

namespace cli {

// The columns UTF-8 text takes on a terminal (East Asian wide characters two, combining marks none).
int Columns(const std::string& utf8);
// The text cut to at most columns, on a character boundary, with "..." where it was cut.
std::string Fit(const std::string& utf8, int columns);
// A book's state in the user's language: waiting, converting, converted, converted with warnings,
// failed, error, cancelled or stopped.
std::string StatusWord(const engine::ConversionItem& item);

class ProgressView {
  public:
    enum class Mode { Quiet, Plain, Live };

    ProgressView(std::vector<std::shared_ptr<engine::ConversionItem>> items, Mode mode, int fd);
    ~ProgressView();
    ProgressView(const ProgressView&) = delete;
    ProgressView& operator=(const ProgressView&) = delete;

    // A book changed (from the worker's threads).
    void Changed(const std::shared_ptr<engine::ConversionItem>& item);
    // Redraws the block (main thread).
    void Draw();
    // Takes the block away, leaves the final line of every book that ended, and shows the cursor.
    void Finish();
    // Shows the cursor again; safe in a signal handler.
    static void ShowCursor(int fd);

  private:
    void Write(const std::string& bytes) const;
    std::pair<int, int> Size() const;  // columns, rows
    // The escapes that take the block off the screen (under mutex_).
    std::string Erase(int width);

    std::vector<std::shared_ptr<engine::ConversionItem>> items_;
    Mode mode_;
    int fd_;
    std::mutex mutex_;
    std::map<const engine::ConversionItem*, std::pair<engine::ItemState, int>> last_;  // plain: milestone
    std::set<const engine::ConversionItem*> ended_;                                    // final lines written
    std::vector<int> drawn_;  // the columns of each line of the block on screen
    bool cursorHidden_ = false;
    bool finished_ = false;
};

}  // namespace cli
