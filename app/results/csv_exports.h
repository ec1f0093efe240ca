#pragma once
// Comma-separated copies of the binary files of an acquisition, for other tools:
// xy_image.csv from xy_image.bin and xy_worms.csv from xy_worms.bin. Nothing reads them back.
//
// xy_image.csv: line 1 is the box count M and, per box, "," X ";" Y; then one line per image
// record: its time mark and "," with each of its M brightness values.
// xy_worms.csv: a column line, then one line per detection record: the time mark of its block,
// the detection number, X, Y, dark pixels, X size, Y size, shape code and, in the current
// layout only, the mean gray. Lines end in CR LF; numbers are plain decimal.
//
// Only whole blocks and whole records are exported: a block or line still being appended at
// the end of the file is left out. A file is written under a temporary name and renamed.

#include <cstdint>
#include <span>
#include <string>

namespace results {

inline constexpr char kImageDescriptorCsvName[] = "xy_image.csv";
inline constexpr char kWormPositionsCsvName[] = "xy_worms.csv";
inline constexpr char kImageCsvFinishedMessage[] = "Exporting xy_image.bin File to ascii finished";
inline constexpr char kWormsCsvFinishedMessage[] = "Exporting xy_worms.bin File to ascii finished";
inline constexpr char kWormsColumnsOld[] = "#Frame,Count,X,Y,Size,LengthX,LengthY,Shape";
inline constexpr char kWormsColumnsCurrent[] =
    "#Frame,Count,X,Y,Size,LengthX,LengthY,Shape,background";

// The CSV text of a binary file's bytes, or why there is none.
struct CsvText {
    bool ok = false;
    std::string text;
    std::string error; // ok == false: names the file, the byte and the fault
    // The oldest position layout (17-byte records): "#" and the time mark of the exported
    // records, for the window's frame label; empty otherwise.
    std::string frameCaption;
};

// A file of 0 or 1 bytes, or a box count of 0, gives an empty text. A box table cut short is
// an error.
CsvText imageDescriptorCsvText(std::span<const std::uint8_t> bytes);

// The layout is chosen by the first byte: 2 current, 1 and 0 older block layouts, 255 the
// oldest record layout (only the records of the first time mark are exported, numbered from 1,
// the number no longer growing at 1000). Any other first byte is an unknown layout: an error,
// never an empty export. A block that is no block of its layout is an error.
CsvText wormPositionsCsvText(std::span<const std::uint8_t> bytes);

struct CsvExportResult {
    enum class Status {
        Missing,  // no binary file: nothing written, nothing to show
        Finished, // the CSV was written: show `message`, then open `csvPath`
        Failed,   // nothing written (an earlier CSV is left as it was): show `message`
    };
    Status status = Status::Missing;
    std::string csvPath;
    std::string message;
    std::string frameCaption; // see CsvText
};

// mnexport_xyimage and mnexport_xyworm: the export of the acquisition folder's binary file.
CsvExportResult ExportImageDescriptorCsv(const std::string& acqFolder);
CsvExportResult ExportWormPositionsCsv(const std::string& acqFolder);

} // namespace results
