#include "app/results/bad_frames.h"

#include "stored_acquisition.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <set>

using namespace results;
using namespace results_test;
namespace fs = std::filesystem;

namespace {

// Frames 0 .. 99 with a steady background; the frames in `dark` have background box 0 at 150,
// which makes them outliers of their hundred.
void writeOutlierDescriptor(const std::string& folder, const std::set<int>& dark) {
    writeBytes(folder + "/xy_image.bin",
               descriptorFile(
                   {{500, 500}, {600, 600}}, frameRange(0, 99), [](int, int) { return 80; },
                   [dark](int f, int box) { return box == 0 && dark.count(f) ? 150 : 100; }));
}

std::string frameName(int n) {
    return "c192_168_4_1f" + std::to_string(n) + ".jpg";
}

std::string markedName(int n) {
    return "c192_168_4_1f" + std::to_string(n) + "m.jpg";
}

} // namespace

// ---- marking one frame -------------------------------------------------------------------------

TEST(MarkBadFrame, RenamesTheFrameAndDoesNotFindItAgain) {
    TempFolder dir;
    writeFrame(dir.path(), 12);
    writeFrame(dir.path(), 112); // "f112.jpg" is no name of frame 12
    const MarkResult r = MarkBadFrame(dir.path(), 12, false);
    EXPECT_EQ(r.marked, 1);
    EXPECT_TRUE(r.error.empty());
    EXPECT_EQ(r.markedFile, dir.file("img/" + markedName(12)));
    EXPECT_FALSE(exists(dir.file("img/" + frameName(12))));
    EXPECT_EQ(readFile(dir.file("img/" + markedName(12))), "jpeg of frame 12");
    EXPECT_TRUE(exists(dir.file("img/" + frameName(112))));
    // The marked name no longer ends in "f12.jpg".
    EXPECT_EQ(findFrameFile(dir.file("img"), 12), "");
    EXPECT_EQ(MarkBadFrame(dir.path(), 12, false).marked, 0);
    EXPECT_EQ(MarkBadFrame("", 112, false).marked, 0);
    EXPECT_EQ(MarkBadFrame(dir.path(), 7, false).marked, 0);
}

TEST(MarkBadFrame, InteractiveAsksFirstAndNoChangesNothing) {
    TempFolder dir;
    const std::string frame = writeFrame(dir.path(), 57);
    std::string askedFile;
    std::int32_t askedFrame = -1;
    const auto no = [&](const std::string& file, std::int32_t n) {
        askedFile = file;
        askedFrame = n;
        return false;
    };
    EXPECT_EQ(MarkBadFrame(dir.path(), 57, true, no).marked, 0);
    EXPECT_EQ(askedFile, frame);
    EXPECT_EQ(askedFrame, 57);
    EXPECT_TRUE(exists(frame));
    // Without a way to ask, nothing is marked.
    EXPECT_EQ(MarkBadFrame(dir.path(), 57, true).marked, 0);
    EXPECT_TRUE(exists(frame));
    EXPECT_EQ(MarkBadFrame(dir.path(), 57, true, [](auto&, auto) { return true; }).marked, 1);
    EXPECT_EQ(badFrameQuestion(57), "Set #57 as bad image?");
    EXPECT_EQ(badFrameCaption(57), "#57");
}

TEST(MarkBadFrame, AFailedMoveNeverLosesTheFrame) {
    TempFolder dir;
    const std::string frame = writeFrame(dir.path(), 3);
    // A folder in the way of the marked name: neither the rename nor the copy can take it.
    fs::create_directories(dir.file("img/" + markedName(3) + "/inside"));
    const MarkResult r = MarkBadFrame(dir.path(), 3, false);
    EXPECT_EQ(r.marked, 0);
    EXPECT_NE(r.error.find("Frame 3 not marked"), std::string::npos) << r.error;
    EXPECT_EQ(readFile(frame), "jpeg of frame 3");
    // No copy is left behind under a temporary name.
    int files = 0;
    for (const auto& e : fs::directory_iterator(dir.file("img")))
        files += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 1);
}

