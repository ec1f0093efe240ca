#include "formats/training_file.h"

#include "formats/text_lines.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

using namespace formats;
using testing_support::TempFolder;
using Words = std::vector<std::string>;

namespace {
const char kDefaultsFile[] = "xs 335\r\nxe 1170\r\nys 215\r\nye 1035\r\nbs 35\r\npl 26\r\n"
                             "ph 76\r\npt 20\r\ntl 6.8\r\nth 9.5\r\ntt 20\r\nll 16\r\n"
                             "lh 25\r\nlt 20\r\nal 10\r\nat 50\r\nmt 31.25\r\nmm 35\r\n";
const char kDefaultsOptions[] = " -xs335 -xe1170 -ys215 -ye1035 -bs35 -pl26 -ph76 -pt20 -tl6.8"
                                " -th9.5 -tt20 -ll16 -lh25 -lt20 -al10 -at50 -mt31.25 -mm35";
} // namespace

TEST(TrainingFile, DefaultsAreWrittenByteForByte) {
    EXPECT_EQ(TrainingFile::defaults().text(), kDefaultsFile);
    TempFolder dir;
    ASSERT_EQ(writeTrainingFile(dir.path(), TrainingFile::defaults()), "");
    EXPECT_EQ(dir.read("training.dat"), kDefaultsFile);
    EXPECT_EQ(dir.entryCount(), 1u);
}

TEST(TrainingFile, OptionStringOfTheDefaults) {
    TempFolder dir;
    dir.write("training.dat", kDefaultsFile);
    std::string error = "stale";
    EXPECT_EQ(ReadTrainingOptions(dir.path(), &error), kDefaultsOptions);
    EXPECT_EQ(error, "");
    EXPECT_EQ(splitOptionString(kDefaultsOptions).size(), 18u);
    EXPECT_EQ(splitOptionString(kDefaultsOptions).front(), "-xs335");
    EXPECT_EQ(splitOptionString(kDefaultsOptions).back(), "-mm35");
}

TEST(TrainingFile, OnlyFourKeysGetAPointOnWriting) {
    TrainingFile t = TrainingFile::defaults();
    t[0] = "33,5";   // xs
    t[8] = "6,8";    // tl
    t[9] = "9,5";    // th
    t[16] = "31,25"; // mt
    t[17] = "3,5,0"; // mm
    t[4] = " 35";    // bs keeps its leading blank: two blanks after the key
    const auto lines = t.lines();
    EXPECT_EQ(lines[0], "xs 33,5");
    EXPECT_EQ(lines[4], "bs  35");
    EXPECT_EQ(lines[8], "tl 6.8");
    EXPECT_EQ(lines[9], "th 9.5");
    EXPECT_EQ(lines[16], "mt 31.25");
    EXPECT_EQ(lines[17], "mm 3.5.0");
}

TEST(TrainingFile, ApplyKeyMatchesCaseSensitivelyAndTurnsCommas) {
    TrainingFile t = TrainingFile::defaults();
    EXPECT_TRUE(t.applyKey("tl", "6,8"));
    EXPECT_EQ(t[8], "6.8");
    EXPECT_TRUE(t.applyKey(" x s ", "12,5"));
    EXPECT_EQ(t[0], "12.5");
    EXPECT_FALSE(t.applyKey("XS", "1"));
    EXPECT_FALSE(t.applyKey("zz", "1"));
    EXPECT_EQ(t[0], "12.5");
}

TEST(TrainingFile, LineSplittingForLoadTraining) {
    EXPECT_EQ(splitTrainingLine("xs 335"), std::make_pair(std::string("xs"), std::string("335")));
    EXPECT_EQ(splitTrainingLine("xs  3 3 5"),
              std::make_pair(std::string("xs"), std::string(" 3 3 5")));
    EXPECT_EQ(splitTrainingLine(" xs 335"), std::nullopt);
    EXPECT_EQ(splitTrainingLine("xs335"), std::nullopt);
    EXPECT_EQ(splitTrainingLine(""), std::nullopt);
}

TEST(TrainingFile, AssignmentsKeepFileOrderAndTheLaterDuplicateWins) {
    TrainingFile t = TrainingFile::defaults();
    const std::vector<std::string> lines = {"xs 100", "XS 7", "garbage", "tl 6,8",
                                            "xs 200", "mm",   " ph 5",   "tl 5"};
    const auto assignments = trainingAssignments(lines);
    ASSERT_EQ(assignments.size(), 4u);
    EXPECT_EQ(assignments[0].index, 0u);
    EXPECT_EQ(assignments[1].value, "6.8");
    EXPECT_EQ(applyTrainingLines(lines, t), 4u);
    EXPECT_EQ(t[0], "200");
    EXPECT_EQ(t[8], "5");
    EXPECT_EQ(t[6], "76");
}

