// The trails-file reader over arbitrary worm_trails.csv text: rows it takes must be written
// and read back as the same rows.

#include "app/results/worm_trails_file.h"
#include "fuzz/support/scratch_file.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const results::WormTrailsRead read = results::parseWormTrailsText(text);
    FUZZ_CHECK(read.status != results::WormTrailsRead::Status::Missing);
    if (!read.ok()) {
        FUZZ_CHECK(!read.error.empty());
        return 0;
    }
    for (const results::WormTrailRow& row : read.rows)
        FUZZ_CHECK(row.id >= 0 && row.id <= 32000);

    const std::string written = results::formatWormTrailsFile(read.rows);
    const results::WormTrailsRead again = results::parseWormTrailsText(written);
    FUZZ_CHECK(again.ok());
    FUZZ_CHECK(again.rows == read.rows);
    return 0;
}
