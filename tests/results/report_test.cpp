#include "app/results/report.h"

#include "temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace results;
using namespace results_test;

namespace {

std::string header() {
    return "FRAME;ID;X;Y;LOST_COUNT;#PIX;X_SIZE;Y_SIZE;SHAPE\r\n";
}

std::string rowText(int frame, int id, int x, int y) {
    return std::to_string(frame) + ";" + std::to_string(id) + ";" + std::to_string(x) + ";" +
           std::to_string(y) + ";0;50;8;6;0\r\n";
}

// One trail moving 20 px per frame over frames 0 to 11.
std::string movingTrail() {
    std::string text = header();
    for (int f = 0; f <= 11; ++f)
        text += rowText(f, 0, 100 + 20 * f, 100);
    return text;
}

const ReportTime kStamp{2024, 1, 31, 9, 15, 7};

struct Acquisition {
    TempFolder program;
    std::string folder;
    Acquisition(const std::string& trails = movingTrail()) {
        folder = program.file("default/20240131_0915_plateA");
        std::filesystem::create_directories(folder);
        if (!trails.empty())
            writeFile(folder + "/worm_trails.csv", trails);
    }
    AnalyzeTrailsParams params(int mode) const {
        AnalyzeTrailsParams p;
        p.acqFolder = folder;
        p.blockMinutes = 1;
        p.separator = ";";
        p.pxPerMmX = 10;
        p.pxPerMmY = 10;
        p.trailNumbering = -1;
        p.plateSizeMm = 35;
        p.reportMode = mode;
        p.programFolder = program.path();
        p.now = kStamp;
        return p;
    }
};

const char kListing[] = "Particle trails:\r\n#block0\r\n#id;distance;#frames;speed;rotation\r\n"
                        "0;19.1;11;1.736;0\r\n";

} // namespace

TEST(AnalyzeTrails, ReportFileIsExactAndNamedByTheStamp) {
    Acquisition acq;
    const AnalyzeTrailsResult r = AnalyzeTrails(acq.params(kReportFile));
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.reportPath, acq.folder + "/report20240131_091507.csv");
    EXPECT_EQ(readFile(r.reportPath),
              "\"Report File\"\r\n"
              "\"2024/01/31 09:15:07\"\r\n"
              "\"" +
                  acq.folder +
                  "\"\r\n"
                  "\"Analysis area[mm]\";35.0\r\n"
                  "\r\n"
                  "Time;#Particles;Average_speed[mm/s];Travelled_Distance[mm/part];Motility_Score;"
                  "Rotation_index\r\n"
                  "1;1;1.736;19.10;1.00;0.00\r\n"
                  "\r\n"
                  "\r\n" +
                  std::string(kListing));
    EXPECT_EQ(readFile(acq.folder + "/particle_trails.csv"), kListing);
    EXPECT_FALSE(exists(acq.program.file("jointreport.csv")));
}

TEST(AnalyzeTrails, SecondReportInTheSameSecondEndsInBAndAThirdReplacesIt) {
    Acquisition acq;
    const AnalyzeTrailsResult first = AnalyzeTrails(acq.params(kReportFile));
    writeFile(acq.folder + "/report20240131_091507b.csv", "old");
    const AnalyzeTrailsResult second = AnalyzeTrails(acq.params(kReportFile));
    ASSERT_TRUE(second.ok);
    EXPECT_EQ(second.reportPath, acq.folder + "/report20240131_091507b.csv");
    EXPECT_EQ(readFile(second.reportPath), readFile(first.reportPath));
    const AnalyzeTrailsResult third = AnalyzeTrails(acq.params(kReportFile));
    EXPECT_EQ(third.reportPath, second.reportPath);
}

TEST(AnalyzeTrails, JointReportLinesOfBothForms) {
    Acquisition acq;
    AnalyzeTrailsResult r = AnalyzeTrails(acq.params(kJointReportShort));
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.jointLine, "\"plateA\";\"2024-01-31\";\"09:15\";1;1.736;1.00");
    EXPECT_EQ(r.jointReportPath, acq.program.file("jointreport.csv"));
    r = AnalyzeTrails(acq.params(kJointReportFull));
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(readFile(acq.program.file("jointreport.csv")),
              "\"plateA\";\"2024-01-31\";\"09:15\";1;1.736;1.00\r\n"
              "\"plateA\";\"2024-01-31\";\"09:15\"; 1;1.736;19.10;1.00;0.00\r\n");
    EXPECT_TRUE(r.reportPath.empty());
    // No report file in either joint mode.
    for (const auto& e : std::filesystem::directory_iterator(acq.folder))
        EXPECT_NE(e.path().filename().string().rfind("report", 0), 0u) << e.path();
}

TEST(AnalyzeTrails, ModeThreeWritesTheListingOnly) {
    Acquisition acq;
    const AnalyzeTrailsResult r = AnalyzeTrails(acq.params(3));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(readFile(acq.folder + "/particle_trails.csv"), kListing);
    EXPECT_TRUE(r.reportPath.empty());
    EXPECT_FALSE(exists(acq.program.file("jointreport.csv")));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(acq.folder),
                            std::filesystem::directory_iterator()),
              2);
}

