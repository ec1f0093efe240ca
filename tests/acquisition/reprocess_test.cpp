// Reprocessing logic with fake services: the checks and backups made before anything is
// deleted, mass reprocessing with a borrowed training, its per-acquisition time limit, the
// routes rerun and the z-stack sequence.

#include "app/acquisition/reprocess.h"
#include "platform/fakes/fake_services.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>

#include <chrono>
#include <csignal>
#include <map>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace acquisition;

// Failures show texts as texts.
static void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
using Result = AcquisitionOutcome::Result;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Every file and folder under `root` with its bytes.
std::map<QString, QByteArray> snapshot(const QString& root) {
    std::map<QString, QByteArray> out;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString key = QDir(root).relativeFilePath(path);
        out[key] = QFileInfo(path).isDir() ? QByteArray("<folder>") : readFile(path);
    }
    return out;
}

ino_t inode(const QString& path) {
    struct stat st {};
    ::stat(path.toLocal8Bit().constData(), &st);
    return st.st_ino;
}

QByteArray runData(const QByteArray& address) {
    return address + "\r\n/x\r\n2026/01/15 10:30:00\r\n5\r\n 0 \r\n";
}

// An acquisition with frames 0 to `last`, a run data file and earlier results.
void makeAcquisition(const QString& folder, int last, const QByteArray& address = "10.0.0.7") {
    writeFile(folder + "/rundata.dat", runData(address));
    QByteArray part = address;
    part.replace('.', '_');
    for (int n = 0; n <= last; ++n)
        writeFile(folder + "/img/c" + QString::fromLatin1(part) + "f" + QString::number(n) + ".jpg",
                  "jpeg");
    writeFile(folder + "/xy_worms.bin", "old worms");
    writeFile(folder + "/xy_worms.bak", "older worms");
    writeFile(folder + "/xy_image.bin", "old image");
    writeFile(folder + "/xy_worms.txt", "old text");
    writeFile(folder + "/worm_trails.csv", "old trails");
    writeFile(folder + "/xy_shapes.txt", "old shapes");
}

} // namespace

TEST(ReprocessCheck, AnAcquisitionNeedsAnAddressInItsRunDataAndFrames) {
    QTemporaryDir root;
    const QString acq = root.filePath("acq");
    EXPECT_EQ(checkAcquisition(acq).error, "The acquisition folder " + acq + " does not exist");

    ASSERT_TRUE(QDir().mkpath(acq + "/img"));
    writeFile(acq + "/img/c10_0_0_7f0.jpg", "jpeg");
    EXPECT_EQ(checkAcquisition(acq).error, "No run data file " + acq +
                                               "/rundata.dat: the device address of the frames "
                                               "is unknown");
    writeFile(acq + "/rundata.dat", runData(""));
    EXPECT_EQ(checkAcquisition(acq).error, acq + "/rundata.dat: No device address was given.");
    writeFile(acq + "/rundata.dat", runData("10.0.0.7;rm"));
    EXPECT_TRUE(checkAcquisition(acq).error.startsWith(acq + "/rundata.dat: The device address"));
    writeFile(acq + "/rundata.dat", runData("10.0.0.8"));
    EXPECT_EQ(checkAcquisition(acq).error,
              "No stored frame from 0 to 300 in " + acq + "/img (c10_0_0_8fN.jpg)");

    writeFile(acq + "/rundata.dat", runData("10.0.0.7"));
    writeFile(acq + "/img/c10_0_0_7f301.jpg", "jpeg");
    const AcquisitionCheck check = checkAcquisition(acq);
    EXPECT_EQ(check.error, "");
    EXPECT_EQ(check.deviceAddress, "10.0.0.7");
    EXPECT_EQ(check.frames, std::vector<std::int32_t>{0});
}

TEST(ReprocessCheck, WithoutRunDataTheWindowsAddressNamesTheFrames) {
    QTemporaryDir root;
    const QString acq = root.filePath("acq");
    writeFile(acq + "/img/c10_0_0_7f0.jpg", "jpeg");
    writeFile(acq + "/img/c10_0_0_7f4.jpg", "jpeg");
    const AcquisitionCheck check = checkAcquisition(acq, "10.0.0.7");
    EXPECT_EQ(check.error, "");
    EXPECT_EQ(check.deviceAddress, "10.0.0.7");
    EXPECT_EQ(check.frames, (std::vector<std::int32_t>{0, 4}));
    EXPECT_TRUE(checkAcquisition(acq, "10.0.0.7;rm").error.contains("The device address"));
    // A run data file, when there is one, names the address.
    writeFile(acq + "/rundata.dat", runData("10.0.0.8"));
    EXPECT_EQ(checkAcquisition(acq, "10.0.0.7").deviceAddress, "10.0.0.8");
}

TEST(ReprocessCheck, AFailedCheckOrAMissingTrainingChangesNothing) {
    QTemporaryDir root;
    const QString program = root.path();
    const QString acq = program + "/default/acq";
    makeAcquisition(acq, 3);
    QFile::remove(acq + "/rundata.dat");
    writeFile(program + "/training.dat", "xs 335\r\n");
    platform::fakes::FakeServices fakes;
    BatchRunner runner(fakes.services(program));

    auto before = snapshot(program);
    EXPECT_TRUE(startFindReprocess(runner, program, acq, false).startsWith("No run data file"));
    EXPECT_EQ(snapshot(program), before);
    EXPECT_TRUE(fakes.launcher->started.empty());

    writeFile(acq + "/rundata.dat", runData("10.0.0.7"));
    QFile::remove(program + "/training.dat");
    before = snapshot(program);
    EXPECT_EQ(startFindReprocess(runner, program, acq, false),
              "No training file " + program + "/training.dat");
    EXPECT_EQ(snapshot(program), before);
    EXPECT_TRUE(fakes.launcher->started.empty());
}

