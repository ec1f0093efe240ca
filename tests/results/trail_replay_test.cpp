#include "app/results/trail_replay.h"

#include "app/results/track_color.h"
#include "formats/numbers.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

using namespace results;
using namespace results_test;

namespace {

const char kHeader[] = "FRAME;ID;X;Y;LOST_COUNT;#PIX;X_SIZE;Y_SIZE;SHAPE\r\n";

std::string row(long frame, int id, int x, int y, int lost = 0, int shape = 0) {
    return std::to_string(frame) + ";" + std::to_string(id) + ";" + std::to_string(x) + ";" +
           std::to_string(y) + ";" + std::to_string(lost) + ";50;8;6;" + std::to_string(shape) +
           "\r\n";
}

struct Labels {
    std::string particle = "-", distance = "-", turnings = "-", speed = "-";
    bool operator==(const Labels&) const = default;
};

void show(Labels& l, const ReplayFrame& f) {
    if (!f.summary)
        return;
    l.particle = f.particleText;
    if (f.distanceText) {
        l.distance = *f.distanceText;
        l.turnings = *f.turningsText;
        l.speed = *f.speedText;
    }
}

std::vector<ReplayFrame> runAll(TrailReplay& r) {
    std::vector<ReplayFrame> frames;
    while (r.status() == TrailReplay::Status::Running)
        frames.push_back(r.next());
    return frames;
}

// The replay as a row-by-row walk with a pass over every id at every row of frame 2 and later.
struct RowByRow {
    std::vector<TrailState> trails = std::vector<TrailState>(32001);
    int maxId = 0;
    long fresh = 0;
    double freshSum = 0;
    Labels labels;
    void rowOf(const TrailRow& r, double px) {
        if (r.frame > 1) {
            freshSum += fresh;
            fresh = 0;
            const auto particles = formats::roundHalfEven(freshSum / r.frame + 0.2);
            labels.particle = std::to_string(particles);
            double travel = 0, speed = 0, rot = 0;
            int n = 0;
            for (int id = 0; id <= maxId; ++id) {
                const TrailState& t = trails[static_cast<std::size_t>(id)];
                if (t.frameCount >= 10) {
                    travel += t.travelMm;
                    speed += t.travelMm / t.frameCount;
                    rot += static_cast<double>(t.rotationBits) / t.frameCount;
                    ++n;
                }
            }
            if (freshSum > 0 && n > 0 && particles > 0) {
                labels.distance = formatFixed(travel / particles, 1);
                labels.turnings = formatFixed(rot / n, 1);
                labels.speed = formatFixed(speed / n, 2);
            }
        }
        maxId = std::max(maxId, r.id);
        if (r.lostCount == 0)
            ++fresh;
        applyMotionRule(trails[static_cast<std::size_t>(r.id)],
                        {r.frame, r.x, r.y, r.lostCount, r.shape}, px, px);
    }
};

} // namespace

TEST(TrailReplay, FiguresOfEveryFrameAsARowByRowWalkGivesThem) {
    std::mt19937 rng(7);
    std::string text = kHeader;
    std::vector<TrailRow> rows;
    for (int f = 0; f <= 400; ++f) {
        for (int k = 0; k < 6; ++k) {
            const int id = static_cast<int>((f / 60) * 6 + k);
            TrailRow r{f,
                       id,
                       200 + 40 * k + static_cast<int>(rng() % 30) + f / 3,
                       300 + static_cast<int>(rng() % 25),
                       rng() % 13 == 0 ? 3 : 0,
                       static_cast<int>(rng() % 65536)};
            if (rng() % 97 == 0)
                r.lostCount = 12; // a restart
            rows.push_back(r);
            text += row(r.frame, r.id, r.x, r.y, r.lostCount, r.shape);
        }
    }
    TrailReplay replay(text, {24.0, 24.0, false});
    RowByRow reference;
    Labels shown;
    std::size_t next = 0;
    int frames = 0;
    while (replay.status() == TrailReplay::Status::Running) {
        const ReplayFrame f = replay.next();
        show(shown, f);
        while (next < rows.size() && rows[next].frame == f.frame)
            reference.rowOf(rows[next++], 24.0);
        ASSERT_EQ(shown, reference.labels) << "frame " << f.frame;
        ++frames;
    }
    EXPECT_EQ(frames, 401);
    EXPECT_EQ(next, rows.size());
    EXPECT_EQ(replay.status(), TrailReplay::Status::Finished);
    EXPECT_NE(shown.speed, "-");
    EXPECT_EQ(replay.maxId(), reference.maxId);
}

