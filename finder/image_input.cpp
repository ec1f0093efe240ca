#include "finder/image_input.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace finder {

namespace {

// The first bytes of a file, enough to hold any header with a few comment lines.
constexpr std::size_t kHeadChunk = 4096;

void echoHeader(SirrexState& s, std::span<const std::uint8_t> data, std::size_t headerSize,
                std::ostream& out) {
    if (!s.verbose)
        return;
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(headerSize));
    out << "\nHeader_size=" << headerSize << "\n";
}

ImageReadResult judgeCount(SirrexState& s, std::size_t pixels, std::ostream& out,
                           std::ostream& err) {
    if (pixels == 0) {
        if (s.verbose)
            out << "Cant read File correctly\n";
        err << "Cant read File correctly: " << s.nfile << " holds no pixels\n";
        return ImageReadResult::NoPixels;
    }
    if (pixels < static_cast<std::size_t>(MAXCHANNELS)) {
        if (s.verbose)
            out << "Cant read File correctly\n";
        err << "Cant read File correctly: " << s.nfile << " holds " << pixels << " of "
            << MAXCHANNELS << " pixel bytes\n";
        return ImageReadResult::Truncated;
    }
    if (s.verbose)
        out << s.nfile << " File read OK\n";
    return ImageReadResult::Ok;
}

} // namespace

std::size_t pgmHeaderSize(std::span<const std::uint8_t> data) {
    std::size_t i = 0;
    int lineFeeds = 0;
    int counted = 0; // header bytes outside comment lines
    bool lineStart = true;
    while (i < data.size() && lineFeeds < 3 && counted < HEADER_SKIP_LIMIT) {
        if (lineStart && data[i] == '#') {
            // A comment line: skip to and including its line feed.
            while (i < data.size() && data[i] != '\n')
                ++i;
            if (i < data.size())
                ++i;
            continue;
        }
        lineStart = data[i] == '\n';
        if (lineStart)
            ++lineFeeds;
        ++counted;
        ++i;
    }
    return i;
}

ImageReadResult takeImage(SirrexState& s, std::span<const std::uint8_t> fileBytes,
                          std::ostream& out, std::ostream& err) {
    const std::size_t header = pgmHeaderSize(fileBytes);
    echoHeader(s, fileBytes, header, out);
    const std::size_t pixels =
        std::min<std::size_t>(fileBytes.size() - header, static_cast<std::size_t>(MAXCHANNELS));
    std::uint8_t* image = s.buffer.prepareForReading();
    std::copy_n(fileBytes.begin() + static_cast<std::ptrdiff_t>(header), pixels, image);
    std::fill(image + pixels, image + MAXCHANNELS, 0);
    return judgeCount(s, pixels, out, err);
}

ImageReadResult read_image(SirrexState& s, std::ostream& out, std::ostream& err) {
    // Opened without blocking: a pipe with no writer must not hold the run.
    const int fd = ::open(s.nfile.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        if (fd >= 0)
            ::close(fd);
        err << "Cant open File " << s.nfile << "\n";
        return ImageReadResult::CannotOpen;
    }
    // Only a regular file holds a frame: a folder, pipe, socket or device is refused.
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        err << "Cant open File " << s.nfile << "\nnot a regular file\n";
        return ImageReadResult::CannotOpen;
    }

    // The file is mapped: no copy, no fresh memory to fault in.
    if (st.st_size > 0 && s.buffer.mapFile(fd, static_cast<std::size_t>(st.st_size), 0)) {
        ::close(fd);
        const auto size = static_cast<std::size_t>(st.st_size);
        const std::span<const std::uint8_t> head(s.buffer.mappedStart(),
                                                 std::min(size, kHeadChunk));
        const std::size_t header = pgmHeaderSize(head);
        echoHeader(s, head, header, out);
        s.buffer.useMappedFrom(header);
        return judgeCount(s, std::min<std::size_t>(size - header, MAXCHANNELS), out, err);
    }

    // An empty file, or one that cannot be mapped, is read: the head first, then the rest
    // straight into the image.
    std::uint8_t head[kHeadChunk];
    std::size_t headBytes = 0;
    bool failed = false;
    while (headBytes < kHeadChunk) {
        const ssize_t n = ::read(fd, head + headBytes, kHeadChunk - headBytes);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            failed = true;
        if (n <= 0)
            break;
        headBytes += static_cast<std::size_t>(n);
    }
    const std::size_t header = pgmHeaderSize({head, headBytes});
    echoHeader(s, {head, headBytes}, header, out);

    std::uint8_t* image = s.buffer.prepareForReading();
    std::size_t pixels = std::min<std::size_t>(headBytes - header, MAXCHANNELS);
    std::memcpy(image, head + header, pixels);
    while (!failed && pixels < static_cast<std::size_t>(MAXCHANNELS)) {
        const ssize_t n = ::read(fd, image + pixels, MAXCHANNELS - pixels);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            failed = true;
        if (n <= 0)
            break;
        pixels += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (failed && pixels == 0) {
        err << "Cant open File " << s.nfile << "\n";
        return ImageReadResult::CannotOpen;
    }
    std::fill(image + pixels, image + MAXCHANNELS, 0); // a short frame is refused anyway
    return judgeCount(s, pixels, out, err);
}

} // namespace finder
