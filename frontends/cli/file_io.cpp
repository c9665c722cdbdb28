#include "file_io.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include "unicode.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vantrel::cli {

namespace {

// The output of one block of input is written at once: a row with its value
// appended is at most about twice as long as the row.
constexpr std::size_t kInputBufferSize = 64 * 1024;
constexpr std::size_t kOutputBufferSize = 4 * kInputBufferSize;

std::string Reason(int error) { return std::strerror(error); }

#ifdef _WIN32
long ReadSome(int fd, char* data, std::size_t size) {
    return _read(fd, data, static_cast<unsigned>(size));
}
long WriteSome(int fd, const char* data, std::size_t size) {
    return _write(fd, data, static_cast<unsigned>(size));
}
// By its name in UTF-16: the narrow functions would see it in the ANSI code
// page, where a character it lacks is replaced by '?' or by a look-alike
// ('Ω' by 'O'), and so open another file or none.
int OpenForReading(const std::string& path) {
    const std::wstring wide = WideFromUtf8(path);
    const int fd = _wopen(wide.c_str(), _O_RDONLY | _O_BINARY);
    // Windows refuses to open a directory ("Permission denied"); say what it is.
    struct _stat64 status;
    if (fd < 0 && _wstat64(wide.c_str(), &status) == 0 && (status.st_mode & _S_IFDIR) != 0)
        errno = EISDIR;
    return fd;
}
bool SameFile(int a, int b) {
    BY_HANDLE_FILE_INFORMATION first, second;
    const auto info = [](int fd, BY_HANDLE_FILE_INFORMATION& information) {
        const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
        return handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_DISK &&
               GetFileInformationByHandle(handle, &information) != 0 &&
               (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    };
    return info(a, first) && info(b, second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}
void Close(int fd) { _close(fd); }
#else
long ReadSome(int fd, char* data, std::size_t size) { return ::read(fd, data, size); }
long WriteSome(int fd, const char* data, std::size_t size) { return ::write(fd, data, size); }
int OpenForReading(const std::string& path) { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); }
void Close(int fd) { ::close(fd); }
bool SameFile(int a, int b) {
    struct stat first, second;
    return ::fstat(a, &first) == 0 && ::fstat(b, &second) == 0 && S_ISREG(first.st_mode) &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}
#endif

}  // namespace

InputFile::InputFile(int fd, std::string name, bool owned)
    : fd_(fd), name_(std::move(name)), owned_(owned), buffer_(new char[kInputBufferSize]) {}

InputFile::~InputFile() {
    if (owned_) Close(fd_);
}

std::unique_ptr<InputFile> InputFile::Open(const std::string& path) {
    const int fd = OpenForReading(path);
    if (fd < 0) {
        // As where a directory opens and its first read fails.
        const char* verb = errno == EISDIR ? "cannot read '" : "cannot open '";
        throw IoError(IoError::Side::kInput, verb + path + "': " + Reason(errno));
    }
    return std::make_unique<InputFile>(fd, "'" + path + "'", true);
}

InputFile::int_type InputFile::underflow() {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    if (ended_) return traits_type::eof();
    if (tie_ != nullptr && tie_->pubsync() != 0) {
        throw IoError(IoError::Side::kOutput, "cannot write the output");
    }
    long got;
    do {
        got = ReadSome(fd_, buffer_.get(), kInputBufferSize);
    } while (got < 0 && errno == EINTR);
    if (got < 0)
        throw IoError(IoError::Side::kInput, "cannot read " + name_ + ": " + Reason(errno));
    if (got == 0) {
        ended_ = true;
        return traits_type::eof();
    }
    setg(buffer_.get(), buffer_.get(), buffer_.get() + got);
    return traits_type::to_int_type(*gptr());
}

OutputFile::OutputFile(int fd, std::string name)
    : fd_(fd), name_(std::move(name)), buffer_(new char[kOutputBufferSize]) {
    setp(buffer_.get(), buffer_.get() + kOutputBufferSize);
}

void OutputFile::WriteAll(const char* data, std::size_t size) {
    while (size > 0) {
        const long written = WriteSome(fd_, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            // A failed buffer is emptied: the bytes cannot be delivered, and
            // no later flush should try them again.
            setp(buffer_.get(), buffer_.get() + kOutputBufferSize);
            throw IoError(IoError::Side::kOutput,
                          "cannot write to " + name_ + ": " + Reason(written < 0 ? errno : EIO));
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

void OutputFile::Drain() {
    const std::size_t pending = static_cast<std::size_t>(pptr() - pbase());
    setp(buffer_.get(), buffer_.get() + kOutputBufferSize);
    WriteAll(buffer_.get(), pending);
}

OutputFile::int_type OutputFile::overflow(int_type c) {
    Drain();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

std::streamsize OutputFile::xsputn(const char* data, std::streamsize count) {
    const auto size = static_cast<std::size_t>(count);
    if (size <= static_cast<std::size_t>(epptr() - pptr())) {
        std::memcpy(pptr(), data, size);
        pbump(static_cast<int>(count));
    } else {
        Drain();
        if (size < kOutputBufferSize) {
            std::memcpy(pptr(), data, size);
            pbump(static_cast<int>(count));
        } else {
            WriteAll(data, size);
        }
    }
    return count;
}

int OutputFile::sync() {
    Drain();
    return 0;
}

bool SameRegularFile(int a, int b) { return SameFile(a, b); }

void UseBinaryStandardStreams() {
#ifdef _WIN32
    // Fails only for a closed stream, which the first read or write reports.
    _setmode(0, _O_BINARY);
    _setmode(1, _O_BINARY);
#endif
}

}  // namespace vantrel::cli
