// The text of findrun.sh, byte for byte, and what /bin/sh does with it: stub programs record
// the arguments they get, so that a name that would run as a command shows up.

#include "app/acquisition/batch_script.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

using namespace acquisition;

// Failures show texts as texts.
static void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

const QString kHead = "#!/bin/sh\n"
                      "# Written by Vermalux for one batch and replaced by the next.\n"
                      "progress() { printf '%s\\n' \"$1\" >'/vx/cmdout.dat.tmp' && 'mv' '-f' "
                      "'/vx/cmdout.dat.tmp' '/vx/cmdout.dat'; }\n"
                      "failed() { wait; printf '%s\\n%s\\n' \"$1\" \"$2\" >'/vx/cmdout.dat.tmp'; "
                      "'mv' '-f' '/vx/cmdout.dat.tmp' '/vx/cmdout.dat'; exit 1; }\n"
                      "notAnalysed() { printf '%s\\n' \"$1\" >>'/vx/cmdfail.dat'; }\n";
const QString kTail = "wait\nprogress '300 ' || exit 1\n";

// The five lines of frame n of the find batch, as they must stand; `before` is the progress
// line of the frame finished before it ("" for the first).
QString findGroup(int n, const QString& before, const QString& cp = "") {
    const QString b = "/vx/default/acq/img/c10_0_0_7f" + QString::number(n);
    const QString f = QString::number(n);
    (void)before;
    return "'/vx/Dravel' '-grayscale' '-outfile' '" + b + ".pgm' '" + b +
           ".jpg' >'/dev/null' 2>&1 &&\n" + "'/vx/Sirrex' '" + b +
           ".pgm' '-xs335' '-xe1170' '-bs35' " + cp + "'-ti" + f +
           "' >'/dev/null' 2>&1 || notAnalysed '" + f + "'\n" +
           "echo 'FRAME [" + f + "] done'\nwait\n" + "{ 'rm' '-f' '" + b + ".pgm'; progress ' " +
           f + " '; } &\n";
}

