#pragma once
// Small settings and run files as lists of text lines.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace formats {

// A line ends at LF or CR LF. A last line without a line end still counts as a line; a file
// that ends with a line end has no empty line after it. A lone CR inside a line is kept.
std::vector<std::string> splitLines(std::string_view text);

// Every line followed by `lineEnd`, joined.
std::string joinLines(const std::vector<std::string>& lines, std::string_view lineEnd);

// What reading a text file gave.
struct TextLines {
    enum class Status { Ok, Missing, Failed };
    Status status = Status::Missing;
    std::vector<std::string> lines;
    std::string error; // set when status is Failed

    bool ok() const { return status == Status::Ok; }
    // The line at `index`, or nothing past the end.
    const std::string* line(std::size_t index) const {
        return index < lines.size() ? &lines[index] : nullptr;
    }
};

// The largest settings file read: anything bigger is not one of ours.
inline constexpr std::size_t kMaxTextFileBytes = 4u << 20;

// Reads the file as lines (see splitLines). A file that does not exist gives Missing; one that
// cannot be read, is not a regular file or is larger than `maxBytes` gives Failed.
TextLines readTextLines(const std::string& path, std::size_t maxBytes = kMaxTextFileBytes);

// Writes the lines, each followed by `lineEnd`, under a temporary name that is then renamed
// into place. A line that holds a CR or LF itself is refused (it would shift every later line)
// and nothing is written. Returns an empty string on success, else a message naming the path.
std::string writeTextLines(const std::string& path, const std::vector<std::string>& lines,
                           std::string_view lineEnd = "\r\n");

// Copies a file byte for byte under a temporary name beside `to`, renamed into place. Only a
// regular file is copied (see readRegularFile). Returns an empty string on success, else a
// message naming the file.
std::string copyFileAtomic(const std::string& from, const std::string& to);

// The same, but a file already under the name `to` is never replaced: the copy is then refused
// with a message naming `to` (see renameNoReplace).
std::string copyFileNoReplace(const std::string& from, const std::string& to);

// `folder` joined with a file name.
std::string pathInFolder(const std::string& folder, std::string_view fileName);

// True when the path names an existing regular file.
bool fileExists(const std::string& path);

} // namespace formats
