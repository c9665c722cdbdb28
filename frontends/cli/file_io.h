// The tool's own input and output buffers on file descriptors, in place of the
// standard streams: every failure arrives as an IoError that names the file
// and gives the system's reason, Windows reads and writes bytes unchanged
// (binary mode: no end of input at byte 0x1A, no "\r" added before "\n"), and
// output is flushed whenever the input would make the tool wait.
#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <streambuf>
#include <string>

#include "vantrel/text_io.h"

namespace vantrel::cli {

// Reads a file descriptor through a buffer of its own. Before it waits for
// more input it flushes the output it is tied to, so that whatever has been
// computed from the input so far reaches the reader: a slow producer's rows
// come out one by one, while a file is still read and written in large blocks.
class InputFile : public std::streambuf {
public:
    // `fd` is read and, if `owned`, closed at the end; `name` is how messages
    // call it: "standard input" or "'cells.csv'".
    InputFile(int fd, std::string name, bool owned);
    ~InputFile() override;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens a file for reading by its UTF-8 name (on Windows too), or throws an
    // IoError with the system's reason.
    static std::unique_ptr<InputFile> Open(const std::string& path);

    // The output to flush before each read that may wait (none by default).
    void FlushBeforeWaiting(std::streambuf* output) { tie_ = output; }

    int fd() const noexcept { return fd_; }
    // How messages call it: "standard input" or "'cells.csv'".
    const std::string& name() const noexcept { return name_; }

protected:
    int_type underflow() override;

private:
    int fd_;
    std::string name_;
    bool owned_;
    bool ended_ = false;  // a terminal is not asked again after its end of input
    std::streambuf* tie_ = nullptr;
    std::unique_ptr<char[]> buffer_;
};

// Writes a file descriptor through a buffer of its own; a failed write throws.
// Nothing is written at destruction: whoever owns it flushes (pubsync) and
// so learns of a failure.
class OutputFile : public std::streambuf {
public:
    OutputFile(int fd, std::string name);
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    int fd() const noexcept { return fd_; }

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* data, std::streamsize count) override;
    int sync() override;

private:
    void WriteAll(const char* data, std::size_t size);
    void Drain();

    int fd_;
    std::string name_;
    std::unique_ptr<char[]> buffer_;
};

// Whether two open descriptors are one regular file (the same device and
// inode; on Windows the same volume and file index). Devices and pipes are
// never the same file in this sense.
bool SameRegularFile(int a, int b);

// Puts standard input and output in binary mode (Windows; elsewhere nothing to do).
void UseBinaryStandardStreams();

}  // namespace vantrel::cli
