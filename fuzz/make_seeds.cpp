// Writes the seed corpora of the fuzz targets: a few valid inputs each, made with the
// project's own writers (and libjpeg for the JPEG frames).
//   fuzz_make_seeds <corpus folder>      (fuzz/corpus)

#include "app/results/worm_trails_file.h"
#include "formats/image_descriptor_file.h"
#include "formats/position_file.h"
#include "formats/run_data_file.h"
#include "formats/training_file.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

std::filesystem::path g_root;

void put(const std::string& target, const std::string& name, const std::string& bytes) {
    const std::filesystem::path folder = g_root / target;
    std::filesystem::create_directories(folder);
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::cerr << "cannot write " << (folder / name).string() << "\n";
        std::exit(1);
    }
}

std::string text(const std::vector<std::uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

formats::WormRecord record(int number, int x, int y) {
    return {static_cast<std::uint8_t>(number),
            static_cast<std::uint16_t>(x),
            static_cast<std::uint16_t>(y),
            57,
            14,
            6,
            0x3C5A,
            88};
}

// Layout 3, as the finder writes it: the layout byte, then block after block.
std::vector<std::uint8_t> positionFile(const std::vector<std::vector<formats::WormRecord>>& blocks,
                                       std::int32_t firstTime) {
    std::vector<std::uint8_t> out;
    std::int32_t time = firstTime;
    for (const auto& records : blocks) {
        const auto block = formats::encodeBlock(time, records, out.empty());
        out.insert(out.end(), block.begin(), block.end());
        time += 1;
    }
    return out;
}

// Older layouts: 13-byte records (no mean grey), header byte 0 of the first block the code.
std::vector<std::uint8_t> oldLayoutFile(std::uint8_t code, bool footer, int blocks) {
    std::vector<std::uint8_t> out;
    for (int b = 0; b < blocks; ++b) {
        std::vector<std::uint8_t> records;
        const int n = 1 + b % 3;
        for (int k = 1; k <= n; ++k) {
            std::vector<std::uint8_t> full;
            formats::encodeRecord(record(k, 200 + 40 * k + b, 300 + 25 * k), full);
            records.insert(records.end(), full.begin(), full.end() - 1);
        }
        const std::uint16_t check = formats::blockCheckValue(records);
        const std::uint8_t head[6] = {
            b == 0 ? code : std::uint8_t(0),       0,
            static_cast<std::uint8_t>(10 + b),     static_cast<std::uint8_t>(n),
            static_cast<std::uint8_t>(check >> 8), static_cast<std::uint8_t>(check & 0xFF)};
        out.insert(out.end(), head, head + 6);
        out.insert(out.end(), records.begin(), records.end());
        if (footer) {
            out.insert(out.end(), head, head + 6);
            out[out.size() - 6] |= formats::FOOTER_FLAG;
        }
    }
    return out;
}

// Layout 0: runs of 17-byte records (marker, 32-bit time mark, six 16-bit fields).
std::vector<std::uint8_t> runLayoutFile() {
    std::vector<std::uint8_t> out;
    const std::uint32_t times[] = {5, 5, 5, 6, 7, 7};
    for (std::size_t k = 0; k < std::size(times); ++k) {
        out.push_back(255);
        for (int s = 24; s >= 0; s -= 8)
            out.push_back(static_cast<std::uint8_t>(times[k] >> s));
        const std::uint16_t fields[6] = {
            static_cast<std::uint16_t>(300 + 10 * k), 420, 61, 12, 5, 0x1234};
        for (std::uint16_t f : fields) {
            out.push_back(static_cast<std::uint8_t>(f >> 8));
            out.push_back(static_cast<std::uint8_t>(f & 0xFF));
        }
    }
    return out;
}

void positionSeeds() {
    const std::vector<std::vector<formats::WormRecord>> blocks = {
        {record(1, 410, 300), record(2, 700, 520), record(3, 905, 611)},
        {},
        {record(1, 412, 302), record(2, 703, 522)},
    };
    const auto three = positionFile(blocks, 17);
    auto cut = three;
    cut.resize(cut.size() - 9); // the last block still being written
    auto badFooter = three;
    badFooter[badFooter.size() - 3] ^= 0x01;
    const auto late = positionFile({{record(1, 1000, 800)}, {record(1, 1001, 801)}}, 0x12345);
    for (const char* target : {"live_block_reader", "stored_block_reader"}) {
        put(target, "three_blocks", text(three));
        put(target, "last_block_cut", text(cut));
        put(target, "footer_mismatch", text(badFooter));
        put(target, "high_time_marks", text(late));
    }
    put("stored_block_reader", "layout2_13_byte_records", text(oldLayoutFile(1, true, 3)));
    put("stored_block_reader", "layout1_no_footer", text(oldLayoutFile(0, false, 3)));
    put("stored_block_reader", "layout0_runs", text(runLayoutFile()));
}

void descriptorSeeds() {
    std::vector<formats::BoxEntry> boxes = {
        {800, 60}, {800, 1140}, {60, 600}, {700, 600}, {900, 600}};
    for (int k = 0; k < 12; ++k)
        boxes.push_back({static_cast<std::uint16_t>(400 + 35 * k), 500});
    std::vector<std::uint8_t> file = formats::encodeBoxTable(boxes);
    for (int t = 0; t < 3; ++t) {
        std::vector<std::uint8_t> values(boxes.size());
        for (std::size_t k = 0; k < values.size(); ++k)
            values[k] = static_cast<std::uint8_t>(120 + 7 * k + t);
        const auto line = formats::encodeDescriptorLine(17 + t, values);
        file.insert(file.end(), line.begin(), line.end());
    }
    put("image_descriptor_file", "three_lines", text(file));
    auto cut = file;
    cut.resize(cut.size() - 5);
    put("image_descriptor_file", "last_line_cut", text(cut));
    put("image_descriptor_file", "table_only", text(formats::encodeBoxTable(boxes)));
}

void trailsSeeds() {
    const std::vector<results::WormTrailRow> rows = {
        {17, 1, 410, 300, 0, 57, 14, 6, 15450}, {17, 2, 700, 520, 0, 61, 12, 9, 4660},
        {18, 1, 412, 302, 0, 58, 14, 6, 15450}, {18, 2, 703, 522, 1, 60, 11, 9, 4660},
        {19, 3, 905, 611, 0, 40, 9, 5, 0},
    };
    const std::string crlf = results::formatWormTrailsFile(rows);
    put("worm_trails_file", "five_rows_crlf", crlf);
    std::string lf;
    for (char c : crlf)
        if (c != '\r')
            lf.push_back(c);
    put("worm_trails_file", "five_rows_lf_blank_line", lf.substr(0, 60) + "\n" + lf.substr(60));
    put("worm_trails_file", "torn_last_row", crlf + "20;1;415;30");
    put("worm_trails_file", "header_only", results::formatWormTrailsFile({}));
}

void textSeeds() {
    formats::RunData run;
    run.deviceAddress = "192.168.4.1";
    run.acquisitionFolder = "/home/lab/vermalux/plates/20260312_0930_n2";
    run.startTime = "2026/03/12 09:30:05";
    run.runLength = "12.5min";
    put("run_data_file", "tracking", formats::runDataText(run));
    run.acquisitionMode = formats::kAcquisitionModeMicrobeam;
    run.runLength = "1440";
    put("run_data_file", "microbeam", formats::runDataText(run));
    put("run_data_file", "three_lines_lf", "cam.local:8080\n/data/run\n2026/01/02 03:04:05\n");

    formats::TrainingFile training = formats::TrainingFile::defaults();
    put("training_file", "defaults", training.text());
    training.applyKey("tl", "5,4");
    training.applyKey("mm", "40");
    training.applyKey("bs", " 60 ");
    put("training_file", "commas_and_blanks", training.text());
    put("training_file", "unknown_keys_lf", "xs 300\nzz 12\n tl 5\nmt 31,25\nxs 250\n");

    const char* numbers[] = {"12.5min", " - 3 . 5e2x", "1e400", "-1e-400", "0.000001234",
                             "17.5",    "-2.25",       "abc",   "+.5",     "9223372036854775808",
                             "1,5"};
    int k = 0;
    for (const char* n : numbers)
        put("numbers", "number_" + std::to_string(k++), n);
}

void sirrexSeeds() {
    put("sirrex_arguments", "plate_options",
        "run/img/c192_168_4_1f17.pgm\n-xs250\n-xe1350\n-ys140\n-ye1080\n-bs35\n-tl5.4\n-ti17");
    put("sirrex_arguments", "all_options",
        "f.pgm\n-xs300\n-xe1200\n-ys170\n-ye1000\n-bs20\n-pl78\n-ph100\n-pt20\n-tl5.4\n-th10\n"
        "-tt20\n-ll17\n-lh28\n-lt20\n-al33\n-at50\n-mt35\n-cp1\n-v");
    put("sirrex_arguments", "small_boxes", "a/b/img/f.pgm\n-bs4\n-xs700\n-xe900\n-ys500\n-ye700");
    put("sirrex_arguments", "defaults", "plate/img/f.pgm");
    put("sirrex_arguments", "usage", "f.pgm\n-h");
    put("sirrex_arguments", "refused", "f.pgm\n-xs0x10");

    std::string pixels;
    for (int k = 0; k < 600; ++k)
        pixels.push_back(static_cast<char>(100 + k % 80));
    put("sirrex_frame", "header", "P5\n1600 1200\n255\n" + pixels);
    put("sirrex_frame", "comment_lines", "P5\n# made by hand\n1600 1200\n# depth\n255\n" + pixels);
    put("sirrex_frame", "header_only", "P5\n1600 1200\n255\n");
    put("sirrex_frame", "no_line_feeds", "P51600120025512345678901234567890");
}

// A small JPEG of a gradient with a dark stroke; `components` 1 (gray) or 3 (colour).
std::string jpeg(int width, int height, int components, bool progressive, int restart) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = components;
    info.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 75, TRUE);
    if (progressive)
        jpeg_simple_progression(&info);
    info.restart_in_rows = restart;
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(static_cast<std::size_t>(width) * components);
    while (info.next_scanline < info.image_height) {
        const int y = static_cast<int>(info.next_scanline);
        for (int x = 0; x < width; ++x) {
            const bool stroke = std::abs(x - y) < 2;
            for (int c = 0; c < components; ++c)
                row[static_cast<std::size_t>(x) * components + c] =
                    static_cast<unsigned char>(stroke ? 30 : 120 + 3 * x + c * 20);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    std::string out(reinterpret_cast<char*>(buffer), size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

void dravelSeeds() {
    // The first byte picks the scale (1/1, 1/2, 1/4, 1/8).
    put("dravel_decode", "gray_16x16_full", std::string(1, '\0') + jpeg(16, 16, 1, false, 0));
    put("dravel_decode", "colour_24x16_half", std::string(1, '\1') + jpeg(24, 16, 3, false, 0));
    put("dravel_decode", "gray_40x24_progressive_quarter",
        std::string(1, '\2') + jpeg(40, 24, 1, true, 0));
    put("dravel_decode", "colour_32x32_restarts_eighth",
        std::string(1, '\3') + jpeg(32, 32, 3, false, 1));
    std::string cut = jpeg(16, 16, 1, false, 0);
    cut.resize(cut.size() * 2 / 3);
    put("dravel_decode", "gray_cut_off", std::string(1, '\0') + cut);
}

void microbeamSeeds() {
    // The first byte picks the geometry (0: 200 x 150, 1: 160 x 120, 2: 7 x 3, 3: 1 x 1) and,
    // with 4 added, a block measured over the pixels.
    auto frame = [](int width, int height, int rows) {
        std::string pixels;
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < width; ++x)
                pixels += static_cast<char>((x * 7 + y * 3) % 256);
        return "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n" + pixels;
    };
    put("microbeam_pgm", "full_200x150_block", std::string(1, '\4') + frame(200, 150, 150));
    put("microbeam_pgm", "full_160x120", std::string(1, '\1') + frame(160, 120, 120));
    put("microbeam_pgm", "short_7x3_block", std::string(1, '\6') + frame(7, 3, 2));
    put("microbeam_pgm", "header_only", std::string(1, '\0') + "P5\n200 150\n255\n");
    put("microbeam_pgm", "error_text", std::string(1, '\2') + "P5\n7 3\n255\nError: no frame");
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: fuzz_make_seeds <corpus folder>\n";
        return 2;
    }
    g_root = argv[1];
    positionSeeds();
    descriptorSeeds();
    trailsSeeds();
    textSeeds();
    sirrexSeeds();
    dravelSeeds();
    microbeamSeeds();
    return 0;
}
