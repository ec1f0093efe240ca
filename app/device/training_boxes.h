#pragma once
// The 18 training parameters as the windows hold them: one text box per key, and the steps of
// LoadTraining that do not touch a box.

#include "formats/training_file.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <vector>

namespace device {

// The objectName of each parameter box, in key order (xs txt_x1 ... mm txt_psize).
const std::array<const char*, formats::kTrainingKeyCount>& trainingBoxNames();

// The box texts (in key order) as a training file, and back.
formats::TrainingFile trainingFromTexts(const QStringList& texts);
QStringList textsFromTraining(const formats::TrainingFile& training);

// What LoadTraining puts into the boxes.
struct TrainingLoad {
    enum class Source { File, Defaults, Failed };
    Source source = Source::Defaults;
    // The folder whose training.dat was read (the reanalysis window may fall back to the
    // program folder and then sets its folder variable to it).
    QString folder;
    // Source::File: the values in file order, each for the box of its key index; a key present
    // twice comes twice, the later one winning.
    std::vector<formats::TrainingAssignment> assignments;
    QString error; // Source::Failed: why the file could not be read
};

// Why the finder would refuse the option string of a training (made by ReadTrainingOptions):
// "The finder refuses the training: " and, for each value it refuses, the box as the window
// labels it, " = ", the value and the finder's reason in parentheses ("Box Size = abc (not a
// decimal number)"); empty when the finder takes every value.
// A value the finder reads as another number than the one written is refused as well: the
// finder's reading is given instead of a reason ("xs = 1e9 (the finder reads 1)"). A decimal in a
// whole-number box is taken as its whole part ("xs = 339.5" reads as 339), as the area controls
// write halves.
QString trainingRefusal(const QString& trainingOptions);

// The same for the 18 box texts (in key order) as the window shows them, each box named by its
// caption and its text as shown; an empty box is "xs is empty". Empty when the finder reads
// every box as shown.
QString trainingBoxesRefusal(const QStringList& texts);

// The boxes named txt_x1 ... txt_psize below `root` (a window), in key order; null where there
// is none.
std::array<QObject*, formats::kTrainingKeyCount> trainingBoxes(const QObject* root);
// Their texts.
QStringList trainingBoxTexts(const QObject* root);

// Acquisition window: the folder's training.dat, or the built-in defaults when it has none
// (the window then runs SaveConfigFile and writeTrainingFileWithDefaults).
TrainingLoad loadTrainingAcquisition(const QString& folder);

// Reanalysis window: the folder's training.dat, else the program folder's, else the built-in
// defaults (the window then writes them to the program folder).
TrainingLoad loadTrainingReanalysis(const QString& folder, const QString& programFolder);

} // namespace device
