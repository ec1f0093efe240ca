#include "formats/run_data_file.h"

#include "temp_folder.h"

#include <gtest/gtest.h>

using namespace formats;
using testing_support::TempFolder;

namespace {
RunData sample(int mode) {
    RunData d;
    d.deviceAddress = "192.168.4.1";
    d.acquisitionFolder = "/lab/prog/default/20261209_0453_plate_A";
    d.startTime = "2026/12/09 04:53:07";
    d.runLength = "15";
    d.acquisitionMode = mode;
    return d;
}
} // namespace

TEST(RunDataFile, WritesFiveCrLfLinesWithThePrintedMode) {
    EXPECT_EQ(runDataText(sample(0)), "192.168.4.1\r\n"
                                      "/lab/prog/default/20261209_0453_plate_A\r\n"
                                      "2026/12/09 04:53:07\r\n"
                                      "15\r\n"
                                      " 0 \r\n");
    TempFolder dir;
    ASSERT_EQ(writeRunData(dir.path(), sample(1)), "");
    EXPECT_EQ(dir.read("rundata.dat"), "192.168.4.1\r\n"
                                       "/lab/prog/default/20261209_0453_plate_A\r\n"
                                       "2026/12/09 04:53:07\r\n"
                                       "15\r\n"
                                       " 1 \r\n");
    EXPECT_EQ(dir.entryCount(), 1u);
}

TEST(RunDataFile, RunLengthIsKeptAsTyped) {
    RunData d = sample(0);
    d.runLength = " 2,5 ";
    TempFolder dir;
    ASSERT_EQ(writeRunData(dir.path(), d), "");
    const auto back = readRunData(dir.path());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->runLength, " 2,5 ");
    EXPECT_EQ(back->runLengthMinutes(), 2.0);
}

TEST(RunDataFile, ReadsBackWhatItWrote) {
    TempFolder dir;
    ASSERT_EQ(writeRunData(dir.path(), sample(1)), "");
    std::string error = "stale";
    const auto back = readRunData(dir.path(), &error);
    ASSERT_TRUE(back);
    EXPECT_EQ(error, "");
    EXPECT_EQ(back->deviceAddress, "192.168.4.1");
    EXPECT_EQ(back->acquisitionFolder, "/lab/prog/default/20261209_0453_plate_A");
    EXPECT_EQ(back->startTime, "2026/12/09 04:53:07");
    EXPECT_EQ(back->runLength, "15");
    EXPECT_EQ(back->runLengthWholeMinutes(), 15);
    EXPECT_EQ(back->acquisitionMode, 1);
}

TEST(RunDataFile, MissingFileIsNoErrorAndUnreadableIsOne) {
    TempFolder dir;
    std::string error = "stale";
    EXPECT_FALSE(readRunData(dir.path(), &error));
    EXPECT_EQ(error, "");
    std::filesystem::create_directory(dir.file("rundata.dat"));
    EXPECT_FALSE(readRunData(dir.path(), &error));
    EXPECT_NE(error, "");
}

TEST(RunDataFile, ShortAndTornFilesLeaveTheRestEmpty) {
    RunData d = parseRunData("10.0.0.7\r\n/acq");
    EXPECT_EQ(d.deviceAddress, "10.0.0.7");
    EXPECT_EQ(d.acquisitionFolder, "/acq");
    EXPECT_EQ(d.startTime, "");
    EXPECT_EQ(d.runLength, "");
    EXPECT_EQ(d.runLengthMinutes(), 0.0);
    EXPECT_EQ(d.acquisitionMode, 0);

    d = parseRunData("");
    EXPECT_EQ(d.deviceAddress, "");
    EXPECT_EQ(d.acquisitionMode, 0);
}

TEST(RunDataFile, ModeAndLengthByNumericValue) {
    EXPECT_EQ(parseRunData("a\nb\nc\n30\n 1 \n").acquisitionMode, 1);
    EXPECT_EQ(parseRunData("a\nb\nc\n30\n1").acquisitionMode, 1);
    EXPECT_EQ(parseRunData("a\nb\nc\n30\ngarbage\n").acquisitionMode, 0);
    EXPECT_EQ(parseRunData("a\nb\nc\n30\n1e300\n").acquisitionMode, 0);
    EXPECT_EQ(parseRunData("a\nb\nc\n2.5\n0\n").runLengthWholeMinutes(), 2);
    EXPECT_EQ(parseRunData("a\nb\nc\n3.5\n0\n").runLengthWholeMinutes(), 4);
    EXPECT_EQ(parseRunData("a\nb\nc\n1e300\n0\n").runLengthWholeMinutes(), std::nullopt);
    EXPECT_EQ(parseRunData("a\nb\nc\nxx\n0\n").runLengthWholeMinutes(), 0);
}

TEST(RunDataFile, RefusesAValueWithALineBreak) {
    TempFolder dir;
    RunData d = sample(0);
    d.acquisitionFolder = "/acq\nevil";
    EXPECT_NE(writeRunData(dir.path(), d), "");
    EXPECT_EQ(dir.entryCount(), 0u);
}
