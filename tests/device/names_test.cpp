#include "app/device/names.h"

#include <gtest/gtest.h>

using device::GrayFromColor;
using device::SanitizeName;
using device::SanitizePath;

TEST(SanitizeName, KeepsReplacesAndDropsByTheTable) {
    EXPECT_EQ(SanitizeName(QStringLiteral("plate A/2.b\u00e9")), QStringLiteral("plate_A-2b"));
    EXPECT_EQ(SanitizeName(QStringLiteral("Az09()[]_+-")), QStringLiteral("Az09()[]_+-"));
    EXPECT_EQ(SanitizeName(QStringLiteral(".,;:\\*?\"<>|'!@#$%^&={}~`")), QString());
    EXPECT_EQ(SanitizeName(QString()), QString());
    EXPECT_EQ(SanitizeName(QStringLiteral("a\tb\nc\rd")), QStringLiteral("abcd"));
    // A name cannot climb out of its folder.
    EXPECT_EQ(SanitizeName(QStringLiteral("../../etc")), QStringLiteral("--etc"));
    EXPECT_EQ(SanitizeName(QStringLiteral("..")), QString());
    // Every code above 127 goes, also outside the Basic Multilingual Plane.
    EXPECT_EQ(SanitizeName(QStringLiteral("x\u00a0y\U0001F41B")), QStringLiteral("xy"));
}

TEST(SanitizeName, ByteStringsBehaveTheSame) {
    EXPECT_EQ(SanitizeName(std::string_view("plate A/2.b\xc3\xa9")), "plate_A-2b");
    EXPECT_EQ(SanitizeName(std::string_view("..")), "");
    EXPECT_EQ(SanitizePath(std::string_view("C:\\my dir/x.y")), "C:\\my_dir/xy");
}

TEST(SanitizePath, KeepsDriveColonAndBothSlashes) {
    EXPECT_EQ(SanitizePath(QStringLiteral("C:\\Program Files\\lab/run")),
              QStringLiteral("C:\\Program_Files\\lab/run"));
    EXPECT_EQ(SanitizePath(QStringLiteral("/opt/lab.v2/bin")), QStringLiteral("/opt/labv2/bin"));
    EXPECT_EQ(SanitizePath(QStringLiteral("/opt/lab/bin")), QStringLiteral("/opt/lab/bin"));
}

TEST(GrayFromColor, WeighsTheBytesByTheirPosition) {
    EXPECT_EQ(GrayFromColor(0xFFFFFF), 255);
    EXPECT_EQ(GrayFromColor(0), 0);
    EXPECT_EQ(GrayFromColor(0xFF0000), 76);  // bits 16-23
    EXPECT_EQ(GrayFromColor(0x00FF00), 150); // bits 8-15
    EXPECT_EQ(GrayFromColor(0x0000FF), 29);  // bits 0-7
    EXPECT_EQ(GrayFromColor(0x808080), 128);
    EXPECT_EQ(GrayFromColor(-1), 255);
    EXPECT_EQ(GrayFromColor(static_cast<std::int32_t>(0xFF000000u)), 0);
    EXPECT_EQ(GrayFromColor(0x7F000000 | 0x102030), GrayFromColor(0x102030));
    // 0.299 x 10 + 0.587 x 0 + 0.114 x 0 = 2.99 -> 3
    EXPECT_EQ(GrayFromColor(10 * 65536), 3);
}
