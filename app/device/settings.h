#pragma once
// The settings files of the program folder and the run-data file, as the windows read and
// write them: ipdata.dat (device address), config.dat (project name, last-training caption,
// light level) and rundata.dat (see formats/run_data_file.h). Every file is written whole
// under a temporary name and renamed into place; lines end with CR LF.
//
// Functions that write return an empty string on success, else a message naming the file.
// Functions that read take an optional error pointer: it is cleared, and set when a file that
// exists could not be read. A missing file is never an error.

#include "app/device/light_level.h"
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>

namespace device {

inline constexpr char kDeviceIpFileName[] = "ipdata.dat";
inline constexpr char kConfigFileName[] = "config.dat";

inline constexpr int kDefaultLampLevel = 5; // the start window's integer lamp level
inline constexpr int kMaxLampLevel = 16;
inline constexpr int kMaxProjectNameLength = 32;

inline const QString kDefaultProjectName = QStringLiteral("default");
inline const QString kNoTrainingCaption = QStringLiteral("[ - - ]");
inline const QString kPickingCaption = QStringLiteral("[ Now ]");

QString deviceIpPath(const QString& folder);
QString configPath(const QString& folder);
QString runDataPath(const QString& folder);

// A project name as it may become a folder name: SanitizeName, cut to 32 characters, and
// "default" when nothing is left. A name from a hand-edited file cannot leave the program
// folder ("../x" gives "x").
QString cleanProjectName(const QString& name);

// The start window's lamp level held to what the device accepts: below 1 gives 5, above 16
// gives 16.
int clampLampLevel(std::int64_t level);
// The acquisition window's LightLevel held the same way: 0 or below (or no number) gives 5.0,
// above 16 gives 16.0; the fraction is kept.
double clampLightLevel(double level);

// The light level as config.dat stores it: one decimal, "." as the point ("5.0").
QString formatLightLevel(double level);

// The caption stored for the last training: "[ - - ]" while picking is under way ("[ Now ]").
QString storedTrainingCaption(const QString& caption);

// The run start time as the run-data file holds it: "yyyy/mm/dd hh:mm:ss", 24-hour clock.
QString runStartText(const QDateTime& start);

// ---- ipdata.dat ----------------------------------------------------------------------------

// LoadDeviceIp: the first line of ipdata.dat, or nothing when the file is missing, empty or
// unreadable (the start window's load fails silently).
std::optional<QString> LoadDeviceIp(const QString& programFolder);

// SaveDeviceIp: ipdata.dat holds the address as its one line.
QString SaveDeviceIp(const QString& programFolder, const QString& deviceIp);

// ---- config.dat ----------------------------------------------------------------------------

// LoadLampLevel (start window): the level from line 3 of config.dat, rounded (halves to even)
// and clamped; `currentLevel` is kept (then clamped) when config.dat is missing or unreadable;
// a file that ends before line 3 gives 5.
int LoadLampLevel(const QString& programFolder, int currentLevel, QString* error = nullptr);

// What the acquisition window shows from the settings files.
struct DeviceSettings {
    QString deviceIp;                       // txt_ip1
    QString projectName;                    // txt_project
    QString lastTraining;                   // lbl_last_training caption
    double lightLevel = kDefaultLightLevel; // LightLevel
};

// LoadDeviceSettings: fills `settings` from ipdata.dat and config.dat. Values of a missing
// file stay as they are; from config.dat: the project name cleaned (cleanProjectName), the
// caption ("[ - - ]" when the file ends before line 2) and the light level (5.0 when the file
// ends before line 3); finally the light level is clamped. False when a file could not be read
// (the other file is still read).
bool LoadDeviceSettings(const QString& programFolder, DeviceSettings& settings,
                        QString* error = nullptr);

// LoadProjectName: line 1 of config.dat, cleaned (cleanProjectName; "default" when empty), or
// nothing when config.dat is missing or unreadable.
std::optional<QString> LoadProjectName(const QString& programFolder, QString* error = nullptr);

// SaveConfigFile: config.dat with the project name, the stored caption and the light level.
QString SaveConfigFile(const QString& programFolder, const QString& projectName,
                       const QString& lastTrainingCaption, double lightLevel);
QString SaveConfigFile(const QString& programFolder, const DeviceSettings& settings);

// ---- rundata.dat ---------------------------------------------------------------------------

struct RunDataValues {
    QString deviceIp;        // txt_ip1
    QString startText;       // runStartText of the run start
    QString runLength;       // txtlapse as typed
    int acquisitionMode = 0; // 0 Tracking, 1 Microbeam
};

// SaveRunData: the run-data file into the program folder, then into the acquisition folder,
// the same five lines in both. Stops at the first failure.
QString SaveRunData(const QString& programFolder, const QString& acquisitionFolder,
                    const RunDataValues& values);

// LoadAcquisitionIp: line 1 of the acquisition folder's rundata.dat, or nothing when the file
// is missing, unreadable or empty (txt_ip1 then stays as it is; the error says why unless the
// file is missing).
std::optional<QString> LoadAcquisitionIp(const QString& acquisitionFolder,
                                         QString* error = nullptr);

} // namespace device