TEST(ReprocessBackups, ResultsAreSetAsideAndBecomeTheBackupsOnlyWhenTheNewOnesAreWhole) {
    QTemporaryDir root;
    makeAcquisition(root.path(), 0);
    writeFile(root.filePath("xy_image.txt"), "old image text");
    EXPECT_EQ(resetOutputs(root.path()), "");
    EXPECT_TRUE(hasUnfinishedAttempt(root.path()));
    for (const char* gone :
         {"xy_worms.bin", "xy_worms.txt", "xy_image.txt", "xy_image.bin", "worm_trails.csv"})
        EXPECT_FALSE(QFile::exists(root.filePath(gone))) << gone;
    EXPECT_EQ(readFile(root.filePath("xy_shapes.txt")), "#Frame\t#Prev_Frame\tX\tY\tShape\r\n");
    EXPECT_EQ(readFile(root.filePath("xy_worms.bak")), "older worms"); // not yet replaced
    EXPECT_EQ(waitForOriginalCopy(root.filePath("xy_worms_original.bin")), "");
    EXPECT_EQ(readFile(root.filePath("xy_worms_original.bin")), "old worms");
    EXPECT_EQ(readFile(root.filePath("worm_trails_original.csv")), "old trails");
    EXPECT_TRUE(QFile::exists(root.filePath("img/c10_0_0_7f0.jpg")));

    // The new results are whole: the previous ones become the backups.
    writeFile(root.filePath("xy_worms.bin"), "new worms");
    writeFile(root.filePath("worm_trails.csv"), "new trails");
    EXPECT_EQ(finishAttempt(root.path(), {}), "");
    EXPECT_FALSE(hasUnfinishedAttempt(root.path()));
    EXPECT_EQ(readFile(root.filePath("xy_worms.bak")), "old worms");
    EXPECT_EQ(readFile(root.filePath("worm_trails.bak")), "old trails");
    EXPECT_EQ(readFile(root.filePath("xy_worms.bin")), "new worms");

    // The original copies are made once and never replaced.
    EXPECT_EQ(resetOutputs(root.path()), "");
    writeFile(root.filePath("xy_worms.bin"), "third worms");
    writeFile(root.filePath("worm_trails.csv"), "third trails");
    EXPECT_EQ(finishAttempt(root.path(), {}), "");
    EXPECT_EQ(readFile(root.filePath("xy_worms.bak")), "new worms");
    EXPECT_EQ(readFile(root.filePath("xy_worms_original.bin")), "old worms");
    EXPECT_EQ(readFile(root.filePath("worm_trails_original.csv")), "old trails");
}

TEST(ReprocessBackups, AnUnfinishedAttemptPutsEverythingBackAlsoAfterTheProgramEnded) {
    QTemporaryDir root;
    makeAcquisition(root.path(), 0);
    QFile::remove(root.filePath("xy_shapes.txt"));
    const auto before = snapshot(root.path());
    EXPECT_EQ(resetOutputs(root.path()), "");
    writeFile(root.filePath("xy_worms.bin"), "partial worms");
    writeFile(root.filePath("xy_image.bin"), "partial image");
    EXPECT_EQ(abandonAttempt(root.path()), "");
    auto after = snapshot(root.path());
    after.erase("xy_worms_original.bin");
    after.erase("worm_trails_original.csv");
    EXPECT_EQ(after, before);
    EXPECT_EQ(putBack(root.path()), "; the previous results were put back");

    // The program ended under an attempt: the next start puts the results back before
    // anything else, and then sets them aside again.
    EXPECT_EQ(resetOutputs(root.path()), "");
    writeFile(root.filePath("xy_worms.bin"), "partial worms");
    EXPECT_EQ(resetOutputs(root.path()), "");
    writeFile(root.filePath("xy_worms.bin"), "new worms");
    writeFile(root.filePath("worm_trails.csv"), "new trails");
    EXPECT_EQ(finishAttempt(root.path(), {}), "");
    EXPECT_EQ(readFile(root.filePath("xy_worms.bak")), "old worms");
    EXPECT_EQ(readFile(root.filePath("worm_trails.bak")), "old trails");
    // So does "Reprocess Routes".
    EXPECT_EQ(resetOutputs(root.path()), "");
    EXPECT_FALSE(prepareReprocessRoutes(root.path()).track); // no xy_image.bin yet
    EXPECT_FALSE(hasUnfinishedAttempt(root.path()));
    EXPECT_EQ(readFile(root.filePath("xy_worms.bin")), "new worms");
}

TEST(ReprocessBackups, ResultsWithFramesNotAnalysedNeverReplaceTheBackups) {
    QTemporaryDir root;
    makeAcquisition(root.path(), 0);
    EXPECT_EQ(resetOutputs(root.path()), "");
    writeFile(root.filePath("xy_worms.bin"), "worms without 100");
    writeFile(root.filePath("worm_trails.csv"), "trails without 100");
    EXPECT_EQ(endAttempt(root.path(), {100}), "Frame 100 could not be analysed");
    EXPECT_EQ(readFile(root.filePath("frames_not_analysed.txt")),
              "Frame 100 could not be analysed\r\n");
    EXPECT_EQ(readFile(root.filePath("xy_worms.bak")), "old worms");
    // A second attempt, again without frame 100: the backup keeps the complete results.
    EXPECT_EQ(resetOutputs(root.path()), "");
    writeFile(root.filePath("xy_worms.bin"), "worms without 100 again");
    writeFile(root.filePath("worm_trails.csv"), "trails again");
    EXPECT_EQ(endAttempt(root.path(), {100}), "Frame 100 could not be analysed");
    EXPECT_EQ(readFile(root.filePath("xy_worms.bak")), "old worms");
    EXPECT_EQ(readFile(root.filePath("worm_trails.bak")), "old trails");
    // Routes over them neither.
    writeFile(root.filePath("xy_image.bin"), "image");
    EXPECT_TRUE(prepareReprocessRoutes(root.path()).track);
    EXPECT_EQ(readFile(root.filePath("worm_trails.bak")), "old trails");
    // A tracker that wrote no trails ends the attempt as unfinished.
    EXPECT_EQ(resetOutputs(root.path()), "");
    bool complete = true;
    EXPECT_EQ(endAttempt(root.path(), {}, &complete),
              "The tracker wrote no worm_trails.csv; the previous results were put back");
    EXPECT_FALSE(complete);
    EXPECT_EQ(readFile(root.filePath("xy_worms.bin")), "worms without 100 again");
}

