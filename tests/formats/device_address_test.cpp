#include "formats/device_address.h"
#include "formats/frame_names.h"

#include <gtest/gtest.h>

namespace {

TEST(DeviceAddress, AcceptsHostsAddressesAndPorts) {
    for (const char* ok :
         {"192.168.4.1", "127.0.0.1:8080", "cam-01.local", "CAM", "10.0.0.7:1", "10.0.0.7:65535"})
        EXPECT_TRUE(formats::isValidDeviceAddress(ok)) << ok;
}

TEST(DeviceAddress, RefusesEverythingElse) {
    for (const char* bad :
         {"", ":80", "192.168.4.1:", "192.168.4.1:0", "192.168.4.1:65536", "192.168.4.1:123456",
          "192.168.4.1:8o", "1.2.3.4:80:81", "1.2.3.4/capture", "1.2.3.4 ", " 1.2.3.4", "a@b",
          "1.2.3.4?x=1", "1.2.3.4#", "..\\x", "1.2.3.4\n", "h\xc3\xa9te", "a_b", "1.2.3.4;rm"})
        EXPECT_FALSE(formats::isValidDeviceAddress(bad)) << bad;
}

TEST(DeviceAddress, RefusalNamesTheAddress) {
    EXPECT_EQ(formats::checkDeviceAddress("1.2.3.4"), "");
    EXPECT_EQ(formats::checkDeviceAddress(""), "No device address was given.");
    EXPECT_EQ(formats::checkDeviceAddress("1.2/x"),
              "The device address \"1.2/x\" is not valid: use letters, digits, \".\" and \"-\", "
              "optionally followed by \":\" and a port from 1 to 65535.");
}

TEST(FrameNames, AddressDotsBecomeUnderscores) {
    EXPECT_EQ(formats::frameImageFile("192.168.4.1", 42), "c192_168_4_1f42.jpg");
    EXPECT_EQ(formats::framePgmFile("192.168.4.1", 42), "c192_168_4_1f42.pgm");
    EXPECT_EQ(formats::frameImageFile("127.0.0.1:8080", 0), "c127_0_0_1:8080f0.jpg");
    EXPECT_EQ(formats::frameImageFile("10.0.0.2", 86400), "c10_0_0_2f86400.jpg");
    EXPECT_EQ(formats::frameAddressPart("cam.local"), "cam_local");
}

TEST(FrameNames, TheFrameLetterIsTheFBeforeTheNumberWhateverTheAddressHolds) {
    using formats::frameLetterPosition;
    constexpr std::size_t none = std::string_view::npos;
    EXPECT_EQ(frameLetterPosition("c192_168_4_1f12"), 12u);
    EXPECT_EQ(frameLetterPosition("c192_168_4_1f12m"), 12u); // a frame marked bad
    EXPECT_EQ(frameLetterPosition("cwifi-camf7"), 9u);       // not the address's "f"
    EXPECT_EQ(frameLetterPosition("cwifi-camf7m"), 9u);
    EXPECT_EQ(frameLetterPosition("c1f2f5"), 4u);
    EXPECT_EQ(frameLetterPosition("cf"), 1u); // no digits: the number is read as 0
    EXPECT_EQ(frameLetterPosition("f"), 0u);
    EXPECT_EQ(frameLetterPosition("c1f2fx"), none);
    EXPECT_EQ(frameLetterPosition("c1f2mm"), none);
    EXPECT_EQ(frameLetterPosition("cwifi-cam"), none);
    EXPECT_EQ(frameLetterPosition(""), none);
    EXPECT_EQ(frameLetterPosition(std::u16string_view(u"c\u00e9tef3m")), 4u); // a window's text
}

} // namespace
