#include "app/windows/layout.h"

#include "formats/numbers.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>

namespace windows {

namespace {

// A factor that is not given leaves its property as it is.
constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

// How a row's factors are taken.
enum class Units {
    Grid,      // on the window grid: Left = X0 + a x CW, Top = Y0 + b x RH, sizes in CW and RH
    Container, // fractions of the container's Width and Height
    GridInContainer, // grid units without the margins, relative to the container
};

struct Row {
    const char* name;
    const char* container; // "" on the window grid
    double a, b, c, d;     // Left, Top, Width, Height factors
    bool hide = false;
    Units units = Units::Container;
    bool onContainerBottom = false; // Top = container Height - the Height just given
};

Row grid(const char* name, double a, double b, double c, double d, bool hide = false) {
    return {name, "", a, b, c, d, hide, Units::Grid};
}

bool given(double factor) {
    return !std::isnan(factor);
}

// The set-up frame `frm_preview` of both windows. Controls side by side in one line of a frame
// share the line in proportion to their captions and do not overlap; a caption that still does
// not fit at a small window size gets a smaller font (app/widgets/caption_fit). From top to
// bottom the frames follow one another without overlapping, the parameters frame included, so
// that when "..." shows it, it covers neither "< Back" and "Next >" nor the reprocess button
// and stays inside the set-up frame.
std::vector<Row> setupRows(bool acquisition) {
    const bool acq = acquisition;
    std::vector<Row> rows = {
        {"lbl_mode", "frm_preview", 0.1, 0.05, 0.2, kNone, acq},
        {"Opt_acq(0)", "frm_preview", 0.3, 0.05, 0.3, kNone, acq},
        {"Opt_acq(1)", "frm_preview", 0.6, 0.05, 0.3, kNone, acq},
        {"frame_limits", "frm_preview", 0.1, 0.1, 0.8, 0.3},
        {"cmd_offset_down", "frame_limits", 0.1, 0.2, 0.3, 0.1},
        {"cmd_offset_left", "frame_limits", 0.1, 0.3, 0.15, 0.1},
        {"cmd_offset_right", "frame_limits", 0.25, 0.3, 0.15, 0.1},
        {"cmd_offset_up", "frame_limits", 0.1, 0.4, 0.3, 0.1},
        {"lbl_diameter", "frame_limits", 0.43, 0.2, 0.27, kNone},
        {"HScroll_plate", "frame_limits", 0.7, 0.2, 0.25, kNone},
        {"lbl_psize", "frame_limits", 0.43, 0.4, 0.3, kNone},
        {"txt_psize", "frame_limits", 0.75, 0.4, 0.2, kNone},
    };
    if (acq)
        rows.push_back({"cmd_focus", "frame_limits", 0.1, 0.65, 0.8, 0.2});
    else
        rows.push_back({"frame_micro", "frm_preview", 0.1, 0.42, 0.8, 0.25});
    const std::vector<Row> train = {
        {"frame_train", "frm_preview", 0.1, 0.42, 0.8, 0.25},
        {"cmd_detect", "frame_train", 0.1, 0.35, 0.4, 0.4},
        {"lbl_last_training", "frame_train", 0.1, 0.75, 0.4, kNone},
        {"cmd_clear", "frame_train", 0.55, 0.35, 0.25, 0.4},
        {"cmd_mas", "frame_train", 0.8, 0.35, 0.1, 0.4},
        {"Label_boxs", "frame_train", 0.35, 0.15, 0.4, kNone},
        {"txt_npix", "frame_train", 0.75, 0.15, 0.15, kNone},
        // The parameters frame takes the whole width of the set-up frame: its sixteen boxes
        // show values of up to six characters ("1176.5").
        {"frame_setupmas", "frm_preview", 0.02, 0.69, 0.96, acq ? 0.2 : 0.185},
        {"lbl_back", "frm_preview", acq ? 0.15 : 0.1, acq ? 0.9 : 0.935, acq ? 0.25 : 0.4, kNone},
    };
    rows.insert(rows.end(), train.begin(), train.end());
    if (acq) {
        rows.push_back({"lbl_next", "frm_preview", 0.6, 0.9, 0.25, kNone});
    } else {
        // The frame label lies under the reprocess button, not across it.
        rows.push_back({"cmd_reprocess", "frm_preview", 0.55, 0.885, 0.35, 0.06});
        rows.push_back({"label_frame", "frm_preview", 0.55, 0.95, 0.35, kNone});
    }
    return rows;
}

void append(std::vector<Row>& rows, const std::vector<Row>& more) {
    rows.insert(rows.end(), more.begin(), more.end());
}

// Table rows of the acquisition window in placement order: the window grid first, the contents
// of each frame right after the frame's own row.
const std::vector<Row>& frontendRows() {
    static const std::vector<Row> rows = [] {
        std::vector<Row> r = {
            grid("lbl_ip", 0.15, 0.075, 0.4, kNone), // ends where txt_ip1 starts
            grid("txt_ip1", 0.55, 0, 1, 0.9),
            grid("Shape_device", 0.05, 0, 1.5, 0.9),
            grid("Picture1", 0.05, 1.2, 3.7, 17),
            grid("Image1", 0.05, 1.2, 3.7, 17, true),
            // The trail map of a run, in the preview's top-right corner, inside its edges and
            // beside the analysis area.
            grid("Picture_post", 2.83, 1.22, 0.9, 4),
            {"frm_contrast", "Picture1", 0, 0, kNone, kNone},
            grid("Picture_progress", 0.05, 18.5, 3.2, 0.8),
            grid("lbl_time", 3.25, 18.5, 0.5, 0.8),
            grid("Label_projects", 3.85, 0.25, 1.85, kNone),
            grid("txt_project", 3.85, 1.15, 1.65, 0.5),
            grid("cmd_explore_pj", 5.5, 1.1, 0.2, kNone), // height: that of txt_project
            grid("list_projects", 3.85, 1.85, 1.85, 4),
            grid("frm_preview", 3.85, 2, 1.85, 16.25),
        };
        append(r, setupRows(true));
        append(r, {
                      grid("frm_acquire", 3.85, 2, 1.85, 8.85),
                      {"frame_acquisition", "frm_acquire", 0.05, 0.1, 0.9, 0.45},
                      {"Label_acqlapse", "frame_acquisition", 0.04, 0.3, 0.16, kNone},
                      {"txtlapse", "frame_acquisition", 0.2, 0.3, 0.14, kNone},
                      {"Label_minutes", "frame_acquisition", 0.35, 0.3, 0.23, kNone},
                      {"chk_stimulus", "frame_acquisition", 0.6, 0.1, 0.35, kNone},
                      {"chk_cycle", "frame_acquisition", 0.07, 0.65, 0.4, kNone},
                      {"shape_cycle", "frame_acquisition", 0.05, 0.55, 0.9, 0.35},
                      {"txt_ncycle", "frame_acquisition", 0.58, 0.3, 0.14, kNone},
                      {"lbl_everycycle", "frame_acquisition", 0.73, 0.3, 0.22, kNone},
                      {"txt_mcycle", "frame_acquisition", 0.47, 0.65, 0.13, kNone},
                      {"lbl_mcycle", "frame_acquisition", 0.61, 0.65, 0.1, kNone},
                      {"chk_onlyimg", "frame_acquisition", 0.71, 0.65, 0.22, kNone},
                      {"lbl_stimated", "frm_acquire", 0, 0.56, 1, kNone},
                      {"lbl_back2", "frm_acquire", 0.1, 0.85, 0.4, kNone},
                      {"cmdPlay", "frm_acquire", 0.5, 0.8, 0.4, 0.15},
                      grid("frame_results", 3.85, 11, 1.85, 8.5),
                      {"lbl_detpart", "frame_results", 0.05, 0.075, 0.3, kNone},
                      {"lbl_particle", "frame_results", 0.05, 0.15, 0.29, 0.1},
                      {"lbl_avrgspeed", "frame_results", 0.35, 0.075, 0.3, kNone},
                      {"lbl_speed", "frame_results", 0.35, 0.15, 0.29, 0.1},
                      {"lbl_trvldist", "frame_results", 0.65, 0.075, 0.3, kNone},
                      {"lbl_distance", "frame_results", 0.65, 0.15, 0.3, 0.1},
                      {"Picture3", "frame_results", 0.05, 0.275, 0.9, 0.525},
                      {"lbl_speedhisto", "frame_results", 0.05, 0.8, 0.44, kNone},
                      {"cmdreport", "frame_results", 0.5, 0.8, 0.45, 0.125},
                      // Above the frame's bottom border.
                      {"label_frame", "frame_results", 0.6, 0.93, 0.375, kNone},
                      grid("Frame_report", 3.85, 11, 1.85, 8.5),
                  });
        return r;
    }();
    return rows;
}

// Table rows of the reanalysis window in placement order.
const std::vector<Row>& trainingRows() {
    static const std::vector<Row> rows = [] {
        std::vector<Row> r = {
            grid("lbl_ip", 0.15, 0.075, 0.4, kNone), // ends where txt_filepj starts
            grid("txt_filepj", 0.55, 0, 2, 0.9),
            grid("cmd_dir", 2.55, 0, 0.5, 0.9),
            grid("cmd_load", 3.05, 0, 0.5, 0.9),
            grid("List_project", 0.55, 1, 2.5, 5),
            grid("List_subproject", 0.55, 1, 2.5, 5),
            grid("frame_messages", 0.55, 1, 2.5, 1.5),
            {"lbl_messages", "frame_messages", 0.2, 0.35, kNone, kNone, false,
             Units::GridInContainer},
            {"cmd_stopprocess", "frame_messages", 2.15, kNone, 0.35, 0.5, false,
             Units::GridInContainer, true},
            grid("Shape_device", 0.05, 0, 3, 0.9),
            grid("Picture1", 0.05, 1.2, 3.7, 17),
            grid("Picture2", 0.05, 1.2, 3.7, 17, true),
            grid("Image1", 0.05, 1.2, 3.7, 17, true),
            grid("Picture_progress", 0.05, 18.5, 3.2, 0.8),
            grid("txt_nfile", 3.25, 18.5, 0.5, 0.8),
            grid("cmd_exportbmp", 3.25, 18.5, 0.5, 0.8),
            grid("Frame_plotter", 3.85, 1, 1.85, 17.25),
            {"cmd_wormtrails", "Frame_plotter", 0.05, 0.05, 0.9, 0.1},
            {"lbl_results", "Frame_plotter", 0.1, 0.2, 0.25, kNone},
            {"Shape_particles", "Frame_plotter", 0.4, 0.18, 0.5, 0.08},
            // The captions wrap over two or three lines above their values; the particle
            // caption ends where its value begins.
            {"label_particles", "Frame_plotter", 0.425, 0.185, 0.27, 0.07},
            {"lbl_particle", "Frame_plotter", 0.7, 0.19, 0.2, kNone},
            {"Label_speed", "Frame_plotter", 0.05, 0.27, 0.29, 0.08},
            {"lbl_speed", "Frame_plotter", 0.05, 0.36, 0.27, kNone},
            {"Label_distance", "Frame_plotter", 0.35, 0.27, 0.3, 0.08},
            {"lbl_distance", "Frame_plotter", 0.35, 0.36, 0.27, kNone},
            {"Label_rotation", "Frame_plotter", 0.66, 0.27, 0.3, 0.08},
            {"lbl_turnings", "Frame_plotter", 0.66, 0.36, 0.27, kNone},
            {"Picture3", "Frame_plotter", 0.05, 0.45, 0.9, 0.3},
            {"Label_histo", "Frame_plotter", 0.05, 0.75, 0.5, kNone},
            {"Frame_report", "Frame_plotter", 0.05, 0.8, 0.9, 0.1},
            // Under the report frame's title and inside its border: the bin caption wraps
            // over two lines beside its box.
            {"Label_bin", "Frame_report", 0.03, 0.33, 0.23, 0.6},
            {"combo_bin", "Frame_report", 0.26, 0.4, 0.155, kNone},
            {"Label_spacer", "Frame_report", 0.42, 0.4, 0.14, kNone},
            {"txt_spacer", "Frame_report", 0.57, 0.4, 0.1, kNone},
            {"cmd_report_calc", "Frame_report", 0.69, 0.33, 0.28, 0.6},
            {"lbl_backinit", "Frame_plotter", 0.1, 0.935, 0.4, kNone},
            {"lbl_reprocess", "Frame_plotter", 0.5, 0.935, 0.4, kNone},
            grid("frm_preview", 3.85, 1, 1.85, 17.25),
        };
        append(r, setupRows(false));
        return r;
    }();
    return rows;
}

bool fitsInt32(double value) {
    return std::isfinite(value) && value >= std::numeric_limits<std::int32_t>::min() &&
           value <= std::numeric_limits<std::int32_t>::max();
}

// A value assigned to a property: computed in double precision, stored in single precision.
// False when it is not a finite single-precision number (the pass ends there).
bool toSingle(double value, std::optional<float>& out) {
    if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max())
        return false;
    out = static_cast<float>(value);
    return true;
}

} // namespace

