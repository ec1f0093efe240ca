// The run-data reader over arbitrary rundata.dat text: what it reads must be written and read
// back unchanged.

#include "formats/run_data_file.h"
#include "fuzz/support/scratch_file.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const formats::RunData read = formats::parseRunData(text);
    const double minutes = read.runLengthMinutes();
    FUZZ_CHECK(!std::isnan(minutes));
    if (const auto whole = read.runLengthWholeMinutes())
        FUZZ_CHECK(std::fabs(*whole - minutes) <= 0.5);

    const std::string written = formats::runDataText(read);
    const formats::RunData again = formats::parseRunData(written);
    FUZZ_CHECK(again.deviceAddress == read.deviceAddress);
    FUZZ_CHECK(again.acquisitionFolder == read.acquisitionFolder);
    FUZZ_CHECK(again.startTime == read.startTime);
    FUZZ_CHECK(again.runLength == read.runLength);
    FUZZ_CHECK(again.acquisitionMode == read.acquisitionMode);
    return 0;
}
