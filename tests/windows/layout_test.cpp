#include "app/windows/layout.h"

#include <gtest/gtest.h>

using windows::findPlacement;
using windows::frontendLayout;
using windows::LayoutGrid;
using windows::layoutGridFor;
using windows::Placement;

namespace {

void expectRect(const Placement* p, float left, float top, float width, float height) {
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(p->left && p->top && p->width && p->height) << p->name;
    EXPECT_FLOAT_EQ(*p->left, left) << p->name;
    EXPECT_FLOAT_EQ(*p->top, top) << p->name;
    EXPECT_FLOAT_EQ(*p->width, width) << p->name;
    EXPECT_FLOAT_EQ(*p->height, height) << p->name;
}

} // namespace

TEST(LayoutGrid, WorkedSize15360By11520) {
    LayoutGrid g;
    ASSERT_TRUE(layoutGridFor(15360, 11520, g));
    EXPECT_EQ(g.x0, 768);
    EXPECT_EQ(g.y0, 288);
    EXPECT_EQ(g.cw, 2304);
    EXPECT_EQ(g.rh, 504);
}

TEST(LayoutGrid, ColumnUnitRoundsHalfToEven) {
    LayoutGrid g;
    ASSERT_TRUE(layoutGridFor(15370, 11520, g));
    // 0.9 x 15370 = 13833; 13833 / 6 = 2305.5 goes to the even 2306.
    EXPECT_EQ(g.cw, 2306);
    EXPECT_EQ(g.x0, 768); // 768.5 goes to 768
}

TEST(LayoutGrid, RefusesSizesBeyondThirtyTwoBits) {
    LayoutGrid g;
    EXPECT_FALSE(layoutGridFor(1e12, 100, g));
    EXPECT_FALSE(layoutGridFor(100, std::numeric_limits<double>::infinity(), g));
    EXPECT_TRUE(frontendLayout(1e12, 100).empty());
}

TEST(FrontendLayout, WorkedSizePlacesPictureAndSetupFrame) {
    const auto pass = frontendLayout(15360, 11520);
    expectRect(findPlacement(pass, "Picture1"), 883.2f, 892.8f, 8524.8f, 8568.f);
    expectRect(findPlacement(pass, "frm_preview"), 9638.4f, 1296.f, 4262.4f, 8190.f);
    // Image1 is the same rectangle as Picture1 and is hidden by every pass.
    const Placement* image = findPlacement(pass, "Image1");
    expectRect(image, 883.2f, 892.8f, 8524.8f, 8568.f);
    EXPECT_TRUE(image->hide);
}

TEST(FrontendLayout, ControlsInsideFramesUseTheFrameSize) {
    const auto pass = frontendLayout(15360, 11520);
    // frame_limits: 0.1, 0.1, 0.8, 0.3 of frm_preview (4262.4 x 8190).
    expectRect(findPlacement(pass, "frame_limits"), 426.24f, 819.f, 3409.92f, 2457.f);
    const Placement* limits = findPlacement(pass, "frame_limits");
    // cmd_focus inside frame_limits: 0.1, 0.65, 0.8, 0.2 of the frame just sized.
    expectRect(findPlacement(pass, "cmd_focus"), 0.1f * *limits->width, 0.65f * *limits->height,
               0.8f * *limits->width, 0.2f * *limits->height);
    // frame_train at 0.42 of frm_preview, the parameters frame under it.
    const Placement* train = findPlacement(pass, "frame_train");
    ASSERT_NE(train, nullptr);
    EXPECT_FLOAT_EQ(*train->top, 0.42f * 8190.f);
    // lbl_back at the acquisition window's 0.15 / 0.9 / 0.25, no height.
    const Placement* back = findPlacement(pass, "lbl_back");
    ASSERT_NE(back, nullptr);
    EXPECT_FLOAT_EQ(*back->left, 0.15f * 4262.4f);
    EXPECT_FLOAT_EQ(*back->top, 0.9f * 8190.f);
    EXPECT_FALSE(back->height.has_value());
}

TEST(FrontendLayout, ModeControlsAreHiddenOnEveryPass) {
    const auto pass = frontendLayout(15360, 11520);
    for (const char* name : {"lbl_mode", "Opt_acq(0)", "Opt_acq(1)", "Image1"}) {
        const Placement* p = findPlacement(pass, name);
        ASSERT_NE(p, nullptr) << name;
        EXPECT_TRUE(p->hide) << name;
    }
    EXPECT_FALSE(findPlacement(pass, "Picture1")->hide);
}

TEST(FrontendLayout, SpecialRows) {
    const auto pass = frontendLayout(15370, 11000);
    // cmd_explore_pj has exactly the height of txt_project.
    EXPECT_EQ(findPlacement(pass, "cmd_explore_pj")->height,
              findPlacement(pass, "txt_project")->height);
    // lbl_stimated spans frm_acquire from edge to edge.
    const Placement* acquire = findPlacement(pass, "frm_acquire");
    const Placement* estimated = findPlacement(pass, "lbl_stimated");
    EXPECT_FLOAT_EQ(*estimated->left, 0.f);
    EXPECT_FLOAT_EQ(*estimated->width, *acquire->width);
    // frm_contrast goes to the top-left corner of Picture1, its size untouched.
    const Placement* contrast = findPlacement(pass, "frm_contrast");
    EXPECT_EQ(contrast->container, "Picture1");
    EXPECT_FLOAT_EQ(*contrast->left, 0.f);
    EXPECT_FLOAT_EQ(*contrast->top, 0.f);
    EXPECT_FALSE(contrast->width.has_value());
    EXPECT_FALSE(contrast->height.has_value());
    // frame_results and Frame_report are the same rectangle.
    const Placement* results = findPlacement(pass, "frame_results");
    const Placement* report = findPlacement(pass, "Frame_report");
    EXPECT_EQ(results->left, report->left);
    EXPECT_EQ(results->top, report->top);
    EXPECT_EQ(results->width, report->width);
    EXPECT_EQ(results->height, report->height);
    // Controls the tables do not name are not placed.
    EXPECT_EQ(findPlacement(pass, "frame_messages"), nullptr);
    EXPECT_EQ(findPlacement(pass, "txt_x1"), nullptr);
}

