#pragma once
// The 18 training parameter boxes of a window (found by their names), filled from a loaded
// training and written back to a training file.

#include "app/device/training_boxes.h"

#include <QString>
#include <QStringList>

#include <array>
#include <string>

class QLineEdit;
class QWidget;

namespace ui {

// The sixteen parameter boxes of the "Parameters" frame, four to a row with their key labels
// ("Label_xs" ...), in key order xs xe ys ye pl ph pt tl th tt ll lh lt al at mt, with their
// design values.
std::array<QLineEdit*, 16> makeParameterBoxes(QWidget* frame);

// Spreads those boxes and labels over the frame under its title, four to a row in four rows,
// each pair a quarter of the width (its label as wide as its caption needs, at most a third of
// it), so that all of them lie inside the frame at any size the window gives it. Called after
// every layout pass.
void placeParameterBoxes(QWidget* frame);

class TrainingBoxesView {
public:
    // The boxes named txt_x1 ... txt_psize below `root`.
    explicit TrainingBoxesView(const QWidget* root);

    QStringList texts() const;
    // Why the finder would not read the boxes as shown (trainingBoxesRefusal); empty when it
    // would.
    QString refusal() const { return device::trainingBoxesRefusal(texts()); }
    // A training read from a file goes into its boxes value by value; the defaults into all.
    void apply(const device::TrainingLoad& load);
    // <folder>/training.dat from the boxes, with its copy training.def when asked (the
    // acquisition window keeps one in the program folder); empty, or the message.
    std::string write(const QString& folder, bool withDefaultsCopy) const;

private:
    std::array<QLineEdit*, formats::kTrainingKeyCount> m_boxes{};
};

} // namespace ui
