// A training measured from five picked worms of a synthetic plate, tried with the organism finder
// in-process on later frames of the same plate: it must find nearly every worm and little else.

#include "app/training/target_measurement.h"
#include "app/training/target_picking.h"
#include "finder/sirrex.h"
#include "formats/position_file.h"
#include "formats/training_file.h"
#include "tools/plate/plate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <unistd.h>

using namespace training;

namespace {

constexpr double kMatchDistance = 10.0;

class Scratch {
public:
    Scratch() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_path = std::filesystem::temp_directory_path() /
                 ("vx_training_" + std::to_string(::getpid()) + "_" + info->name());
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path / "img");
    }
    ~Scratch() { std::filesystem::remove_all(m_path); }
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

struct Score {
    int truths = 0;
    int detections = 0;
    int matched = 0;
};

// Nearest pairs first; each truth and each detection used once.
Score match(const std::vector<plate::WormTruth>& truths,
            const std::vector<formats::WormRecord>& found) {
    std::vector<std::tuple<double, std::size_t, std::size_t>> pairs;
    for (std::size_t t = 0; t < truths.size(); ++t)
        for (std::size_t d = 0; d < found.size(); ++d) {
            const double dist = std::hypot(found[d].x - truths[t].x, found[d].y - truths[t].y);
            if (dist <= kMatchDistance)
                pairs.emplace_back(dist, t, d);
        }
    std::sort(pairs.begin(), pairs.end());
    std::vector<bool> tUsed(truths.size()), dUsed(found.size());
    Score s{static_cast<int>(truths.size()), static_cast<int>(found.size()), 0};
    for (const auto& [dist, t, d] : pairs)
        if (!tUsed[t] && !dUsed[d]) {
            tUsed[t] = dUsed[d] = true;
            ++s.matched;
        }
    return s;
}

std::vector<formats::WormRecord> runFinder(const Scratch& dir, const plate::PlateFrame& frame,
                                           const std::string& options, int mark) {
    const std::string pgm = (dir.path() / "img" / "frame.pgm").string();
    {
        std::ofstream out(pgm, std::ios::binary | std::ios::trunc);
        out << plate::toPgm(frame);
    }
    std::vector<std::string> args{"Sirrex", pgm};
    for (std::string& word : formats::splitOptionString(options))
        args.push_back(word);
    args.push_back("-ti" + std::to_string(mark));
    std::ostringstream out, err;
    std::istringstream in;
    EXPECT_EQ(finder::runSirrex(args, out, err, in), finder::SIRREX_OK) << err.str();
    const formats::PositionFile file =
        formats::readPositionFile(finder::positionFilePath(dir.path().string()));
    EXPECT_TRUE(file.error.empty()) << file.error;
    if (file.blocks.empty())
        return {};
    EXPECT_EQ(file.blocks.back().timeMark, mark);
    return file.blocks.back().records;
}

} // namespace

TEST(TrainedDetection, FivePickedWormsTrainTheFinder) {
    Scratch dir;
    const formats::TrainingFile defaults = formats::TrainingFile::defaults();
    const PickCircle circle =
        pickCircle(defaults[0], defaults[1], defaults[2], defaults[3], defaults[4]);
    int mark = 0;
    for (std::uint32_t seed : {1u, 2u, 3u, 7u, 11u}) {
        plate::PlateOptions o;
        o.worms = 20;
        o.seed = seed;
        const plate::PlateFrame preview = plate::drawPlate(o, 0.0);

        // The operator clicks five representative worms: every fourth of the twenty, which
        // gives small and large ones (the limits span the picks with the finder's tolerance, so
        // five picks of the smallest worms would miss the largest).
        PickList picks;
        picks.count = 0;
        for (std::size_t i = 0; i < preview.worms.size(); i += 4) {
            const int x = static_cast<int>(std::lround(preview.worms[i].x));
            const int y = static_cast<int>(std::lround(preview.worms[i].y));
            EXPECT_EQ(pickTrainingTarget(picks, 1, circle, x, y), PickOutcome::Accepted);
        }
        ASSERT_EQ(picks.count, 5);

        const GrayPicture picture{preview.width, preview.height, preview.pixels};
        const MeasurementResult r =
            measureTargets(picture, std::span(picks.x).first(5), std::span(picks.y).first(5),
                           defaults[4], TrainingWindow::Acquisition);
        ASSERT_TRUE(r.ok) << r.message;
        formats::TrainingFile trained = defaults;
        applyLimitTexts(r.texts, trained);
        const std::string options = formats::trainingOptionsFromLines(trained.lines());
        std::printf("seed %u: %s\n", seed, options.c_str());

        Score total;
        for (double t : {120.0, 600.0, 1800.0}) {
            const plate::PlateFrame later = plate::drawPlate(o, t);
            const Score s = match(later.worms, runFinder(dir, later, options, ++mark));
            total.truths += s.truths;
            total.detections += s.detections;
            total.matched += s.matched;
        }
        std::printf("seed %u: %d worms, %d detections, %d matched\n", seed, total.truths,
                    total.detections, total.matched);
        EXPECT_GE(total.matched, 0.95 * total.truths) << "seed " << seed;
        EXPECT_LE(total.detections - total.matched, 0.05 * total.detections) << "seed " << seed;
    }
}