TEST(FrontendLayout, ContainerRowsPrecedeTheirContents) {
    const auto pass = frontendLayout(12000, 9000);
    for (std::size_t i = 0; i < pass.size(); ++i) {
        if (pass[i].container.empty())
            continue;
        bool seen = false;
        for (std::size_t j = 0; j < i; ++j)
            seen = seen || pass[j].name == pass[i].container;
        EXPECT_TRUE(seen) << pass[i].name;
    }
    EXPECT_EQ(pass.back().name, "Frame_report");
}

TEST(FrontendLayout, TwoPassesAtOneSizeAgree) {
    const auto a = frontendLayout(14000, 10000);
    const auto b = frontendLayout(14000, 10000);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].left, b[i].left);
        EXPECT_EQ(a[i].height, b[i].height);
    }
}

TEST(TrainingLayout, WorkedSizePlacesTheGridAndTheFrames) {
    const auto pass = windows::trainingLayout(15360, 11520);
    ASSERT_FALSE(pass.empty());
    expectRect(findPlacement(pass, "Picture1"), 883.2f, 892.8f, 8524.8f, 8568.0f);
    expectRect(findPlacement(pass, "frm_preview"), 9638.4f, 792.0f, 4262.4f, 8694.0f);
    expectRect(findPlacement(pass, "Frame_plotter"), 9638.4f, 792.0f, 4262.4f, 8694.0f);
    // Grid units without the margins inside the message frame; the stop button on its bottom.
    const Placement* messages = findPlacement(pass, "lbl_messages");
    ASSERT_NE(messages, nullptr);
    EXPECT_FLOAT_EQ(*messages->left, 460.8f);
    EXPECT_FLOAT_EQ(*messages->top, 176.4f);
    EXPECT_FALSE(messages->width || messages->height);
    expectRect(findPlacement(pass, "cmd_stopprocess"), 4953.6f, 504.0f, 806.4f, 252.0f);
    // The reanalysis values of the shared set-up rows.
    expectRect(findPlacement(pass, "frame_limits"), 426.24f, 869.4f, 3409.92f, 2608.2f);
    EXPECT_FLOAT_EQ(*findPlacement(pass, "frame_train")->top, 0.42f * 8694.0f);
    EXPECT_NE(findPlacement(pass, "frame_micro"), nullptr);
    EXPECT_NE(findPlacement(pass, "cmd_reprocess"), nullptr);
    EXPECT_EQ(findPlacement(pass, "cmd_focus"), nullptr);
    EXPECT_EQ(findPlacement(pass, "lbl_next"), nullptr);
    // Hidden on every pass: Picture2 and Image1, but not the mode buttons.
    EXPECT_TRUE(findPlacement(pass, "Picture2")->hide);
    EXPECT_TRUE(findPlacement(pass, "Image1")->hide);
    EXPECT_FALSE(findPlacement(pass, "Opt_acq(1)")->hide);
    // Containers come before their contents.
    auto index = [&](const char* name) { return findPlacement(pass, name) - pass.data(); };
    EXPECT_LT(index("Frame_plotter"), index("Frame_report"));
    EXPECT_LT(index("Frame_report"), index("cmd_report_calc"));
    EXPECT_LT(index("frm_preview"), index("frame_setupmas"));
}

TEST(WindowFit, AFramedWindowOfTheDesignSizeShrinksOntoASmallScreen) {
    using windows::WindowBox;
    const WindowBox screen{0, 0, 1024, 768};
    // 1024 x 768 under a 19-pixel title bar and 1-pixel borders: the client area loses what the
    // frame takes and the frame starts at the screen's corner.
    const WindowBox fitted =
        windows::fitFrameOnScreen({1, 19, 1024, 768}, {0, 0, 1026, 788}, screen);
    EXPECT_EQ(fitted.x, 1);
    EXPECT_EQ(fitted.y, 19);
    EXPECT_EQ(fitted.width, 1022);
    EXPECT_EQ(fitted.height, 748);
    // A window that fits stays as it is; one placed partly off screen comes back on it.
    const WindowBox small{101, 119, 800, 600};
    const WindowBox kept = windows::fitFrameOnScreen(small, {100, 100, 802, 620}, screen);
    EXPECT_EQ(kept.x, small.x);
    EXPECT_EQ(kept.width, small.width);
    const WindowBox moved = windows::fitFrameOnScreen({501, 319, 800, 600}, {500, 300, 802, 620},
                                                      screen);
    EXPECT_EQ(moved.x, 1024 - 802 + 1);
    EXPECT_EQ(moved.y, 768 - 620 + 19);
    EXPECT_EQ(moved.width, 800);
}
