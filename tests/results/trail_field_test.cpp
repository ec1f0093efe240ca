#include "app/results/worm_trails_file.h"

#include "formats/numbers.h"

#include <gtest/gtest.h>

using namespace results;

TEST(TrailFieldValue, SameAsTheLeadingNumberRule) {
    for (const char* field :
         {"12",         "-7",         "0",           "-0",         "999999999",   "-999999999",
          "1234567890", "2147483647", "-2147483648", "2147483648", "-2147483649", "3.5",
          "2.5",        "-2.5",       " 5",          "5 ",         "+5",          "",
          "abc",        "7x",         "1e3",         "0012",       "-",           "12\t"}) {
        const std::optional<std::int32_t> general = formats::toInt32(formats::leadingNumber(field));
        EXPECT_EQ(trailFieldValue(field), general) << '"' << field << '"';
    }
    EXPECT_EQ(trailFieldValue("2147483648"), std::nullopt);
    EXPECT_EQ(trailFieldValue("2.5"), 2);
}
