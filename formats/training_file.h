#pragma once
// training.dat: the 18 detector parameters, one line each, "key value" ended by CR LF, in the
// order xs xe ys ye bs pl ph pt tl th tt ll lh lt al at mt mm. training.def is a byte copy of
// the program folder's training.dat. The option string handed to Sirrex is built from it.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace formats {

inline constexpr char kTrainingFileName[] = "training.dat";
inline constexpr char kTrainingDefaultsFileName[] = "training.def";
// The gray values of the picked targets: written into the program folder by the acquisition
// window, copied into every acquisition folder under the reanalysis window's name.
inline constexpr char kDescriptorTextFileName[] = "descriptor.txt";
inline constexpr char kDescriptorFileName[] = "descriptor.dat";
inline constexpr std::size_t kTrainingKeyCount = 18;

// The keys in file order.
const std::array<std::string_view, kTrainingKeyCount>& trainingKeys();

// The index of a key in file order, matched case-sensitively; nothing for an unknown key.
std::optional<std::size_t> trainingKeyIndex(std::string_view key);

// True for the keys whose commas are turned into points on writing (tl, th, mt, mm).
bool trainingKeyWritesPoint(std::size_t index);

// One value of a training line, as LoadTraining hands it to a box.
struct TrainingAssignment {
    std::size_t index = 0; // key index in file order
    std::string value;     // commas already turned into points
};

struct TrainingFile {
    // The text of each parameter, in key order, as typed (no trimming, no number check).
    std::array<std::string, kTrainingKeyCount> values;

    // The built-in defaults: 335 1170 215 1035 35 26 76 20 6.8 9.5 20 16 25 20 10 50 31.25 35.
    static TrainingFile defaults();

    // Puts one value under one key: the value gets its commas turned into points, the key loses
    // its blanks; an unknown key changes nothing. True when a key matched.
    bool applyKey(std::string_view key, std::string_view value);

    // The 18 lines "key value" as written (commas turned into points for tl, th, mt, mm).
    std::vector<std::string> lines() const;
    // The whole file, each line ended by CR LF.
    std::string text() const;

    std::string& operator[](std::size_t index) { return values[index]; }
    const std::string& operator[](std::size_t index) const { return values[index]; }
};

// The key and value of one training line: the text before the first blank (which must not be
// the first character) and everything after it, further blanks included. Nothing for a line
// without a blank or starting with one.
std::optional<std::pair<std::string, std::string>> splitTrainingLine(std::string_view line);

// The assignments of a file's lines in file order (unknown keys and skipped lines dropped;
// a key present twice gives two assignments, the later one winning in the box).
std::vector<TrainingAssignment> trainingAssignments(const std::vector<std::string>& lines);

// Applies every line to `training`; returns the number of values set.
std::size_t applyTrainingLines(const std::vector<std::string>& lines, TrainingFile& training);

// The training file of a folder.
std::string trainingPath(const std::string& folder);
std::string trainingDefaultsPath(const std::string& folder);

// Reading a folder's training.dat for LoadTraining.
struct TrainingRead {
    enum class Status { Ok, Missing, Failed };
    Status status = Status::Missing;
    std::vector<TrainingAssignment> assignments;
    std::string error;
};
TrainingRead readTrainingFile(const std::string& folder);

// Replaces `folder`/training.dat (temporary file renamed into place). Empty string on success.
std::string writeTrainingFile(const std::string& folder, const TrainingFile& training);

// The acquisition window's save: `programFolder`/training.dat, then a byte copy of it as
// training.def. Empty string on success, else the first failure's message.
std::string writeTrainingFileWithDefaults(const std::string& programFolder,
                                          const TrainingFile& training);

// The Sirrex option string of a training file's lines: for each line with commas turned into
// points and every blank removed that is then longer than 3 characters, " -" and that line.
std::string trainingOptionsFromLines(const std::vector<std::string>& lines);

// ReadTrainingOptions: the option string of `folder`/training.dat. A missing file gives the
// empty string and no error; a file that cannot be read gives the empty string and a message.
std::string ReadTrainingOptions(const std::string& folder, std::string* error = nullptr);

// The words of an option string as an argument list: split on blanks, empty words dropped.
std::vector<std::string> splitOptionString(std::string_view options);

} // namespace formats
