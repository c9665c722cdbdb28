// Windows speaks UTF-16 where the tool speaks UTF-8: command lines, file names
// and the console. Only the Windows build has these.
#pragma once

#ifdef _WIN32

#include <string>
#include <string_view>

namespace vantrel::cli {

// An unpaired surrogate becomes U+FFFD; nothing else changes.
std::string Utf8FromWide(std::wstring_view text);
// Bytes that are not UTF-8 become U+FFFD.
std::wstring WideFromUtf8(std::string_view text);

// Switches the console, if there is one, to show UTF-8 as it is written, for
// as long as the object lives; then back to what it was.
class Utf8Console {
public:
    Utf8Console();
    ~Utf8Console();
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

private:
    unsigned saved_;
};

}  // namespace vantrel::cli

#endif
