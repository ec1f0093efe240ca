#pragma once
// The trails file worm_trails.csv of an acquisition: a header line and one ";"-separated row of
// nine decimal integers per trail and frame, lines ending in CR LF. Written by the trackers
// (created anew, then appended block by block during a live run), read by the trail metrics,
// the plot and the replay.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace results {

inline constexpr char kWormTrailsFileName[] = "worm_trails.csv";
inline constexpr char kWormTrailsHeader[] = "FRAME;ID;X;Y;LOST_COUNT;#PIX;X_SIZE;Y_SIZE;SHAPE";

struct WormTrailRow {
    std::int32_t frame = 0;
    std::int32_t id = 0;
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t lostCount = 0;
    std::int32_t pixels = 0;
    std::int32_t xSize = 0;
    std::int32_t ySize = 0;
    std::int32_t shape = 0;

    bool operator==(const WormTrailRow&) const = default;
};

// "FRAME;ID;X;Y;LOST_COUNT;#PIX;X_SIZE;Y_SIZE;SHAPE" values of one row, without a line end.
std::string formatWormTrailRow(const WormTrailRow& row);

// The whole file: header line and rows, each line ending in CR LF.
std::string formatWormTrailsFile(const std::vector<WormTrailRow>& rows);

// Creates (or replaces) the file with its header line and the rows, written under a temporary
// name and renamed into place. Returns an empty string on success, else a message.
std::string writeWormTrailsFile(const std::string& path, const std::vector<WormTrailRow>& rows);

// Appends rows (each ending in CR LF) to an existing trails file in a single write. Returns an
// empty string on success, else a message; a missing file is an error (it is never created
// here without its header line).
std::string appendWormTrailRows(const std::string& path, const std::vector<WormTrailRow>& rows);

// The rows text of one live block (each row ending in CR LF): the run's first block creates the
// file anew under a temporary name (its text begins with the header line), later blocks are
// appended in a single write. Empty on success, else a message.
std::string writeLiveTrailRows(const std::string& path, const std::string& text, bool firstBlock);

// Walks the lines of a trails-file text, header line included. Lines end in LF or CR LF (the
// line end is not part of the line). A last line without a line end is a row when its ninth
// field is begun (a hand-edited file); one with fewer fields is still being written and is
// left out.
class TrailsTextLines {
public:
    explicit TrailsTextLines(std::string_view text) : m_text(text) {}
    // The next line; false at the end of the text.
    bool next(std::string_view& line);
    // 1-based number of the line `next` gave last.
    std::int64_t lineNumber() const { return m_lineNumber; }

    // Bytes of the text taken so far (line ends included).
    std::size_t position() const { return m_pos; }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
    std::int64_t m_lineNumber = 0;
};

// Reads a file front to back in pieces of whole lines, so that one pass over a day-long trails
// file needs neither the whole file in memory nor a fresh buffer per file. Every piece but the
// last ends in LF; the last holds what follows the file's last LF. The file is read on to its
// end, as it is at the time (a live run may still append to it).
class LinePieceReader {
public:
    explicit LinePieceReader(std::size_t pieceBytes = std::size_t(1) << 20);
    ~LinePieceReader();
    LinePieceReader(const LinePieceReader&) = delete;
    LinePieceReader& operator=(const LinePieceReader&) = delete;

    // False with a message when the file cannot be read; `missing` is set when it does not exist.
    bool open(const std::string& path, std::string& error, bool* missing = nullptr);
    // The next piece; false at the end of the file, or with a message in `error` when reading
    // failed. A line longer than a piece makes the piece grow.
    bool next(std::string_view& piece, std::string& error);

private:
    std::string m_path;
    int m_fd = -1;
    std::vector<char> m_buffer;
    std::size_t m_filled = 0;   // bytes of m_buffer holding file data
    std::size_t m_consumed = 0; // of those, bytes already given out as pieces
    bool m_atEnd = false;
};

// What reading a trails file gave.
struct WormTrailsRead {
    enum class Status { Ok, Missing, Failed };
    Status status = Status::Missing;
    std::vector<WormTrailRow> rows;
    std::string error; // set when status is Failed
    bool ok() const { return status == Status::Ok; }
};

// One field's value by the leading-number rule, rounded halves to even; nothing when it does
// not fit 32 bits. Plain decimal integers, what the trackers write, take a short way.
std::optional<std::int32_t> trailFieldValue(std::string_view field);

// Reads the rows after the header line (lines as TrailsTextLines gives them); blank lines are
// passed over. Values are
// read by the leading-number rule (no number gives 0), rounded halves to even; a value beyond
// 32 bits or a trail id outside 0 .. 32000 fails with a message naming the line.
WormTrailsRead parseWormTrailsText(const std::string& text);
WormTrailsRead readWormTrailsFile(const std::string& path);

// Reads a whole file into `content`; false with a message when it cannot be read.
// `missing` is set when the file does not exist.
bool readWholeFile(const std::string& path, std::string& content, std::string& error,
                   bool* missing = nullptr);

} // namespace results
