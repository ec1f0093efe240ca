#include "tools/dravel/dravel.h"

#include "formats/save_file.h"
#include "tools/dravel/jpeg_gray.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dravel {

namespace {

const char* const kUsage =
    "usage: Dravel [-grayscale] [-scale 1/8|1/4|1/2|1/1] [-outfile OUT] IN.jpg\n";

// "1/8" and the like; the numerator must be 1.
bool parseScale(const std::string& text, int& denominator) {
    if (text == "1/1" || text == "1")
        denominator = 1;
    else if (text == "1/2")
        denominator = 2;
    else if (text == "1/4")
        denominator = 4;
    else if (text == "1/8")
        denominator = 8;
    else
        return false;
    return true;
}

bool readWholeFile(const std::string& path, std::string& data, std::string& error) {
    // Opened without blocking: a pipe with no writer must not hold the conversion.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = std::strerror(errno);
        ::close(fd);
        return false;
    }
    // Only a regular file holds a frame: a folder, pipe, socket or device is refused.
    if (!S_ISREG(st.st_mode)) {
        error = "not a regular file";
        ::close(fd);
        return false;
    }
    data.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        data.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

// After a failed conversion no output may stay behind that could pass for this frame's: an
// older file under the output name is removed (never the input itself).
void removeStaleOutput(const std::string& outFile, const std::string& input) {
    if (outFile.empty())
        return;
    struct stat in {
    }, out{};
    if (::stat(outFile.c_str(), &out) != 0)
        return;
    if (::stat(input.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino)
        return;
    ::unlink(outFile.c_str());
}

struct FileSink {
    int fd = -1;
    int error = 0;
};

bool writeToFile(void* context, const char* data, std::size_t size) {
    auto* sink = static_cast<FileSink*>(context);
    while (size > 0) {
        const ssize_t n = ::write(sink->fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            sink->error = errno;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Decodes straight into a temporary file beside outFile, row by row, and renames it into
// place only when the whole picture was written; on failure nothing of it remains.
bool convertToFile(const std::string& jpeg, int denominator, const std::string& outFile,
                   std::string& error) {
    const std::string temp = formats::temporaryNameFor(outFile);
    FileSink sink;
    sink.fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (sink.fd < 0) {
        error = "cannot write " + outFile + ": " + std::strerror(errno);
        return false;
    }
    const bool decoded = decodeJpegGrayTo(jpeg, denominator, writeToFile, &sink, error);
    if (!decoded && sink.error != 0)
        error = "cannot write " + outFile + ": " + std::strerror(sink.error);
    const bool closed = ::close(sink.fd) == 0;
    if (decoded && !closed)
        error = "cannot write " + outFile + ": " + std::strerror(errno);
    if (!decoded || !closed || std::rename(temp.c_str(), outFile.c_str()) != 0) {
        if (decoded && closed)
            error = "cannot rename into " + outFile + ": " + std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

} // namespace

int runDravel(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    int denominator = 1;
    std::string outFile;
    std::string input;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!input.empty()) {
            err << "Dravel: unexpected argument after the input file: " << a << "\n" << kUsage;
            return 2;
        }
        if (a == "-grayscale" || a == "-gray" || a == "-greyscale") {
            // The output is always gray.
        } else if (a == "-scale") {
            if (i + 1 >= args.size() || !parseScale(args[i + 1], denominator)) {
                err << "Dravel: -scale needs 1/1, 1/2, 1/4 or 1/8\n" << kUsage;
                return 2;
            }
            ++i;
        } else if (a == "-outfile") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                err << "Dravel: -outfile needs a file name\n" << kUsage;
                return 2;
            }
            outFile = args[++i];
        } else if (a.size() > 1 && a[0] == '-') {
            err << "Dravel: unknown option " << a << "\n" << kUsage;
            return 2;
        } else if (a.empty()) {
            err << "Dravel: empty input file name\n" << kUsage;
            return 2;
        } else {
            input = a;
        }
    }
    if (input.empty()) {
        err << "Dravel: no input file\n" << kUsage;
        return 2;
    }

    std::string jpeg;
    std::string error;
    if (!readWholeFile(input, jpeg, error)) {
        err << "Dravel: cannot read " << input << ": " << error << "\n";
        removeStaleOutput(outFile, input);
        return 1;
    }
    if (!outFile.empty()) {
        if (!convertToFile(jpeg, denominator, outFile, error)) {
            err << "Dravel: " << input << ": " << error << "\n";
            removeStaleOutput(outFile, input);
            return 1;
        }
        return 0;
    }
    GrayImage image;
    if (!decodeJpegGray(jpeg, denominator, image, error)) {
        err << "Dravel: " << input << ": " << error << "\n";
        removeStaleOutput(outFile, input);
        return 1;
    }
    if (outFile.empty()) {
        out.write(image.pgm.data(), static_cast<std::streamsize>(image.pgm.size()));
        out.flush();
        if (!out) {
            err << "Dravel: cannot write the output\n";
            return 1;
        }
        return 0;
    }
    return 0;
}

} // namespace dravel