TEST(MarkBadFrame, AnEarlierMarkedFileOfTheSameNameIsNeverReplaced) {
    TempFolder dir;
    const std::string frame = writeFrame(dir.path(), 12);
    const std::string earlier = dir.file("img/" + markedName(12));
    writeFile(earlier, "frame 12 marked before");
    const MarkResult r = MarkBadFrame(dir.path(), 12, false);
    EXPECT_EQ(r.marked, 0);
    EXPECT_EQ(r.error, "Frame 12 not marked: " + earlier + " already exists");
    EXPECT_EQ(readFile(frame), "jpeg of frame 12");
    EXPECT_EQ(readFile(earlier), "frame 12 marked before");
    // The way by copying refuses as well, and leaves no copy behind.
    const std::string copied = copyCheckAndDelete(frame, earlier);
    EXPECT_TRUE(copied.ends_with(": " + earlier + " already exists")) << copied;
    EXPECT_EQ(readFile(frame), "jpeg of frame 12");
    EXPECT_EQ(readFile(earlier), "frame 12 marked before");
    int files = 0;
    for (const auto& e : fs::directory_iterator(dir.file("img")))
        files += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 2);
}

TEST(MarkBadFrame, CopyCheckAndDeleteMovesWholeFilesOnly) {
    TempFolder dir;
    writeFile(dir.file("a.jpg"), std::string(70000, 'x'));
    EXPECT_EQ(copyCheckAndDelete(dir.file("a.jpg"), dir.file("am.jpg")), "");
    EXPECT_FALSE(exists(dir.file("a.jpg")));
    EXPECT_EQ(readFile(dir.file("am.jpg")), std::string(70000, 'x'));

    writeFile(dir.file("b.jpg"), "frame b");
    fs::create_directories(dir.file("bm.jpg/x"));
    EXPECT_NE(copyCheckAndDelete(dir.file("b.jpg"), dir.file("bm.jpg")), "");
    EXPECT_EQ(readFile(dir.file("b.jpg")), "frame b");

    EXPECT_NE(copyCheckAndDelete(dir.file("none.jpg"), dir.file("nonem.jpg")), "");
    EXPECT_FALSE(exists(dir.file("nonem.jpg")));
}

TEST(MarkBadFrame, FrameNamesByTheirEnding) {
    TempFolder dir;
    fs::create_directories(dir.file("img"));
    writeFile(dir.file("img/c10_0_0_2f5.jpg"), "");
    writeFile(dir.file("img/c10_0_0_1f5.jpg"), "");
    writeFile(dir.file("img/c10_0_0_1f5.pgm"), "");
    writeFile(dir.file("img/c10_0_0_1f15.jpg"), "");
    EXPECT_EQ(findFrameFile(dir.file("img"), 5), "c10_0_0_1f5.jpg"); // the first by name
    EXPECT_EQ(findFrameFile(dir.file("img"), 15), "c10_0_0_1f15.jpg");
    EXPECT_EQ(findFrameFile(dir.file("img"), 6), "");
    EXPECT_EQ(findFrameFile(dir.file("nothing"), 5), "");
    EXPECT_EQ(markedFrameName("c10_0_0_1f5.jpg"), "c10_0_0_1f5m.jpg");
}

// ---- applying the outlier list -----------------------------------------------------------------

