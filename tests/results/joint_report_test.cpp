#include "app/results/joint_report.h"

#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

using namespace results;
using namespace results_test;

namespace {

// One trail moving 20 px per frame over frames 0 to 11.
std::string movingTrail() {
    std::string text = "FRAME;ID;X;Y;LOST_COUNT;#PIX;X_SIZE;Y_SIZE;SHAPE\r\n";
    for (int f = 0; f <= 11; ++f)
        text += std::to_string(f) + ";0;" + std::to_string(100 + 20 * f) + ";100;0;50;8;6;0\r\n";
    return text;
}

const ReportTime kStamp{2024, 1, 31, 9, 15, 7};
const RectangleTexts kRect{"0", "350", "0", "350", "35"}; // 10 px per mm

struct Project {
    TempFolder program;
    std::string projectFolder = program.file("proj");
    Project() { std::filesystem::create_directories(projectFolder); }
    std::string add(const std::string& entry, bool trails = true) {
        const std::string folder = projectFolder + "/" + entry;
        std::filesystem::create_directories(folder);
        if (trails)
            writeFile(folder + "/worm_trails.csv", movingTrail());
        return folder;
    }
    JointReportRequest request(std::vector<std::string> entries, int mode) const {
        JointReportRequest r;
        r.programFolder = program.path();
        r.projectName = "proj";
        r.selectedEntries = std::move(entries);
        r.spacer = "";
        r.reportMode = mode;
        r.now = kStamp;
        return r;
    }
};

// The line AnalyzeTrails gives for the moving trail in 5-minute blocks, written elsewhere.
std::string referenceLine(const std::string& folder, int mode) {
    TempFolder elsewhere;
    AnalyzeTrailsParams p;
    p.acqFolder = folder;
    p.blockMinutes = 5;
    p.pxPerMmX = p.pxPerMmY = 10;
    p.reportMode = mode;
    p.programFolder = elsewhere.path();
    const AnalyzeTrailsResult r = AnalyzeTrails(p);
    EXPECT_TRUE(r.ok) << r.message;
    return r.jointLine;
}

} // namespace

TEST(JointReport, TitleBlocksExactly) {
    EXPECT_EQ(jointReportTitle("/prog", "proj", "", kJointReportShort, kStamp),
              "\"Report File\";\"2024/01/31 09:15:07\"\r\n"
              "\"Folder\";\"/prog/proj\"\r\n"
              "\"Acquisition Lapse[m]\";\"5\"\r\n"
              "\r\n"
              "Acq_Name;Acq_Date;Acq_Time;#Particles;Average_speed[mm/s];Motility_Score\r\n");
    EXPECT_EQ(jointReportTitle("/prog", "proj", ",", kJointReportFull, kStamp),
              "\"Report File\",\"2024/01/31 09:15:07\"\r\n"
              "\"Folder\",\"/prog/proj\"\r\n"
              "\"Acquisition Lapse[m]\",\"5\"\r\n"
              "\r\n"
              "Acq_Name,Acq_Date,Acq_Time,#Particles,Average_speed[mm/s],"
              "Travelled_Distance[mm/worm],Motility_Score,Rotation Index\r\n");
}

TEST(JointReport, LinesOfTheSelectedAcquisitionsAndEverySkippedOneNamed) {
    Project p;
    const std::string a = p.add("20240131_0915_plateA");
    const std::string flat = p.add("20240131_1000_flat");        // rectangle without width
    const std::string none = p.add("20240131_1100_none", false); // no trails file
    const std::string b = p.add("20240131_1200_plateB");
    std::vector<std::string> loaded;
    const TrainingLoader load = [&](const std::string& folder) {
        loaded.push_back(folder);
        if (folder == flat)
            return RectangleTexts{"400", "400", "0", "350", "35"};
        return kRect;
    };
    for (int mode : {kJointReportFull, kJointReportShort}) {
        loaded.clear();
        const JointReportResult r =
            WriteJointReport(p.request({"..", "20240131_0915_plateA", "20240131_1000_flat",
                                        "20240131_1100_none", "20240131_1200_plateB"},
                                       mode),
                             load);
        ASSERT_TRUE(r.started);
        ASSERT_TRUE(r.ok) << r.message;
        EXPECT_EQ(loaded, (std::vector<std::string>{a, flat, none, b}));
        EXPECT_EQ(r.path, p.program.file("jointreport.csv"));
        // A later report replaces the whole file: short and full lines never mix.
        EXPECT_EQ(readFile(r.path), jointReportTitle(p.program.path(), "proj", ";", mode, kStamp) +
                                        referenceLine(a, mode) + "\r\n" + referenceLine(b, mode) +
                                        "\r\n");
        ASSERT_EQ(r.acquisitions.size(), 4u);
        EXPECT_TRUE(r.acquisitions[0].written);
        EXPECT_FALSE(r.acquisitions[1].written);
        EXPECT_FALSE(r.acquisitions[2].written);
        EXPECT_TRUE(r.acquisitions[3].written);
        EXPECT_EQ(r.summary,
                  "Report:" + a + "\r\n" + flat + "\r\n" + none + "\r\n" + b + "\r\n" +
                      "Left out of the report:\r\n" + flat +
                      ": Analysis area is empty: please check the analysis rectangle\r\n" + none +
                      ": Worm tracks file not found\r\n");
    }
    // The flat acquisition got no listing either: nothing was computed with its rectangle.
    EXPECT_FALSE(exists(flat + "/particle_trails.csv"));
}

