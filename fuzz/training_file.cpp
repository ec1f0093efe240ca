// The training-file reader over arbitrary training.dat text: the values it sets must be
// written and read back unchanged, and the option string handed to Sirrex holds no blanks
// inside its words.

#include "formats/training_file.h"
#include "formats/text_lines.h"
#include "fuzz/support/scratch_file.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> lines = formats::splitLines(text);

    const std::vector<formats::TrainingAssignment> assignments =
        formats::trainingAssignments(lines);
    for (const formats::TrainingAssignment& a : assignments)
        FUZZ_CHECK(a.index < formats::kTrainingKeyCount);

    formats::TrainingFile training = formats::TrainingFile::defaults();
    const std::size_t set = formats::applyTrainingLines(lines, training);
    FUZZ_CHECK(set == assignments.size());

    // What was read is written and read back as the same values.
    const std::string written = training.text();
    formats::TrainingFile again = formats::TrainingFile::defaults();
    const std::vector<std::string> writtenLines = formats::splitLines(written);
    FUZZ_CHECK(writtenLines.size() == formats::kTrainingKeyCount);
    FUZZ_CHECK(formats::applyTrainingLines(writtenLines, again) == formats::kTrainingKeyCount);
    FUZZ_CHECK(again.values == training.values);

    // The option string and its words.
    const std::string options = formats::trainingOptionsFromLines(lines);
    for (const std::string& word : formats::splitOptionString(options)) {
        FUZZ_CHECK(!word.empty());
        FUZZ_CHECK(word.find(' ') == std::string::npos);
    }
    return 0;
}
