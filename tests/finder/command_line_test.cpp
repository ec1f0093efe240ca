// The command line: echoes, usage, the last-argument rule, the project folder and refusals.

#include "finder/arguments.h"
#include "finder_test_support.h"
#include "formats/position_file.h"

#include <regex>

namespace {

using finder_test::Bytes;
using finder_test::Frame;
using finder_test::WorkFolderTest;

class CommandLineTest : public WorkFolderTest {
protected:
    // A plain frame under `path`.
    static void frameAt(const std::string& path) { writeFile(path, Frame().pgm()); }
    static finder::SirrexState parse(const std::vector<std::string>& arguments) {
        std::vector<std::string> args{"Sirrex"};
        args.insert(args.end(), arguments.begin(), arguments.end());
        finder::SirrexState s;
        std::ostringstream out, err;
        EXPECT_EQ(finder::load_arguments(s, args, out, err), finder::ArgumentsResult::Run);
        return s;
    }
};

TEST_F(CommandLineTest, NoArgumentPrintsOneLineAndTouchesNothing) {
    const Run r = sirrex({});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "internal quellmark tovik helper application\n");
    EXPECT_FALSE(exists("xy_worms.bin"));
}

TEST_F(CommandLineTest, UsageOnlyAsALaterArgumentAfterTheEarlierEchoes) {
    const Run r = sirrex({"frame.pgm", "-xs300", "-h", "-ys5"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, " xs=300" + finder::usageText());
    EXPECT_FALSE(exists("xy_worms.bin"));
    EXPECT_FALSE(exists("xy_image.bin"));
    EXPECT_EQ(finder::usageText(),
              "Execute: Sirrex filein.pgm -arg1 -arg2...-argX\n\nAccepted arguments:\n"
              "******************\n-xs# (start of X axis limit in pixels)\n"
              "-xe# (end of X axis limit in pixels)\n-ys# (start of Y axis limit in pixels)\n"
              "-ye# (end of Y axis limit in pixels)\n-bs# (box size in pixel)\n"
              "-pl# (pixels organism size: lowest value)\n"
              "-ph# (pixels organism size: highest value)\n"
              "-pt# (pixels tolerance in percentage)\n"
              "-tl# (detection Threshold lowest value in percent)\n"
              "-th# (detection Threshold  highest value in percent)\n"
              "-tt# (detection Threshold  percentage)\n-ll# (organism Length lowest value)\n"
              "-lh# (organism Length highest value)\n"
              "-lt# (organism Length tolerance in percentage)\n-al# (analysis lowest value)\n"
              "-at# (analysis tolerance in percentage)\n"
              "-mt# (maximum travel between frames in pix)\n"
              "-cp# (16bit[4x4] binary comparison window for invariant shape)\n"
              "-ti# (define time mark)\n-v verbose=ON\n");
}

TEST_F(CommandLineTest, DashHFirstIsTheImagePathAndDashHelpIsNoUsage) {
    const Run first = sirrex({"-h"});
    EXPECT_EQ(first.status, 1);
    EXPECT_EQ(first.err, "Cant open File -h\n");
    EXPECT_EQ(first.out, "");

    frameAt("f.pgm");
    const Run help = sirrex({"f.pgm", "-help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(withoutTiming(help.out), "");
    EXPECT_TRUE(exists("xy_worms.bin"));
}

TEST_F(CommandLineTest, EchoesOfEveryOptionOnOneLineThenTheTimingLine) {
    frameAt("f.pgm");
    const Run r = sirrex({"f.pgm",  "-xs300", "-xe1200", "-ys170", "-ye1000", "-bs35", "-pl78",
                          "-ph100", "-pt20",  "-tl5.4",  "-th10",  "-tt20",   "-ll17", "-lh28",
                          "-lt20",  "-al33",  "-at50",   "-mt35",  "-mm35",   "-cp0",  "-ti12"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(std::regex_match(
        r.out, std::regex(" xs=300 xe=1200 ys=170 ye=1000 bs=35 pl=78 ph=100 pt=20 tl=5\\.4 "
                          "th=10 tt=20 ll=17 lh=28 lt=20 al=33 at=50 mt=35 cp=0 time=12"
                          "\n execution in [0-9]+\\.[0-9]{6} s\n")))
        << r.out;
}

TEST_F(CommandLineTest, ImgFolderIsTrimmedToTheAcquisitionFolder) {
    frameAt("acq/img/c5f12.pgm");
    const Run r = sirrex({"acq/img/c5f12.pgm", "-xs300", "-ti12"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(withoutTiming(r.out),
              "acq/img/c5f12.pgm\nacq/img\nProject img name trimmed\n xs=300 time=12");
    ASSERT_TRUE(exists("acq/xy_worms.bin"));
    EXPECT_TRUE(exists("acq/xy_image.bin"));
    EXPECT_FALSE(exists("acq/img/xy_worms.bin"));
    const Bytes block = readBytes("acq/xy_worms.bin");
    EXPECT_EQ(block[1], 0);
    EXPECT_EQ(block[2], 12);
}

TEST_F(CommandLineTest, ProjectFolderDerivation) {
    const auto folder = [](const std::string& image) { return parse({image}).project_folder; };
    EXPECT_EQ(folder("D:\\run\\preview.pgm"), "D:\\run");
    EXPECT_EQ(folder("C:\\acq\\img\\c5f12.pgm"), "C:\\acq");
    EXPECT_EQ(folder("C:\\x.pgm"), "C:"); // too short to trim
    EXPECT_EQ(folder("run/myimg/x.pgm"), "run/m");
    EXPECT_EQ(folder("img/x.pgm"), ""); // the whole name goes
    EXPECT_EQ(folder("x.pgm"), "");
    EXPECT_EQ(folder("/x.pgm"), ""); // a separator at position 0 gives no folder
    EXPECT_EQ(folder("/data/acq/img/f.pgm"), "/data/acq");
    EXPECT_EQ(folder("run/IMG/x.pgm"), "run/IMG"); // case as written
    EXPECT_EQ(finder::positionFilePath(""), "xy_worms.bin");
    EXPECT_EQ(finder::positionFilePath("/data/acq"), "/data/acq/xy_worms.bin");
    EXPECT_EQ(finder::imageDescriptorFilePath("/data/acq"), "/data/acq/xy_image.bin");
}

TEST_F(CommandLineTest, PathWithoutFolderWritesIntoTheCurrentFolderAndPrintsNoPaths) {
    frameAt("preview.pgm");
    const Run r = sirrex({"preview.pgm"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(withoutTiming(r.out), "");
    EXPECT_TRUE(exists("xy_worms.bin"));
    EXPECT_TRUE(exists("xy_image.bin"));
}

TEST_F(CommandLineTest, VerboseAndTimeMarkComeOnlyFromTheLastArgument) {
    finder::SirrexState a = parse({"f.pgm", "-ti5", "-v"});
    EXPECT_TRUE(a.verbose);
    EXPECT_EQ(a.worm_time, 0);
    finder::SirrexState b = parse({"f.pgm", "-v", "-ti5"});
    EXPECT_FALSE(b.verbose);
    EXPECT_EQ(b.worm_time, 5);
    EXPECT_EQ(parse({"f.pgm", "-ti5", "-xs300"}).worm_time, 0);
    EXPECT_EQ(parse({"f.pgm", "-ti0", "-cp28662"}).arg_cp, 28662);
    EXPECT_TRUE(parse({"f.pgm", "-verbose"}).verbose);
}

TEST_F(CommandLineTest, VerboseRunEndsOnAClosedInput) {
    frameAt("run/f.pgm");
    const Run r = sirrex({"run/f.pgm", "-ti7", "-v"}); // empty input: no key to wait for
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(" time=7 verbose ON**end of Arguments\nrun\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Header_size=17\n"), std::string::npos);
    EXPECT_NE(r.out.find("run/f.pgm File read OK\n"), std::string::npos);
    EXPECT_NE(r.out.find("lenX=900\nleny=830\nCenterX=450\nCenterY=585\n"), std::string::npos);
    EXPECT_NE(r.out.find("catetod_y=415\ncatetod_x="), std::string::npos);
}

TEST_F(CommandLineTest, ConversionsTakeTheLeadingNumber) {
    finder::SirrexState s = parse({"f.pgm", "-xs300px", "-bs20.7", "-tl5,4", "-th 7", "-ye-5",
                                   "-xs", "-pl1e2", "-ph.5", "-pt5."});
    EXPECT_EQ(s.arg_xs, 300); // a bare -xs changes nothing
    EXPECT_EQ(s.arg_bs, 20);
    EXPECT_FLOAT_EQ(s.arg_tl, 5.0f);
    EXPECT_FLOAT_EQ(s.arg_th, 7.0f);
    EXPECT_EQ(s.arg_ye, -5);
    EXPECT_FLOAT_EQ(s.arg_pl, 100.0f);
    EXPECT_FLOAT_EQ(s.arg_ph, 0.5f);
    EXPECT_FLOAT_EQ(s.arg_pt, 5.0f);
    EXPECT_EQ(parse({"f.pgm", "-bs35.9"}).arg_bs, 35);
    EXPECT_EQ(parse({"f.pgm", "-bs60.99"}).arg_bs, 60);
    EXPECT_EQ(parse({"f.pgm", "-xs-2147483648"}).arg_xs, -2147483647 - 1);
}

TEST_F(CommandLineTest, EchoFormats) {
    std::vector<std::string> args{"Sirrex",       "f.pgm",   "-tl5.40", "-pl78.0",
                                  "-ph0.1234567", "-bs20.7", "-lh1e-3"};
    finder::SirrexState s;
    std::ostringstream out, err;
    ASSERT_EQ(finder::load_arguments(s, args, out, err), finder::ArgumentsResult::Run);
    EXPECT_EQ(out.str(), " tl=5.4 pl=78 ph=0.123457 bs=20 lh=0.001");
}

TEST_F(CommandLineTest, BadOptionValuesEndTheRunAndTouchNoFile) {
    frameAt("f.pgm");
    for (const std::string bad :
         {"-xsabc", "-xs+", "-xs2147483648", "-ti99999999999", "-ti-", "-time", "-tlinf", "-tlnan",
          "-tl0x10", "-xs0x10", "-tl.", "-tl1e39", "-bs3", "-bs61", "-bs3.9", "-bs-35", "-bsx",
          "-cp99999999999", "-mt-e5", "-tl1e309", "-pl-1e400", "-lt11e994", "-at1e99999999999"}) {
        const Run r = sirrex({"f.pgm", "-xs300", bad, "-ti4"});
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_EQ(r.out, " xs=300") << bad;
        EXPECT_EQ(r.err, "Bad option value " + bad + r.err.substr(r.err.find(" ("))) << bad;
        EXPECT_FALSE(exists("xy_worms.bin")) << bad;
        EXPECT_FALSE(exists("xy_image.bin")) << bad;
    }
}

// A block header holds 23 bits of the time mark: a mark outside 0 .. 8388607 would be stored
// as another one (-5 read back as 8388603).
TEST_F(CommandLineTest, TimeMarksTheFileCannotHoldAreRefused) {
    frameAt("f.pgm");
    for (const std::string bad : {"-ti-5", "-ti-1", "-ti8388608", "-ti2147483647"}) {
        const Run r = sirrex({"f.pgm", bad});
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_EQ(r.out, "") << bad;
        EXPECT_EQ(r.err, "Bad option value " + bad + " (time mark must be 0 to 8388607)\n");
        EXPECT_FALSE(exists("xy_worms.bin")) << bad;
        EXPECT_FALSE(exists("xy_image.bin")) << bad;
    }
    ASSERT_EQ(sirrex({"f.pgm", "-ti0"}).status, 0);
    ASSERT_EQ(sirrex({"f.pgm", "-ti8388607"}).status, 0);
    const formats::PositionFile file = formats::readPositionFile("xy_worms.bin");
    ASSERT_EQ(file.blocks.size(), 2u);
    EXPECT_EQ(file.blocks[1].timeMark, 8388607);
}

TEST(NumberConversionTest, IntegersAndFloats) {
    EXPECT_EQ(finder::leadingInt32("  -12ab"), -12);
    EXPECT_EQ(finder::leadingInt32("+7"), 7);
    EXPECT_EQ(finder::leadingInt32("2147483647"), 2147483647);
    EXPECT_FALSE(finder::leadingInt32("2147483648").has_value());
    EXPECT_FALSE(finder::leadingInt32("").has_value());
    EXPECT_EQ(finder::leadingInt32("5.9"), 5);
    EXPECT_EQ(finder::leadingFloat("5.4"), 5.4f);
    EXPECT_EQ(finder::leadingFloat(" -0.25x"), -0.25f);
    EXPECT_EQ(finder::leadingFloat("1e"), 1.0f);
    EXPECT_EQ(finder::leadingFloat("3e2"), 300.0f);
    EXPECT_EQ(finder::leadingFloat("1e-60"), 0.0f); // too small is a zero, not a refusal
    EXPECT_FALSE(finder::leadingFloat("1e39").has_value());
    EXPECT_FALSE(finder::leadingFloat("1e309").has_value()); // beyond a double too
    EXPECT_FALSE(finder::leadingFloat("-1e400").has_value());
    EXPECT_EQ(finder::leadingFloat("0.0001e-400"), 0.0f);
    EXPECT_FALSE(finder::leadingFloat("infinity").has_value());
    EXPECT_FALSE(finder::leadingFloat("0X1p3").has_value());
    EXPECT_FALSE(finder::leadingFloat("-").has_value());
    EXPECT_EQ(finder::formatFloat(5.4f), "5.4");
    EXPECT_EQ(finder::formatFloat(78.0f), "78");
    EXPECT_EQ(finder::formatFloat(1234567.0f), "1.23457e+06");
}

} // namespace