FindBatchInput plainInput(std::vector<std::int32_t> frames) {
    FindBatchInput input;
    input.programFolder = "/vx";
    input.acquisitionFolder = "/vx/default/acq";
    input.deviceAddress = "10.0.0.7";
    input.trainingOptions = " -xs335 -xe1170 -bs35";
    input.frames = std::move(frames);
    return input;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A stub program that appends its arguments to `log`, each as "<bytes>:<text>|", one line
// per call, and then runs `body`.
void writeStub(const QString& path, const QString& log, const QByteArray& body) {
    const QByteArray script = "#!/bin/sh\n"
                              "for a in \"$@\"; do printf '%d:%s|' \"${#a}\" \"$a\"; done >> '" +
                              log.toUtf8() + "'\necho >> '" + log.toUtf8() + "'\n" + body;
    writeFile(path, script);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// The calls recorded by a stub, each as its argument list.
std::vector<QStringList> calls(const QString& log) {
    std::vector<QStringList> out;
    const QByteArray data = readFile(log);
    qsizetype at = 0;
    QStringList current;
    while (at < data.size()) {
        if (data[at] == '\n') {
            out.push_back(current);
            current.clear();
            ++at;
            continue;
        }
        const qsizetype colon = data.indexOf(':', at);
        const int length = data.mid(at, colon - at).toInt();
        current << QString::fromUtf8(data.mid(colon + 1, length));
        at = colon + 1 + length + 1; // the text and its "|"
    }
    return out;
}

int runShell(const QString& script, const QString& folder) {
    QProcess sh;
    sh.setWorkingDirectory(folder);
    sh.start("/bin/sh", {script});
    EXPECT_TRUE(sh.waitForFinished(30000));
    return sh.exitCode();
}

} // namespace

TEST(BatchScript, QuotingAndProgressLines) {
    EXPECT_EQ(shellQuote("plain"), "'plain'");
    EXPECT_EQ(shellQuote(""), "''");
    EXPECT_EQ(shellQuote("it's"), "'it'\\''s'");
    EXPECT_EQ(shellQuote("$(x); y\nz"), "'$(x); y\nz'");
    EXPECT_EQ(batchProgressLine(0), " 0 ");
    EXPECT_EQ(batchProgressLine(62), " 62 ");
    EXPECT_EQ(batchFinalLine(), "300 ");
}

TEST(BatchScript, FindBatchWithoutFramesRecordsOnlyTheEnd) {
    const BatchScript script = findBatchScript(plainInput({}));
    EXPECT_EQ(script.text, kHead + kTail);
    EXPECT_TRUE(script.scratchFiles.isEmpty());
}

TEST(BatchScript, FindBatchOfFrames0To62HasOneGroupPerFrameInOrder) {
    std::vector<std::int32_t> frames;
    for (int n = 62; n >= 0; --n)
        frames.push_back(n); // given in any order, written ascending
    frames.push_back(301);   // above the range: never processed
    frames.push_back(-1);
    frames.push_back(5); // twice: once
    const BatchScript script = findBatchScript(plainInput(frames));

    QString expected = kHead;
    QString before;
    for (int n = 0; n <= 62; ++n) {
        expected += findGroup(n, before);
        before = " " + QString::number(n) + " ";
    }
    expected += kTail;
    EXPECT_EQ(script.text, expected);
    EXPECT_EQ(script.text.count('\n'), 5 + 63 * 5 + 2);
    ASSERT_EQ(script.scratchFiles.size(), 63);
    EXPECT_EQ(script.scratchFiles.front(), "/vx/default/acq/img/c10_0_0_7f0.pgm");
    EXPECT_EQ(script.scratchFiles.back(), "/vx/default/acq/img/c10_0_0_7f62.pgm");

    // Spelled out once in full, for frame 7 after frame 6.
    EXPECT_TRUE(script.text.contains(
        "'/vx/Dravel' '-grayscale' '-outfile' '/vx/default/acq/img/c10_0_0_7f7.pgm' "
        "'/vx/default/acq/img/c10_0_0_7f7.jpg' >'/dev/null' 2>&1 &&\n"
        "'/vx/Sirrex' '/vx/default/acq/img/c10_0_0_7f7.pgm' '-xs335' '-xe1170' '-bs35' '-ti7' "
        ">'/dev/null' 2>&1 || notAnalysed '7'\n"
        "echo 'FRAME [7] done'\n"
        "wait\n"
        "{ 'rm' '-f' '/vx/default/acq/img/c10_0_0_7f7.pgm'; progress ' 7 '; } &\n"));
}

TEST(BatchScript, RoundShapeModePutsItsOptionBeforeTheTimeMark) {
    FindBatchInput input = plainInput({3});
    input.roundShape = true;
    EXPECT_EQ(findBatchScript(input).text, kHead + findGroup(3, "", "'-cp28662' ") + kTail);
}

TEST(BatchScript, ZStackBatchMergesEveryFrameThenWritesTheImage) {
    ZStackBatchInput input;
    input.programFolder = "/vx";
    input.acquisitionFolder = "/vx/default/acq";
    input.deviceAddress = "10.0.0.7";
    input.frames = {7, 9};
    const BatchScript script = zStackBatchScript(input);
    const QString b7 = "/vx/default/acq/img/c10_0_0_7f7";
    const QString b9 = "/vx/default/acq/img/c10_0_0_7f9";
    const QString z = "/vx/default/acq/zstack";
    EXPECT_EQ(script.text,
              kHead + "'/vx/Dravel' '-grayscale' '-outfile' '" + b7 + ".pgm' '" + b7 +
                  ".jpg' >'/dev/null' 2>&1 &&\n"
                  "'/vx/Mirrant' '" +
                  b7 + ".pgm' '" + z + ".pgm' '" + z +
                  ".pgm' >'/dev/null' 2>&1 || notAnalysed '7'\n"
                  "echo 'FRAME [7] done'\n"
                  "wait\n"
                  "{ 'rm' '-f' '" +
                  b7 +
                  ".pgm'; progress ' 7 '; } &\n"
                  "'/vx/Dravel' '-grayscale' '-outfile' '" +
                  b9 + ".pgm' '" + b9 +
                  ".jpg' >'/dev/null' 2>&1 &&\n"
                  "'/vx/Mirrant' '" +
                  b9 + ".pgm' '" + z + ".pgm' '" + z +
                  ".pgm' >'/dev/null' 2>&1 || notAnalysed '9'\n"
                  "echo 'FRAME [9] done'\n"
                  "wait\n"
                  "{ 'rm' '-f' '" +
                  b9 +
                  ".pgm'; progress ' 9 '; } &\n"
                  "'/vx/Mirrant' '" +
                  z + ".pgm' '" + z +
                  ".bmp' >'/dev/null' 2>&1 || failed ' 9 ' 'Mirrant failed on the z-stack "
                  "image'\n"
                  "'rm' '-f' '" +
                  z + ".pgm'\n" + kTail);
    EXPECT_EQ(script.scratchFiles, QStringList({b7 + ".pgm", b9 + ".pgm", z + ".pgm"}));

    input.frames.clear();
    EXPECT_EQ(zStackBatchScript(input).text,
              kHead + "'/vx/Mirrant' '" + z + ".pgm' '" + z +
                  ".bmp' >'/dev/null' 2>&1 || failed '' 'Mirrant failed on the z-stack image'\n"
                  "'rm' '-f' '" +
                  z + ".pgm'\n" + kTail);
}

TEST(BatchScript, StoredFramesAreTheExactJpegNamesFrom0To300) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir().mkpath(dir.filePath("img")));
    for (const char* name : {"c10_0_0_7f0.jpg", "c10_0_0_7f2.jpg", "c10_0_0_7f300.jpg",
                             "c10_0_0_7f301.jpg", "c10_0_0_7f4m.jpg", "c10_0_0_7f05.jpg",
                             "c10_0_0_7f6.pgm", "c10_0_0_8f7.jpg", "c10_0_0_7f10.jpg"})
        writeFile(dir.filePath(QString("img/") + name), "x");
    EXPECT_EQ(storedFrames(dir.path(), "10.0.0.7"), (std::vector<std::int32_t>{0, 2, 10, 300}));
    QTemporaryDir empty;
    EXPECT_TRUE(storedFrames(empty.path(), "10.0.0.7").empty());
}

