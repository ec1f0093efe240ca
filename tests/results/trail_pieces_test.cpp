// The trails analysis over a file read in pieces, and its one-pass reading of plain rows: both
// give exactly what the general reading of the whole text gives.

#include "app/results/trail_metrics.h"
#include "app/results/worm_trails_file.h"

#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace results;
using namespace results_test;

namespace {

struct Row {
    int frame, id, x, y, lost, shape;
};

// Trails over `frames` frames: eight at a time, new ids every 90 frames, some lost for a while.
std::vector<Row> crawlingRows(int frames) {
    std::vector<Row> rows;
    for (int f = 0; f < frames; ++f)
        for (int k = 0; k < 8; ++k) {
            const int lost = (f + 3 * k) % 37 < 12 ? (f + 3 * k) % 37 : 0;
            rows.push_back({f, (f / 90) * 8 + k,
                            300 + 40 * k + static_cast<int>(25 * std::cos(f * 0.05 * (1 + k % 3))),
                            500 + static_cast<int>(25 * std::sin(f * 0.07 + k)), lost,
                            0x0F0F ^ (f % 5) ^ (k << 4)});
        }
    return rows;
}

const char kHeader[] = "FRAME;ID;X;Y;LOST_COUNT;#PIX;X_SIZE;Y_SIZE;SHAPE\r\n";

std::string plainText(const std::vector<Row>& rows) {
    std::string text = kHeader;
    for (const Row& r : rows)
        text += std::to_string(r.frame) + ";" + std::to_string(r.id) + ";" + std::to_string(r.x) +
                ";" + std::to_string(r.y) + ";" + std::to_string(r.lost) + ";50;8;6;" +
                std::to_string(r.shape) + "\r\n";
    return text;
}

// The same rows spelt in every way the leading-number rule reads alike, with blank lines between.
std::string unusualText(const std::vector<Row>& rows) {
    std::string text = kHeader;
    int n = 0;
    for (const Row& r : rows) {
        const std::string f = std::to_string(r.frame), id = std::to_string(r.id),
                          x = std::to_string(r.x), y = std::to_string(r.y),
                          l = std::to_string(r.lost), s = std::to_string(r.shape);
        switch (n++ % 10) {
        case 0:
            text += f + ";" + id + ";" + x + ";" + y + ";" + l + ";50;8;6;" + s + "\n";
            break;
        case 1:
            text += f + ".0;" + id + ";" + x + ";" + y + ";" + l + ";50;8;6;" + s + "\r\n";
            break;
        case 2:
            text += "+" + f + ";" + id + "; " + x + ";" + y + ";" + l + ";;;;" + s + "\r\n";
            break;
        case 3:
            text += f + ";" + id + ";" + x + ";" + y + ";" + l + ";50;8;6;" + s + ";9\r\n";
            break;
        case 4:
            text += f + ";" + id + ";" + x + ".4;" + y + ";" + l + ";x;y;z;" + s + ".2\r\n";
            break;
        case 5:
            text +=
                "\r\n  \r\n" + f + ";" + id + ";" + x + ";" + y + ";" + l + ";50;8;6;" + s + "\r\n";
            break;
        case 6:
            text += f + ";000000000" + id + ";" + x + ";" + y + ";" + l + ";50;8;6;" + s + "\r\n";
            break;
        case 7:
            text += f + ";" + id + ";" + x + ";" + y + ";" + l + ";50;8;6;\t" + s + "\r\n";
            break;
        case 8:
            text += f + ";" + id + ";" + x + "e0;" + y + ";" + l + ";50;8;6;" + s + "\r\r\n";
            break;
        default:
            text += f + ";" + id + ";" + x + ";" + y + ";" + l + ";50;8;6;" + s + "\r\n";
            break;
        }
    }
    return text;
}

void expectSameAnalysis(const TrailAnalysisResult& a, const TrailAnalysisResult& b) {
    ASSERT_EQ(a.ok, b.ok);
    EXPECT_EQ(a.error, b.error);
    EXPECT_EQ(a.particleTrails, b.particleTrails);
    EXPECT_EQ(a.maxId, b.maxId);
    ASSERT_EQ(a.blocks.size(), b.blocks.size());
    for (std::size_t i = 0; i < a.blocks.size(); ++i) {
        EXPECT_EQ(a.blocks[i].particles, b.blocks[i].particles) << i;
        EXPECT_EQ(a.blocks[i].avgSpeed, b.blocks[i].avgSpeed) << i;
        EXPECT_EQ(a.blocks[i].distancePerParticle, b.blocks[i].distancePerParticle) << i;
        EXPECT_EQ(a.blocks[i].stillFraction, b.blocks[i].stillFraction) << i;
        EXPECT_EQ(a.blocks[i].rotationIndex, b.blocks[i].rotationIndex) << i;
    }
}

TrailAnalysisParams oneMinuteBlocks(int numbering) {
    TrailAnalysisParams p;
    p.blockMinutes = 1;
    p.pxPerMmX = 23.857;
    p.pxPerMmY = 23.43;
    p.trailNumbering = numbering;
    return p;
}

TrailAnalysisResult analyzeInPieces(const std::string& text, const TrailAnalysisParams& p,
                                    std::size_t pieceBytes) {
    TempFolder folder;
    writeFile(folder.file("worm_trails.csv"), text);
    LinePieceReader reader(pieceBytes);
    std::string error;
    EXPECT_TRUE(reader.open(folder.file("worm_trails.csv"), error)) << error;
    return analyzeTrailsFile(reader, p);
}

} // namespace

