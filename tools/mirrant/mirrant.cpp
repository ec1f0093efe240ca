#include "tools/mirrant/mirrant.h"

#include "formats/save_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace mirrant {

namespace {

const char* const kUsage = "usage: Mirrant FRAME.pgm ACCUMULATOR.pgm RESULT.pgm\n"
                           "       Mirrant ACCUMULATOR.pgm RESULT.bmp\n";

constexpr int kMaxSide = 32768;

void putLe16(std::string& out, std::uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void putLe32(std::string& out, std::uint32_t v) {
    putLe16(out, v & 0xFFFF);
    putLe16(out, v >> 16);
}

// Reads a file whole; `missing` tells a file that is not there apart from other failures.
bool readFile(const std::string& path, std::string& data, bool& missing, std::string& error) {
    missing = false;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        missing = errno == ENOENT;
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) {
        error = "cannot read " + path;
        return false;
    }
    data = buffer.str();
    return true;
}

bool loadPgm(const std::string& path, GrayImage& image, bool& missing, std::string& error) {
    std::string data;
    if (!readFile(path, data, missing, error))
        return false;
    if (!parsePgm(data, image, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

} // namespace

bool parsePgm(std::string_view data, GrayImage& image, std::string& error) {
    std::size_t pos = 0;
    if (data.size() < 2 || data[0] != 'P' || data[1] != '5') {
        error = "not a binary PGM";
        return false;
    }
    pos = 2;
    int values[3] = {0, 0, 0};
    for (int& value : values) {
        // Blanks and comments before each number.
        for (;;) {
            if (pos < data.size() && std::isspace(static_cast<unsigned char>(data[pos]))) {
                ++pos;
            } else if (pos < data.size() && data[pos] == '#') {
                while (pos < data.size() && data[pos] != '\n')
                    ++pos;
            } else {
                break;
            }
        }
        if (pos >= data.size() || !std::isdigit(static_cast<unsigned char>(data[pos]))) {
            error = "bad PGM header";
            return false;
        }
        long long v = 0;
        while (pos < data.size() && std::isdigit(static_cast<unsigned char>(data[pos]))) {
            v = v * 10 + (data[pos] - '0');
            if (v > kMaxSide) {
                error = "PGM header value too large";
                return false;
            }
            ++pos;
        }
        value = static_cast<int>(v);
    }
    if (pos >= data.size() || !std::isspace(static_cast<unsigned char>(data[pos]))) {
        error = "bad PGM header";
        return false;
    }
    ++pos;
    const int width = values[0], height = values[1], maximum = values[2];
    if (width <= 0 || height <= 0) {
        error = "empty PGM image";
        return false;
    }
    if (maximum <= 0 || maximum > 255) {
        error = "not an 8-bit PGM (maximum " + std::to_string(maximum) + ")";
        return false;
    }
    const std::size_t count = static_cast<std::size_t>(width) * height;
    if (data.size() - pos < count) {
        error = "PGM pixels cut short (" + std::to_string(data.size() - pos) + " of " +
                std::to_string(count) + " bytes)";
        return false;
    }
    image.width = width;
    image.height = height;
    image.pixels.assign(data.begin() + static_cast<std::ptrdiff_t>(pos),
                        data.begin() + static_cast<std::ptrdiff_t>(pos + count));
    return true;
}

std::string toPgm(const GrayImage& image) {
    std::string out =
        "P5\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n255\n";
    out.append(reinterpret_cast<const char*>(image.pixels.data()), image.pixels.size());
    return out;
}

bool mergeMinimum(const GrayImage& frame, GrayImage& accumulator) {
    if (frame.width != accumulator.width || frame.height != accumulator.height ||
        frame.pixels.size() != accumulator.pixels.size())
        return false;
    std::transform(frame.pixels.begin(), frame.pixels.end(), accumulator.pixels.begin(),
                   accumulator.pixels.begin(),
                   [](std::uint8_t a, std::uint8_t b) { return std::min(a, b); });
    return true;
}

std::string toBmp(const GrayImage& image) {
    const std::uint32_t rowBytes = (static_cast<std::uint32_t>(image.width) + 3u) & ~3u;
    const std::uint32_t pixelBytes = rowBytes * static_cast<std::uint32_t>(image.height);
    const std::uint32_t offset = 14 + 40 + 256 * 4;
    std::string out;
    out.reserve(offset + pixelBytes);
    // File header.
    out += "BM";
    putLe32(out, offset + pixelBytes);
    putLe32(out, 0);
    putLe32(out, offset);
    // Info header: bottom-up rows, 8 bits, no compression, 72 dpi, 256 palette entries.
    putLe32(out, 40);
    putLe32(out, static_cast<std::uint32_t>(image.width));
    putLe32(out, static_cast<std::uint32_t>(image.height));
    putLe16(out, 1);
    putLe16(out, 8);
    putLe32(out, 0);
    putLe32(out, pixelBytes);
    putLe32(out, 2835);
    putLe32(out, 2835);
    putLe32(out, 256);
    putLe32(out, 0);
    // Palette: blue, green, red, reserved.
    for (int i = 0; i < 256; ++i) {
        out += static_cast<char>(i);
        out += static_cast<char>(i);
        out += static_cast<char>(i);
        out += '\0';
    }
    const std::string padding(rowBytes - static_cast<std::uint32_t>(image.width), '\0');
    for (int y = image.height - 1; y >= 0; --y) {
        out.append(reinterpret_cast<const char*>(image.pixels.data()) +
                       static_cast<std::size_t>(y) * image.width,
                   static_cast<std::size_t>(image.width));
        out += padding;
    }
    return out;
}

int runMirrant(const std::vector<std::string>& args, std::ostream& err) {
    for (const std::string& a : args) {
        if (a.empty()) {
            err << "Mirrant: empty file name\n" << kUsage;
            return 2;
        }
    }
    std::string error;
    bool missing = false;
    if (args.size() == 3) {
        GrayImage frame;
        if (!loadPgm(args[0], frame, missing, error)) {
            err << "Mirrant: " << error << "\n";
            return 1;
        }
        GrayImage accumulator;
        if (!loadPgm(args[1], accumulator, missing, error)) {
            if (!missing) {
                // A damaged accumulator is kept as it is for the operator to look at.
                err << "Mirrant: " << error << "\n";
                return 1;
            }
            accumulator = frame;
        } else if (!mergeMinimum(frame, accumulator)) {
            err << "Mirrant: " << args[0] << " is " << frame.width << " x " << frame.height
                << " but " << args[1] << " is " << accumulator.width << " x " << accumulator.height
                << "\n";
            return 1;
        }
        error = formats::saveFileAtomic(args[2], toPgm(accumulator));
    } else if (args.size() == 2) {
        GrayImage accumulator;
        if (!loadPgm(args[0], accumulator, missing, error)) {
            err << "Mirrant: " << error << "\n";
            return 1;
        }
        error = formats::saveFileAtomic(args[1], toBmp(accumulator));
    } else {
        err << kUsage;
        return 2;
    }
    if (!error.empty()) {
        err << "Mirrant: " << error << "\n";
        return 1;
    }
    return 0;
}

} // namespace mirrant
