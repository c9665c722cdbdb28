#include <exception>
#include <iostream>
#include <string_view>
#include <vector>

#include "cli.h"
#include "file_io.h"

int main(int argc, char** argv) {
    using namespace vantrel::cli;
    try {
        UseBinaryStandardStreams();
        OutputFile output(1, "standard output");
        InputFile input(0, "standard input", false);
        input.FlushBeforeWaiting(&output);
        std::ostream out(&output);
        std::istream in(&input);
        const std::vector<std::string_view> args(argv + 1, argv + argc);
        return Run(args, in, out, std::cerr);
    } catch (const std::exception& e) {
        // Run reports what it foresees; nothing else may end the tool in an abort.
        std::cerr << "vantrel: " << e.what() << '\n';
        return kBadInput;
    }
}