TEST(ReprocessBackups, AResetThatFailsLeavesEverythingAsItWas) {
    // The results cannot be set aside (a file has the name of their folder).
    QTemporaryDir root;
    makeAcquisition(root.path(), 0);
    writeFile(root.filePath("xy_worms_original.bin"), "live worms");
    writeFile(root.filePath("worm_trails_original.csv"), "live trails");
    writeFile(root.filePath("reprocess_previous"), "");
    const auto before = snapshot(root.path());
    EXPECT_EQ(resetOutputs(root.path()), "Cannot create " + root.filePath("reprocess_previous"));
    EXPECT_EQ(snapshot(root.path()), before);
}

TEST(ReprocessBackups, AFolderUnderAResultOrBackupNameIsRefusedBeforeAnythingIsSetAside) {
    // Set aside, it could never become a backup: the keeping would stop after the new results
    // were marked, with the backups of two attempts and every later reset refused.
    for (const char* name : {"worm_trails.csv", "xy_worms.bak"}) {
        QTemporaryDir root;
        makeAcquisition(root.path(), 0);
        writeFile(root.filePath("worm_trails.bak"), "older trails");
        writeFile(root.filePath("xy_worms_original.bin"), "live worms");
        writeFile(root.filePath("worm_trails_original.csv"), "live trails");
        QFile::remove(root.filePath(name));
        writeFile(root.filePath(name) + "/notes.txt", "the operator's");
        const auto before = snapshot(root.path());
        EXPECT_EQ(resetOutputs(root.path()),
                  root.filePath(name) + " is a folder, not a file of results; nothing was changed");
        EXPECT_EQ(snapshot(root.path()), before) << name;
        EXPECT_FALSE(hasUnfinishedAttempt(root.path()));
    }
}

TEST(ReprocessBackups, AFolderOfPreviousResultsThatIsNotTheProgramsIsRefusedUntouched) {
    QTemporaryDir root;
    const QString acq = root.filePath("acq");
    const QString outside = root.filePath("outside");
    makeAcquisition(acq, 0);
    writeFile(outside + "/keep.txt", "not the program's");
    writeFile(outside + "/saved.txt", "xy_worms.bin\n");
    ASSERT_TRUE(QFile::link(outside, acq + "/reprocess_previous"));
    const auto before = snapshot(root.path());
    const QString link = acq + "/reprocess_previous is a link, not a folder of results set "
                               "aside by this program; nothing was changed";
    EXPECT_EQ(resetOutputs(acq), link);
    EXPECT_EQ(prepareReprocessRoutes(acq).message, link);
    EXPECT_EQ(putBack(acq), "; " + link);
    EXPECT_EQ(snapshot(root.path()), before);

    // A real folder holding what the program did not put there.
    QFile::remove(acq + "/reprocess_previous");
    writeFile(acq + "/reprocess_previous/saved.txt", "xy_worms.txt\n");
    writeFile(acq + "/reprocess_previous/xy_worms.txt", "set aside");
    writeFile(acq + "/reprocess_previous/notes.doc", "the operator's");
    const auto again = snapshot(root.path());
    EXPECT_EQ(resetOutputs(acq), acq + "/reprocess_previous holds notes.doc, which this program "
                                       "did not put there; nothing was changed");
    EXPECT_EQ(snapshot(root.path()), again);
}

TEST(ReprocessBackups, AListOfPreviousResultsThatCannotBeReadLeavesThemWhereTheyAre) {
    QTemporaryDir root;
    makeAcquisition(root.path(), 0);
    writeFile(root.filePath("xy_worms_original.bin"), "live worms");
    ASSERT_EQ(resetOutputs(root.path()), "");
    writeFile(root.filePath("xy_worms.bin"), "partial worms");
    const QString list = root.filePath("reprocess_previous/saved.txt");
    const QString where = "; the previous results were left in " + root.filePath("reprocess_previous");
    // A named pipe in its place neither holds the put-back nor lets it delete anything.
    QFile::remove(list);
    ASSERT_EQ(::mkfifo(list.toLocal8Bit().constData(), 0644), 0);
    auto before = snapshot(root.path());
    EXPECT_EQ(putBack(root.path()), "; Cannot read " + list + ": not a regular file" + where);
    EXPECT_EQ(snapshot(root.path()), before);
    // Nor does one far longer than any list of results.
    QFile::remove(list);
    writeFile(list, QByteArray(300 * 1024, '\n'));
    before = snapshot(root.path());
    EXPECT_EQ(putBack(root.path()), "; Cannot read " + list + ": the file is too large" + where);
    EXPECT_EQ(snapshot(root.path()), before);
}

