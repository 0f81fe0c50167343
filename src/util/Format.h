// printf-style formatting into a string, type-safe (fmt's sprintf).
#pragma once

#include <fmt/printf.h>

#include <string>
#include <string_view>

namespace util {

// printf-style formatting into a string: %s takes a string, %d an int, %% a percent sign.
template <typename... Args>
std::string FormatString(std::string_view format, const Args&... args) {
    return fmt::sprintf(format, args...);
}

}  // namespace util