TEST(JointReport, FieldsAreQuotedAsSpreadsheetsReadThem) {
    // A quote inside a quoted field is doubled; a field holding the separator, a quote or a line
    // break is enclosed in quotes; every other byte stays as it was.
    Project p;
    std::filesystem::rename(p.projectFolder, p.program.file("p\"r;j"));
    p.projectFolder = p.program.file("p\"r;j");
    p.add("20240131_0915_a\"b;c");
    p.add("20240131_1000_plain");
    JointReportRequest request =
        p.request({"20240131_0915_a\"b;c", "20240131_1000_plain"}, kJointReportShort);
    request.projectName = "p\"r;j";
    const JointReportResult r = WriteJointReport(request, [](const std::string&) { return kRect; });
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(readFile(r.path),
              "\"Report File\";\"2024/01/31 09:15:07\"\r\n"
              "\"Folder\";\"" +
                  p.program.path() +
                  "/p\"\"r;j\"\r\n"
                  "\"Acquisition Lapse[m]\";\"5\"\r\n"
                  "\r\n"
                  "Acq_Name;Acq_Date;Acq_Time;#Particles;Average_speed[mm/s];Motility_Score\r\n"
                  "\"a\"\"b;c\";\"2024-01-31\";\"09:15\";1;1.736;1.00\r\n"
                  "\"plain\";\"2024-01-31\";\"10:00\";1;1.736;1.00\r\n");
    // A separator found inside a number or a column name encloses that field as well.
    EXPECT_EQ(jointReportTitle("/prog", "proj", "_", kJointReportShort, kStamp),
              "\"Report File\"_\"2024/01/31 09:15:07\"\r\n"
              "\"Folder\"_\"/prog/proj\"\r\n"
              "\"Acquisition Lapse[m]\"_\"5\"\r\n"
              "\r\n"
              "\"Acq_Name\"_\"Acq_Date\"_\"Acq_Time\"_#Particles_\"Average_speed[mm/s]\"_"
              "\"Motility_Score\"\r\n");
    EXPECT_EQ(jointReportField("0.667", ".", false), "\"0.667\"");
    EXPECT_EQ(jointReportField("0.667", ";", false), "0.667");
    EXPECT_EQ(jointReportField("two\r\nlines", ";", false), "\"two\r\nlines\"");
    EXPECT_EQ(jointReportField("say \"hi\"", ";", false), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(jointReportField("", ";", true), "\"\"");
}

TEST(JointReport, FewerThanTwoSelectedDoesNothing) {
    Project p;
    p.add("20240131_0915_plateA");
    writeFile(p.program.file("jointreport.csv"), "earlier");
    const JointReportResult r = WriteJointReport(p.request({"20240131_0915_plateA"}, 1),
                                                 [](const std::string&) { return kRect; });
    EXPECT_FALSE(r.started);
    EXPECT_EQ(readFile(p.program.file("jointreport.csv")), "earlier");

    // ".." and one acquisition pass the test; the summary lists one path.
    const JointReportResult two = WriteJointReport(p.request({"..", "20240131_0915_plateA"}, 1),
                                                   [](const std::string&) { return kRect; });
    ASSERT_TRUE(two.ok);
    EXPECT_EQ(two.summary, "Report:" + p.projectFolder + "/20240131_0915_plateA\r\n");
}

TEST(JointReport, PlateSizeOutsideTenToSixtyIsTakenAs35) {
    Project p;
    p.add("20240131_0915_plateA");
    auto entry = [&](const std::string& size) {
        return addAcquisitionToJointReport(p.program.path(), "proj", "20240131_0915_plateA",
                                           {"0", "350", "0", "350", size}, ";", 1, false);
    };
    EXPECT_FALSE(entry("60").plateSizeReplaced);
    EXPECT_FALSE(entry("10").plateSizeReplaced);
    EXPECT_TRUE(entry("60.5").plateSizeReplaced);
    EXPECT_TRUE(entry("9.9").plateSizeReplaced);
    const JointReportEntry e = entry("abc");
    EXPECT_TRUE(e.plateSizeReplaced);
    EXPECT_TRUE(e.written);
    // 350 px over 35 mm: the same line as 10 px per mm.
    EXPECT_EQ(e.jointLine, referenceLine(p.projectFolder + "/20240131_0915_plateA", 1));
}

TEST(JointReport, DefaultLoaderReadsTheAcquisitionsTrainingThenTheProgramFolders) {
    Project p;
    const std::string a = p.add("20240131_0915_plateA");
    writeFile(a + "/training.dat", "xs 100\r\nxe 450\r\nys 5\r\nye 355\r\nmm 70\r\n");
    writeFile(p.program.file("training.dat"), "xs 1\r\nxe 2\r\nys 3\r\nye 4\r\nmm 20\r\n");
    const RectangleTexts own = rectangleTextsFromTraining(a, p.program.path());
    EXPECT_EQ(own.x1, "100");
    EXPECT_EQ(own.x2, "450");
    EXPECT_EQ(own.y1, "5");
    EXPECT_EQ(own.y2, "355");
    EXPECT_EQ(own.plateSize, "70");
    const std::string b = p.add("20240131_1200_plateB");
    const RectangleTexts fallback = rectangleTextsFromTraining(b, p.program.path());
    EXPECT_EQ(fallback.x2, "2");
    EXPECT_EQ(fallback.plateSize, "20");
    std::filesystem::remove(p.program.file("training.dat"));
    const RectangleTexts defaults = rectangleTextsFromTraining(b, p.program.path());
    EXPECT_EQ(defaults.x1, "335");
    EXPECT_EQ(defaults.plateSize, "35");
}

TEST(JointReport, ManyAcquisitionsAnalysedSideBySideKeepTheListOrder) {
    // Twenty acquisitions, each with its own speed and trail count, so every line differs.
    Project p;
    std::vector<std::string> entries, expected;
    for (int i = 0; i < 20; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "20240131_%02d15_plate%02d", i, i);
        entries.push_back(name);
        const std::string folder = p.add(name, false);
        std::string text = "FRAME;ID;X;Y;LOST_COUNT;#PIX;X_SIZE;Y_SIZE;SHAPE\r\n";
        for (int f = 0; f <= 400; ++f)
            for (int k = 0; k <= i % 4; ++k)
                text += std::to_string(f) + ";" + std::to_string(k) + ";" +
                        std::to_string(100 + (10 + i) * (f % 40) + 30 * k) + ";100;0;50;8;6;" +
                        std::to_string(3855 + (f & i)) + "\r\n";
        writeFile(folder + "/worm_trails.csv", text);
        expected.push_back(referenceLine(folder, kJointReportFull));
    }
    std::vector<std::string> loaded;
    const JointReportResult r =
        WriteJointReport(p.request(entries, kJointReportFull), [&](const std::string& folder) {
            loaded.push_back(folder);
            return kRect;
        });
    ASSERT_TRUE(r.ok) << r.message;
    ASSERT_EQ(loaded.size(), entries.size());
    std::string lines;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(loaded[i], p.projectFolder + "/" + entries[i]);
        EXPECT_TRUE(r.acquisitions[i].written) << r.acquisitions[i].message;
        EXPECT_EQ(r.acquisitions[i].jointLine, expected[i]) << i;
        lines += expected[i] + "\r\n";
    }
    EXPECT_EQ(readFile(r.path),
              jointReportTitle(p.program.path(), "proj", ";", kJointReportFull, kStamp) + lines);
}