TEST(ReprocessBackups, ACrashAtAnyStepLeavesTheResultsOfOneAttemptAndTheBackupsOfAnEarlierOne) {
    // Generation 1 is in place with the backups of generation 0; an attempt makes generation 2
    // and is either kept or put back. Each run is cut after one more step than the last.
    // Generation 1 may lack its position file: kept, it leaves a trails backup without a
    // partner, and the position backup of generation 0 goes with it.
    for (const bool withWorms : {true, false})
    for (const bool keep : {true, false}) {
        for (int steps = 0;; ++steps) {
            QTemporaryDir root;
            const QString acq = root.path();
            writeFile(acq + "/xy_image.bin", "image 1");
            if (withWorms)
                writeFile(acq + "/xy_worms.bin", "worms 1");
            writeFile(acq + "/worm_trails.csv", "trails 1");
            writeFile(acq + "/xy_worms.csv", "export of worms 1");
            writeFile(acq + "/xy_worms.bak", "worms 0");
            writeFile(acq + "/worm_trails.bak", "trails 0");
            writeFile(acq + "/xy_worms_original.bin", "worms 0");
            writeFile(acq + "/worm_trails_original.csv", "trails 0");
            failSetAsideStepsAfter(steps);
            if (resetOutputs(acq).isEmpty()) {
                writeFile(acq + "/xy_image.bin", "image 2");
                writeFile(acq + "/xy_worms.bin", "worms 2");
                writeFile(acq + "/worm_trails.csv", "trails 2");
                if (keep)
                    finishAttempt(acq, {});
                else
                    abandonAttempt(acq);
            }
            const bool cut = setAsideStepsLeft() == 0;
            failSetAsideStepsAfter(-1);
            ASSERT_EQ(abandonAttempt(acq), "") << steps;
            const QByteArray image = readFile(acq + "/xy_image.bin");
            const QString n = image == "image 2" ? "2" : "1";
            ASSERT_TRUE(image == "image 1" || image == "image 2") << steps;
            const bool wormsOf1 = withWorms || n == "2";
            EXPECT_EQ(readFile(acq + "/xy_worms.bin"),
                      wormsOf1 ? "worms " + n.toLatin1() : QByteArray("<missing>"))
                << withWorms << keep << steps;
            EXPECT_EQ(readFile(acq + "/worm_trails.csv"), "trails " + n) << keep << steps;
            const QString earlier = n == "2" ? "1" : "0";
            EXPECT_EQ(readFile(acq + "/xy_worms.bak"),
                      withWorms || n == "1" ? "worms " + earlier.toLatin1()
                                            : QByteArray("<missing>"))
                << withWorms << keep << steps;
            EXPECT_EQ(readFile(acq + "/worm_trails.bak"), "trails " + earlier) << keep << steps;
            // An export stands only beside the results it was made from.
            EXPECT_EQ(readFile(acq + "/xy_worms.csv"),
                      n == "1" ? QByteArray("export of worms 1") : QByteArray("<missing>"))
                << keep << steps;
            EXPECT_FALSE(QFileInfo::exists(acq + "/reprocess_previous")) << keep << steps;
            if (!cut) {
                EXPECT_EQ(n, keep ? "2" : "1");
                EXPECT_GT(steps, 5);
                break;
            }
        }
    }
}

TEST(ReprocessBackups, APutBackCutShortLeavesTheResultsOfOneAttemptAndSaysWhereTheRestAre) {
    const QStringList names = {"xy_image.bin", "xy_worms.bin", "worm_trails.csv", "xy_worms.txt"};
    auto writeGeneration = [&](const QString& acq, const char* n) {
        for (const QString& name : names)
            writeFile(acq + "/" + name, name.toUtf8() + " " + n);
    };
    // Each put-back fails after one more step than the last: what stands under the result
    // names is of one attempt, never some of each, and the failure says where the rest are.
    for (int steps = 0;; ++steps) {
        QTemporaryDir root;
        const QString acq = root.path();
        const QString previous = acq + "/reprocess_previous";
        writeGeneration(acq, "1");
        ASSERT_EQ(resetOutputs(acq), "");
        writeGeneration(acq, "2");
        failSetAsideStepsAfter(steps);
        const QString said = abandonAttempt(acq);
        const bool cut = setAsideStepsLeft() == 0;
        failSetAsideStepsAfter(-1);
        QSet<QByteArray> generations;
        for (const QString& name : names)
            if (QFileInfo::exists(acq + "/" + name))
                generations.insert(readFile(acq + "/" + name).right(1));
        EXPECT_LE(generations.size(), 1) << steps;
        if (!QDir(previous).entryList({"xy_*", "worm_*"}).isEmpty()) {
            EXPECT_TRUE(said.endsWith("; the previous results are still in " + previous))
                << steps << said.toStdString();
        }
        ASSERT_EQ(abandonAttempt(acq), "") << steps;
        for (const QString& name : names)
            EXPECT_EQ(readFile(acq + "/" + name), name.toUtf8() + " 1") << steps;
        if (!cut)
            break;
    }
    // A set-aside whose put-back fails in turn says so.
    QTemporaryDir root;
    const QString acq = root.path();
    const QString previous = acq + "/reprocess_previous";
    writeGeneration(acq, "1");
    failSetAsideStepsAfter(3); // the folder, the journal, xy_worms.bin, then nothing more
    const QString said = resetOutputs(acq);
    failSetAsideStepsAfter(-1);
    EXPECT_EQ(said, "Cannot move " + acq + "/xy_worms.txt; Cannot put back " + acq +
                        "/xy_worms.bin from " + previous + "; the previous results are still in " +
                        previous);
    ASSERT_EQ(abandonAttempt(acq), "");
    // A folder standing under a result name: the put-back changes nothing and says so.
    ASSERT_EQ(resetOutputs(acq), "");
    writeFile(acq + "/xy_worms.bin", "worms 2");
    writeFile(acq + "/xy_image.bin/inside", "not a result");
    ASSERT_EQ(waitForOriginalCopy(acq + "/xy_worms_original.bin"), "");
    const auto before = snapshot(acq);
    EXPECT_EQ(abandonAttempt(acq), acq +
                                       "/xy_image.bin is a folder, not a file of results; "
                                       "nothing was changed; the previous results are still in " +
                                       previous);
    EXPECT_EQ(snapshot(acq), before);
}

