#include "app/microbeam/pgm_pixels.h"

#include "formats/regular_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace microbeam {

FramePixels pgmPixelsFromBytes(std::string_view bytes, FrameSize size) {
    FramePixels pixels;
    if (size.width <= 0 || size.height <= 0)
        return pixels;
    // Skip through the third line feed.
    std::size_t at = 0;
    int lineFeeds = 0;
    while (at < bytes.size() && lineFeeds < 3) {
        if (bytes[at] == '\n')
            ++lineFeeds;
        ++at;
    }
    if (lineFeeds < 3)
        return pixels;
    const std::size_t wanted =
        static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height);
    const std::size_t count = std::min(wanted, bytes.size() - at);
    pixels.assign(reinterpret_cast<const std::uint8_t*>(bytes.data()) + at,
                  reinterpret_cast<const std::uint8_t*>(bytes.data()) + at + count);
    return pixels;
}

FramePixels pgmPixelsFromFile(const std::string& path, FrameSize size, std::string* error) {
    if (error)
        error->clear();
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    // Only a regular file is read: a pipe or a device in the frame's place is refused.
    formats::RegularFile opened;
    if (!opened.open(path)) {
        if (error)
            *error = opened.error();
        return {};
    }
    std::unique_ptr<std::FILE, Closer> file(::fdopen(opened.fd(), "rb"));
    if (!file) {
        if (error)
            *error = "Cannot read " + path + ": " + std::strerror(errno);
        return {};
    }
    opened.release();
    // Header lines are short; read at most what the header and the pixels can take.
    const std::size_t limit =
        (size.width > 0 && size.height > 0)
            ? static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height)
            : 0;
    std::string bytes;
    std::size_t lineFeeds = 0;
    std::size_t pixelBytes = 0;
    char buffer[65536];
    while (true) {
        const std::size_t n = std::fread(buffer, 1, sizeof buffer, file.get());
        for (std::size_t i = 0; i < n; ++i) {
            if (lineFeeds < 3) {
                bytes.push_back(buffer[i]);
                if (buffer[i] == '\n')
                    ++lineFeeds;
            } else if (pixelBytes < limit) {
                bytes.push_back(buffer[i]);
                ++pixelBytes;
            } else {
                break;
            }
        }
        if (n < sizeof buffer || (lineFeeds >= 3 && pixelBytes >= limit))
            break;
    }
    if (std::ferror(file.get())) {
        if (error)
            *error = "cannot read " + path + ": " + std::strerror(errno);
        return {};
    }
    return pgmPixelsFromBytes(bytes, size);
}

bool isStorableFrame(const FramePixels& pixels) {
    static constexpr std::uint8_t kError[] = {'E', 'r', 'r', 'o', 'r'};
    if (pixels.empty())
        return false;
    return !(pixels.size() >= 5 &&
             std::equal(std::begin(kError), std::end(kError), pixels.begin()));
}

} // namespace microbeam