TEST(LinePieceReader, GivesWholeLinesAndTheRestLast) {
    TempFolder folder;
    const std::string path = folder.file("lines.txt");
    const std::string longLine(300, 'x');
    const std::string text =
        "a;b\r\n" + longLine + "\n\nshort\r\n" + longLine + "\ntail;without;end";
    writeFile(path, text);
    LinePieceReader reader(64);
    std::string error;
    ASSERT_TRUE(reader.open(path, error)) << error;
    std::vector<std::string> pieces;
    std::string_view piece;
    while (reader.next(piece, error))
        pieces.emplace_back(piece);
    EXPECT_TRUE(error.empty()) << error;
    ASSERT_GE(pieces.size(), 3u);
    std::string joined;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i + 1 < pieces.size()) {
            EXPECT_EQ(pieces[i].back(), '\n') << i;
        }
        joined += pieces[i];
    }
    EXPECT_EQ(joined, text);
    EXPECT_EQ(pieces.back().substr(pieces.back().rfind('\n') + 1), "tail;without;end");
    EXPECT_FALSE(reader.next(piece, error)); // stays at the end
}

TEST(LinePieceReader, EmptyMissingAndUnreadableFiles) {
    TempFolder folder;
    writeFile(folder.file("empty.csv"), "");
    LinePieceReader reader;
    std::string error;
    bool missing = true;
    ASSERT_TRUE(reader.open(folder.file("empty.csv"), error, &missing));
    EXPECT_FALSE(missing);
    std::string_view piece;
    EXPECT_FALSE(reader.next(piece, error));
    EXPECT_TRUE(error.empty());

    EXPECT_FALSE(reader.open(folder.file("none.csv"), error, &missing));
    EXPECT_TRUE(missing);
    EXPECT_NE(error.find("none.csv"), std::string::npos) << error;
    EXPECT_FALSE(reader.next(piece, error));

    error.clear();
    EXPECT_FALSE(reader.open(folder.path(), error, &missing)); // a folder
    EXPECT_FALSE(missing);
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
}

TEST(TrailAnalysis, FileInPiecesGivesWhatTheWholeTextGives) {
    const std::string text = plainText(crawlingRows(400)) + "400;1;5;5;0;0;0;0"; // torn last row
    for (int numbering : {-1, 0}) {
        const TrailAnalysisResult whole = analyzeTrailsText(text, oneMinuteBlocks(numbering));
        ASSERT_TRUE(whole.ok) << whole.error;
        ASSERT_GE(whole.blocks.size(), 6u);
        for (std::size_t piece : {64, 100, 4096, 1 << 20})
            expectSameAnalysis(analyzeInPieces(text, oneMinuteBlocks(numbering), piece), whole);
    }
    // A row that stops the analysis is named by the same line, wherever the pieces are cut.
    const std::string bad = plainText(crawlingRows(30)) + "30;32001;5;5;0;0;0;0;0\r\n";
    const TrailAnalysisResult whole = analyzeTrailsText(bad, oneMinuteBlocks(-1));
    ASSERT_FALSE(whole.ok);
    EXPECT_EQ(whole.error, "worm_trails.csv line 242: trail id 32001 outside 0 to 32000");
    expectSameAnalysis(analyzeInPieces(bad, oneMinuteBlocks(-1), 64), whole);
}

TEST(TrailAnalysis, RowsInUnusualSpellingsReadLikePlainOnes) {
    const std::vector<Row> rows = crawlingRows(250);
    for (int numbering : {-1, 0}) {
        const TrailAnalysisResult plain =
            analyzeTrailsText(plainText(rows), oneMinuteBlocks(numbering));
        ASSERT_TRUE(plain.ok) << plain.error;
        EXPECT_NE(plain.particleTrails.find("#block3"), std::string::npos);
        const TrailAnalysisResult unusual =
            analyzeTrailsText(unusualText(rows), oneMinuteBlocks(numbering));
        expectSameAnalysis(unusual, plain);
        expectSameAnalysis(analyzeInPieces(unusualText(rows), oneMinuteBlocks(numbering), 64),
                           plain);
    }
}

TEST(MotionRule, MidpointOfNegativePositionsRoundsHalvesToEven) {
    TrailState s;
    s.midX = -3; // started at a position left of the frame (a hand-made file)
    s.midY = 5;
    applyMotionRule(s, MotionInput{0, 0, 0, 0, 0}, 10, 10);
    EXPECT_EQ(s.midX, -2); // -1.5
    EXPECT_EQ(s.midY, 2);  // 2.5
    s.midX = -1;
    s.midY = -7;
    applyMotionRule(s, MotionInput{0, 0, 0, 0, 0}, 10, 10);
    EXPECT_EQ(s.midX, 0);  // -0.5
    EXPECT_EQ(s.midY, -4); // -3.5
}

TEST(CountBits16, AgreesWithCountingBitByBit) {
    for (std::int32_t v = 0; v <= 0xFFFF; ++v) {
        int bits = 0;
        for (int b = 0; b < 16; ++b)
            bits += (v >> b) & 1;
        ASSERT_EQ(CountBits16(v), bits) << v;
        ASSERT_EQ(CountBits16(v | 0x7FFF0000), bits) << v;
    }
}
