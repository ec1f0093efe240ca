#include "app/acquisition/run_files.h"

#include "formats/numbers.h"
#include "formats/save_file.h"
#include "formats/text_lines.h"
#include "formats/training_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace acquisition {

QString projectFolderName(const QString& cleanedProject) {
    return cleanedProject.isEmpty() ? QStringLiteral("default") : cleanedProject;
}

QString cycleRunName(const QString& baseName, int cycleNumber, double periodMinutes) {
    const double offset = static_cast<double>(cycleNumber - 1) * periodMinutes;
    return baseName + QStringLiteral(" [") + QString::fromStdString(formats::formatNumber(offset)) +
           QStringLiteral("m]");
}

QString acquisitionFolderName(const QDateTime& start, const QString& cleanedName) {
    return start.toString(QStringLiteral("yyyyMMdd_HHmm_")) + cleanedName;
}

RunFolder createAcquisitionFolder(const QString& projectFolder, const QString& folderName) {
    RunFolder result;
    QDir dir;
    if (!dir.mkpath(projectFolder)) {
        result.error = QStringLiteral("Cannot create the project folder ") + projectFolder;
        return result;
    }
    const QDir project(projectFolder);
    // Each name is tried by creating it: a folder that exists already, even one that another
    // start made a moment ago, is never taken over.
    QString name = folderName;
    for (int suffix = 2;; ++suffix) {
        if (project.mkdir(name))
            break;
        if (!project.exists(name) || suffix > 9999) {
            result.error = QStringLiteral("Cannot create the acquisition folder ") +
                           project.filePath(name);
            return result;
        }
        name = folderName + QStringLiteral("_") + QString::number(suffix);
    }
    const QString path = project.filePath(name);
    if (!dir.mkdir(path + QStringLiteral("/img"))) {
        result.error = QStringLiteral("Cannot create the acquisition folder ") + path;
        return result;
    }
    result.path = path;
    result.name = name;
    return result;
}

namespace {

// Copies source over target (through a temporary name, so a reader never sees half a file).
QString copyOver(const QString& source, const QString& target) {
    return QString::fromStdString(
        formats::copyFileAtomic(source.toStdString(), target.toStdString()));
}

} // namespace

QString copyTrainingFiles(const QString& programFolder, const QString& folder) {
    const QDir program(programFolder);
    const QDir target(folder);
    const QString training = program.filePath(QString::fromLatin1(formats::kTrainingFileName));
    if (QFileInfo::exists(training)) {
        const QString error =
            copyOver(training, target.filePath(QString::fromLatin1(formats::kTrainingFileName)));
        if (!error.isEmpty())
            return error;
    }
    const QString descriptor =
        program.filePath(QString::fromLatin1(formats::kDescriptorTextFileName));
    if (QFileInfo::exists(descriptor)) {
        const QString error = copyOver(
            descriptor, target.filePath(QString::fromLatin1(formats::kDescriptorFileName)));
        if (!error.isEmpty())
            return error;
    }
    return {};
}

QString createShapesFile(const QString& folder) {
    const std::string error = formats::saveFileAtomic(
        QDir(folder).filePath(QString::fromLatin1(kShapesFileName)).toStdString(), kShapesHeader);
    return QString::fromStdString(error);
}

void removeStaleRunFiles(const QString& folder) {
    const QDir dir(folder);
    for (const char* name : {"xy_worms.bin", "xy_worms.txt", "xy_image.txt"})
        QFile::remove(dir.filePath(QString::fromLatin1(name)));
}

QString framePrefix(const QString& deviceAddress) {
    QString part = deviceAddress;
    part.replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("c") + part + QStringLiteral("f");
}

QString framePath(const QString& runFolder, const QString& deviceAddress, std::int32_t frame,
                  const QString& kind) {
    return runFolder + QStringLiteral("/img/") + framePrefix(deviceAddress) +
           QString::number(frame) + QStringLiteral(".") + kind;
}

std::optional<std::int32_t> frameNumberOfName(const QString& name, const QString& prefix,
                                              const QString& kind) {
    const QString extension = QStringLiteral(".") + kind;
    if (!name.startsWith(prefix) || !name.endsWith(extension) ||
        name.size() <= prefix.size() + extension.size())
        return std::nullopt;
    const QString number = name.mid(prefix.size(), name.size() - prefix.size() - extension.size());
    // Only digits may start the number part: a sign or a blank belongs to no frame name.
    if (!number.at(0).isDigit())
        return std::nullopt;
    const auto value = formats::toInt32(formats::leadingNumber(number.toStdString()));
    if (!value || *value < 0)
        return std::nullopt;
    return value;
}

std::int32_t nextFrameIndex(const QStringList& names, const QString& prefix, std::int32_t cursor,
                            const QString& kind) {
    bool anyFrame = false;
    std::int32_t best = cursor;
    for (const QString& name : names) {
        const auto frame = frameNumberOfName(name, prefix, kind);
        if (!frame)
            continue;
        anyFrame = true;
        if (*frame > cursor && *frame > best)
            best = *frame;
        if (cursor < INT32_MAX && best == cursor + 1)
            break;
    }
    return anyFrame ? best : 0;
}

std::int32_t FindNextFrameIndex(const QString& imgFolder, const QString& prefix,
                                std::int32_t cursor, const QString& kind) {
    if (kind != QStringLiteral("jpg") && kind != QStringLiteral("pgm"))
        return 0;
    const QDir dir(imgFolder);
    const QStringList names =
        dir.entryList({prefix + QStringLiteral("*.") + kind}, QDir::Files, QDir::Name);
    return nextFrameIndex(names, prefix, cursor, kind);
}

std::int32_t newestFrameNumber(const QString& imgFolder, const QString& prefix,
                               const QString& kind) {
    std::int32_t newest = -1;
    const QStringList names =
        QDir(imgFolder).entryList({prefix + QStringLiteral("*")}, QDir::Files, QDir::NoSort);
    for (const QString& name : names)
        if (const auto n = frameNumberOfName(name, prefix, kind))
            newest = std::max(newest, *n);
    return newest;
}

int deleteConvertedFrames(const QString& imgFolder, const QString& prefix) {
    const QDir dir(imgFolder);
    int deleted = 0;
    const QStringList names =
        dir.entryList({prefix + QStringLiteral("*.pgm")}, QDir::Files, QDir::Name);
    for (const QString& name : names) {
        if (!name.endsWith(QStringLiteral(".pgm")))
            continue;
        if (QFile::remove(dir.filePath(name)))
            ++deleted;
    }
    return deleted;
}

CommandLine dravelCommand(const QString& programFolder, const QString& pgmPath,
                          const QString& jpgPath) {
    return {programFolder + QStringLiteral("/Dravel"),
            {QStringLiteral("-grayscale"), QStringLiteral("-outfile"), pgmPath, jpgPath}};
}

CommandLine sirrexCommand(const QString& programFolder, const QString& pgmPath,
                          const QString& trainingOptions, bool roundShape, std::int32_t frame) {
    CommandLine command{programFolder + QStringLiteral("/Sirrex"), {pgmPath}};
    for (const std::string& word : formats::splitOptionString(trainingOptions.toStdString()))
        command.arguments << QString::fromStdString(word);
    if (roundShape)
        command.arguments << QStringLiteral("-cp28662");
    command.arguments << QStringLiteral("-ti") + QString::number(frame);
    return command;
}

CommandLine pendrelCommand(const QString& programFolder, const QString& runFolder) {
    return {programFolder + QStringLiteral("/Pendrel"), {runFolder}};
}

} // namespace acquisition
