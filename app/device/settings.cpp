#include "settings.h"

#include "app/device/names.h"
#include "formats/numbers.h"
#include "formats/run_data_file.h"
#include "formats/text_lines.h"

#include <cmath>
#include <string>
#include <vector>

namespace device {

namespace {

std::string local(const QString& text) {
    return text.toStdString();
}
QString qt(const std::string& text) {
    return QString::fromStdString(text);
}

std::string fileIn(const QString& folder, const char* name) {
    return formats::pathInFolder(local(folder), name);
}

void setError(QString* error, const std::string& message) {
    if (error)
        *error = qt(message);
}

void clearError(QString* error) {
    if (error)
        error->clear();
}

} // namespace

QString deviceIpPath(const QString& folder) {
    return qt(fileIn(folder, kDeviceIpFileName));
}
QString configPath(const QString& folder) {
    return qt(fileIn(folder, kConfigFileName));
}
QString runDataPath(const QString& folder) {
    return qt(formats::runDataPath(local(folder)));
}

QString cleanProjectName(const QString& name) {
    const QString cleaned = SanitizeName(name).left(kMaxProjectNameLength);
    return cleaned.isEmpty() ? kDefaultProjectName : cleaned;
}

int clampLampLevel(std::int64_t level) {
    if (level < 1)
        return kDefaultLampLevel;
    if (level > kMaxLampLevel)
        return kMaxLampLevel;
    return static_cast<int>(level);
}

double clampLightLevel(double level) {
    if (std::isnan(level) || level <= 0.0)
        return kDefaultLightLevel;
    if (level > kMaxLampLevel)
        return kMaxLampLevel;
    return level;
}

QString formatLightLevel(double level) {
    return qt(formats::formatFixed(level, 1));
}

QString storedTrainingCaption(const QString& caption) {
    return caption == kPickingCaption ? kNoTrainingCaption : caption;
}

QString runStartText(const QDateTime& start) {
    return start.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

std::optional<QString> LoadDeviceIp(const QString& programFolder) {
    const formats::TextLines file =
        formats::readTextLines(fileIn(programFolder, kDeviceIpFileName));
    if (!file.ok() || file.lines.empty())
        return std::nullopt;
    return qt(file.lines[0]);
}

QString SaveDeviceIp(const QString& programFolder, const QString& deviceIp) {
    return qt(formats::writeTextLines(fileIn(programFolder, kDeviceIpFileName), {local(deviceIp)}));
}

int LoadLampLevel(const QString& programFolder, int currentLevel, QString* error) {
    clearError(error);
    const formats::TextLines file = formats::readTextLines(fileIn(programFolder, kConfigFileName));
    std::int64_t level = currentLevel;
    if (file.ok()) {
        // Up to line 2 the level is the default; line 3 holds it.
        const std::string* line = file.line(2);
        level = line ? formats::roundHalfEven(formats::leadingNumber(*line)) : kDefaultLampLevel;
    } else if (file.status == formats::TextLines::Status::Failed) {
        setError(error, file.error);
    }
    return clampLampLevel(level);
}

bool LoadDeviceSettings(const QString& programFolder, DeviceSettings& settings, QString* error) {
    clearError(error);
    bool ok = true;
    QString firstError;
    const formats::TextLines ip = formats::readTextLines(fileIn(programFolder, kDeviceIpFileName));
    if (ip.ok() && !ip.lines.empty()) {
        settings.deviceIp = qt(ip.lines[0]);
    } else if (ip.status == formats::TextLines::Status::Failed) {
        ok = false;
        firstError = qt(ip.error);
    }
    const formats::TextLines config =
        formats::readTextLines(fileIn(programFolder, kConfigFileName));
    if (config.ok()) {
        const std::string* project = config.line(0);
        settings.projectName = cleanProjectName(project ? qt(*project) : QString());
        const std::string* caption = config.line(1);
        settings.lastTraining = caption ? qt(*caption) : kNoTrainingCaption;
        const std::string* light = config.line(2);
        settings.lightLevel = light ? formats::leadingNumber(*light) : kDefaultLightLevel;
    } else if (config.status == formats::TextLines::Status::Failed) {
        if (ok)
            firstError = qt(config.error);
        ok = false;
    }
    settings.lightLevel = clampLightLevel(settings.lightLevel);
    if (error)
        *error = firstError;
    return ok;
}

std::optional<QString> LoadProjectName(const QString& programFolder, QString* error) {
    clearError(error);
    const formats::TextLines config =
        formats::readTextLines(fileIn(programFolder, kConfigFileName));
    if (!config.ok()) {
        if (config.status == formats::TextLines::Status::Failed)
            setError(error, config.error);
        return std::nullopt;
    }
    const std::string* project = config.line(0);
    return cleanProjectName(project ? qt(*project) : QString());
}

QString SaveConfigFile(const QString& programFolder, const QString& projectName,
                       const QString& lastTrainingCaption, double lightLevel) {
    const std::vector<std::string> lines = {local(projectName),
                                            local(storedTrainingCaption(lastTrainingCaption)),
                                            local(formatLightLevel(lightLevel))};
    return qt(formats::writeTextLines(fileIn(programFolder, kConfigFileName), lines));
}

QString SaveConfigFile(const QString& programFolder, const DeviceSettings& settings) {
    return SaveConfigFile(programFolder, settings.projectName, settings.lastTraining,
                          settings.lightLevel);
}

QString SaveRunData(const QString& programFolder, const QString& acquisitionFolder,
                    const RunDataValues& values) {
    formats::RunData data;
    data.deviceAddress = local(values.deviceIp);
    data.acquisitionFolder = local(acquisitionFolder);
    data.startTime = local(values.startText);
    data.runLength = local(values.runLength);
    data.acquisitionMode = values.acquisitionMode;
    for (const QString& folder : {programFolder, acquisitionFolder}) {
        const std::string error = formats::writeRunData(local(folder), data);
        if (!error.empty())
            return qt(error);
    }
    return {};
}

std::optional<QString> LoadAcquisitionIp(const QString& acquisitionFolder, QString* error) {
    clearError(error);
    const std::string path = formats::runDataPath(local(acquisitionFolder));
    const formats::TextLines file = formats::readTextLines(path);
    if (file.status == formats::TextLines::Status::Missing)
        return std::nullopt;
    if (!file.ok()) {
        setError(error, file.error);
        return std::nullopt;
    }
    // An empty file holds no address: naming frames by an empty one would hide the fault.
    if (file.lines.empty()) {
        setError(error, "Cannot read " + path + ": the file is empty");
        return std::nullopt;
    }
    return qt(file.lines[0]);
}

} // namespace device