TEST(TrainingFile, OptionStringRules) {
    // A one-character value is three characters without the blank and is left out.
    EXPECT_EQ(trainingOptionsFromLines({"tl 5", "th 9,5"}), " -th9.5");
    // Blanks inside a value vanish; a comma anywhere becomes a point.
    EXPECT_EQ(trainingOptionsFromLines({"xs 3 3 5", "bs 3,5"}), " -xs335 -bs3.5");
    // Unknown or upper-case keys still go into the string; duplicates both go in.
    EXPECT_EQ(trainingOptionsFromLines({"XS 10", "xs 20", "xs 30"}), " -XS10 -xs20 -xs30");
    // Leading blanks of a line are removed too.
    EXPECT_EQ(trainingOptionsFromLines({"   ", "  xs  335  "}), " -xs335");
    // Characters, not bytes, are counted.
    EXPECT_EQ(trainingOptionsFromLines({"t\xc3\xa9 "}), "");
    EXPECT_EQ(trainingOptionsFromLines({}), "");
}

TEST(TrainingFile, MissingEmptyAndUnreadableFiles) {
    TempFolder dir;
    std::string error = "stale";
    EXPECT_EQ(ReadTrainingOptions(dir.path(), &error), "");
    EXPECT_EQ(error, "");
    EXPECT_EQ(readTrainingFile(dir.path()).status, TrainingRead::Status::Missing);

    dir.write("training.dat", "");
    EXPECT_EQ(ReadTrainingOptions(dir.path(), &error), "");
    EXPECT_EQ(error, "");
    const TrainingRead empty = readTrainingFile(dir.path());
    EXPECT_EQ(empty.status, TrainingRead::Status::Ok);
    EXPECT_TRUE(empty.assignments.empty());

    std::filesystem::remove(dir.file("training.dat"));
    std::filesystem::create_directory(dir.file("training.dat"));
    EXPECT_EQ(ReadTrainingOptions(dir.path(), &error), "");
    EXPECT_NE(error, "");
    EXPECT_EQ(readTrainingFile(dir.path()).status, TrainingRead::Status::Failed);
}

TEST(TrainingFile, LfAndTornFilesAndLongLines) {
    TempFolder dir;
    dir.write("training.dat", "xs 335\nxe 1170\r\nys 2,15");
    EXPECT_EQ(ReadTrainingOptions(dir.path()), " -xs335 -xe1170 -ys2.15");
    const TrainingRead read = readTrainingFile(dir.path());
    ASSERT_EQ(read.assignments.size(), 3u);
    EXPECT_EQ(read.assignments[2].value, "2.15");

    const std::string longValue(200000, '7');
    dir.write("training.dat", "xs " + longValue + "\r\n");
    EXPECT_EQ(ReadTrainingOptions(dir.path()), " -xs" + longValue);
}

TEST(TrainingFile, DefaultsCopyIsByteForByte) {
    TempFolder dir;
    TrainingFile t = TrainingFile::defaults();
    t[17] = "4,5";
    ASSERT_EQ(writeTrainingFileWithDefaults(dir.path(), t), "");
    EXPECT_EQ(dir.read("training.def"), dir.read("training.dat"));
    EXPECT_NE(dir.read("training.dat").find("mm 4.5\r\n"), std::string::npos);
    EXPECT_EQ(dir.entryCount(), 2u);
}

TEST(TrainingFile, AValueWithALineBreakIsRefusedAndTheOldFileKept) {
    TempFolder dir;
    dir.write("training.dat", kDefaultsFile);
    TrainingFile t = TrainingFile::defaults();
    t[0] = "335\r\nmm 99";
    EXPECT_NE(writeTrainingFileWithDefaults(dir.path(), t), "");
    EXPECT_EQ(dir.read("training.dat"), kDefaultsFile);
    EXPECT_FALSE(std::filesystem::exists(dir.file("training.def")));
}

TEST(SplitOptionString, DropsEmptyWords) {
    EXPECT_EQ(splitOptionString(""), Words{});
    EXPECT_EQ(splitOptionString("   "), Words{});
    EXPECT_EQ(splitOptionString(" -xs335  -ti4 "), (Words{"-xs335", "-ti4"}));
    EXPECT_EQ(splitOptionString("-cp28662"), (Words{"-cp28662"}));
}

TEST(TrainingFile, WriteFailuresAreReported) {
    TempFolder dir;
    EXPECT_NE(writeTrainingFile(dir.file("missing"), TrainingFile::defaults()), "");
    // training.def cannot be replaced: the save of training.dat stands, the copy failure is
    // reported.
    std::filesystem::create_directory(dir.file("training.def"));
    std::filesystem::create_directory(dir.file("training.def/inside"));
    EXPECT_NE(writeTrainingFileWithDefaults(dir.path(), TrainingFile::defaults()), "");
    EXPECT_EQ(dir.read("training.dat"), kDefaultsFile);
    EXPECT_EQ(dir.entryCount(), 2u); // no temporary file left behind
}
