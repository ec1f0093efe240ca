#include "app/device/training_boxes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace device;
using Source = TrainingLoad::Source;

namespace {
void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}
} // namespace

TEST(TrainingBoxes, NamesAndTextsFollowTheKeyOrder) {
    EXPECT_STREQ(trainingBoxNames()[0], "txt_x1");
    EXPECT_STREQ(trainingBoxNames()[4], "txt_npix");
    EXPECT_STREQ(trainingBoxNames()[14], "txt_umbral_analisis");
    EXPECT_STREQ(trainingBoxNames()[16], "txt_maxtravel");
    EXPECT_STREQ(trainingBoxNames()[17], "txt_psize");

    const QStringList texts = textsFromTraining(formats::TrainingFile::defaults());
    ASSERT_EQ(texts.size(), 18);
    EXPECT_EQ(texts[8], QStringLiteral("6.8"));
    EXPECT_EQ(texts[16], QStringLiteral("31.25"));
    EXPECT_EQ(trainingFromTexts(texts).text(), formats::TrainingFile::defaults().text());
    // Too few texts leave the rest empty rather than failing.
    EXPECT_EQ(trainingFromTexts({QStringLiteral("1")}).lines()[17], "mm ");
}

TEST(TrainingBoxes, AcquisitionWindowUsesDefaultsWhenTheFolderHasNoTraining) {
    QTemporaryDir program;
    QTemporaryDir project;
    writeFile(program.filePath(QStringLiteral("training.dat")), "xs 1\r\n");
    const TrainingLoad load = loadTrainingAcquisition(project.path());
    EXPECT_EQ(load.source, Source::Defaults);
    EXPECT_TRUE(load.assignments.empty());

    writeFile(project.filePath(QStringLiteral("training.dat")), "xs 12\r\ntl 6,8\r\n");
    const TrainingLoad fromFile = loadTrainingAcquisition(project.path());
    ASSERT_EQ(fromFile.source, Source::File);
    ASSERT_EQ(fromFile.assignments.size(), 2u);
    EXPECT_EQ(fromFile.assignments[1].index, 8u);
    EXPECT_EQ(fromFile.assignments[1].value, "6.8");
}

TEST(TrainingBoxes, ReanalysisWindowFallsBackToTheProgramFolder) {
    QTemporaryDir program;
    QTemporaryDir acquisition;
    TrainingLoad load = loadTrainingReanalysis(acquisition.path(), program.path());
    EXPECT_EQ(load.source, Source::Defaults);
    EXPECT_EQ(load.folder, program.path());

    writeFile(program.filePath(QStringLiteral("training.dat")), "xs 7\r\n");
    load = loadTrainingReanalysis(acquisition.path(), program.path());
    ASSERT_EQ(load.source, Source::File);
    EXPECT_EQ(load.folder, program.path());
    ASSERT_EQ(load.assignments.size(), 1u);
    EXPECT_EQ(load.assignments[0].value, "7");

    writeFile(acquisition.filePath(QStringLiteral("training.dat")), "xs 9\r\n");
    load = loadTrainingReanalysis(acquisition.path(), program.path());
    EXPECT_EQ(load.folder, acquisition.path());
    EXPECT_EQ(load.assignments[0].value, "9");

    // An empty file is a training that changes no box.
    writeFile(acquisition.filePath(QStringLiteral("training.dat")), "");
    load = loadTrainingReanalysis(acquisition.path(), program.path());
    EXPECT_EQ(load.source, Source::File);
    EXPECT_TRUE(load.assignments.empty());
}

TEST(TrainingBoxes, UnreadableTrainingIsAFailureNotDefaults) {
    QTemporaryDir program;
    QTemporaryDir folder;
    QDir(folder.path()).mkdir(QStringLiteral("training.dat"));
    const TrainingLoad load = loadTrainingAcquisition(folder.path());
    EXPECT_EQ(load.source, Source::Failed);
    EXPECT_FALSE(load.error.isEmpty());
}