TEST(ReprocessBackups, WhatAKilledWriterLeftGoesWithTheProgramFolderHeld) {
    QTemporaryDir root;
    const QString program = root.path();
    const QString acq = program + "/default/acq";
    makeAcquisition(acq, 0);
    // A writer that no longer runs, and one that still does (this very program).
    const pid_t dead = ::fork();
    if (dead == 0)
        ::_exit(0);
    ASSERT_GT(dead, 0);
    ASSERT_EQ(::waitpid(dead, nullptr, 0), dead);
    const QString gone = ".tmp" + QString::number(dead) + "_3";
    const QString live = ".tmp" + QString::number(::getpid()) + "_3";
    const QStringList left = {
        acq + "/worm_trails.csv" + gone,          acq + "/xy_shapes.txt" + gone,
        acq + "/worm_trails_original.csv" + gone, acq + "/training.dat" + gone,
        acq + "/frames_not_analysed.txt" + gone,  program + "/preview.jpg" + gone,
        program + "/training.dat" + gone,         program + "/findrun.sh" + gone};
    for (const QString& path : left)
        writeFile(path, "half written");
    writeFile(acq + "/worm_trails.csv" + live, "being written");
    writeFile(program + "/preview.jpg" + live, "being written");
    writeFile(program + "/training.dat.tmp1_0", "being written by another program");
    writeFile(acq + "/notes.txt" + gone, "not the program's");
    writeFile(acq + "/worm_trails.csv.tmp" + QString::number(dead), "not the program's");
    writeFile(root.filePath("elsewhere.txt"), "kept");
    ASSERT_TRUE(QFile::link(root.filePath("elsewhere.txt"), acq + "/xy_shapes.txt" + gone + "1"));
    ASSERT_EQ(::mkfifo((program + "/training.dat" + gone + "2").toLocal8Bit().constData(), 0644),
              0);
    ASSERT_TRUE(QDir().mkpath(acq + "/training.dat" + gone + "4"));
    const std::set<QString> kept = {acq + "/worm_trails.csv" + live,
                                    program + "/preview.jpg" + live,
                                    program + "/training.dat.tmp1_0",
                                    acq + "/notes.txt" + gone,
                                    acq + "/worm_trails.csv.tmp" + QString::number(dead),
                                    acq + "/xy_shapes.txt" + gone + "1",
                                    program + "/training.dat" + gone + "2",
                                    acq + "/training.dat" + gone + "4"};
    auto temporaries = [&] {
        std::set<QString> out;
        QDirIterator it(program, QDir::AllEntries | QDir::System | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            if (const QString path = it.next(); QFileInfo(path).fileName().contains(".tmp"))
                out.insert(path);
        return out;
    };
    platform::fakes::FakeServices fakes;
    BatchRunner runner(fakes.services(program));
    ASSERT_EQ(runner.hold(), "");
    EXPECT_EQ(resetOutputs(acq), "");
    EXPECT_EQ(waitForOriginalCopy(acq + "/xy_worms_original.bin"), "");
    EXPECT_EQ(temporaries(), kept);
    EXPECT_EQ(readFile(root.filePath("elsewhere.txt")), "kept");
    runner.release();
}

TEST(ReprocessBackups, ResultsWhoseMissingFramesCannotBeRecordedAreNoResults) {
    QTemporaryDir root;
    makeAcquisition(root.path(), 0);
    writeFile(root.filePath("xy_worms_original.bin"), "live worms");
    ASSERT_EQ(resetOutputs(root.path()), "");
    writeFile(root.filePath("xy_worms.bin"), "worms without 100");
    writeFile(root.filePath("worm_trails.csv"), "trails without 100");
    // The disk takes no more than a few bytes.
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tight = old;
    tight.rlim_cur = 8;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    bool complete = true;
    const QString said = endAttempt(root.path(), {100}, &complete);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);
    EXPECT_TRUE(said.startsWith("Cannot write " + root.filePath("frames_not_analysed.txt")))
        << said.toStdString();
    EXPECT_TRUE(said.endsWith("; the previous results were put back")) << said.toStdString();
    EXPECT_FALSE(complete);
    EXPECT_EQ(readFile(root.filePath("xy_worms.bin")), "old worms");
    EXPECT_FALSE(QFileInfo::exists(root.filePath("frames_not_analysed.txt")));
    EXPECT_EQ(readFile(root.filePath("xy_worms.bak")), "older worms");
}

TEST(ReprocessBackups, TheFirstCopyOfThePositionFileIsMadeBesideTheWindow) {
    QTemporaryDir root;
    makeAcquisition(root.path(), 0);
    QByteArray worms(3 << 20, 'w');
    for (int i = 0; i < worms.size(); i += 4096)
        worms[i] = char(i / 4096);
    writeFile(root.filePath("xy_worms.bin"), worms);
    const QString original = root.filePath("xy_worms_original.bin");
    holdOriginalCopies(true);
    EXPECT_EQ(resetOutputs(root.path()), ""); // returns while the copy waits
    EXPECT_FALSE(QFileInfo::exists(original));
    // Put back meanwhile: the copy ends at once and leaves nothing.
    EXPECT_EQ(abandonAttempt(root.path()), "");
    EXPECT_FALSE(QFileInfo::exists(original));
    EXPECT_EQ(QDir(root.path()).entryList({"xy_worms_original.bin*"}, QDir::Files | QDir::Hidden),
              QStringList());
    EXPECT_EQ(resetOutputs(root.path()), "");
    EXPECT_FALSE(QFileInfo::exists(original));
    // Let go, the copy is made while this thread waits on nothing of it.
    holdOriginalCopies(false);
    QElapsedTimer waited;
    waited.start();
    while (!QFileInfo::exists(original) && waited.elapsed() < 30000)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(readFile(original), worms);
    writeFile(root.filePath("xy_worms.bin"), "new worms");
    writeFile(root.filePath("worm_trails.csv"), "new trails");
    EXPECT_EQ(finishAttempt(root.path(), {}), "");
    EXPECT_EQ(readFile(original), worms);
    EXPECT_EQ(readFile(root.filePath("xy_worms.bak")), worms);
}

