#pragma once
// Files that another program or a later step reads are never seen half-written: they are
// written under a temporary name in the same folder and renamed into place.

#include <string>
#include <string_view>

namespace formats {

// Writes the whole content to a temporary file beside `path` and renames it into place.
// Returns an empty string on success, else a message that names the path.
std::string saveFileAtomic(const std::string& path, std::string_view content);

// Appends the whole content to `path` (created when missing and `create` is true), writing
// until every byte is out. Returns an empty string on success, else a message naming the path.
std::string appendToFile(const std::string& path, std::string_view content, bool create = true);

// A temporary name in the same folder as `path`, unique within this process.
std::string temporaryNameFor(const std::string& path);

} // namespace formats
