#pragma once
// Appending to a file that other runs append to as well: the bytes go in with one write while
// an exclusive lock (flock) is held, so two writers never interleave.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace formats {

// Opens (creating when missing) `path` for appending, takes an exclusive flock, asks `build`
// for the bytes given the file's current size, writes them in one write and releases the lock.
// Returns an empty string on success, else a message naming the path; bytes of a write that
// failed part-way are cut off again, so the file keeps only whole appends.
std::string appendLocked(const std::string& path,
                         const std::function<std::vector<std::uint8_t>(std::uint64_t)>& build);

// What to append, decided under the lock from the file's size and its first bytes; a non-empty
// refusal appends nothing and is returned as the failure.
struct AppendPlan {
    std::vector<std::uint8_t> bytes;
    std::string refusal;
};

// As above; `build` also sees up to `headBytes` bytes from the start of the existing file.
std::string appendLocked(
    const std::string& path, std::size_t headBytes,
    const std::function<AppendPlan(std::uint64_t, const std::vector<std::uint8_t>&)>& build);

// The same with bytes that do not depend on the size.
std::string appendLocked(const std::string& path, const std::vector<std::uint8_t>& bytes);

} // namespace formats
