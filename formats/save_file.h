#pragma once
// Files that another program or a later step reads are never seen half-written: they are
// written under a temporary name in the same folder and renamed into place.

#include <string>
#include <string_view>
#include <vector>

namespace formats {

// Writes the whole content to a temporary file beside `path` and renames it into place.
// Returns an empty string on success, else a message that names the path.
std::string saveFileAtomic(const std::string& path, std::string_view content);

// Appends the whole content to `path` (created when missing and `create` is true), writing
// until every byte is out. Returns an empty string on success, else a message naming the path.
std::string appendToFile(const std::string& path, std::string_view content, bool create = true);

// Gives `from` the new name `to` only when no file has that name: an existing file is never
// replaced. Where the file system cannot rename that way, the file is linked under the new
// name and the old name removed. Returns an empty string on success, else a message naming
// `to` ("Cannot rename FROM to TO: TO already exists" when the name is taken).
std::string renameNoReplace(const std::string& from, const std::string& to);

// Writes the whole content under a temporary name beside `path` and gives it that name only
// when no file has it (see renameNoReplace). Empty on success, else a message.
std::string saveFileNoReplace(const std::string& path, std::string_view content);

// A temporary name in the same folder as `path`, unique within this process: the name, ".tmp",
// the process id, "_" and a count.
std::string temporaryNameFor(const std::string& path);

// Removes from `folder` what writers killed on the way left under the temporary names of the
// files `names`: only a regular file (never a link, nor anything through one) whose name is
// one of `names` followed by such a suffix exactly, and only when the process named in it no
// longer runs (a writer of another program, or of this one, may still be writing it).
void removeLeftTemporaries(const std::string& folder, const std::vector<std::string>& names);

} // namespace formats