TEST(AnalyzeTrails, EmptySeparatorGivesSemicolonsAndZeroBlockLengthGivesOne) {
    Acquisition acq;
    AnalyzeTrailsParams p = acq.params(kReportFile);
    p.separator = "";
    p.blockMinutes = 0;
    const AnalyzeTrailsResult r = AnalyzeTrails(p);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.blockMinutes, 1);
    const std::string text = readFile(r.reportPath);
    EXPECT_NE(text.find("\"Analysis area[mm]\";35.0\r\n"), std::string::npos);
    EXPECT_NE(text.find("1;1;1.736;19.10;1.00;0.00\r\n"), std::string::npos);
    EXPECT_NE(text.find(kListing), std::string::npos);
}

TEST(AnalyzeTrails, LastFrame605InFiveMinuteBlocksGivesThreeLines) {
    std::string trails = header();
    for (int f = 0; f <= 605; ++f)
        trails += rowText(f, 0, 500, 500);
    Acquisition acq(trails);
    AnalyzeTrailsParams p = acq.params(kReportFile);
    p.blockMinutes = 5;
    const AnalyzeTrailsResult r = AnalyzeTrails(p);
    ASSERT_TRUE(r.ok) << r.message;
    ASSERT_EQ(r.blocks.size(), 3u);
    const std::string text = readFile(r.reportPath);
    EXPECT_NE(text.find("Rotation_index\r\n"
                        "5;1;0.000;0.00;0.00;0.00\r\n"
                        "10;1;0.000;0.00;0.00;0.00\r\n"
                        "15;1;0.000;0.00;1.00;0.00\r\n\r\n\r\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("#block2"), std::string::npos);
}

TEST(AnalyzeTrails, MissingTrailsFileWritesNothing) {
    Acquisition acq("");
    const AnalyzeTrailsResult r = AnalyzeTrails(acq.params(kReportFile));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, "Worm tracks file not found");
    EXPECT_TRUE(std::filesystem::is_empty(acq.folder));
    const AnalyzeTrailsResult j = AnalyzeTrails(acq.params(kJointReportShort));
    EXPECT_EQ(j.message, "Worm tracks file not found");
    EXPECT_FALSE(exists(acq.program.file("jointreport.csv")));
}

TEST(AnalyzeTrails, BackupOfEarlierResultsIsNeverTouched) {
    Acquisition acq;
    writeFile(acq.folder + "/worm_trails.bak", "earlier results");
    ASSERT_TRUE(AnalyzeTrails(acq.params(kReportFile)).ok);
    EXPECT_EQ(readFile(acq.folder + "/worm_trails.bak"), "earlier results");
    Acquisition fresh;
    ASSERT_TRUE(AnalyzeTrails(fresh.params(3)).ok);
    EXPECT_FALSE(exists(fresh.folder + "/worm_trails.bak"));
}

TEST(AnalyzeTrails, UnusableInputsGiveAMessageAndNoFile) {
    Acquisition acq;
    AnalyzeTrailsParams p = acq.params(kReportFile);
    p.pxPerMmX = 0;
    AnalyzeTrailsResult r = AnalyzeTrails(p);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, "Analysis area is empty: please check the analysis rectangle");
    p = acq.params(kReportFile);
    p.pxPerMmY = 0;
    EXPECT_FALSE(AnalyzeTrails(p).ok);
    p = acq.params(kReportFile);
    p.acqFolder = "";
    r = AnalyzeTrails(p);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, "No acquisition folder chosen");
    p = acq.params(kJointReportShort);
    p.programFolder = "";
    EXPECT_FALSE(AnalyzeTrails(p).ok);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(acq.folder),
                            std::filesystem::directory_iterator()),
              1);
    // A damaged trails file: its message, no report.
    writeFile(acq.folder + "/worm_trails.csv", header() + "1;40000;1;1;0;0;0;0;0\r\n");
    r = AnalyzeTrails(acq.params(kReportFile));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, "worm_trails.csv line 2: trail id 40000 outside 0 to 32000");
    EXPECT_TRUE(r.reportPath.empty());
}

TEST(AnalyzeTrails, SwappedRectangleCornersGiveTheSameReport) {
    Acquisition acq;
    AnalyzeTrailsParams p = acq.params(kReportFile);
    p.pxPerMmX = -10;
    p.pxPerMmY = -10;
    AnalyzeTrailsResult r = AnalyzeTrails(p);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(readFile(acq.folder + "/particle_trails.csv"), kListing);
    EXPECT_NE(readFile(r.reportPath).find("1;1;1.736;19.10;1.00;0.00\r\n"), std::string::npos);
    p = acq.params(kJointReportFull);
    p.pxPerMmX = 10;
    p.pxPerMmY = -10;
    r = AnalyzeTrails(p);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.jointLine, "\"plateA\";\"2024-01-31\";\"09:15\"; 1;1.736;19.10;1.00;0.00");

    // The report buttons' reading of a rectangle typed right to left and bottom to top.
    const ReportSettings s = reportSettingsFromTexts("1500", "100", "1150", "50", "35", "", "5");
    ASSERT_TRUE(s.ok) << s.message;
    EXPECT_DOUBLE_EQ(s.pxPerMmX, -40.0);
    EXPECT_DOUBLE_EQ(s.pxPerMmY, -1100.0 / 35);
    EXPECT_FALSE(reportSettingsFromTexts("100", "1500", "50", "50", "35", "", "5").ok);
}