TEST(ReprocessBackups, NothingIsResetWhenTheBatchCannotBeWritten) {
    QTemporaryDir root;
    const QString program = root.path();
    const QString acq = program + "/default/acq";
    makeAcquisition(acq, 3);
    writeFile(program + "/training.dat", "xs 335\r\n");
    ASSERT_TRUE(QDir().mkpath(program + "/findrun.sh/inside")); // as good as a full disk
    platform::fakes::FakeServices fakes;
    BatchRunner runner(fakes.services(program));
    const auto before = snapshot(acq);
    EXPECT_EQ(startFindReprocess(runner, program, acq, false),
              "Cannot write " + program + "/findrun.sh: Is a directory");
    EXPECT_EQ(snapshot(acq), before);
    EXPECT_TRUE(fakes.launcher->started.empty());
}

TEST(ReprocessSizes, PlateSizeIsReadAsARealOrAWholeNumber) {
    auto real = *pixelsPerMm("335", "1170", "215", "1035", "60.5", PlateSizeRule::Real);
    EXPECT_TRUE(real.plateSizeReplaced);
    EXPECT_DOUBLE_EQ(real.across, 835.0 / 35);
    EXPECT_DOUBLE_EQ(real.down, 820.0 / 35);
    auto whole = *pixelsPerMm("335", "1170", "215", "1035", "60.5", PlateSizeRule::Whole);
    EXPECT_FALSE(whole.plateSizeReplaced); // 60.5 rounds to 60 (halves to even)
    EXPECT_DOUBLE_EQ(whole.across, 835.0 / 60);
    EXPECT_TRUE(pixelsPerMm("0", "10", "0", "10", "61", PlateSizeRule::Whole)->plateSizeReplaced);
    EXPECT_TRUE(pixelsPerMm("0", "10", "0", "10", "9.9", PlateSizeRule::Real)->plateSizeReplaced);
    EXPECT_FALSE(pixelsPerMm("0", "10", "0", "10", "9.5", PlateSizeRule::Whole)->plateSizeReplaced);
    EXPECT_FALSE(pixelsPerMm("0", "10", "0", "10", "60", PlateSizeRule::Real)->plateSizeReplaced);
    EXPECT_DOUBLE_EQ(pixelsPerMm("1,5", "11", "0", "x", "10", PlateSizeRule::Real)->across, 1.0);
    EXPECT_FALSE(pixelsPerMm("-30000", "30000", "0", "1", "35", PlateSizeRule::Real));
    EXPECT_FALSE(pixelsPerMm("0", "40000", "0", "1", "35", PlateSizeRule::Real));
    EXPECT_FALSE(pixelsPerMm("0", "1", "0", "1", "1e9", PlateSizeRule::Whole));
}

TEST(ReprocessTraining, OnlyOneSelectedAcquisitionCanLendItsTraining) {
    EXPECT_FALSE(rememberTrainingSource("/p/proj", {}));
    EXPECT_FALSE(rememberTrainingSource("/p/proj", {".."}));
    EXPECT_FALSE(rememberTrainingSource("/p/proj", {"a", "b"}));
    const auto source = rememberTrainingSource("/p/proj", {"a"});
    ASSERT_TRUE(source);
    EXPECT_EQ(source->name, "a");
    EXPECT_EQ(source->folder, "/p/proj/a");
}

namespace {

// A project of acquisitions and fake services whose "batch" records what it was given and
// finishes at once, unless told to hang.
class MassRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        program = root.path();
        project = program + "/proj";
        writeFile(program + "/training.dat", "xs 999\r\n");
        for (const char* name : {"A", "B", "C", "D"})
            makeAcquisition(project + "/" + name, 2);
        writeFile(project + "/A/training.dat", "xs 111\r\nbs 35\r\n");
        writeFile(project + "/A/descriptor.dat", "Block[0]\r\n");
        writeFile(project + "/B/training.dat", "xs 222\r\n");
        fakes.launcher->onStart = [this](const platform::fakes::FakeLauncher::Start& start) {
            if (start.program != "/bin/sh")
                return;
            const QString text = QString::fromUtf8(readFile(start.arguments.value(0)));
            scripts.push_back(text);
            if (hangOn.contains(scripts.size()))
                return; // this batch never records anything
            // As the real batch would: the finder's files appear and the progress reaches 300.
            for (const char* name : {"A", "B", "C", "D"})
                if (text.contains(QString("/proj/") + name + "/img/"))
                    writeFile(project + "/" + name + "/xy_image.bin", "new image");
            writeFile(program + "/cmdout.dat", "300 \n");
            fakes.launcher->running[start.pid] = false;
        };
        hooks.track = [this](const QString& folder) {
            tracked << QFileInfo(folder).fileName();
            writeFile(folder + "/worm_trails.csv", "new trails");
            return true;
        };
        hooks.status = [this](const QString& text) { statuses << text; };
        hooks.clearProgress = [this] { statuses << "<progress cleared>"; };
    }

    QTemporaryDir root;
    QString program;
    QString project;
    platform::fakes::FakeServices fakes;
    BatchRunner runner{fakes.services(program.isEmpty() ? root.path() : program)};
    BatchHooks hooks;
    QStringList scripts;
    QList<int> hangOn; // the batches (counted from 1) that hang
    QStringList tracked;
    QStringList statuses;
};

} // namespace

