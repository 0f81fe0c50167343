// What the front ends call each state of a book: one table. The program's own texts are Chinese; the
// window shows them through its translations, the command line shows its English words through its
// catalogue (po/), which gives each word back the text of its state.
#pragma once

#include <array>
#include <cstddef>

#include "engine/ConversionItem.h"

namespace frontend {

struct StateNames {
    engine::ItemState state;
    const char* text;  // the program's own: "准备转换", "转换中", ...
    const char* word;  // the command line's English: "waiting", "converting", ...
};

// Marks a word for the command line's catalogue (xgettext --keyword=Word).
constexpr const char* Word(const char* english) {
    return english;
}

// Every state, in the order of the enumeration.
inline constexpr std::array<StateNames, 8> kStateNames = {{
    {engine::ItemState::Ready, "准备转换", Word("waiting")},
    {engine::ItemState::Converting, "转换中", Word("converting")},
    {engine::ItemState::Converted, "转换完成", Word("converted")},
    {engine::ItemState::ConvertedWithWarnings, "转换完成（有警告）", Word("converted with warnings")},
    {engine::ItemState::Failed, "转换失败", Word("failed")},
    {engine::ItemState::Error, "转换出错", Word("error")},
    {engine::ItemState::Cancelled, "已取消", Word("cancelled")},
    {engine::ItemState::Stopped, "已停止", Word("stopped")},
}};

constexpr bool InEnumerationOrder() {
    for (size_t i = 0; i < kStateNames.size(); ++i) {
        if (static_cast<size_t>(kStateNames[i].state) != i)
            return false;
    }
    return true;
}
static_assert(InEnumerationOrder() &&
                  kStateNames.size() == static_cast<size_t>(engine::ItemState::Stopped) + 1,
              "one entry per state, in the order of the enumeration");

// The program's own text of a state.
constexpr const char* StatusText(engine::ItemState state) {
    return kStateNames[static_cast<size_t>(state)].text;
}
// The command line's English word for a state.
constexpr const char* StatusWord(engine::ItemState state) {
    return kStateNames[static_cast<size_t>(state)].word;
}

}  // namespace frontend
