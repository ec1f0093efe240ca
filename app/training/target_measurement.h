#pragma once
// The "APPLY" measurement of a training: every picked target is measured on the preview as the
// window shows it, and the detector limits of the organism finder (dark-pixel count, contrast,
// length, grey range, largest travel) are derived from the measurements. Also the descriptor
// file of the picked boxes and the caption of the last training. No window and no file here:
// the window reads the picture, writes the boxes and saves the files.

#include "app/training/target_picking.h"
#include "formats/training_file.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace training {

// Which window measures: the acquisition window writes descriptor.txt and a largest travel of
// 1.25 x the longest length, the reanalysis window descriptor.dat and 2 x the longest length.
enum class TrainingWindow { Acquisition, Reanalysis };

// The picture in frame pixels (1600 x 1200 as shown): one gray level per pixel, row by row.
// A position outside it reads 255, as a point outside the picture box does.
struct GrayPicture {
    int width = 0;
    int height = 0;
    std::span<const std::uint8_t> gray; // width x height bytes

    int at(int x, int y) const;
};

// What the click of cmd_detect does for a TargetCount.
enum class DetectAction {
    Measure,   // 5 or more picks: "APPLY"
    Test,      // no pick list (-1): "TEST TRAINING"
    AskForMore // any other count
};
DetectAction detectAction(int targetCount);
inline constexpr char kMoreTargetsMessage[] = "Please Select more Targets (5 to 10)";
// The result of an APPLY in which no picked target shows a dark organism.
inline constexpr char kNothingMeasuredMessage[] =
    "No organism could be measured in the picked targets. Please pick other targets";
// The result of an APPLY with a box size that gives no measuring box.
inline constexpr char kBadBoxSizeMessage[] = "The box size must be 0 to 1600";

// The measuring box side of a txt_npix text: nearest(number + 1) (36 for "35").
int measureBoxSide(std::string_view boxSizeText);

// The measurement of one pick.
struct PickMeasure {
    int x = 0;
    int y = 0;
    double mean = 0.0;      // of the flattened box
    double deviation = 0.0; // mean absolute deviation from it
    int threshold = 0;      // flattened values below it are dark
    int darkCount = 0;
    double length = 0.0;       // diagonal of the dark pixels' bounding box
    int greyRange = 0;         // brightest minus darkest grey of the box
    bool hasBlackLine = false; // a row or column of the box is black throughout
};

// The limits over all picks, with their start values.
struct TargetLimits {
    std::int32_t pixMin = 9999;
    std::int32_t pixMax = 0;
    double contrastMin = 9999.0;
    double contrastMax = 0.0;
    std::int32_t lenMin = 9999;
    std::int32_t lenMax = 0;
    std::int16_t rangeMin = 9999;
};

// The texts written into the parameter boxes, in the order the boxes are written.
struct LimitTexts {
    std::string pixMin;      // txt_pixmin, key pl
    std::string pixMax;      // txt_pixmax, key ph
    std::string contrastMin; // txt_umbralmin, key tl
    std::string contrastMax; // txt_umbralmax, key th
    std::string lenMin;      // txt_lenmin, key ll
    std::string rangeMin;    // txt_umbral_analisis, key al
    std::string lenMax;      // txt_lenmax, key lh
    std::string maxTravel;   // txt_maxtravel, key mt
};

// The texts of the limits: counts, lengths and grey range as signed decimal text (" 26"), the
// contrasts x 100 with one decimal ("6.8"), the largest travel by the window's rule.
LimitTexts limitTexts(const TargetLimits& limits, TrainingWindow window);

// Puts the eight limit texts under their keys (pl ph tl th ll al lh mt) of a training.
void applyLimitTexts(const LimitTexts& texts, formats::TrainingFile& training);

// A point of the picture marked red: a dark pixel of a picked box.
struct MarkPoint {
    int x = 0;
    int y = 0;
};

// The red box and number drawn for pick i after the measurement.
struct PickMark {
    double left = 0.0; // the square of the display box, real coordinates
    double top = 0.0;
    double right = 0.0;
    double bottom = 0.0;
    double textX = 0.0; // text position (x - b, y - b)
    double textY = 0.0;
    std::string text; // " 1" for the first pick
};

struct MeasurementResult {
    bool ok = false;
    std::string message; // why nothing was measured (ok false); empty when ok
    // The picks left out because a row or column of their box is black throughout (no
    // flattening is defined for it), named for the operator; empty when every pick counted.
    // Such a pick enters no limit and gets no dark marks; its box and number are still drawn.
    std::string skippedNote;
    std::vector<PickMeasure> picks;
    TargetLimits limits;
    LimitTexts texts;                  // the boxes' new texts (ok only)
    std::string descriptorText;        // the whole descriptor file (ok only)
    std::vector<MarkPoint> darkPoints; // raw grey below the pick's threshold, inside the picture
    std::vector<PickMark> marks;
};

// MeasureTargets over the plain preview (no outline, no boxes drawn on it): the picks
// xs[i], ys[i] in pick order, the box size text of txt_npix. When no pick has a dark pixel, or
// the box size gives no measuring box, the result carries a message and must not be saved.
MeasurementResult measureTargets(const GrayPicture& picture, std::span<const std::int16_t> xs,
                                 std::span<const std::int16_t> ys, std::string_view boxSizeText,
                                 TrainingWindow window);

// The same over the valid picks of a pick list (none while no pick list is open).
MeasurementResult measureTargets(const GrayPicture& picture, const PickList& picks,
                                 std::string_view boxSizeText, TrainingWindow window);

// One pick's measurement on a measuring box of side `side` (1 or more).
PickMeasure measurePick(const GrayPicture& picture, int x, int y, int side);

// The descriptor file: per pick "Block[i]", one line per column of its display box (side b)
// with the grey values top to bottom, each after one blank, then two empty lines; CR LF ends.
std::string descriptorFileText(const GrayPicture& picture, std::span<const std::int16_t> xs,
                               std::span<const std::int16_t> ys, int displayBox);

// descriptor.txt (acquisition window) or descriptor.dat (reanalysis window).
const char* descriptorFileName(TrainingWindow window);

// The caption of lbl_last_training after a measurement on that day: "[ 2026-12-09 ]".
std::string lastTrainingCaption(int year, int month, int day);

} // namespace training
