// The paper a book is printed on: size, orientation, margins and scale, and what is drawn over the
// pages after the merge (page numbers, a running header with the book's title). The defaults are the
// program's long-standing print parameters (US Letter, 0.8 in margins, 110 %, no numbers). The parsers
// read the texts of the settings file and of the command line alike; a value they refuse is named in
// the message, with what is accepted.
#pragma once

#include <string>

namespace engine {

enum class NumberPosition { Left, Center, Right, Outside };

struct PageSetup {
    double width = 8.5;  // inches, as named (portrait)
    double height = 11.0;
    bool landscape = false;
    double marginTop = 0.8, marginRight = 0.8, marginBottom = 0.8, marginLeft = 0.8;  // inches
    double scale = 1.1;
    bool pageNumbers = false;
    NumberPosition numberPosition = NumberPosition::Center;
    bool header = false;
    bool numberFirstPage = false;  // the first page (a cover, a title page) gets its number and header too

    // The paper as printed, orientation applied.
    double PaperWidth() const { return landscape ? height : width; }
    double PaperHeight() const { return landscape ? width : height; }
    // Something is drawn over the merged pages.
    bool Stamped() const { return pageNumbers || header; }
};

// Each sets its part of setup and returns an empty string, or returns why the text was refused and
// leaves setup alone.
// A paper name (A3, A4, A5, B5, Letter, Legal; any case) or WIDTHxHEIGHT with a unit: 210x297mm, 8.5x11in.
std::string ParsePaper(const std::string& text, PageSetup& setup);
// One length for all four margins, or top,right,bottom,left; a value without a unit takes the unit of
// the last value that has one: 20mm, 1in, 10,15,10,15mm, 0.5in,1in,0.5in,1in.
std::string ParseMargins(const std::string& text, PageSetup& setup);
// A scale from 0.1 to 2, as a factor (1.1) or a percentage (110%).
std::string ParseScale(const std::string& text, PageSetup& setup);
// left, center, right or outside (right on odd pages, left on even ones).
std::string ParseNumberPosition(const std::string& text, PageSetup& setup);
// Whether the setup leaves room to print: a printable area of at least 1 in by 1 in.
std::string CheckPageSetup(const PageSetup& setup);

}  // namespace engine
