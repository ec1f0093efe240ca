#include "training_boxes.h"

#include "finder/arguments.h"
#include "formats/text_lines.h"

#include <memory>
#include <sstream>

namespace device {

namespace {

constexpr std::array<const char*, formats::kTrainingKeyCount> kBoxNames = {
    "txt_x1",         "txt_x2",        "txt_y1",     "txt_y2",        "txt_npix",
    "txt_pixmin",     "txt_pixmax",    "txt_pixtol", "txt_umbralmin", "txt_umbralmax",
    "txt_umbraltol",  "txt_lenmin",    "txt_lenmax", "txt_lentol",    "txt_umbral_analisis",
    "txt_umb_an_tol", "txt_maxtravel", "txt_psize"};

TrainingLoad readFrom(const QString& folder) {
    TrainingLoad load;
    load.folder = folder;
    const formats::TrainingRead read = formats::readTrainingFile(folder.toStdString());
    switch (read.status) {
    case formats::TrainingRead::Status::Ok:
        load.source = TrainingLoad::Source::File;
        load.assignments = read.assignments;
        break;
    case formats::TrainingRead::Status::Failed:
        load.source = TrainingLoad::Source::Failed;
        load.error = QString::fromStdString(read.error);
        break;
    case formats::TrainingRead::Status::Missing:
        load.source = TrainingLoad::Source::Defaults;
        break;
    }
    return load;
}

bool holdsTraining(const QString& folder) {
    return formats::fileExists(formats::trainingPath(folder.toStdString()));
}

} // namespace

const std::array<const char*, formats::kTrainingKeyCount>& trainingBoxNames() {
    return kBoxNames;
}

formats::TrainingFile trainingFromTexts(const QStringList& texts) {
    formats::TrainingFile training;
    for (std::size_t i = 0; i < formats::kTrainingKeyCount; ++i) {
        const auto index = static_cast<qsizetype>(i);
        training.values[i] = index < texts.size() ? texts[index].toStdString() : std::string();
    }
    return training;
}

QStringList textsFromTraining(const formats::TrainingFile& training) {
    QStringList texts;
    for (const auto& value : training.values)
        texts.append(QString::fromStdString(value));
    return texts;
}

QString trainingRefusal(const QString& trainingOptions) {
    // Each option alone through the finder's own reading of its command line, so that what is
    // refused here is exactly what the finder refuses.
    auto state = std::make_unique<finder::SirrexState>();
    QStringList refused;
    for (const std::string& word : formats::splitOptionString(trainingOptions.toStdString())) {
        std::ostringstream out;
        std::ostringstream err;
        if (finder::load_arguments(*state, {"Sirrex", "frame.pgm", word}, out, err) !=
            finder::ArgumentsResult::Refused)
            continue;
        const std::string why = err.str();
        const auto open = why.find('(');
        const auto close = why.rfind(')');
        const std::string key = word.substr(1, 2);
        refused << (key == "bs" ? QStringLiteral("Box Size") : QString::fromStdString(key)) +
                       QStringLiteral(" = ") + QString::fromStdString(word.substr(3)) +
                       (open != std::string::npos && close != std::string::npos && open < close
                            ? QStringLiteral(" (") +
                                  QString::fromStdString(why.substr(open + 1, close - open - 1)) +
                                  QStringLiteral(")")
                            : QString());
    }
    if (refused.isEmpty())
        return {};
    return QStringLiteral("The finder refuses the training: ") + refused.join(QStringLiteral(", "));
}

TrainingLoad loadTrainingAcquisition(const QString& folder) {
    return readFrom(folder);
}

TrainingLoad loadTrainingReanalysis(const QString& folder, const QString& programFolder) {
    if (!holdsTraining(folder) && holdsTraining(programFolder))
        return readFrom(programFolder);
    TrainingLoad load = readFrom(folder);
    if (load.source == TrainingLoad::Source::Defaults)
        load.folder = programFolder;
    return load;
}

} // namespace device
