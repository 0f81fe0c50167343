// epub2pdf: converts EPUB books into PDF documents from the command line.
#include "cli/CommandLine.h"

int main(int argc, char** argv) {
    return cli::Run(std::vector<std::string>(argv + 1, argv + argc));
}
