#include "app/device/ui/training_boxes_view.h"

#include <QLineEdit>
#include <QWidget>

namespace ui {

TrainingBoxesView::TrainingBoxesView(const QWidget* root) {
    const auto& names = device::trainingBoxNames();
    for (std::size_t i = 0; i < names.size(); ++i)
        m_boxes[i] = root->findChild<QLineEdit*>(QString::fromLatin1(names[i]));
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

std::string TrainingBoxesView::write(const QString& folder) const {
    return formats::writeTrainingFileWithDefaults(folder.toStdString(),
                                                  device::trainingFromTexts(texts()));
}

} // namespace ui