int nearestInt(double value) {
    return static_cast<int>(formats::roundHalfEven(value));
}

bool layoutGridFor(double widthTwips, double heightTwips, LayoutGrid& grid) {
    if (!fitsInt32(widthTwips) || !fitsInt32(heightTwips))
        return false;
    const int w = nearestInt(widthTwips);
    const int h = nearestInt(heightTwips);
    grid.x0 = nearestInt(0.05 * w);
    grid.y0 = nearestInt(0.025 * h);
    grid.cw = nearestInt(static_cast<double>(nearestInt(0.9 * w)) / 6.0);
    grid.rh = nearestInt(static_cast<double>(nearestInt(0.9 * h) - grid.y0) / 20.0);
    return true;
}

namespace {

std::vector<Placement> layoutPass(const std::vector<Row>& rows, double widthTwips,
                                  double heightTwips) {
    std::vector<Placement> out;
    LayoutGrid g;
    if (!layoutGridFor(widthTwips, heightTwips, g))
        return out;

    // Sizes given to containers earlier in this pass, as stored (single precision).
    std::map<std::string, std::pair<float, float>> sizes;

    for (const Row& row : rows) {
        Placement p;
        p.name = row.name;
        p.container = row.container;
        p.hide = row.hide;
        bool ok = true;
        double cw = 0.0;
        double ch = 0.0;
        if (auto it = sizes.find(p.container); it != sizes.end()) {
            cw = it->second.first;
            ch = it->second.second;
        }
        switch (row.units) {
        case Units::Grid:
            if (given(row.a))
                ok = ok && toSingle(g.x0 + row.a * g.cw, p.left);
            if (given(row.b))
                ok = ok && toSingle(row.b == 0 ? g.y0 : g.y0 + row.b * g.rh, p.top);
            if (given(row.c))
                ok = ok && toSingle(row.c * g.cw, p.width);
            if (given(row.d))
                ok = ok && toSingle(row.d * g.rh, p.height);
            break;
        case Units::GridInContainer:
            if (given(row.a))
                ok = ok && toSingle(row.a * g.cw, p.left);
            if (given(row.b))
                ok = ok && toSingle(row.b * g.rh, p.top);
            if (given(row.c))
                ok = ok && toSingle(row.c * g.cw, p.width);
            if (given(row.d))
                ok = ok && toSingle(row.d * g.rh, p.height);
            break;
        case Units::Container:
            if (given(row.a))
                ok = ok && toSingle(row.a * cw, p.left);
            if (given(row.b))
                ok = ok && toSingle(row.b * ch, p.top);
            if (given(row.c))
                ok = ok && toSingle(row.c * cw, p.width);
            if (given(row.d))
                ok = ok && toSingle(row.d * ch, p.height);
            break;
        }
        // A control that sits on its container's bottom edge.
        if (ok && row.onContainerBottom && p.height)
            ok = toSingle(ch - static_cast<double>(*p.height), p.top);
        if (!ok)
            break; // the first refused value ends the pass
        // The project button always has the height of the project box.
        if (p.name == "cmd_explore_pj") {
            if (const Placement* project = findPlacement(out, "txt_project"))
                p.height = project->height;
        }
        if (p.width && p.height)
            sizes[p.name] = {*p.width, *p.height};
        out.push_back(std::move(p));
    }
    return out;
}

} // namespace