TEST_F(MassRunTest, EveryAcquisitionGetsTheBorrowedTrainingAndItsBatchUsesThatCopy) {
    const ino_t ownTraining = inode(project + "/A/training.dat");
    const auto outcomes =
        applyTrainingToSelection(fakes.services(program), runner, {"A", project + "/A"}, project,
                                 {"..", "A", "B", "C"}, false, hooks);
    ASSERT_EQ(outcomes.size(), 3u);
    for (const auto& outcome : outcomes) {
        EXPECT_EQ(outcome.result, Result::Done) << outcome.message.toStdString();
        EXPECT_TRUE(outcome.tracked);
        EXPECT_EQ(outcome.frame, 300);
    }
    EXPECT_EQ(outcomes[0].item, "A");
    EXPECT_EQ(tracked, QStringList({"A", "B", "C"}));
    EXPECT_EQ(statuses, QStringList({"A", "A Tracking...", "<progress cleared>", "B",
                                     "B Tracking...", "<progress cleared>", "C", "C Tracking...",
                                     "<progress cleared>"}));
    // The source's own files were not copied onto themselves; the others got copies.
    EXPECT_EQ(inode(project + "/A/training.dat"), ownTraining);
    for (const char* name : {"B", "C"}) {
        EXPECT_EQ(readFile(project + "/" + name + "/training.dat"), "xs 111\r\nbs 35\r\n");
        EXPECT_EQ(readFile(project + "/" + name + "/descriptor.dat"), "Block[0]\r\n");
    }
    EXPECT_EQ(readFile(program + "/training.dat"), "xs 999\r\n"); // the program's stays
    // Every batch ran the finder with the borrowed training, not the program folder's.
    ASSERT_EQ(scripts.size(), 3);
    for (const QString& script : scripts) {
        EXPECT_TRUE(script.contains("'-xs111' '-bs35' '-ti0'"));
        EXPECT_FALSE(script.contains("-xs999"));
        EXPECT_FALSE(script.contains("-xs222"));
    }
    // Each acquisition was reset with backups of its earlier results.
    for (const char* name : {"A", "B", "C"}) {
        EXPECT_EQ(readFile(project + "/" + name + "/xy_worms.bak"), "old worms");
        EXPECT_EQ(readFile(project + "/" + name + "/worm_trails.bak"), "old trails");
        EXPECT_EQ(readFile(project + "/" + name + "/worm_trails.csv"), "new trails");
    }
    EXPECT_EQ(readFile(project + "/D/xy_worms.bin"), "old worms"); // not selected
}

TEST_F(MassRunTest, AnAcquisitionOutOfTimeIsReportedAndStoppedWhileTheNextGoesOn) {
    hangOn = {2};
    QFile::remove(project + "/C/rundata.dat"); // C fails its check
    const auto outcomes =
        applyTrainingToSelection(fakes.services(program), runner, {"A", project + "/A"}, project,
                                 {"A", "B", "C", "D"}, true, hooks);
    ASSERT_EQ(outcomes.size(), 4u);
    EXPECT_EQ(outcomes[0].result, Result::Done);
    EXPECT_EQ(outcomes[1].result, Result::TimedOut);
    EXPECT_EQ(outcomes[1].message, "B: not finished within 60 s, stopped after frame 0 of 300; "
                                   "the previous results were put back");
    EXPECT_EQ(readFile(project + "/B/xy_worms.bin"), "old worms");
    EXPECT_EQ(readFile(project + "/B/worm_trails.csv"), "old trails");
    EXPECT_EQ(readFile(project + "/B/xy_image.bin"), "old image");
    EXPECT_EQ(outcomes[2].result, Result::Skipped);
    EXPECT_EQ(outcomes[2].message, "C: No run data file " + project +
                                       "/C/rundata.dat: the device address of the "
                                       "frames is unknown");
    EXPECT_EQ(readFile(project + "/C/xy_worms.bin"), "old worms"); // nothing deleted
    EXPECT_EQ(readFile(project + "/C/training.dat"), "<missing>");
    EXPECT_EQ(outcomes[3].result, Result::Done);
    EXPECT_EQ(outcomes[3].item, "D");
    // B's batch got 600 polls of 100 ms, then its whole group was stopped before D's began.
    int polls = 0;
    for (int ms : fakes.clock->pauses)
        polls += ms == 100;
    EXPECT_EQ(polls, 600 + 2);
    EXPECT_EQ(fakes.launcher->stopped.size(), 1u);
    EXPECT_EQ(scripts.size(), 3);
    EXPECT_TRUE(scripts[2].contains("'-cp28662' '-ti0'"));
    // B, unfinished, was not tracked.
    EXPECT_EQ(tracked, QStringList({"A", "D"}));
}

TEST_F(MassRunTest, AStopEndsTheCurrentBatchAndSkipsTheRest) {
    hangOn = {1};
    int polls = 0;
    hooks.keepGoing = [&] { return polls < 5; };
    hooks.progress = [&](const BatchStatus&) { ++polls; };
    const auto outcomes = applyTrainingToSelection(
        fakes.services(program), runner, {"A", project + "/A"}, project, {"A", "B"}, false, hooks);
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].result, Result::Stopped);
    EXPECT_EQ(outcomes[0].message, "A: The batch was stopped before its first frame; the previous "
                                   "results were put back");
    EXPECT_EQ(readFile(project + "/A/xy_worms.bin"), "old worms");
    EXPECT_EQ(fakes.launcher->stopped.size(), 1u);
    EXPECT_EQ(readFile(project + "/B/xy_worms.bin"), "old worms");
}