TEST(TrailReplay, FirstSummaryAtFrameTwoBeforeItsOwnRow) {
    // Frames 0 and 1 never recompute the figures.
    std::string onlyEarly = std::string(kHeader) + row(0, 0, 10, 10) + row(1, 0, 40, 10);
    TrailReplay early(onlyEarly, {10, 10, false});
    for (const ReplayFrame& f : runAll(early))
        EXPECT_FALSE(f.summary);
    EXPECT_EQ(early.status(), TrailReplay::Status::Finished);

    // Three fresh rows before frame 2's first row, one lost: 3 / 2 + 0.2 rounds to 2.
    std::string text = std::string(kHeader) + row(0, 0, 10, 10) + row(0, 1, 90, 10) +
                       row(1, 0, 10, 10) + row(1, 1, 90, 10, 4) + row(2, 0, 10, 10);
    TrailReplay r(text, {10, 10, false});
    const std::vector<ReplayFrame> frames = runAll(r);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_TRUE(frames[2].summary);
    EXPECT_EQ(frames[2].frame, 2);
    EXPECT_EQ(frames[2].particleText, "2");
    EXPECT_FALSE(frames[2].distanceText.has_value()); // no trail with 10 counted rows
}

TEST(TrailReplay, TrailEntersTheFiguresAtTenCountedRows) {
    // Counted rows are rows after a trail's first; 10 rows give 9 counted, 11 give 10.
    auto speedAfter = [](int rows) {
        std::string text = kHeader;
        for (int f = 0; f < rows; ++f)
            text += row(f, 3, 100 + 30 * f, 100);
        text += row(rows, 9, 5, 5); // a last row to show the figures of all before it
        TrailReplay r(text, {10, 10, false});
        Labels l;
        for (const ReplayFrame& f : runAll(r))
            show(l, f);
        return std::pair{l.speed, r.countedSpeeds().size()};
    };
    EXPECT_EQ(speedAfter(10), (std::pair{std::string("-"), std::size_t{0}}));
    const auto [speed, counted] = speedAfter(11);
    EXPECT_NE(speed, "-");
    EXPECT_EQ(counted, 1u);
}

TEST(TrailReplay, ChartOfEveryIdUpToTheLargestWithBinsFromIt) {
    // Trails 0 to 54 in a file: trail 54 moves over 12 rows, trail 7 over 5 rows (too few to
    // enter the figures), the others stand still; ids never seen count as still too.
    std::string text = kHeader;
    for (int f = 0; f <= 11; ++f) {
        text += row(f, 54, 100 + 5 * f, 100);
        if (f <= 4)
            text += row(f, 7, 500 + 12 * f, 500);
    }
    text += row(12, 20, 50, 50);
    TrailReplay r(text, {10, 10, false});
    runAll(r);
    ASSERT_EQ(r.maxId(), 54);
    ASSERT_EQ(r.countedSpeeds().size(), 1u);
    const SpeedHistogram h = r.histogram();
    EXPECT_EQ(h.nb, 5); // 54 / 10 rounds to 5, whatever the number of counted trails
    EXPECT_GT(r.trail(7).speedMm, 0.0);
    EXPECT_DOUBLE_EQ(h.width, std::min(0.7, std::max(r.trail(54).speedMm, r.trail(7).speedMm)) / 5);
    EXPECT_EQ(h.still, 53); // ids 0 to 54 but the two moving trails
    int binned = 0;
    for (int b : h.bins)
        binned += b;
    EXPECT_EQ(binned, 2);
}

TEST(TrailReplay, MovementLinesOnlyInFramesWhereATrailMoved) {
    std::string text = kHeader;
    for (int f = 0; f <= 6; ++f)
        text += row(f, 1, 100, 100) + row(f, 5, 100 + 40 * f, 300); // 1 still, 5 moving
    TrailReplay r(text, {10, 10, false});
    const std::vector<ReplayFrame> frames = runAll(r);
    ASSERT_EQ(frames.size(), 7u);
    EXPECT_FALSE(frames[0].hasMovement()); // the trail only starts
    std::vector<int> moving;
    for (const ReplayFrame& f : frames) {
        for (const PlotStroke& s : f.moves) {
            EXPECT_EQ(s.id, 5);
            EXPECT_EQ(s.color, TrackColor(5));
            EXPECT_EQ(s.frame, f.frame);
        }
        if (f.hasMovement())
            moving.push_back(f.frame);
    }
    ASSERT_FALSE(moving.empty());
    // From the new midpoint to the old one.
    const TrailState end = r.trail(5);
    const PlotStroke last = frames.back().moves.back();
    EXPECT_EQ(last.x1, end.midX);
    EXPECT_EQ(last.y1, 300);
    EXPECT_LT(last.x2, last.x1);
    EXPECT_EQ(replayBitmapPath("/acq", 6), "/acq/bmp/f6.bmp");
}

