#include "app/results/csv_exports.h"

#include "app/results/stored_block_reader.h"
#include "app/results/worm_trails_file.h"
#include "formats/image_descriptor_file.h"
#include "formats/position_file.h"
#include "formats/save_file.h"
#include "formats/text_lines.h"

#include <algorithm>

namespace results {

namespace {

void appendNumber(std::string& out, std::int64_t value) {
    out += std::to_string(value);
}

std::span<const std::uint8_t> bytesOf(const std::string& content) {
    return {reinterpret_cast<const std::uint8_t*>(content.data()), content.size()};
}

void appendRecordLine(std::string& out, std::int64_t timeMark, std::int32_t number,
                      const StoredWormRecord& r) {
    appendNumber(out, timeMark);
    for (std::int32_t v : {number, r.x, r.y, r.pixels, r.xSize, r.ySize, r.shape}) {
        out += ',';
        appendNumber(out, v);
    }
    if (r.meanGray >= 0) {
        out += ',';
        appendNumber(out, r.meanGray);
    }
    out += "\r\n";
}

CsvExportResult exportFile(const std::string& acqFolder, const char* binName, const char* csvName,
                           const char* finished,
                           CsvText (*convert)(std::span<const std::uint8_t>)) {
    CsvExportResult out;
    if (acqFolder.empty())
        return out;
    const std::string binPath = formats::pathInFolder(acqFolder, binName);
    std::string content, error;
    bool missing = false;
    if (!readWholeFile(binPath, content, error, &missing)) {
        if (!missing) {
            out.status = CsvExportResult::Status::Failed;
            out.message = error;
        }
        return out;
    }
    CsvText csv = convert(bytesOf(content));
    out.frameCaption = csv.frameCaption;
    out.csvPath = formats::pathInFolder(acqFolder, csvName);
    if (!csv.ok) {
        out.status = CsvExportResult::Status::Failed;
        out.message = csv.error + "; " + csvName + " was not written";
        return out;
    }
    if (std::string e = formats::saveFileAtomic(out.csvPath, csv.text); !e.empty()) {
        out.status = CsvExportResult::Status::Failed;
        out.message = e;
        return out;
    }
    out.status = CsvExportResult::Status::Finished;
    out.message = finished;
    return out;
}

} // namespace

CsvText imageDescriptorCsvText(std::span<const std::uint8_t> bytes) {
    CsvText out;
    if (bytes.size() <= 1) {
        out.ok = true;
        return out;
    }
    if (bytes[0] == 0 && bytes[1] == 0) {
        out.ok = true; // a box count of 0: an empty text, whatever follows
        return out;
    }
    const formats::ImageDescriptorFile file = formats::decodeImageDescriptorFile(bytes);
    if (!file.error.empty()) {
        out.error = std::string(formats::kImageDescriptorFileName) + ": " + file.error;
        return out;
    }
    if (file.boxes.empty()) {
        out.ok = true;
        return out;
    }
    std::string& text = out.text;
    text.reserve(file.lines.size() * (6 + 4 * file.boxes.size()) + 10 * file.boxes.size());
    appendNumber(text, static_cast<std::int64_t>(file.boxes.size()));
    for (const formats::BoxEntry& b : file.boxes) {
        text += ',';
        appendNumber(text, b.x);
        text += ';';
        appendNumber(text, b.y);
    }
    text += "\r\n";
    for (std::size_t i = 0; i < file.lines.size(); ++i) {
        appendNumber(text, file.lines.timeMark(i));
        for (std::uint8_t v : file.lines.values(i)) {
            text += ',';
            appendNumber(text, v);
        }
        text += "\r\n";
    }
    out.ok = true;
    return out;
}

CsvText wormPositionsCsvText(std::span<const std::uint8_t> bytes) {
    CsvText out;
    if (bytes.size() < 2) {
        out.ok = true;
        return out;
    }
    const std::uint8_t first = bytes[0];
    int layout = -1;
    switch (first) {
    case 0:
        layout = 1;
        break;
    case 1:
        layout = 2;
        break;
    case 2:
        layout = 3;
        break;
    case kRunMarker:
        layout = 0;
        break;
    default:
        out.error = std::string(formats::kWormPositionsFileName) + ": unknown layout (first byte " +
                    std::to_string(first) + ")";
        return out;
    }
    std::string& text = out.text;
    text += layout == 3 ? kWormsColumnsCurrent : kWormsColumnsOld;
    text += "\r\n";

    if (layout == 0) {
        // The records of the first record's time mark, however many; the number stops growing
        // at 1000. The caption shows the time mark as stored, all 32 bits of it.
        const auto timeOf = [](const std::uint8_t* p) {
            return (static_cast<std::uint32_t>(p[1]) << 24) |
                   (static_cast<std::uint32_t>(p[2]) << 16) |
                   (static_cast<std::uint32_t>(p[3]) << 8) | p[4];
        };
        if (bytes.size() < static_cast<std::size_t>(kRunRecordSize)) {
            out.ok = true;
            return out;
        }
        const std::uint32_t time = timeOf(bytes.data());
        out.frameCaption = std::string("#").append(std::to_string(time));
        std::int32_t number = 0;
        for (std::size_t pos = 0; pos + kRunRecordSize <= bytes.size(); pos += kRunRecordSize) {
            const std::uint8_t* p = bytes.data() + pos;
            if (pos > 0 && (p[0] != kRunMarker || timeOf(p) != time))
                break;
            StoredWormRecord r;
            std::int32_t* const fields[6] = {&r.x, &r.y, &r.pixels, &r.xSize, &r.ySize,
                                                   &r.shape};
            for (int i = 0; i < 6; ++i)
                *fields[i] = (p[5 + 2 * i] << 8) | p[6 + 2 * i];
            number = std::min(number + 1, kRunMaxDetections);
            appendRecordLine(text, static_cast<std::int64_t>(time), number, r);
        }
        out.ok = true;
        return out;
    }

    std::size_t cursor = 0;
    while (cursor < bytes.size()) {
        const ParsedWormBlock block = ParseWormBlock(bytes.subspan(cursor), cursor == 0, layout);
        if (block.status == DetectionBlock::Status::NothingNew)
            break; // a block still being appended: whole blocks only
        if (block.status == DetectionBlock::Status::Error) {
            out.error = std::string(formats::kWormPositionsFileName) + " at byte " +
                        std::to_string(cursor + 1) + ": " + block.error;
            return out;
        }
        for (const StoredWormRecord& r : block.records)
            appendRecordLine(text, block.timeMark, r.number, r);
        cursor += block.advance;
    }
    out.ok = true;
    return out;
}

CsvExportResult ExportImageDescriptorCsv(const std::string& acqFolder) {
    return exportFile(acqFolder, formats::kImageDescriptorFileName, kImageDescriptorCsvName,
                      kImageCsvFinishedMessage, &imageDescriptorCsvText);
}

CsvExportResult ExportWormPositionsCsv(const std::string& acqFolder) {
    return exportFile(acqFolder, formats::kWormPositionsFileName, kWormPositionsCsvName,
                      kWormsCsvFinishedMessage, &wormPositionsCsvText);
}

} // namespace results