TEST(FilterBadImages, FourFramesAreAppliedFiveAreNot) {
    TempFolder dir;
    for (int n : {12, 30, 57, 80, 91})
        writeFrame(dir.path(), n);
    writeOutlierDescriptor(dir.path(), {12, 30, 57, 80, 91});
    BadFrameFilter f = FilterBadImages(dir.path(), true, [](auto&, auto) { return true; });
    EXPECT_EQ(f.applied, 0);
    EXPECT_EQ(f.listed.size(), 5u);
    EXPECT_TRUE(f.marked.empty());
    EXPECT_EQ(f.messages, (std::vector<std::string>{"Bad image filter not applied"}));
    EXPECT_TRUE(exists(dir.file("img/" + frameName(12))));
    // Not interactive: no message.
    f = FilterBadImages(dir.path(), false);
    EXPECT_EQ(f.applied, 0);
    EXPECT_TRUE(f.messages.empty());

    writeOutlierDescriptor(dir.path(), {12, 30, 57, 80});
    f = FilterBadImages(dir.path(), true, [](auto&, auto) { return true; });
    EXPECT_EQ(f.applied, 1);
    EXPECT_EQ(f.marked, (std::vector<std::int32_t>{12, 30, 57, 80}));
    EXPECT_EQ(f.messages, (std::vector<std::string>{"File Filtered: 12;30;57;80"}));
    EXPECT_TRUE(exists(dir.file("img/" + markedName(80))));
}

TEST(FilterBadImages, AnsweringNoKeepsTheNameAndTheBadFlag) {
    TempFolder dir;
    writeFrame(dir.path(), 12);
    writeFrame(dir.path(), 57);
    writeOutlierDescriptor(dir.path(), {12, 57});
    const BackgroundSamples s = FilterBadImagesAndLoadSamples(
        dir.path(), true, [](auto&, std::int32_t n) { return n != 57; });
    EXPECT_EQ(s.filter.messages, (std::vector<std::string>{"File Filtered: 12"}));
    EXPECT_TRUE(exists(dir.file("img/" + frameName(57))));
    EXPECT_TRUE(exists(dir.file("img/" + markedName(12))));
    EXPECT_FALSE(s.isUsable(12));
    EXPECT_FALSE(s.isUsable(57));
    EXPECT_TRUE(s.isUsable(56));
}

TEST(FilterBadImages, OneFrameNotInteractiveIsMarkedSilently) {
    TempFolder dir;
    writeFrame(dir.path(), 12);
    writeOutlierDescriptor(dir.path(), {12});
    const BackgroundSamples s = FilterBadImagesAndLoadSamples(dir.path(), false);
    EXPECT_EQ(s.filter.marked, (std::vector<std::int32_t>{12}));
    EXPECT_TRUE(s.filter.messages.empty());
    EXPECT_TRUE(exists(dir.file("img/" + markedName(12))));
    EXPECT_FALSE(s.isUsable(12));
    // A frame without its file keeps its bad flag all the same.
    writeOutlierDescriptor(dir.path(), {12});
    const BackgroundSamples again = FilterBadImagesAndLoadSamples(dir.path(), false);
    EXPECT_TRUE(again.filter.marked.empty());
    EXPECT_FALSE(again.isUsable(12));
}

TEST(FilterBadImages, AnEmptyListCountsAsAppliedADamagedOrLongOneDoesNot) {
    TempFolder dir;
    writeFrame(dir.path(), 12);
    // No descriptor file: no outlier, nothing to clean.
    BadFrameFilter f = FilterBadImages(dir.path(), false);
    EXPECT_TRUE(f.missing);
    EXPECT_TRUE(f.cleaningApplied());
    writeOutlierDescriptor(dir.path(), {});
    EXPECT_TRUE(FilterBadImages(dir.path(), false).cleaningApplied());
    writeOutlierDescriptor(dir.path(), {12});
    EXPECT_TRUE(FilterBadImages(dir.path(), false).cleaningApplied());
    writeOutlierDescriptor(dir.path(), {20, 30, 40, 50, 60});
    EXPECT_FALSE(FilterBadImages(dir.path(), false).cleaningApplied());
    // A file that cannot be checked is no cleaning.
    writeBytes(dir.file("xy_image.bin"), {0x00, 0x09, 0x00});
    f = FilterBadImages(dir.path(), false);
    EXPECT_FALSE(f.missing);
    EXPECT_FALSE(f.cleaningApplied());
}

