#include "app/device/settings.h"

#include "formats/run_data_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace device;

namespace {

class SettingsFolder : public ::testing::Test {
protected:
    QString folder() const { return m_dir.path(); }
    QString file(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }

    void write(const char* name, const QByteArray& bytes) const {
        QFile f(file(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QByteArray read(const char* name) const {
        QFile f(file(name));
        if (!f.open(QIODevice::ReadOnly))
            return QByteArray("<missing>");
        return f.readAll();
    }
    qsizetype entries() const {
        return QDir(folder())
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
            .size();
    }
    void makeUnreadable(const char* name) const { QDir(folder()).mkdir(QString::fromLatin1(name)); }

    QTemporaryDir m_dir;
};

} // namespace

// ---- ipdata.dat ----

TEST_F(SettingsFolder, DeviceIpIsOneCrLfLine) {
    EXPECT_EQ(SaveDeviceIp(folder(), QStringLiteral("192.168.4.1")), QString());
    EXPECT_EQ(read("ipdata.dat"), QByteArray("192.168.4.1\r\n"));
    EXPECT_EQ(LoadDeviceIp(folder()), QStringLiteral("192.168.4.1"));
    EXPECT_EQ(entries(), 1);
}

TEST_F(SettingsFolder, DeviceIpLoadIsSilentOnMissingEmptyOrUnreadable) {
    EXPECT_EQ(LoadDeviceIp(folder()), std::nullopt);
    write("ipdata.dat", "");
    EXPECT_EQ(LoadDeviceIp(folder()), std::nullopt);
    write("ipdata.dat", "10.0.0.2\n10.0.0.3\n");
    EXPECT_EQ(LoadDeviceIp(folder()), QStringLiteral("10.0.0.2"));
    write("ipdata.dat", "10.0.0.9");
    EXPECT_EQ(LoadDeviceIp(folder()), QStringLiteral("10.0.0.9"));
    QFile::remove(file("ipdata.dat"));
    makeUnreadable("ipdata.dat");
    EXPECT_EQ(LoadDeviceIp(folder()), std::nullopt);
}

TEST_F(SettingsFolder, SaveIntoAMissingFolderReportsAFailure) {
    const QString missing = file("nope");
    EXPECT_NE(SaveDeviceIp(missing, QStringLiteral("1.2.3.4")), QString());
    EXPECT_NE(SaveConfigFile(missing, QStringLiteral("p"), QStringLiteral("c"), 5), QString());
}

// ---- config.dat ----

TEST_F(SettingsFolder, ConfigFileLayout) {
    EXPECT_EQ(
        SaveConfigFile(folder(), QStringLiteral("wormlab"), QStringLiteral("[ 2026/12/09 ]"), 5.0),
        QString());
    EXPECT_EQ(read("config.dat"), QByteArray("wormlab\r\n[ 2026/12/09 ]\r\n5.0\r\n"));
    EXPECT_EQ(SaveConfigFile(folder(), QStringLiteral(""), QStringLiteral("[ Now ]"), 7.5),
              QString());
    EXPECT_EQ(read("config.dat"), QByteArray("\r\n[ - - ]\r\n7.5\r\n"));
    EXPECT_EQ(entries(), 1);
}

TEST_F(SettingsFolder, LampLevelOfTheStartWindow) {
    QString error = QStringLiteral("stale");
    // Missing file: the current level stays, unless it is below 1.
    EXPECT_EQ(LoadLampLevel(folder(), 9, &error), 9);
    EXPECT_EQ(error, QString());
    EXPECT_EQ(LoadLampLevel(folder(), 0), 5);

    const struct {
        const char* bytes;
        int level;
    } cases[] = {
        {"p\r\nc\r\n7.5\r\n", 8},
        {"p\r\nc\r\n6.5\r\n", 6},
        {"p\r\nc\r\n5.5\r\n", 6},
        {"p\r\nc\r\n0.5\r\n", 5},
        {"p\r\nc\r\n0.0\r\n", 5},
        {"p\r\nc\r\n-3\r\n", 5},
        {"p\r\nc\r\n", 5},
        {"p\r\n", 5},
        {"", 5},
        {"p\nc\n12.0", 12},
        {"p\r\nc\r\n5,5\r\n", 5},
        {"p\r\nc\r\nlots\r\n", 5},
        {"p\r\nc\r\n99\r\n", 16},
        {"p\r\nc\r\n1e300\r\n", 16},
        {"p\r\nc\r\n16.4\r\n", 16},
        {"p\r\nc\r\n 1 6 \r\n", 16},
    };
    for (const auto& c : cases) {
        write("config.dat", c.bytes);
        EXPECT_EQ(LoadLampLevel(folder(), 3), c.level) << c.bytes;
    }
}

TEST_F(SettingsFolder, LampLevelKeepsTheLevelWhenConfigCannotBeRead) {
    makeUnreadable("config.dat");
    QString error;
    EXPECT_EQ(LoadLampLevel(folder(), 9, &error), 9);
    EXPECT_NE(error, QString());
}

TEST_F(SettingsFolder, ClampsOfBothLevels) {
    EXPECT_EQ(clampLampLevel(0), 5);
    EXPECT_EQ(clampLampLevel(1), 1);
    EXPECT_EQ(clampLampLevel(16), 16);
    EXPECT_EQ(clampLampLevel(17), 16);
    EXPECT_EQ(clampLampLevel(INT64_MIN), 5);
    EXPECT_EQ(clampLightLevel(0.0), 5.0);
    EXPECT_EQ(clampLightLevel(-2), 5.0);
    EXPECT_EQ(clampLightLevel(0.5), 0.5);
    EXPECT_EQ(clampLightLevel(16.0), 16.0);
    EXPECT_EQ(clampLightLevel(1e308), 16.0);
}

TEST_F(SettingsFolder, DeviceSettingsOfTheAcquisitionWindow) {
    DeviceSettings s;
    s.deviceIp = QStringLiteral("design ip");
    s.projectName = QStringLiteral("design");
    s.lastTraining = QStringLiteral("design caption");
    s.lightLevel = 0;
    // Nothing there: the boxes keep their texts, the level becomes 5.0.
    QString error = QStringLiteral("stale");
    EXPECT_TRUE(LoadDeviceSettings(folder(), s, &error));
    EXPECT_EQ(error, QString());
    EXPECT_EQ(s.deviceIp, QStringLiteral("design ip"));
    EXPECT_EQ(s.projectName, QStringLiteral("design"));
    EXPECT_EQ(s.lastTraining, QStringLiteral("design caption"));
    EXPECT_EQ(s.lightLevel, 5.0);

    write("ipdata.dat", "10.1.1.1\r\n");
    write("config.dat", "lab 7\r\n[ 2026/01/02 ]\r\n7.5\r\n");
    EXPECT_TRUE(LoadDeviceSettings(folder(), s));
    EXPECT_EQ(s.deviceIp, QStringLiteral("10.1.1.1"));
    EXPECT_EQ(s.projectName, QStringLiteral("lab_7"));
    EXPECT_EQ(s.lastTraining, QStringLiteral("[ 2026/01/02 ]"));
    EXPECT_EQ(s.lightLevel, 7.5);

    write("config.dat", "solo\r\n");
    EXPECT_TRUE(LoadDeviceSettings(folder(), s));
    EXPECT_EQ(s.projectName, QStringLiteral("solo"));
    EXPECT_EQ(s.lastTraining, QStringLiteral("[ - - ]"));
    EXPECT_EQ(s.lightLevel, 5.0);

    write("config.dat", "");
    EXPECT_TRUE(LoadDeviceSettings(folder(), s));
    EXPECT_EQ(s.projectName, QStringLiteral("default"));
    EXPECT_EQ(s.lastTraining, QStringLiteral("[ - - ]"));
    EXPECT_EQ(s.lightLevel, 5.0);

    for (const char* bytes : {"p\r\nc\r\n0.0\r\n", "p\r\nc\r\n-1\r\n", "p\r\nc\r\nx\r\n"}) {
        write("config.dat", bytes);
        EXPECT_TRUE(LoadDeviceSettings(folder(), s));
        EXPECT_EQ(s.lightLevel, 5.0) << bytes;
    }
    write("config.dat", "p\r\nc\r\n0.5\r\n");
    EXPECT_TRUE(LoadDeviceSettings(folder(), s));
    EXPECT_EQ(s.lightLevel, 0.5);
    write("config.dat", "p\r\nc\r\n250\r\n");
    EXPECT_TRUE(LoadDeviceSettings(folder(), s));
    EXPECT_EQ(s.lightLevel, 16.0);
}

TEST_F(SettingsFolder, DeviceSettingsReportAnUnreadableFileAndStillReadTheOther) {
    makeUnreadable("ipdata.dat");
    write("config.dat", "proj\r\ncap\r\n3.5\r\n");
    DeviceSettings s;
    s.deviceIp = QStringLiteral("kept");
    QString error;
    EXPECT_FALSE(LoadDeviceSettings(folder(), s, &error));
    EXPECT_NE(error, QString());
    EXPECT_EQ(s.deviceIp, QStringLiteral("kept"));
    EXPECT_EQ(s.projectName, QStringLiteral("proj"));
    EXPECT_EQ(s.lightLevel, 3.5);
}

TEST_F(SettingsFolder, ProjectNameFromAHandEditedFileStaysInsideTheProgramFolder) {
    EXPECT_EQ(LoadProjectName(folder()), std::nullopt);
    write("config.dat", "../../etc\r\n");
    EXPECT_EQ(LoadProjectName(folder()), QStringLiteral("--etc"));
    write("config.dat", "..\r\n");
    EXPECT_EQ(LoadProjectName(folder()), QStringLiteral("default"));
    write("config.dat", "\r\n[ - - ]\r\n5.0\r\n");
    EXPECT_EQ(LoadProjectName(folder()), QStringLiteral("default"));
    write("config.dat", QByteArray(40, 'a') + "\r\n");
    EXPECT_EQ(LoadProjectName(folder()), QString(32, QLatin1Char('a')));
    EXPECT_EQ(cleanProjectName(QStringLiteral("/abs/path")), QStringLiteral("-abs-path"));
}

TEST_F(SettingsFolder, SavedCaptionSurvivesARoundTrip) {
    ASSERT_EQ(SaveConfigFile(folder(), QStringLiteral("p"), QStringLiteral("[ Now ]"), 5),
              QString());
    DeviceSettings s;
    EXPECT_TRUE(LoadDeviceSettings(folder(), s));
    EXPECT_EQ(s.lastTraining, QStringLiteral("[ - - ]"));
    EXPECT_EQ(s.lightLevel, 5.0);
    ASSERT_EQ(SaveConfigFile(folder(), s), QString());
    EXPECT_EQ(read("config.dat"), QByteArray("p\r\n[ - - ]\r\n5.0\r\n"));
}

// ---- rundata.dat ----

TEST_F(SettingsFolder, RunDataGoesIdenticallyIntoBothFolders) {
    ASSERT_TRUE(QDir(folder()).mkpath(QStringLiteral("default/20261209_0500_run")));
    const QString acquisition = file("default/20261209_0500_run");
    RunDataValues v;
    v.deviceIp = QStringLiteral("192.168.4.1");
    v.startText = runStartText(QDateTime(QDate(2026, 12, 9), QTime(17, 5, 3)));
    v.runLength = QStringLiteral("15");
    v.acquisitionMode = 1;
    EXPECT_EQ(SaveRunData(folder(), acquisition, v), QString());
    const QByteArray expected =
        "192.168.4.1\r\n" + acquisition.toUtf8() + "\r\n2026/12/09 17:05:03\r\n15\r\n 1 \r\n";
    EXPECT_EQ(read("rundata.dat"), expected);
    QFile copy(acquisition + QStringLiteral("/rundata.dat"));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), expected);

