#include "app/results/worm_trails_file.h"

#include "app/results/trail_metrics.h"
#include "formats/numbers.h"
#include "formats/regular_file.h"
#include "formats/save_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>
#include <unistd.h>

namespace results {

std::string formatWormTrailRow(const WormTrailRow& r) {
    std::string line;
    line.reserve(64);
    const std::int32_t values[9] = {r.frame,  r.id,    r.x,     r.y,    r.lostCount,
                                    r.pixels, r.xSize, r.ySize, r.shape};
    for (int i = 0; i < 9; ++i) {
        if (i > 0)
            line.push_back(';');
        line += std::to_string(values[i]);
    }
    return line;
}

namespace {
std::string rowsText(const std::vector<WormTrailRow>& rows) {
    std::string text;
    text.reserve(rows.size() * 40);
    for (const WormTrailRow& r : rows) {
        text += formatWormTrailRow(r);
        text += "\r\n";
    }
    return text;
}
} // namespace

std::string formatWormTrailsFile(const std::vector<WormTrailRow>& rows) {
    return std::string(kWormTrailsHeader) + "\r\n" + rowsText(rows);
}

std::string writeWormTrailsFile(const std::string& path, const std::vector<WormTrailRow>& rows) {
    return formats::saveFileAtomic(path, formatWormTrailsFile(rows));
}

std::string appendWormTrailRows(const std::string& path, const std::vector<WormTrailRow>& rows) {
    // Never creates the file: a trails file without its header line would not read back.
    return formats::appendToFile(path, rowsText(rows), false);
}

std::string writeLiveTrailRows(const std::string& path, const std::string& text, bool firstBlock) {
    if (firstBlock)
        return formats::saveFileAtomic(path, text);
    if (text.empty())
        return {};
    return formats::appendToFile(path, text, false);
}

bool TrailsTextLines::next(std::string_view& line) {
    if (m_pos >= m_text.size())
        return false;
    const std::size_t end = m_text.find('\n', m_pos);
    std::string_view found =
        m_text.substr(m_pos, end == std::string_view::npos ? std::string_view::npos : end - m_pos);
    if (!found.empty() && found.back() == '\r')
        found.remove_suffix(1);
    if (end == std::string_view::npos) {
        // No line end: a row only when its ninth field is begun.
        std::size_t cut = 0;
        for (int separators = 0; separators < 8; ++separators) {
            cut = found.find(';', cut);
            if (cut == std::string_view::npos)
                break;
            ++cut;
        }
        if (cut == std::string_view::npos || cut >= found.size()) {
            m_pos = m_text.size();
            return false;
        }
    }
    m_pos = end == std::string_view::npos ? m_text.size() : end + 1;
    ++m_lineNumber;
    line = found;
    return true;
}

std::optional<std::int32_t> trailFieldValue(std::string_view field) {
    const bool negative = !field.empty() && field.front() == '-';
    const std::string_view digits = negative ? field.substr(1) : field;
    if (!digits.empty() && digits.size() <= 9) {
        std::int32_t value = 0;
        bool plain = true;
        for (char c : digits) {
            if (c < '0' || c > '9') {
                plain = false;
                break;
            }
            value = value * 10 + (c - '0');
        }
        if (plain)
            return negative ? -value : value;
    }
    return formats::toInt32(formats::leadingNumber(field));
}

WormTrailsRead parseWormTrailsText(const std::string& text) {
    static const char* const names[9] = {"FRAME", "ID",     "X",      "Y",    "LOST_COUNT",
                                         "#PIX",  "X_SIZE", "Y_SIZE", "SHAPE"};
    WormTrailsRead out;
    out.status = WormTrailsRead::Status::Ok;
    TrailsTextLines lines(text);
    std::string_view line;
    while (lines.next(line)) {
        const std::int64_t lineNumber = lines.lineNumber();
        if (lineNumber == 1 || line.find_first_not_of(" \t") == std::string_view::npos)
            continue;
        std::int32_t values[9] = {};
        std::size_t start = 0;
        for (int i = 0; i < 9 && start <= line.size(); ++i) {
            std::size_t stop = line.find(';', start);
            if (stop == std::string_view::npos)
                stop = line.size();
            const std::optional<std::int32_t> v = trailFieldValue(line.substr(start, stop - start));
            if (!v) {
                out.status = WormTrailsRead::Status::Failed;
                out.error = "worm_trails.csv line " + std::to_string(lineNumber) + ": " + names[i] +
                            " value out of range";
                out.rows.clear();
                return out;
            }
            values[i] = *v;
            start = stop + 1;
        }
        if (values[1] < 0 || values[1] > kMaxTrailId) {
            out.status = WormTrailsRead::Status::Failed;
            out.error = "worm_trails.csv line " + std::to_string(lineNumber) + ": trail id " +
                        std::to_string(values[1]) + " outside 0 to " + std::to_string(kMaxTrailId);
            out.rows.clear();
            return out;
        }
        out.rows.push_back({values[0], values[1], values[2], values[3], values[4], values[5],
                            values[6], values[7], values[8]});
    }
    return out;
}

bool readWholeFile(const std::string& path, std::string& content, std::string& error,
                   bool* missing) {
    return formats::readRegularFile(path, content, error, missing);
}

LinePieceReader::LinePieceReader(std::size_t pieceBytes)
    : m_buffer(pieceBytes < 64 ? 64 : pieceBytes) {}

LinePieceReader::~LinePieceReader() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool LinePieceReader::open(const std::string& path, std::string& error, bool* missing) {
    if (m_fd >= 0)
        ::close(m_fd);
    m_path = path;
    m_filled = m_consumed = 0;
    m_atEnd = false;
    formats::RegularFile file;
    const bool opened = file.open(path);
    if (missing)
        *missing = file.missing();
    if (!opened) {
        error = file.error();
        m_fd = -1;
        return false;
    }
    m_fd = file.release();
    return true;
}

bool LinePieceReader::next(std::string_view& piece, std::string& error) {
    if (m_fd < 0 && !m_atEnd)
        return false;
    // What follows the last piece's final LF moves to the front.
    if (m_consumed > 0) {
        std::memmove(m_buffer.data(), m_buffer.data() + m_consumed, m_filled - m_consumed);
        m_filled -= m_consumed;
        m_consumed = 0;
    }
    for (;;) {
        while (!m_atEnd && m_filled < m_buffer.size()) {
            const ssize_t n = ::read(m_fd, m_buffer.data() + m_filled, m_buffer.size() - m_filled);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                error = "Cannot read " + m_path + ": " + std::strerror(errno);
                ::close(m_fd);
                m_fd = -1;
                return false;
            }
            if (n == 0) {
                m_atEnd = true;
                ::close(m_fd);
                m_fd = -1;
            }
            m_filled += static_cast<std::size_t>(n);
        }
        if (m_atEnd) {
            if (m_filled == 0)
                return false;
            piece = std::string_view(m_buffer.data(), m_filled);
            m_consumed = m_filled;
            return true;
        }
        const void* lastEnd = ::memrchr(m_buffer.data(), '\n', m_filled);
        if (lastEnd != nullptr) {
            m_consumed =
                static_cast<std::size_t>(static_cast<const char*>(lastEnd) - m_buffer.data()) + 1;
            piece = std::string_view(m_buffer.data(), m_consumed);
            return true;
        }
        // One line fills the whole buffer.
        m_buffer.resize(m_buffer.size() * 2);
    }
}

WormTrailsRead readWormTrailsFile(const std::string& path) {
    std::string text, error;
    bool missing = false;
    if (!readWholeFile(path, text, error, &missing)) {
        WormTrailsRead out;
        out.status = missing ? WormTrailsRead::Status::Missing : WormTrailsRead::Status::Failed;
        out.error = error;
        return out;
    }
    return parseWormTrailsText(text);
}

} // namespace results