TEST(ReportBadImages, MessagesOfTheMenuCommand) {
    TempFolder dir;
    EXPECT_EQ(ReportBadImages(""), "");
    EXPECT_EQ(ReportBadImages(dir.path()),
              "Image backgroung file not found. Please reprocess acquisition");
    writeOutlierDescriptor(dir.path(), {});
    EXPECT_EQ(ReportBadImages(dir.path()), "");
    writeFrame(dir.path(), 12);
    writeOutlierDescriptor(dir.path(), {12, 57, 60, 61, 62});
    EXPECT_EQ(ReportBadImages(dir.path()), "Bad files:;12;57;60;61;62");
    EXPECT_TRUE(exists(dir.file("img/" + frameName(12)))); // nothing is marked
    // A file the outlier rule cannot read says so instead of reporting no bad frames.
    writeBytes(dir.file("xy_image.bin"), {0x00, 0x09, 0x00});
    EXPECT_NE(ReportBadImages(dir.path()).find("damaged"), std::string::npos);
}

// ---- samples -----------------------------------------------------------------------------------

TEST(BackgroundSamples, NoDescriptorFileLeavesEveryFrameUsable) {
    TempFolder dir;
    const BackgroundSamples s = FilterBadImagesAndLoadSamples(dir.path(), true);
    EXPECT_EQ(s.source, BackgroundSamples::Source::Missing);
    EXPECT_EQ(s.scale, -1.0);
    EXPECT_FALSE(s.hasData());
    EXPECT_TRUE(s.isUsable(0));
    EXPECT_TRUE(s.isUsable(300));
    EXPECT_FALSE(s.isUsable(301));
    EXPECT_TRUE(s.filter.messages.empty());
    // A damaged file: no data, every frame usable, scale 0.
    writeBytes(dir.file("xy_image.bin"), {0x00, 0x09, 0x00});
    const BackgroundSamples d = FilterBadImagesAndLoadSamples(dir.path(), false);
    EXPECT_EQ(d.source, BackgroundSamples::Source::Failed);
    EXPECT_EQ(d.scale, 0.0);
    EXPECT_TRUE(d.isUsable(150));
}

TEST(BackgroundSamples, MeasureOverFramesBeforeTheLast) {
    TempFolder dir;
    // Two grid boxes: frame f has values 100 and 100 + f % 3 (the last frame 300 differs most).
    writeBytes(dir.file("xy_image.bin"),
               descriptorFile({{500, 500}, {600, 600}}, frameRange(0, 300), [](int f, int g) {
                   return f == 300 ? (g == 0 ? 10 : 250) : 100 + (g == 1 ? f % 3 : 0);
               }));
    const BackgroundSamples s = FilterBadImagesAndLoadSamples(dir.path(), false);
    ASSERT_TRUE(s.hasData()) << s.reason;
    EXPECT_EQ(s.lastTimeMark, 300);
    double total = 0.0;
    for (int f = 0; f < 300; ++f) {
        const double a = 100, b = 100 + f % 3;
        const double sum = a + b, mean = sum / 2;
        total += ((std::fabs(mean - a) + std::fabs(mean - b)) / 2) / sum;
    }
    EXPECT_DOUBLE_EQ(s.scale, total / 300);
    std::uint8_t v = 0;
    ASSERT_TRUE(s.value(7, 6, v));
    EXPECT_EQ(v, 101);
    ASSERT_TRUE(s.value(7, 0, v));
    EXPECT_EQ(v, 0); // background boxes are not kept
    EXPECT_FALSE(s.value(301, 6, v));
    EXPECT_FALSE(s.value(7, 7, v));
    EXPECT_EQ(s.points.size(), 7u);
    EXPECT_EQ(s.points[5].x, 500);
}

TEST(BackgroundSamples, LastLineOfFrameZeroTakesTheMarkBeforeIt) {
    TempFolder dir;
    writeBytes(dir.file("xy_image.bin"), descriptorFile({{500, 500}, {600, 600}}, {1, 2, 3, 0},
                                                        [](int f, int g) { return 100 + g * f; }));
    const BackgroundSamples s = FilterBadImagesAndLoadSamples(dir.path(), false);
    EXPECT_EQ(s.lastTimeMark, 3);
    EXPECT_FALSE(s.isUsable(0)); // its line lies below the one before it: passed over
    EXPECT_TRUE(s.isUsable(3));
}