std::vector<Placement> frontendLayout(double widthTwips, double heightTwips) {
    return layoutPass(frontendRows(), widthTwips, heightTwips);
}

std::vector<Placement> trainingLayout(double widthTwips, double heightTwips) {
    return layoutPass(trainingRows(), widthTwips, heightTwips);
}

const Placement* findPlacement(const std::vector<Placement>& placements, const std::string& name) {
    for (const Placement& p : placements)
        if (p.name == name)
            return &p;
    return nullptr;
}

WindowBox fitFrameOnScreen(const WindowBox& inner, const WindowBox& outer,
                           const WindowBox& screen) {
    const int frameWidth = std::max(0, outer.width - inner.width);
    const int frameHeight = std::max(0, outer.height - inner.height);
    if (outer.x >= screen.x && outer.y >= screen.y &&
        outer.x + outer.width <= screen.x + screen.width &&
        outer.y + outer.height <= screen.y + screen.height)
        return inner;
    WindowBox fitted = inner;
    fitted.width = std::max(1, std::min(inner.width, screen.width - frameWidth));
    fitted.height = std::max(1, std::min(inner.height, screen.height - frameHeight));
    const int left = std::clamp(outer.x, screen.x,
                                std::max(screen.x, screen.x + screen.width - fitted.width - frameWidth));
    const int top = std::clamp(outer.y, screen.y,
                               std::max(screen.y, screen.y + screen.height - fitted.height -
                                                      frameHeight));
    // The client area keeps its place inside the frame.
    fitted.x = left + (inner.x - outer.x);
    fitted.y = top + (inner.y - outer.y);
    return fitted;
}

} // namespace windows
