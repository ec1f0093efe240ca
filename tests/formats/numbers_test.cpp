#include "formats/numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace formats;

TEST(LeadingNumber, TakesTheLeadingDecimalNumber) {
    EXPECT_EQ(leadingNumber("35"), 35.0);
    EXPECT_EQ(leadingNumber("  12.5mm"), 12.5);
    EXPECT_EQ(leadingNumber("1 2\t3\n4"), 1234.0);
    EXPECT_EQ(leadingNumber("-7.25"), -7.25);
    EXPECT_EQ(leadingNumber("+.5"), 0.5);
    EXPECT_EQ(leadingNumber("1e3x"), 1000.0);
    EXPECT_EQ(leadingNumber("2e"), 2.0);
    EXPECT_EQ(leadingNumber("3,5"), 3.0);
    EXPECT_EQ(leadingNumber("abc"), 0.0);
    EXPECT_EQ(leadingNumber(""), 0.0);
    EXPECT_EQ(leadingNumber("."), 0.0);
    EXPECT_EQ(leadingNumber("-"), 0.0);
    EXPECT_EQ(leadingNumber("12\r"), 12.0);
    // Beyond the range of a double: too large, not too small.
    EXPECT_TRUE(beyondDoubleRange("1e309"));
    EXPECT_TRUE(beyondDoubleRange("11e994"));
    EXPECT_TRUE(beyondDoubleRange(std::string(400, '9')));
    EXPECT_TRUE(beyondDoubleRange("0.001e312"));
    EXPECT_TRUE(beyondDoubleRange("1e99999999999999999999"));
    EXPECT_FALSE(beyondDoubleRange("1e308"));
    EXPECT_FALSE(beyondDoubleRange("0.001e310"));
    EXPECT_FALSE(beyondDoubleRange("1e-400"));
    EXPECT_FALSE(beyondDoubleRange("1" + std::string(400, '0') + "e-500"));
    EXPECT_FALSE(beyondDoubleRange("0e999"));
    EXPECT_FALSE(beyondDoubleRange("35"));
}

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(roundHalfEven(17.5), 18);
    EXPECT_EQ(roundHalfEven(18.5), 18);
    EXPECT_EQ(roundHalfEven(-0.5), 0);
    EXPECT_EQ(roundHalfEven(-1.5), -2);
    EXPECT_EQ(roundHalfEven(2.4999), 2);
    EXPECT_EQ(roundHalfEven(2.5001), 3);
}

TEST(ToInt16, RefusesValuesThatDoNotFit) {
    EXPECT_EQ(toInt16(32767.4), std::optional<std::int16_t>(32767));
    EXPECT_EQ(toInt16(32767.5), std::nullopt);
    EXPECT_EQ(toInt16(-32768.5), std::optional<std::int16_t>(-32768));
    EXPECT_EQ(toInt16(-32769), std::nullopt);
}

TEST(FormatNumber, UsesAPointWhateverTheLocale) {
    EXPECT_EQ(formatNumber(35), "35");
    EXPECT_EQ(formatNumber(0.5), "0.5");
    EXPECT_EQ(formatNumber(-2.25), "-2.25");
    EXPECT_EQ(formatNumber(0.1 + 0.2), "0.3");
    EXPECT_EQ(formatNumberSigned(35), " 35");
    EXPECT_EQ(formatNumberSigned(-2), "-2");
}

TEST(FormatFixed, OneDecimalLikeThePicture00) {
    EXPECT_EQ(formatFixed(5, 1), "5.0");
    EXPECT_EQ(formatFixed(7.5, 1), "7.5");
    EXPECT_EQ(formatFixed(0, 1), "0.0");
    EXPECT_EQ(formatFixed(0.25, 1), "0.3");
    EXPECT_EQ(formatFixed(-0.25, 1), "-0.3");
    EXPECT_EQ(formatFixed(-0.04, 1), "0.0");
    EXPECT_EQ(formatFixed(0.05, 2), "0.05");
    EXPECT_EQ(formatFixed(16, 0), "16");
    EXPECT_EQ(formatFixed(1e300, 1).substr(0, 3), "100");
    EXPECT_EQ(formatFixed(std::nan(""), 1), "0.0");
}
