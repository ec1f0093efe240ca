#include "formats/text_lines.h"

#include "temp_folder.h"

#include <gtest/gtest.h>

using namespace formats;
using testing_support::TempFolder;
using Lines = std::vector<std::string>;

TEST(SplitLines, AcceptsCrLfAndLfAndATornLastLine) {
    EXPECT_EQ(splitLines(""), Lines{});
    EXPECT_EQ(splitLines("a\r\nb\r\n"), (Lines{"a", "b"}));
    EXPECT_EQ(splitLines("a\nb\n"), (Lines{"a", "b"}));
    EXPECT_EQ(splitLines("a\r\nb"), (Lines{"a", "b"}));
    EXPECT_EQ(splitLines("a\r\nb\r"), (Lines{"a", "b"}));
    EXPECT_EQ(splitLines("\r\n\r\n"), (Lines{"", ""}));
    EXPECT_EQ(splitLines("a\r\n\nb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(splitLines("a\rb\n"), (Lines{"a\rb"}));
}

TEST(TextLinesFile, WritesExactBytesAndReadsThemBack) {
    TempFolder dir;
    const std::string path = dir.file("x.dat");
    EXPECT_EQ(writeTextLines(path, {"one", "", "three"}), "");
    EXPECT_EQ(dir.read("x.dat"), "one\r\n\r\nthree\r\n");
    const TextLines back = readTextLines(path);
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(back.lines, (Lines{"one", "", "three"}));
    EXPECT_EQ(dir.entryCount(), 1u); // no temporary file left behind

    EXPECT_EQ(writeTextLines(path, {"a"}, "\n"), "");
    EXPECT_EQ(dir.read("x.dat"), "a\n");
}

TEST(TextLinesFile, RefusesALineBreakInsideAValueAndKeepsTheOldFile) {
    TempFolder dir;
    dir.write("x.dat", "old\r\n");
    const std::string error = writeTextLines(dir.file("x.dat"), {"a\r\nb"});
    EXPECT_NE(error, "");
    EXPECT_NE(error.find("x.dat"), std::string::npos);
    EXPECT_EQ(dir.read("x.dat"), "old\r\n");
    EXPECT_EQ(dir.entryCount(), 1u);
}

TEST(TextLinesFile, MissingUnreadableAndOversizedFiles) {
    TempFolder dir;
    EXPECT_EQ(readTextLines(dir.file("none.dat")).status, TextLines::Status::Missing);

    std::filesystem::create_directory(dir.file("folder.dat"));
    const TextLines folder = readTextLines(dir.file("folder.dat"));
    EXPECT_EQ(folder.status, TextLines::Status::Failed);
    EXPECT_NE(folder.error, "");

    dir.write("big.dat", std::string(100, 'x'));
    EXPECT_EQ(readTextLines(dir.file("big.dat"), 99).status, TextLines::Status::Failed);
    EXPECT_TRUE(readTextLines(dir.file("big.dat"), 100).ok());

    dir.write("empty.dat", "");
    const TextLines empty = readTextLines(dir.file("empty.dat"));
    EXPECT_TRUE(empty.ok());
    EXPECT_TRUE(empty.lines.empty());
    EXPECT_EQ(empty.line(0), nullptr);
}

TEST(TextLinesFile, WriteIntoAMissingFolderFails) {
    TempFolder dir;
    EXPECT_NE(writeTextLines(dir.file("no/such/x.dat"), {"a"}), "");
}

TEST(TextLinesFile, AVeryLongLineSurvives) {
    TempFolder dir;
    const std::string longLine(300000, 'q');
    ASSERT_EQ(writeTextLines(dir.file("l.dat"), {longLine, "b"}), "");
    const TextLines back = readTextLines(dir.file("l.dat"));
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(back.lines, (Lines{longLine, "b"}));
}