TEST(AnalyzeTrails, ReportWriteFailureIsNotSuccess) {
    Acquisition acq;
    // A folder where the report file would go makes its rename fail.
    std::filesystem::create_directories(acq.folder + "/report20240131_091507.csv/x");
    std::filesystem::create_directories(acq.folder + "/report20240131_091507b.csv/x");
    const AnalyzeTrailsResult r = AnalyzeTrails(acq.params(kReportFile));
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.message.empty());
}

TEST(AcquisitionFromFolder, NameDateAndTime) {
    const std::string f = "/data/default/20240131_0915_plateA";
    EXPECT_EQ(AcquisitionNameFromFolder(f), "plateA");
    EXPECT_EQ(AcquisitionDateFromFolder(f), "2024-01-31");
    EXPECT_EQ(AcquisitionTimeFromFolder(f), "09:15");
    EXPECT_EQ(AcquisitionNameFromFolder("C:\\prog\\default\\20240131_0915_plateA"), "plateA");
    EXPECT_EQ(AcquisitionNameFromFolder("20240131_0915_"), "");
    EXPECT_EQ(AcquisitionNameFromFolder(f + "/"), "plateA");
    EXPECT_EQ(AcquisitionTimeFromFolder(f + "/"), "09:15");
    EXPECT_EQ(AcquisitionNameFromFolder("/x/20240131_0915_a [5m]"), "a [5m]");
    EXPECT_EQ(AcquisitionDateFromFolder("/x/20240"), "2024-0-");
    EXPECT_EQ(AcquisitionTimeFromFolder("/x/20240131_0"), "0:");
    EXPECT_EQ(AcquisitionDateFromFolder(""), "--");
    EXPECT_EQ(AcquisitionTimeFromFolder(""), ":");
}

TEST(ReportSettings, PlateSizeBlockLengthAndScale) {
    ReportSettings s = reportSettingsFromTexts("100", "1500", "50", "1150", "35", "", "5");
    ASSERT_TRUE(s.ok);
    EXPECT_DOUBLE_EQ(s.pxPerMmX, 40.0);
    EXPECT_DOUBLE_EQ(s.pxPerMmY, 1100.0 / 35);
    EXPECT_EQ(s.separator, ";");
    EXPECT_EQ(s.blockMinutes, 5);
    for (const char* bad : {"9.5", "61", "abc"}) {
        s = reportSettingsFromTexts("100", "1500", "50", "1150", bad, ",", "5");
        EXPECT_TRUE(s.plateSizeReplaced) << bad;
        EXPECT_EQ(s.plateSizeMm, 35.0);
    }
    for (const char* good : {"10", "60"}) {
        s = reportSettingsFromTexts("100", "1500", "50", "1150", good, ",", "5");
        EXPECT_FALSE(s.plateSizeReplaced) << good;
    }
    s = reportSettingsFromTexts("100", "1500", "50", "1150", "35", ",", "0");
    EXPECT_EQ(s.blockMinutes, 1);
    EXPECT_TRUE(s.blockMinutesReplaced);
    EXPECT_EQ(s.separator, ",");
    s = reportSettingsFromTexts("100", "100", "50", "1150", "35", ";", "5");
    EXPECT_FALSE(s.ok);
    EXPECT_EQ(s.message, "Analysis area is empty: please check the analysis rectangle");
    s = reportSettingsFromTexts("100", "1500", "50", "1150", "35", ";", "99999");
    EXPECT_FALSE(s.ok);
    // A corner beyond 16 bits is named, not taken for an empty area.
    s = reportSettingsFromTexts("100", "40000", "50", "1150", "35", ";", "5");
    EXPECT_FALSE(s.ok);
    EXPECT_EQ(s.message, "Analysis area value 40000 is out of range: please check the analysis "
                         "rectangle");
}

TEST(AnalyzeTrails, ListingAndJointReportWriteFailuresAreNotSuccess) {
    Acquisition acq;
    std::filesystem::create_directories(acq.folder + "/particle_trails.csv/x");
    AnalyzeTrailsResult r = AnalyzeTrails(acq.params(kReportFile));
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.message.empty());
    EXPECT_TRUE(r.reportPath.empty());

    Acquisition other;
    AnalyzeTrailsParams p = other.params(kJointReportShort);
    p.programFolder = other.program.file("no/such/folder");
    r = AnalyzeTrails(p);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.message.empty());
    EXPECT_TRUE(r.jointLine.empty());
}