// Names made of everything a shell would act on: quotes, blanks, brackets, $(...), ";" and a
// line break, in the program folder, the acquisition folder, the device address and the
// training values. The script runs through /bin/sh with stubs in place of the programs:
// nothing but the stubs runs, and each gets its arguments exactly.
TEST(BatchScript, NothingInANameOrValueRunsAsACommand) {
    QTemporaryDir root;
    // The script runs in `root`: a command run from a name would leave a RAN file there.
    const QString marker = "RAN";
    const QString evil = "a'b\"c [d] $(touch " + marker + "1) `touch " + marker + "2`; touch " +
                         marker + "3 &&\ntouch " + marker + "4 | e\\f *";
    const QString program = root.filePath("prog " + evil);
    const QString acquisition = program + "/proj/acq " + evil;
    ASSERT_TRUE(QDir().mkpath(acquisition + "/img"));
    const QString address = "1.2;touch " + marker + "5 $(touch " + marker + "6)'";
    const QString options = " -xs335;touch" + marker + "7 -xe$(touch" + marker + "8) -bs'35'";

    const QString log = root.filePath("calls.log");
    writeStub(program + "/Dravel", log, "cp \"$4\" \"$3\"\n");
    writeStub(program + "/Sirrex", log, "[ -f \"$1\" ] || exit 5\n");
    writeStub(program + "/Mirrant", log, "exit 0\n");
    const QString prefix =
        acquisition + "/img/c1_2;touch " + marker + "5 $(touch " + marker + "6)'f";
    for (int n : {0, 3})
        writeFile(prefix + QString::number(n) + ".jpg", "jpeg");

    FindBatchInput input;
    input.programFolder = program;
    input.acquisitionFolder = acquisition;
    input.deviceAddress = address;
    input.trainingOptions = options;
    input.frames = storedFrames(acquisition, address);
    ASSERT_EQ(input.frames, (std::vector<std::int32_t>{0, 3}));
    writeFile(program + "/findrun.sh", findBatchScript(input).text.toUtf8());
    EXPECT_EQ(runShell(program + "/findrun.sh", root.path()), 0);

    const auto recorded = calls(log);
    ASSERT_EQ(recorded.size(), 4u);
    for (int i = 0; i < 2; ++i) {
        const QString b = prefix + QString::number(i == 0 ? 0 : 3);
        EXPECT_EQ(recorded[2 * i], QStringList({"-grayscale", "-outfile", b + ".pgm", b + ".jpg"}));
        EXPECT_EQ(recorded[2 * i + 1], QStringList({b + ".pgm", "-xs335;touch" + marker + "7",
                                                    "-xe$(touch" + marker + "8)", "-bs'35'",
                                                    "-ti" + QString::number(i == 0 ? 0 : 3)}));
        EXPECT_FALSE(QFile::exists(b + ".pgm")); // deleted after use
    }
    EXPECT_EQ(readFile(program + "/cmdout.dat"), "300 \n");
    for (int k = 1; k <= 8; ++k)
        EXPECT_FALSE(QFile::exists(root.filePath(marker + QString::number(k)))) << k;
    EXPECT_EQ(QDir(root.path()).entryList(QDir::Files), QStringList{"calls.log"});

    // The z-stack batch over the same names.
    QFile::remove(log);
    ZStackBatchInput z{program, acquisition, address, {3}};
    writeFile(program + "/findrun.sh", zStackBatchScript(z).text.toUtf8());
    EXPECT_EQ(runShell(program + "/findrun.sh", root.path()), 0);
    const auto zCalls = calls(log);
    ASSERT_EQ(zCalls.size(), 3u);
    EXPECT_EQ(zCalls[1], QStringList({prefix + "3.pgm", acquisition + "/zstack.pgm",
                                      acquisition + "/zstack.pgm"}));
    EXPECT_EQ(zCalls[2], QStringList({acquisition + "/zstack.pgm", acquisition + "/zstack.bmp"}));
    for (int k = 1; k <= 8; ++k)
        EXPECT_FALSE(QFile::exists(root.filePath(marker + QString::number(k)))) << k;
}

