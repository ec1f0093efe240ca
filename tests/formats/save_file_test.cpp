#include "formats/save_file.h"

#include "tests/formats/temp_folder.h"

#include <gtest/gtest.h>

using testing_support::TempFolder;

TEST(SaveFileAtomic, ReplacesTheFileWholeAndLeavesNoTemporaryFile) {
    TempFolder dir;
    dir.write("a.txt", "old content that is longer");
    EXPECT_EQ(formats::saveFileAtomic(dir.file("a.txt"), "new\r\n"), "");
    EXPECT_EQ(dir.read("a.txt"), "new\r\n");
    EXPECT_EQ(dir.entryCount(), 1u);
}

TEST(SaveFileAtomic, ReportsAFolderThatDoesNotExist) {
    TempFolder dir;
    const std::string message = formats::saveFileAtomic(dir.file("missing/a.txt"), "x");
    EXPECT_NE(message.find("missing/a.txt"), std::string::npos);
}

TEST(AppendToFile, AppendsEveryByteAndCreatesOnlyWhenAsked) {
    TempFolder dir;
    EXPECT_EQ(formats::appendToFile(dir.file("log.csv"), "1;2\r\n"), "");
    EXPECT_EQ(formats::appendToFile(dir.file("log.csv"), std::string(100000, 'x')), "");
    EXPECT_EQ(dir.read("log.csv"), "1;2\r\n" + std::string(100000, 'x'));

    EXPECT_NE(formats::appendToFile(dir.file("absent.csv"), "row\r\n", false), "");
    EXPECT_EQ(dir.entryCount(), 1u);
}