TEST_F(MassRunTest, AnAcquisitionWhoseTrackingEndsEarlyGetsItsPreviousResultsBack) {
    hooks.track = [this](const QString& folder) {
        writeFile(folder + "/worm_trails.csv", "trails up to the failure");
        return QFileInfo(folder).fileName() != "A";
    };
    const auto outcomes = applyTrainingToSelection(
        fakes.services(program), runner, {"A", project + "/A"}, project, {"A", "B"}, false, hooks);
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_EQ(outcomes[0].result, Result::EndedEarly);
    EXPECT_EQ(outcomes[0].message, "A: The tracker did not finish worm_trails.csv; the previous "
                                   "results were put back");
    EXPECT_EQ(readFile(project + "/A/worm_trails.csv"), "old trails");
    EXPECT_EQ(readFile(project + "/A/xy_image.bin"), "old image");
    EXPECT_EQ(readFile(project + "/A/xy_worms.bak"), "older worms");
    EXPECT_EQ(outcomes[1].result, Result::Done);
    EXPECT_EQ(readFile(project + "/B/worm_trails.bak"), "old trails");
}

TEST_F(MassRunTest, ASourceWithoutTrainingDoesNothing) {
    QFile::remove(project + "/A/training.dat");
    const auto before = snapshot(program);
    EXPECT_TRUE(applyTrainingToSelection(fakes.services(program), runner, {"A", project + "/A"},
                                         project, {"B"}, false, hooks)
                    .empty());
    EXPECT_EQ(snapshot(program), before);
}

TEST(ReprocessRoutes, TrailsAreBackedUpBeforeTheTrackerReplacesThem) {
    QTemporaryDir root;
    EXPECT_FALSE(prepareReprocessRoutes(root.filePath("gone")).track);
    EXPECT_EQ(prepareReprocessRoutes(root.filePath("gone")).message, "");

    writeFile(root.filePath("worm_trails.csv"), "trails");
    auto preparation = prepareReprocessRoutes(root.path());
    EXPECT_FALSE(preparation.track);
    EXPECT_EQ(preparation.message, "Image backgroung file not found. Please reprocess acquisition");
    EXPECT_FALSE(QFile::exists(root.filePath("worm_trails.bak")));

    writeFile(root.filePath("xy_image.bin"), "image");
    preparation = prepareReprocessRoutes(root.path());
    EXPECT_TRUE(preparation.track);
    EXPECT_EQ(readFile(preparation.previousTrails), "trails");
    writeFile(root.filePath("worm_trails.csv"), "new trails");
    EXPECT_EQ(endReprocessRoutes(preparation.previousTrails, RoutesEnd::Whole), "");
    EXPECT_EQ(readFile(root.filePath("worm_trails.bak")), "trails");
    EXPECT_FALSE(QFileInfo::exists(preparation.previousTrails));

    QFile::remove(root.filePath("worm_trails.bak"));
    ASSERT_TRUE(QDir().mkpath(root.filePath("worm_trails.bak/x")));
    const auto before = snapshot(root.path());
    preparation = prepareReprocessRoutes(root.path());
    EXPECT_FALSE(preparation.track);
    EXPECT_EQ(preparation.message, "Cannot write " + root.filePath("worm_trails.bak"));
    EXPECT_EQ(snapshot(root.path()), before);
}

TEST(ReprocessZStack, TheSequenceCopiesEachFinishedImageIntoTheProjectAndOpensIt) {
    QTemporaryDir root;
    const QString program = root.path();
    const QString project = program + "/proj";
    makeAcquisition(project + "/A", 12);
    makeAcquisition(project + "/B", 3);
    // A's frames 0 to 6 are missing: its seed is frame 7.
    for (int n = 0; n <= 6; ++n)
        QFile::remove(project + "/A/img/c10_0_0_7f" + QString::number(n) + ".jpg");
    platform::fakes::FakeServices fakes;
    QStringList seeds;
    int batches = 0;
    fakes.launcher->onStart = [&](const platform::fakes::FakeLauncher::Start& start) {
        if (start.program.endsWith("/Dravel")) { // the seed, run directly
            seeds << start.arguments.last();
            writeFile(start.arguments[2], "P5 seed");
            return;
        }
        ++batches;
        const QString folder = batches == 1 ? project + "/A" : project + "/B";
        EXPECT_EQ(readFile(folder + "/zstack.pgm"), "P5 seed");
        if (batches == 1)
            writeFile(folder + "/zstack.bmp", "BM A");
        // B's batch ends without its image (an old one stays and must not be copied).
        if (batches == 2)
            writeFile(folder + "/zstack.bmp", "BM old");
        writeFile(program + "/cmdout.dat",
                  batches == 1 ? "300 \n" : " 2 \nMirrant failed on frame 3\n");
        fakes.launcher->running[start.pid] = false;
    };
    BatchRunner runner(fakes.services(program));
    QStringList cleaned;
    BatchHooks hooks;
    hooks.clean = [&](const QString& folder) { cleaned << QFileInfo(folder).fileName(); };
    int cleared = 0;
    hooks.clearProgress = [&] { ++cleared; };
    const auto outcomes =
        exportZStackSequence(fakes.services(program), runner, project, {"A", "..", "B"}, hooks);
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_EQ(outcomes[0].result, Result::Done);
    EXPECT_EQ(outcomes[1].result, Result::EndedEarly);
    EXPECT_EQ(outcomes[1].message,
              "B: Mirrant failed on frame 3; the batch ended after frame 2 of 300");
    EXPECT_EQ(seeds, QStringList(
                         {project + "/A/img/c10_0_0_7f7.jpg", project + "/B/img/c10_0_0_7f0.jpg"}));
    EXPECT_EQ(cleaned, QStringList({"A", "B"}));
    EXPECT_EQ(cleared, 2); // the progress bar starts afresh for each acquisition
    EXPECT_EQ(readFile(project + "/zstack_A.bmp"), "BM A");
    EXPECT_FALSE(QFile::exists(project + "/zstack_B.bmp"));
    EXPECT_FALSE(QFile::exists(project + "/B/zstack.pgm")); // removed with the early end
    EXPECT_EQ(fakes.launcher->opened, QStringList{project});
}

