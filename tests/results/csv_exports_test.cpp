#include "app/results/csv_exports.h"

#include "formats/image_descriptor_file.h"
#include "formats/position_file.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace results;
using namespace results_test;

namespace {

using Bytes = std::vector<std::uint8_t>;

void append(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

void put16(Bytes& out, int v) {
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
}

// An older-layout block: header (byte 0, time mark, count, check value), 13-byte records and,
// with a footer, six more bytes.
Bytes oldBlock(int byte0, int time, const std::vector<std::array<int, 7>>& records, bool footer) {
    Bytes b{static_cast<std::uint8_t>(byte0),
            static_cast<std::uint8_t>(time >> 8),
            static_cast<std::uint8_t>(time & 0xFF),
            static_cast<std::uint8_t>(records.size()),
            0,
            0};
    for (const auto& r : records) {
        b.push_back(static_cast<std::uint8_t>(r[0]));
        for (int i = 1; i < 7; ++i)
            put16(b, r[i]);
    }
    if (footer)
        b.insert(b.end(), {0x80, 0, 0, 0, 0, 0});
    return b;
}

Bytes runRecord(std::uint32_t time, const std::array<int, 6>& v) {
    Bytes b{255, static_cast<std::uint8_t>(time >> 24), static_cast<std::uint8_t>(time >> 16),
            static_cast<std::uint8_t>(time >> 8), static_cast<std::uint8_t>(time)};
    for (int x : v)
        put16(b, x);
    return b;
}

std::string text(const CsvText& t) {
    EXPECT_TRUE(t.ok) << t.error;
    return t.text;
}

bool noTemporaryFiles(const std::string& folder) {
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.path().filename().string().find(".tmp") != std::string::npos)
            return false;
    return true;
}

} // namespace

TEST(ImageDescriptorCsv, BoxTableAndRecordsExactly) {
    Bytes bytes = formats::encodeBoxTable(std::vector<formats::BoxEntry>{{10, 20}, {30, 40}});
    append(bytes, formats::encodeDescriptorLine(5, std::vector<std::uint8_t>{7, 255}));
    EXPECT_EQ(text(imageDescriptorCsvText(bytes)), "2,10;20,30;40\r\n5,7,255\r\n");
    // A second line, then a line still being appended (time mark and one of two values).
    append(bytes, formats::encodeDescriptorLine(40000, std::vector<std::uint8_t>{0, 9}));
    append(bytes, {0, 7, 1});
    EXPECT_EQ(text(imageDescriptorCsvText(bytes)), "2,10;20,30;40\r\n5,7,255\r\n40000,0,9\r\n");
    // Empty, one-byte and zero-box files give an empty text; a cut box table is an error.
    EXPECT_EQ(text(imageDescriptorCsvText(Bytes{})), "");
    EXPECT_EQ(text(imageDescriptorCsvText(Bytes{3})), "");
    EXPECT_EQ(text(imageDescriptorCsvText(Bytes{0, 0, 0, 5, 1})), "");
    const CsvText cut = imageDescriptorCsvText(Bytes{0, 2, 0, 10, 0, 20, 0});
    EXPECT_FALSE(cut.ok);
    EXPECT_EQ(cut.error, "xy_image.bin: box table is cut short");
}

