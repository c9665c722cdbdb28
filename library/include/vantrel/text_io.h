// How tables are read and written: straight through the streams' buffers, so
// that every failure to read or write is seen.
#pragma once

#include <cstddef>
#include <ostream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <string_view>

namespace vantrel {

// An open, read or write failure, which a stream buffer may throw to be
// reported with its reason; what() is the message.
class IoError : public std::runtime_error {
public:
    enum class Side { kInput, kOutput };
    IoError(Side side, const std::string& what) : std::runtime_error(what), side_(side) {}
    Side side() const noexcept { return side_; }

private:
    Side side_;
};

// Line ends of what the library writes itself: the platform's (on Windows "\r\n",
// which text written there is expected to have). The CSV records in between
// are written as they were read.
#ifdef _WIN32
inline constexpr std::string_view kLineEnd = "\r\n";
#else
inline constexpr std::string_view kLineEnd = "\n";
#endif

// A buffer that fails by throwing IoError reports it with its reason; any
// other buffer that refuses bytes is reported alike, without one.
class Writer {
public:
    explicit Writer(std::ostream& out) : buffer_(*out.rdbuf()) {}

    // Bytes as they are.
    Writer& operator<<(std::string_view bytes) {
        if (buffer_.sputn(bytes.data(), static_cast<std::streamsize>(bytes.size())) !=
            static_cast<std::streamsize>(bytes.size())) {
            Failed();
        }
        return *this;
    }
    // Text whose '\n' are the platform's line ends.
    void Text(std::string_view text) {
        for (std::size_t end; (end = text.find('\n')) != std::string_view::npos;
             text.remove_prefix(end + 1)) {
            *this << text.substr(0, end) << kLineEnd;
        }
        *this << text;
    }
    void Flush() {
        if (buffer_.pubsync() != 0) Failed();
    }

private:
    [[noreturn]] static void Failed() {
        throw IoError(IoError::Side::kOutput, "cannot write the output");
    }

    std::streambuf& buffer_;
};

}  // namespace vantrel
