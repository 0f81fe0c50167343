#include "engine/PageSetup.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "util/Text.h"

namespace engine {
namespace {

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Inches per unit; 0 for an unknown unit.
double UnitInches(const std::string& unit) {
    if (unit == "in")
        return 1.0;
    if (unit == "mm")
        return 1.0 / 25.4;
    if (unit == "cm")
        return 1.0 / 2.54;
    if (unit == "pt")
        return 1.0 / 72.0;
    return 0;
}

// A number and an optional unit after it ("210", "8.5in", "20 mm"); false when it is not that.
bool SplitLength(const std::string& text, double& number, std::string& unit) {
    const std::string t = Trim(text);
    if (t.empty())
        return false;
    char* end = nullptr;
    number = std::strtod(t.c_str(), &end);
    if (end == t.c_str() || !std::isfinite(number))
        return false;
    unit = util::ToLowerAscii(Trim(end));
    return unit.empty() || UnitInches(unit) > 0;
}

struct NamedPaper {
    const char* name;
    double width, height;  // inches
};
constexpr NamedPaper kPapers[] = {
    {"a3", 297 / 25.4, 420 / 25.4}, {"a4", 210 / 25.4, 297 / 25.4}, {"a5", 148 / 25.4, 210 / 25.4},
    {"b5", 176 / 25.4, 250 / 25.4}, {"letter", 8.5, 11.0},          {"legal", 8.5, 14.0},
};

constexpr double kLargestPaper = 200.0;  // inches: the largest page a PDF holds

}  // namespace

std::string ParsePaper(const std::string& text, PageSetup& setup) {
    const std::string name = util::ToLowerAscii(Trim(text));
    for (const NamedPaper& paper : kPapers) {
        if (name == paper.name) {
            setup.width = paper.width;
            setup.height = paper.height;
            return {};
        }
    }
    std::string refused = "'" + text +
                          "' is not a paper size: use A3, A4, A5, B5, Letter, Legal, or WIDTHxHEIGHT "
                          "with a unit (mm, cm, in, pt), such as 210x297mm";
    const size_t x = name.find('x');
    if (x == std::string::npos)
        return refused;
    double width, height;
    std::string widthUnit, heightUnit;
    if (!SplitLength(name.substr(0, x), width, widthUnit) ||
        !SplitLength(name.substr(x + 1), height, heightUnit))
        return refused;
    if (heightUnit.empty() || (!widthUnit.empty() && widthUnit != heightUnit))
        return refused;  // one unit, at the end: 210x297mm
    const double inches = UnitInches(heightUnit);
    width *= inches;
    height *= inches;
    if (width < 1 || height < 1 || width > kLargestPaper || height > kLargestPaper)
        return "'" + text + "' is not a paper size: each side must be from 1 in (25.4 mm) to 200 in";
    setup.width = width;
    setup.height = height;
    return {};
}

std::string ParseMargins(const std::string& text, PageSetup& setup) {
    std::string refused = "'" + text +
                          "' are not margins: use one length for all four, or top,right,bottom,left, "
                          "with a unit (mm, cm, in, pt), such as 20mm or 10,15,10,15mm";
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1)
        parts.push_back(text.substr(start, comma - start));
    parts.push_back(text.substr(start));
    if (parts.size() != 1 && parts.size() != 4)
        return refused;
    std::vector<double> numbers(parts.size());
    std::vector<std::string> units(parts.size());
    for (size_t i = 0; i < parts.size(); ++i) {
        if (!SplitLength(parts[i], numbers[i], units[i]) || numbers[i] < 0)
            return refused;
    }
    // A value without a unit takes the unit of the last one that has one; zero needs none.
    std::string unit;
    for (size_t i = parts.size(); i-- > 0;) {
        if (!units[i].empty())
            unit = units[i];
        else if (!unit.empty())
            units[i] = unit;
    }
    for (size_t i = 0; i < parts.size(); ++i) {
        if (units[i].empty() && numbers[i] != 0)
            return refused;
        numbers[i] *= units[i].empty() ? 1.0 : UnitInches(units[i]);
    }
    if (numbers.size() == 1)
        numbers.assign(4, numbers[0]);
    setup.marginTop = numbers[0];
    setup.marginRight = numbers[1];
    setup.marginBottom = numbers[2];
    setup.marginLeft = numbers[3];
    return {};
}

std::string ParseScale(const std::string& text, PageSetup& setup) {
    const std::string t = Trim(text);
    char* end = nullptr;
    double scale = std::strtod(t.c_str(), &end);
    const bool percent = end != t.c_str() && Trim(end) == "%";
    if (end == t.c_str() || (!percent && *end != '\0') || !std::isfinite(scale))
        return "'" + text +
               "' is not a scale: use a factor from 0.1 to 2, such as 1.1, or a percentage (110%)";
    if (percent)
        scale /= 100;
    if (scale < 0.1 || scale > 2)
        return "'" + text + "' is not a scale: it must be from 0.1 (10%) to 2 (200%)";
    setup.scale = scale;
    return {};
}

std::string ParseNumberPosition(const std::string& text, PageSetup& setup) {
    const std::string name = util::ToLowerAscii(Trim(text));
    const std::pair<const char*, NumberPosition> positions[] = {{"left", NumberPosition::Left},
                                                                {"center", NumberPosition::Center},
                                                                {"right", NumberPosition::Right},
                                                                {"outside", NumberPosition::Outside}};
    for (const auto& [known, position] : positions) {
        if (name == known) {
            setup.numberPosition = position;
            return {};
        }
    }
    return "'" + text + "' is not a position for page numbers: use left, center, right or outside";
}

std::string CheckPageSetup(const PageSetup& setup) {
    if (setup.PaperWidth() - setup.marginLeft - setup.marginRight < 1 ||
        setup.PaperHeight() - setup.marginTop - setup.marginBottom < 1)
        return "the margins leave less than 1 in by 1 in of the paper to print on";
    return {};
}

}  // namespace engine
