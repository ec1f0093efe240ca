#include "training_boxes.h"

#include "finder/arguments.h"
#include "formats/numbers.h"
#include "formats/text_lines.h"

#include <QVariant>

#include <cmath>
#include <string>
#include <string_view>

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

namespace {

// The caption beside a box on screen: its key, except the box size's "Box Size = ".
QString captionOf(std::string_view key) {
    return key == "bs" ? QStringLiteral("Box Size") : QString::fromLatin1(key.data(), key.size());
}

// The decimals of a number: a point and digits (".5"). A whole-number option takes the whole
// part of a decimal, as the area controls write halves.
bool isDecimalPart(std::string_view rest) {
    if (rest.size() < 2 || rest[0] != '.')
        return false;
    for (const char c : rest.substr(1))
        if (c < '0' || c > '9')
            return false;
    return true;
}

// How the finder reads the value `shown` of the box of `key`, from the text `read` that goes
// into the option string (commas turned into points, blanks removed): empty when it reads the
// number shown, else "caption = value (why)". An empty box never reaches the finder, which would
// take its own default: it is refused. A lone character does not reach it either (the training
// file leaves it out of the options): it is refused unless it is the finder's default.
QString valueRefusal(std::string_view key, const std::string& read, const QString& shown) {
    const std::string word = "-" + std::string(key) + read;
    if (!finder::readOption(word + "0").option)
        return {}; // not an option of the finder (mm)
    if (read.empty())
        return captionOf(key) + QStringLiteral(" is empty");
    const finder::OptionReading reading = finder::readOption(word);
    const auto readsAs = [](double value) {
        return QStringLiteral("the finder reads ") +
               QString::fromStdString(value == std::trunc(value)
                                          ? formats::formatNumber(value)
                                          : finder::formatFloat(static_cast<float>(value)));
    };
    QString why;
    if (!reading.refusal.empty())
        why = QString::fromStdString(reading.refusal);
    else if (read.size() == 1 && reading.value != reading.defaultValue)
        why = readsAs(reading.defaultValue);
    else if (reading.used < read.size() &&
             !(reading.wholeNumber && isDecimalPart(std::string_view(read).substr(reading.used))))
        why = readsAs(reading.value);
    if (why.isEmpty())
        return {};
    return captionOf(key) + QStringLiteral(" = ") + shown + QStringLiteral(" (") + why +
           QStringLiteral(")");
}

QString refusalOf(const QStringList& refused) {
    if (refused.isEmpty())
        return {};
    return QStringLiteral("The finder refuses the training: ") + refused.join(QStringLiteral(", "));
}

} // namespace

QString trainingRefusal(const QString& trainingOptions) {
    QStringList refused;
    for (const std::string& word : formats::splitOptionString(trainingOptions.toStdString())) {
        if (word.size() < 4 || word[0] != '-')
            continue;
        const std::string value = word.substr(3);
        const QString piece = valueRefusal(std::string_view(word).substr(1, 2), value,
                                           QString::fromStdString(value));
        if (!piece.isEmpty())
            refused << piece;
    }
    return refusalOf(refused);
}

std::array<QObject*, formats::kTrainingKeyCount> trainingBoxes(const QObject* root) {
    std::array<QObject*, formats::kTrainingKeyCount> boxes{};
    if (!root)
        return boxes;
    // One walk through the window, not one per box: a window holds hundreds of controls.
    for (QObject* child : root->findChildren<QObject*>()) {
        const QString name = child->objectName();
        if (!name.startsWith(QLatin1String("txt_")))
            continue;
        for (std::size_t i = 0; i < kBoxNames.size(); ++i)
            if (!boxes[i] && name == QLatin1String(kBoxNames[i]))
                boxes[i] = child;
    }
    return boxes;
}

QStringList trainingBoxTexts(const QObject* root) {
    QStringList texts;
    for (const QObject* box : trainingBoxes(root))
        texts << (box ? box->property("text").toString() : QString());
    return texts;
}

QString trainingBoxesRefusal(const QStringList& texts) {
    QStringList refused;
    const auto& keys = formats::trainingKeys();
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const auto index = static_cast<qsizetype>(i);
        const QString shown = index < texts.size() ? texts[index] : QString();
        // What the option string makes of the box: commas turned into points, blanks removed.
        std::string read;
        for (const char c : shown.toStdString())
            if (c != ' ')
                read += c == ',' ? '.' : c;
        const QString piece = valueRefusal(keys[i], read, shown);
        if (!piece.isEmpty())
            refused << piece;
    }
    return refusalOf(refused);
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