TEST(BatchScript, AFrameThatFailsIsNamedAndTheBatchGoesOn) {
    QTemporaryDir root;
    const QString program = root.path();
    const QString acquisition = root.filePath("proj/acq");
    ASSERT_TRUE(QDir().mkpath(acquisition + "/img"));
    const QString log = root.filePath("calls.log");
    // Dravel fails on frame 4, Sirrex on frame 5.
    writeStub(program + "/Dravel", log, "case \"$4\" in *f4.jpg) exit 1;; esac\ncp \"$4\" \"$3\"\n");
    writeStub(program + "/Sirrex", log, "case \"$*\" in *-ti5) exit 2;; esac\n");
    const QString b = acquisition + "/img/c10_0_0_7f";
    for (int n : {1, 4, 5, 6})
        writeFile(b + QString::number(n) + ".jpg", "jpeg");
    FindBatchInput input{program,  acquisition, "10.0.0.7",
                         " -bs35", false,       storedFrames(acquisition, "10.0.0.7")};
    writeFile(program + "/findrun.sh", findBatchScript(input).text.toUtf8());
    EXPECT_EQ(runShell(program + "/findrun.sh", program), 0);
    EXPECT_EQ(readFile(program + "/cmdout.dat"), "300 \n");
    EXPECT_EQ(readFile(program + "/cmdfail.dat"), "4\n5\n");
    // Frames 1 and 6 whole, frame 4's Dravel alone, frame 5's Dravel and Sirrex.
    EXPECT_EQ(calls(log).size(), 7u);
    EXPECT_FALSE(QFile::exists(program + "/cmdout.dat.tmp"));
    EXPECT_TRUE(QDir(acquisition + "/img").entryList({"*.pgm"}, QDir::Files).isEmpty());
}