TEST(WormPositionsCsv, CurrentLayoutExactly) {
    Bytes bytes =
        formats::encodeBlock(5,
                             std::vector<formats::WormRecord>{{1, 100, 200, 30, 8, 6, 40000, 77},
                                                              {2, 5, 6, 7, 1, 2, 3, 0}},
                             true);
    append(bytes, formats::encodeBlock(6, {}, false)); // no detection: 12 bytes
    append(bytes, formats::encodeBlock(
                      70000, std::vector<formats::WormRecord>{{1, 1, 2, 3, 4, 5, 6, 7}}, false));
    append(bytes, formats::encodeBlock(
                      70000, std::vector<formats::WormRecord>{{1, 9, 9, 9, 9, 9, 9, 9}}, false));
    const std::string expected = "#Frame,Count,X,Y,Size,LengthX,LengthY,Shape,background\r\n"
                                 "5,1,100,200,30,8,6,40000,77\r\n"
                                 "5,2,5,6,7,1,2,3,0\r\n"
                                 "70000,1,1,2,3,4,5,6,7\r\n"
                                 "70000,1,9,9,9,9,9,9,9\r\n";
    EXPECT_EQ(text(wormPositionsCsvText(bytes)), expected);
    // A block still being appended is left out whole.
    const Bytes next = formats::encodeBlock(
        70001, std::vector<formats::WormRecord>{{1, 1, 1, 1, 1, 1, 1, 1}}, false);
    for (std::size_t cut : {std::size_t{3}, std::size_t{6}, next.size() - 1}) {
        Bytes partial = bytes;
        partial.insert(partial.end(), next.begin(),
                       next.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_EQ(text(wormPositionsCsvText(partial)), expected) << cut;
    }
    // Bytes that are no block of the current layout stop the export with the byte named.
    Bytes bad = bytes;
    append(bad, Bytes{0x80, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    const CsvText failed = wormPositionsCsvText(bad);
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.error, "xy_worms.bin at byte " + std::to_string(bytes.size() + 1) +
                                ": no block of the current layout here");
}

TEST(WormPositionsCsv, OlderLayouts) {
    // First byte 1: 13-byte records and a footer; first byte 0: no footer.
    const std::vector<std::array<int, 7>> recs = {{1, 10, 20, 30, 4, 5, 50000},
                                                  {2, 11, 21, 31, 6, 7, 8}};
    Bytes withFooter = oldBlock(1, 5, recs, true);
    append(withFooter,
           oldBlock(0, 9, {{1, 1, 2, 3, 4, 5, 6}}, true)); // later block: byte 0 high bits
    EXPECT_EQ(text(wormPositionsCsvText(withFooter)),
              "#Frame,Count,X,Y,Size,LengthX,LengthY,Shape\r\n"
              "5,1,10,20,30,4,5,50000\r\n5,2,11,21,31,6,7,8\r\n9,1,1,2,3,4,5,6\r\n");
    Bytes noFooter = oldBlock(0, 5, recs, false);
    append(noFooter, oldBlock(1, 9, {{1, 1, 2, 3, 4, 5, 6}}, false)); // byte 0 = 1: 65536 + 9
    append(noFooter, Bytes{0, 0, 10, 1, 0});                          // header still being appended
    EXPECT_EQ(text(wormPositionsCsvText(noFooter)),
              "#Frame,Count,X,Y,Size,LengthX,LengthY,Shape\r\n"
              "5,1,10,20,30,4,5,50000\r\n5,2,11,21,31,6,7,8\r\n65545,1,1,2,3,4,5,6\r\n");

    // First byte 255: the records of the first time mark, numbered from 1.
    Bytes runs = runRecord(300, {1, 2, 3, 4, 5, 60000});
    append(runs, runRecord(300, {7, 8, 9, 10, 11, 12}));
    append(runs, runRecord(301, {1, 1, 1, 1, 1, 1}));
    const CsvText r = wormPositionsCsvText(runs);
    EXPECT_EQ(text(r), "#Frame,Count,X,Y,Size,LengthX,LengthY,Shape\r\n"
                       "300,1,1,2,3,4,5,60000\r\n300,2,7,8,9,10,11,12\r\n");
    EXPECT_EQ(r.frameCaption, "#300");
}

TEST(WormPositionsCsv, DamagedFooterIsExportedByTheHeaderCount) {
    // The footer of the middle block no longer repeats its header (one flipped byte): its
    // records and those of the blocks after it are all exported.
    Bytes bytes = formats::encodeBlock(
        5, std::vector<formats::WormRecord>{{1, 100, 200, 30, 8, 6, 7, 77}}, true);
    Bytes damaged = formats::encodeBlock(
        6, std::vector<formats::WormRecord>{{1, 1, 2, 3, 4, 5, 6, 7}, {2, 9, 9, 9, 9, 9, 9, 9}},
        false);
    damaged[damaged.size() - 4] ^= 0x10; // the footer's time mark
    append(bytes, damaged);
    append(bytes, formats::encodeBlock(
                      7, std::vector<formats::WormRecord>{{1, 4, 4, 4, 4, 4, 4, 4}}, false));
    EXPECT_EQ(text(wormPositionsCsvText(bytes)),
              "#Frame,Count,X,Y,Size,LengthX,LengthY,Shape,background\r\n"
              "5,1,100,200,30,8,6,7,77\r\n"
              "6,1,1,2,3,4,5,6,7\r\n"
              "6,2,9,9,9,9,9,9,9\r\n"
              "7,1,4,4,4,4,4,4,4\r\n");
}

TEST(WormPositionsCsv, OldestLayoutExportsEveryRecordOfTheFirstTimeMark) {
    // 1,200 records of one time mark: all of them, numbered 1 to 1000 and then 1000 again.
    Bytes runs;
    for (int i = 0; i < 1200; ++i)
        append(runs, runRecord(300, {i % 500 + 1, 2, 3, 4, 5, 6}));
    append(runs, runRecord(301, {1, 1, 1, 1, 1, 1}));
    const CsvText r = wormPositionsCsvText(runs);
    ASSERT_TRUE(r.ok) << r.error;
    std::vector<std::string> lines;
    for (std::size_t pos = 0; pos < r.text.size();) {
        const std::size_t end = r.text.find("\r\n", pos);
        lines.push_back(r.text.substr(pos, end - pos));
        pos = end + 2;
    }
    ASSERT_EQ(lines.size(), 1201u);
    EXPECT_EQ(lines[1], "300,1,1,2,3,4,5,6");
    EXPECT_EQ(lines[1000], "300,1000,500,2,3,4,5,6");
    EXPECT_EQ(lines[1001], "300,1000,1,2,3,4,5,6");
    EXPECT_EQ(lines[1200], "300,1000,200,2,3,4,5,6");
    // A first time mark beyond 31 bits is shown as it stands.
    const CsvText high = wormPositionsCsvText(runRecord(0x80000005u, {1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(high.frameCaption, "#2147483653");
    EXPECT_EQ(text(high), "#Frame,Count,X,Y,Size,LengthX,LengthY,Shape\r\n"
                          "2147483653,1,1,2,3,4,5,6\r\n");
}

TEST(WormPositionsCsv, UnknownLayoutIsAnErrorNotAnEmptyExport) {
    TempFolder acq;
    writeBytes(acq.file("xy_worms.bin"), Bytes{7, 0, 5, 0, 0, 0});
    writeFile(acq.file("xy_worms.csv"), "earlier");
    const CsvExportResult r = ExportWormPositionsCsv(acq.path());
    EXPECT_EQ(r.status, CsvExportResult::Status::Failed);
    EXPECT_EQ(r.message,
              "xy_worms.bin: unknown layout (first byte 7); xy_worms.csv was not written");
    EXPECT_EQ(readFile(acq.file("xy_worms.csv")), "earlier");
    EXPECT_TRUE(noTemporaryFiles(acq.path()));
}

TEST(CsvExports, FilesWrittenAnnouncedOrLeftAlone) {
    TempFolder acq;
    // No binary files: nothing happens.
    EXPECT_EQ(ExportImageDescriptorCsv(acq.path()).status, CsvExportResult::Status::Missing);
    EXPECT_EQ(ExportWormPositionsCsv(acq.path()).status, CsvExportResult::Status::Missing);
    EXPECT_FALSE(exists(acq.file("xy_image.csv")));
    EXPECT_FALSE(exists(acq.file("xy_worms.csv")));

    Bytes image = formats::encodeBoxTable(std::vector<formats::BoxEntry>{{10, 20}});
    append(image, formats::encodeDescriptorLine(1, std::vector<std::uint8_t>{42}));
    writeBytes(acq.file("xy_image.bin"), image);
    writeBytes(acq.file("xy_worms.bin"), formats::encodeBlock(1, {}, true));
    CsvExportResult r = ExportImageDescriptorCsv(acq.path());
    EXPECT_EQ(r.status, CsvExportResult::Status::Finished);
    EXPECT_EQ(r.message, "Exporting xy_image.bin File to ascii finished");
    EXPECT_EQ(r.csvPath, acq.file("xy_image.csv"));
    EXPECT_EQ(readFile(r.csvPath), "1,10;20\r\n1,42\r\n");
    r = ExportWormPositionsCsv(acq.path());
    EXPECT_EQ(r.status, CsvExportResult::Status::Finished);
    EXPECT_EQ(r.message, "Exporting xy_worms.bin File to ascii finished");
    EXPECT_EQ(readFile(acq.file("xy_worms.csv")),
              "#Frame,Count,X,Y,Size,LengthX,LengthY,Shape,background\r\n");

    // An empty binary file gives an empty CSV, announced.
    writeBytes(acq.file("xy_worms.bin"), {});
    r = ExportWormPositionsCsv(acq.path());
    EXPECT_EQ(r.status, CsvExportResult::Status::Finished);
    EXPECT_EQ(readFile(acq.file("xy_worms.csv")), "");

    // A cut box table fails and leaves the earlier CSV.
    writeBytes(acq.file("xy_image.bin"), Bytes{0, 3, 0, 1});
    r = ExportImageDescriptorCsv(acq.path());
    EXPECT_EQ(r.status, CsvExportResult::Status::Failed);
    EXPECT_EQ(r.message, "xy_image.bin: box table is cut short; xy_image.csv was not written");
    EXPECT_EQ(readFile(acq.file("xy_image.csv")), "1,10;20\r\n1,42\r\n");
    EXPECT_TRUE(noTemporaryFiles(acq.path()));
}