TEST(TrainingBoxes, ValuesTheFinderWouldRefuseAreNamedByTheirBox) {
    formats::TrainingFile training = formats::TrainingFile::defaults();
    const auto options = [&training] {
        return QString::fromStdString(formats::trainingOptionsFromLines(training.lines()));
    };
    EXPECT_EQ(trainingRefusal(options()), "");
    training[4] = "abc"; // bs: what "Box Size = " holds
    EXPECT_EQ(trainingRefusal(options()),
              "The finder refuses the training: Box Size = abc (not a decimal number)");
    training[4] = "35";
    training[0] = "x1";  // xs
    training[17] = "zz"; // mm: not a finder option, so never refused
    training[8] = std::string("5"); // tl: too short to be an option, the finder's default is used
    EXPECT_EQ(trainingRefusal(options()),
              "The finder refuses the training: xs = x1 (not a 32-bit whole number)");
    training[0] = "335";
    training[4] = "70";
    EXPECT_EQ(trainingRefusal(options()),
              "The finder refuses the training: Box Size = 70 (box size must be 4 to 60)");
    // Numbers beyond the range of a double are refused as the finder refuses them; one too
    // small for it is a zero.
    QStringList texts = textsFromTraining(formats::TrainingFile::defaults());
    texts[5] = "-1e400";
    texts[8] = "1e309";
    texts[13] = "11e994";
    texts[16] = "1e-400";
    EXPECT_EQ(trainingBoxesRefusal(texts),
              "The finder refuses the training: pl = -1e400 (not a decimal number), tl = 1e309 "
              "(not a decimal number), lt = 11e994 (not a decimal number)");
    EXPECT_EQ(trainingRefusal(" -tl1e309 -mt1e-400"),
              "The finder refuses the training: tl = 1e309 (not a decimal number)");
}

TEST(TrainingBoxes, BoxesTheFinderWouldReadAsAnotherNumberAreNamedByTheirCaption) {
    QStringList texts = textsFromTraining(formats::TrainingFile::defaults());
    EXPECT_EQ(trainingBoxesRefusal(texts), "");
    // Read as shown: a decimal comma, blanks inside, an exponent where decimals are taken, a
    // box size the finder truncates, a lone digit that is the finder's own default (left out of
    // the options), an empty plate size (not a finder option).
    texts[8] = "6,8";
    texts[2] = "2 1 5";
    texts[16] = "3.125e1";
    texts[4] = "20.7";
    texts[13] = "5";
    texts[17] = "";
    EXPECT_EQ(trainingBoxesRefusal(texts),
              "The finder refuses the training: lt = 5 (the finder reads 20)");
    texts[13] = "20";
    texts[4] = "4";
    EXPECT_EQ(trainingBoxesRefusal(texts),
              "The finder refuses the training: Box Size = 4 (the finder reads 35)");
    texts[4] = "20.7";
    EXPECT_EQ(trainingBoxesRefusal(texts), "");
    // An exponent where whole numbers are taken, trailing characters, an empty box.
    texts[0] = "1e9";
    texts[3] = "";
    texts[5] = "12x";
    texts[6] = "7,5";
    texts[9] = "9.5%";
    EXPECT_EQ(trainingBoxesRefusal(texts),
              "The finder refuses the training: xs = 1e9 (the finder reads 1), ye is empty, "
              "pl = 12x (the finder reads 12), th = 9.5% (the finder reads 9.5)");
    // A decimal in a whole-number box is taken, its whole part read (the area controls write
    // halves); a decimal with an exponent or trailing characters is not.
    texts = textsFromTraining(formats::TrainingFile::defaults());
    texts[0] = "339.5";
    texts[1] = "1176,5";
    texts[2] = "-0.25";
    texts[3] = "1035.0";
    EXPECT_EQ(trainingBoxesRefusal(texts), "");
    EXPECT_EQ(trainingRefusal(" -xs339.5 -xe1176.5"), "");
    texts[0] = "339.5e1";
    texts[1] = "1176.5x";
    texts[2] = "215.";
    texts[4] = "abc";
    EXPECT_EQ(trainingBoxesRefusal(texts),
              "The finder refuses the training: xs = 339.5e1 (the finder reads 339), xe = 1176.5x "
              "(the finder reads 1176), ys = 215. (the finder reads 215), Box Size = abc (not a "
              "decimal number)");
    // The option string of a file is read the same way.
    EXPECT_EQ(trainingRefusal(" -xs1e9 -pl12x -mm35x"),
              "The finder refuses the training: xs = 1e9 (the finder reads 1), pl = 12x (the "
              "finder reads 12)");
}
