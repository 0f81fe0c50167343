// The epub2pdf command: parses its arguments, registers the books with a conversion worker, shows
// progress on the terminal and returns the exit code (0 all converted, 1 some failed, 2 usage error, 3
// converted with warnings, 128 + the signal that stopped the run).
#pragma once

#include <string>
#include <vector>

namespace cli {

int Run(const std::vector<std::string>& arguments);

}  // namespace cli