TEST(TrailReplay, IdsUpTo32000AndFaultsNamed) {
    std::string text = std::string(kHeader) + row(1, 32000, 10, 10) + row(2, 32000, 60, 10);
    TrailReplay big(text, {10, 10, false});
    runAll(big);
    EXPECT_EQ(big.status(), TrailReplay::Status::Finished);
    EXPECT_EQ(big.maxId(), 32000);

    TrailReplay bad(std::string(kHeader) + row(1, 4, 10, 10) + row(2, 4, 20, 10) +
                        row(3, 32001, 10, 10),
                    {10, 10, false});
    const std::vector<ReplayFrame> frames = runAll(bad);
    EXPECT_EQ(frames.size(), 2u); // the rows before the fault were replayed
    EXPECT_EQ(bad.status(), TrailReplay::Status::Failed);
    EXPECT_EQ(bad.error(), "error processing worm_trails file");
    EXPECT_EQ(bad.detail(), "worm_trails.csv line 4: trail id 32001 outside 0 to 32000");

    TrailReplay single(std::string(kHeader) + row(1, 4, 10, 10) + row(1, 9, 20, 10),
                       {10, 10, true});
    runAll(single);
    EXPECT_EQ(single.maxId(), 0);

    // A row with missing fields is damaged, not a detection at Y = 0.
    TrailReplay shortRow(std::string(kHeader) + row(1, 4, 10, 10) + "2;1;12\r\n" +
                             row(3, 4, 10, 10),
                         {10, 10, false});
    EXPECT_EQ(runAll(shortRow).size(), 1u);
    EXPECT_EQ(shortRow.status(), TrailReplay::Status::Failed);
    EXPECT_EQ(shortRow.error(), "error processing worm_trails file");
    EXPECT_EQ(shortRow.detail(), "worm_trails.csv line 3: a row of 3 fields instead of 9");

    // A moved-from replay goes on reading its text.
    TrailReplay moved(std::string(kHeader) + row(0, 0, 10, 10) + row(1, 0, 10, 10),
                      {10, 10, false});
    moved.next();
    TrailReplay other = std::move(moved);
    EXPECT_EQ(other.next().frame, 1);
}

TEST(TrailReplay, SetupMessagesAndPlateSize) {
    TempFolder acq;
    const RectangleTexts rect{"0", "350", "0", "350", "35"};
    EXPECT_EQ(prepareReplay(acq.path(), rect, false).message, "Training file not found");
    writeFile(acq.file("training.dat"), "xs 0\r\n");
    EXPECT_EQ(prepareReplay(acq.path(), rect, false).message, "Worm tracks file not found");
    EXPECT_EQ(prepareReplay(acq.path(), {"5", "5", "0", "350", "35"}, false).message,
              "Analysis area is empty: please check the analysis rectangle");
    writeFile(acq.file("worm_trails.csv"), kHeader);
    ReplaySetup s = prepareReplay(acq.path(), {"0", "350", "0", "700", "60.1"}, true);
    ASSERT_TRUE(s.ok) << s.message;
    EXPECT_TRUE(s.plateSizeReplaced);
    EXPECT_DOUBLE_EQ(s.settings.pxPerMmX, 10.0);
    EXPECT_DOUBLE_EQ(s.settings.pxPerMmY, 20.0);
    EXPECT_TRUE(s.settings.singleAnimal);
    s = prepareReplay(acq.path(), {"0", "600", "0", "600", "60"}, false);
    EXPECT_FALSE(s.plateSizeReplaced);
    EXPECT_DOUBLE_EQ(s.settings.pxPerMmX, 10.0);

    const PictureExport white = pictureExportFor(acq.path(), "proj/acq", true);
    EXPECT_EQ(white.path, acq.file("bmp_out.bmp"));
    EXPECT_EQ(white.textColor, 0);
    EXPECT_EQ(pictureExportFor(acq.path(), "proj/acq", false).textColor, 0xFFFFFF);
}
