#include "app/device/ui/training_boxes_view.h"

#include "app/widgets/control_factory.h"

#include <QLineEdit>
#include <QWidget>

#include <algorithm>
#include <string>

namespace ui {

namespace {

struct Param {
    const char* key;
    const char* name;
    const char* design;
};

constexpr Param kParams[16] = {
    {"xs", "txt_x1", "330"},        {"xe", "txt_x2", "1100"},
    {"ys", "txt_y1", "200"},        {"ye", "txt_y2", "1000"},
    {"pl", "txt_pixmin", "26"},     {"ph", "txt_pixmax", "76"},
    {"pt", "txt_pixtol", "20"},     {"tl", "txt_umbralmin", "6.8"},
    {"th", "txt_umbralmax", "9.5"}, {"tt", "txt_umbraltol", "20"},
    {"ll", "txt_lenmin", "16"},     {"lh", "txt_lenmax", "25"},
    {"lt", "txt_lentol", "20"},     {"al", "txt_umbral_analisis", "10"},
    {"at", "txt_umb_an_tol", "50"}, {"mt", "txt_maxtravel", "31.25"},
};

QString labelName(const Param& p) {
    return QStringLiteral("Label_") + QLatin1String(p.key);
}

} // namespace

std::array<QLineEdit*, 16> makeParameterBoxes(QWidget* frame) {
    std::array<QLineEdit*, 16> boxes{};
    for (int i = 0; i < 16; ++i) {
        const int x = 4 + (i % 4) * 55;
        const int y = 22 + (i / 4) * 22; // under the frame's title
        makeLabel(frame, labelName(kParams[i]).toLatin1().constData(),
                  QLatin1String(kParams[i].key), QRect(x, y, 18, 20));
        boxes[static_cast<std::size_t>(i)] = makeEdit(
            frame, kParams[i].name, QLatin1String(kParams[i].design), QRect(x + 18, y, 35, 20));
    }
    return boxes;
}

void placeParameterBoxes(QWidget* frame) {
    constexpr int kGap = 2; // between neighbours, and to the frame's sides
    constexpr int kMostHeight = 26; // a box no taller than a comfortable line
    const int titleBottom = frame->fontMetrics().height() + 4;
    const int side = std::max(kGap, frame->width() / 50);
    const int across = frame->width() - 2 * side;
    const int down = frame->height() - titleBottom - kGap;
    if (across < 4 * 2 * kGap || down < 4 * kGap)
        return; // too small to hold them; they keep their places
    constexpr int kLabelPad = 4;
    int labelNeed = 0;
    for (const Param& p : kParams)
        labelNeed = std::max(labelNeed, frame->fontMetrics().horizontalAdvance(QLatin1String(p.key)));
    labelNeed += kLabelPad;
    for (int i = 0; i < 16; ++i) {
        const int column = i % 4;
        const int row = i / 4;
        const int left = side + column * across / 4;
        const int right = side + (column + 1) * across / 4 - kGap;
        const int top = titleBottom + row * down / 4;
        const int height = std::min(kMostHeight, titleBottom + (row + 1) * down / 4 - kGap - top);
        // A label as wide as its caption needs in the frame's font (a third at most), its box the
        // rest, so that a box shows as much of its value as the frame allows.
        const int labelWidth = std::min((right - left) / 3, labelNeed);
        auto* label = frame->findChild<QWidget*>(labelName(kParams[i]), Qt::FindDirectChildrenOnly);
        auto* box = frame->findChild<QWidget*>(QLatin1String(kParams[i].name),
                                               Qt::FindDirectChildrenOnly);
        if (label)
            label->setGeometry(left, top, labelWidth, height);
        if (box)
            box->setGeometry(left + labelWidth, top, right - left - labelWidth, height);
    }
}

TrainingBoxesView::TrainingBoxesView(const QWidget* root) {
    const auto boxes = device::trainingBoxes(root);
    for (std::size_t i = 0; i < boxes.size(); ++i)
        m_boxes[i] = qobject_cast<QLineEdit*>(boxes[i]);
}

QStringList TrainingBoxesView::texts() const {
    QStringList out;
    for (const QLineEdit* box : m_boxes)
        out << (box ? box->text() : QString());
    return out;
}

void TrainingBoxesView::apply(const device::TrainingLoad& load) {
    switch (load.source) {
    case device::TrainingLoad::Source::File:
        for (const formats::TrainingAssignment& a : load.assignments)
            if (a.index < m_boxes.size() && m_boxes[a.index])
                m_boxes[a.index]->setText(QString::fromStdString(a.value));
        break;
    case device::TrainingLoad::Source::Defaults: {
        const QStringList defaults = device::textsFromTraining(formats::TrainingFile::defaults());
        for (std::size_t i = 0; i < m_boxes.size(); ++i)
            if (m_boxes[i])
                m_boxes[i]->setText(defaults[static_cast<qsizetype>(i)]);
        break;
    }
    case device::TrainingLoad::Source::Failed:
        break;
    }
}

std::string TrainingBoxesView::write(const QString& folder, bool withDefaultsCopy) const {
    const formats::TrainingFile training = device::trainingFromTexts(texts());
    if (withDefaultsCopy)
        return formats::writeTrainingFileWithDefaults(folder.toStdString(), training);
    return formats::writeTrainingFile(folder.toStdString(), training);
}

} // namespace ui
