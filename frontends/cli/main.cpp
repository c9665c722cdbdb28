#include <exception>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli.h"
#include "file_io.h"
#include "messages.h"
#include "unicode.h"

namespace {

int Main(const std::vector<std::string_view>& args) {
    using namespace vantrel::cli;
    try {
        UseBinaryStandardStreams();
        OutputFile output(1, "standard output");
        InputFile input(0, "standard input", false);
        input.FlushBeforeWaiting(&output);
        std::ostream out(&output);
        std::istream in(&input);
        return Run(args, in, out, std::cerr);
    } catch (const std::exception& e) {
        // Run reports what it foresees; nothing else may end the tool in an abort.
        Message(std::cerr) << e.what() << '\n';
        return kBadInput;
    }
}

}  // namespace

#ifdef _WIN32
// The command line in UTF-16, as Windows holds it, and from there in UTF-8: the
// narrow one passes through the ANSI code page, which folds characters it
// lacks into look-alikes ('⁵' into '5', '１' into '1') or '?'.
int wmain(int argc, wchar_t** argv) {
    const vantrel::cli::Utf8Console console;
    std::vector<std::string> utf8;
    try {
        for (int i = 1; i < argc; ++i) utf8.push_back(vantrel::cli::Utf8FromWide(argv[i]));
    } catch (const std::exception& e) {
        vantrel::cli::Message(std::cerr) << e.what() << '\n';
        return vantrel::cli::kBadInput;
    }
    return Main(std::vector<std::string_view>(utf8.begin(), utf8.end()));
}
#else
int main(int argc, char** argv) {
    return Main(std::vector<std::string_view>(argv + 1, argv + argc));
}
#endif