TEST(BackgroundSamples, MissingFramesTakeTheValuesBeforeThemAndStayUnusable) {
    TempFolder dir;
    writeBytes(dir.file("xy_image.bin"),
               descriptorFile({{500, 500}, {600, 600}}, {0, 1, 2, 5, 6},
                              [](int f, int g) { return 100 + 10 * f + g; }));
    const BackgroundSamples s = FilterBadImagesAndLoadSamples(dir.path(), false);
    std::uint8_t v = 0;
    for (int f : {3, 4}) {
        EXPECT_FALSE(s.isUsable(f));
        ASSERT_TRUE(s.value(f, 5, v));
        EXPECT_EQ(v, 120);
        ASSERT_TRUE(s.value(f, 6, v));
        EXPECT_EQ(v, 121);
    }
    EXPECT_TRUE(s.isUsable(5));
    EXPECT_TRUE(s.isUsable(2));
}

TEST(BackgroundSamples, FramesWithoutValuesDoNotStopTheMeasureOrTheBadFlags) {
    TempFolder dir;
    // No line for frame 0 (nothing fills it); frame 40 is an outlier and frame 99, the last, too.
    std::vector<int> frames = frameRange(1, 99);
    writeFrame(dir.path(), 40);
    writeBytes(dir.file("xy_image.bin"),
               descriptorFile(
                   {{500, 500}, {600, 600}}, frames, [](int, int g) { return g == 0 ? 90 : 110; },
                   [](int f, int box) { return box == 0 && (f == 40 || f == 99) ? 150 : 100; }));
    const BackgroundSamples s = FilterBadImagesAndLoadSamples(dir.path(), false);
    ASSERT_TRUE(s.hasData()) << s.reason;
    EXPECT_EQ(s.filter.bad, (std::vector<std::int32_t>{40, 99}));
    EXPECT_NEAR(s.scale, 10.0 / 200.0, 1e-12); // every counted frame alike
    EXPECT_FALSE(s.isUsable(0));
    EXPECT_FALSE(s.isUsable(40));
    EXPECT_FALSE(s.isUsable(99)); // the last frame's bad flag counts as well
    EXPECT_TRUE(s.isUsable(98));
}

TEST(BackgroundSamples, OddFilesGiveNoFaults) {
    TempFolder dir;
    // Only the five background boxes: no grid values, no measure.
    writeBytes(dir.file("xy_image.bin"),
               descriptorFile({}, frameRange(0, 20), [](int, int) { return 0; }));
    BackgroundSamples s = FilterBadImagesAndLoadSamples(dir.path(), false);
    EXPECT_TRUE(s.hasData());
    EXPECT_EQ(s.scale, 0.0);
    EXPECT_TRUE(s.isUsable(20));
    // Lines beyond frame 300 (a long live run) are passed over.
    writeBytes(dir.file("xy_image.bin"),
               descriptorFile({{500, 500}, {600, 600}}, {298, 299, 300, 301, 40000},
                              [](int f, int g) { return 100 + g + f % 2; }));
    s = FilterBadImagesAndLoadSamples(dir.path(), false);
    EXPECT_TRUE(s.isUsable(300));
    EXPECT_EQ(s.rows, 301);
    EXPECT_EQ(s.lastTimeMark, 40000);
    EXPECT_GT(s.scale, 0.0);
    // All-black grid boxes: no frame has values to measure.
    writeBytes(dir.file("xy_image.bin"),
               descriptorFile({{500, 500}}, frameRange(0, 5), [](int, int) { return 0; }));
    s = FilterBadImagesAndLoadSamples(dir.path(), false);
    EXPECT_EQ(s.scale, 0.0);
    // A table without lines counts as no data.
    writeBytes(dir.file("xy_image.bin"), descriptorFile({{500, 500}}, {}, {}));
    s = FilterBadImagesAndLoadSamples(dir.path(), false);
    EXPECT_EQ(s.source, BackgroundSamples::Source::Missing);
    EXPECT_TRUE(s.isUsable(3));
}