    EXPECT_EQ(LoadAcquisitionIp(acquisition), QStringLiteral("192.168.4.1"));
    const auto back = formats::readRunData(acquisition.toStdString());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->acquisitionMode, 1);
}

TEST_F(SettingsFolder, RunDataStopsAtAFailureAndSaysSo) {
    RunDataValues v;
    v.deviceIp = QStringLiteral("1.2.3.4");
    EXPECT_NE(SaveRunData(folder(), file("missing"), v), QString());
    EXPECT_EQ(read("rundata.dat").left(9), QByteArray("1.2.3.4\r\n"));
}

TEST_F(SettingsFolder, AcquisitionIpLeavesTheBoxWhenNoRunData) {
    QString error = QStringLiteral("stale");
    EXPECT_EQ(LoadAcquisitionIp(folder(), &error), std::nullopt);
    EXPECT_EQ(error, QString());
    write("rundata.dat", QByteArray());
    EXPECT_EQ(LoadAcquisitionIp(folder(), &error), std::nullopt);
    EXPECT_NE(error, QString());
    write("rundata.dat", "10.0.0.7\r\n");
    EXPECT_EQ(LoadAcquisitionIp(folder(), &error), QStringLiteral("10.0.0.7"));
    EXPECT_EQ(error, QString());
    QFile::remove(file("rundata.dat"));
    makeUnreadable("rundata.dat");
    EXPECT_EQ(LoadAcquisitionIp(folder(), &error), std::nullopt);
    EXPECT_NE(error, QString());
}
