#include "app/device/ui/training_boxes_view.h"

#include "app/widgets/control_factory.h"

#include <QLineEdit>
#include <QWidget>

#include <string>

namespace ui {

std::array<QLineEdit*, 16> makeParameterBoxes(QWidget* frame) {
    struct Param {
        const char* key;
        const char* name;
        const char* design;
    };
    static constexpr Param params[16] = {
        {"xs", "txt_x1", "330"},        {"xe", "txt_x2", "1100"},
        {"ys", "txt_y1", "200"},        {"ye", "txt_y2", "1000"},
        {"pl", "txt_pixmin", "26"},     {"ph", "txt_pixmax", "76"},
        {"pt", "txt_pixtol", "20"},     {"tl", "txt_umbralmin", "6.8"},
        {"th", "txt_umbralmax", "9.5"}, {"tt", "txt_umbraltol", "20"},
        {"ll", "txt_lenmin", "16"},     {"lh", "txt_lenmax", "25"},
        {"lt", "txt_lentol", "20"},     {"al", "txt_umbral_analisis", "10"},
        {"at", "txt_umb_an_tol", "50"}, {"mt", "txt_maxtravel", "31.25"},
    };
    std::array<QLineEdit*, 16> boxes{};
    for (int i = 0; i < 16; ++i) {
        const int x = 4 + (i % 4) * 55;
        const int y = 22 + (i / 4) * 22; // under the frame's title
        makeLabel(frame, (std::string("Label_") + params[i].key).c_str(),
                  QLatin1String(params[i].key), QRect(x, y, 18, 20));
        boxes[static_cast<std::size_t>(i)] = makeEdit(
            frame, params[i].name, QLatin1String(params[i].design), QRect(x + 18, y, 35, 20));
    }
    return boxes;
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
