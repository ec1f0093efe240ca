#include "app/microbeam/frame_check.h"

#include "formats/frame_names.h"
#include "formats/numbers.h"
#include "formats/save_file.h"
#include "formats/text_lines.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <limits>
#include <string_view>

namespace microbeam {

namespace {

constexpr int kBoxHalf = 50;       // a box reaches 50 points each side of its centre
constexpr int kBoxPoints = 10201;  // 101 x 101
constexpr double kBadShare = 0.06; // of a box's mean
constexpr int kRenamePauseMs = 500;

std::optional<std::int16_t> fitInt16(double value) {
    return formats::toInt16(value);
}

QString framePathOf(const QString& folder, const QString& prefix, std::int32_t n) {
    return folder + QLatin1Char('/') + prefix + QString::number(n) + QStringLiteral(".jpg");
}

// The "f" that comes before the frame number (formats::frameLetterPosition). A name not of that
// form falls back to its first "f".
qsizetype frameLetterOf(const QString& name) {
    const qsizetype stem = name.size() - 4;
    if (stem >= 1) {
        const std::size_t f = formats::frameLetterPosition(
            std::u16string_view(QStringView(name).utf16(), static_cast<std::size_t>(stem)));
        if (f != std::u16string_view::npos)
            return static_cast<qsizetype>(f);
    }
    return name.indexOf(QLatin1Char('f'));
}

} // namespace

std::optional<std::int16_t> frameNumberOfName(const QString& name) {
    const qsizetype f = frameLetterOf(name);
    const qsizetype end = name.size() - 4;
    if (f < 0 || f + 1 > end)
        return std::nullopt;
    const QString digits = name.mid(f + 1, end - (f + 1));
    return formats::toInt16(formats::leadingNumber(digits.toStdString()));
}

QString framePrefixOfName(const QString& name) {
    const qsizetype f = frameLetterOf(name);
    return f < 0 ? QString() : name.left(f + 1);
}

QStringList listFrameNames(const QString& folder) {
    if (folder.isEmpty())
        return {};
    return QDir(folder).entryList({QStringLiteral("*f*.jpg")}, QDir::Files | QDir::CaseSensitive,
                                  QDir::Name);
}

std::optional<std::array<SamplePoint, 5>> sampleBoxCentres(const ArenaLimits& l) {
    const auto xs = fitInt16(static_cast<double>(l.x1) + l.x2);
    const auto ys = fitInt16(static_cast<double>(l.y1) + l.y2);
    if (!xs || !ys)
        return std::nullopt;
    const double x1 = l.x1;
    const double sx = *xs;
    const double sy = *ys;
    const std::array<std::optional<std::int16_t>, 10> c{fitInt16(sx / 2.0),
                                                        fitInt16(l.y1 - 50.0), // box 1
                                                        fitInt16(sx / 2.0),
                                                        fitInt16(l.y2 + 60.0), // box 2
                                                        fitInt16(x1 - 50.0),
                                                        fitInt16(sy / 2.0), // box 3
                                                        fitInt16(sx / 20.0 + x1),
                                                        fitInt16(sy / 4.0), // box 4
                                                        fitInt16(sx / 20.0 + x1 - 50.0),
                                                        fitInt16(3.0 * (sy / 4.0))}; // box 5
    std::array<SamplePoint, 5> centres{};
    for (int k = 0; k < 5; ++k) {
        if (!c[2 * k] || !c[2 * k + 1])
            return std::nullopt;
        centres[k] = {*c[2 * k], *c[2 * k + 1]};
    }
    return centres;
}

std::int16_t meanGrayOfBox(std::int16_t x, std::int16_t y,
                           const std::function<int(int x, int y)>& grayAtPoint) {
    std::int64_t sum = 0;
    for (int px = x - kBoxHalf; px <= x + kBoxHalf; ++px)
        for (int py = y - kBoxHalf; py <= y + kBoxHalf; ++py)
            sum += grayAtPoint(px, py);
    const auto mean = formats::toInt16(static_cast<double>(sum) / kBoxPoints);
    return mean.value_or(0);
}

bool isBadFrame(const BoxValues& values, const std::array<double, 5>& means) {
    for (int k = 0; k < 5; ++k) {
        if (std::abs(static_cast<double>(values[k]) - means[k]) > kBadShare * means[k])
            return true;
    }
    return false;
}

std::string frameCheckHeader(const QString& folderAsTyped) {
    return folderAsTyped.toStdString() + "\r\nFile v1 v2 v3 v4\r\n";
}

std::string frameCheckRow(const QString& framePrefix, std::int32_t frame, const BoxValues& values,
                          bool bad) {
    std::string row = framePrefix.toStdString() + std::to_string(frame) + (bad ? " 0 " : " 1 ");
    for (int k = 0; k < 5; ++k) {
        if (k > 0)
            row += ' ';
        row += std::to_string(values[k]);
    }
    if (bad)
        row += " *";
    row += "\r\n";
    return row;
}

bool markBadFrame(const QString& framePath, platform::Clock& clock) {
    if (!framePath.endsWith(QStringLiteral(".jpg")))
        return false;
    const QString marked = framePath.left(framePath.size() - 4) + QStringLiteral("m.jpg");
    const QFileInfo original(framePath);
    if (!original.isFile())
        return false;
    const qint64 size = original.size();
    // A file already under the marked name (a frame marked before) is another stored picture:
    // the copy never replaces it, and the frame then keeps its name.
    if (!formats::copyFileNoReplace(framePath.toStdString(), marked.toStdString()).empty())
        return false;
    clock.pause(kRenamePauseMs);
    const QFileInfo copy(marked);
    if (!copy.isFile() || copy.size() != size) {
        if (copy.exists())
            QFile::remove(marked);
        return false;
    }
    if (!QFile::remove(framePath)) {
        // Both names would stand for the frame; keep it unmarked as it was.
        QFile::remove(marked);
        return false;
    }
    return true;
}

FrameCheck::FrameCheck(platform::Services services) : m_services(std::move(services)) {}

FrameCheck::~FrameCheck() = default;

QString FrameCheck::frameCheckPath() const {
    return m_services.programFolder + QLatin1Char('/') + QLatin1String(kFrameCheckFileName);
}

FrameCheck::BeginResult FrameCheck::begin(const QString& folder, const ArenaLimits& limits) {
    BeginResult result;
    m_claim.release();
    m_claim = MicrobeamClaim::take(MicrobeamClaim::Holder::FrameCheck);
    if (!m_claim.held()) {
        result.message = MicrobeamClaim::refusalText();
        return result;
    }
    ++m_generation;
    m_sampling = false;
    m_folder = folder;
    m_prefix.clear();
    m_highest = 0;
    m_next = 0;
    m_values.clear();
    m_sampled.clear();
    m_unshown.clear();
    m_bad.clear();

    const std::string path = frameCheckPath().toStdString();
    const QStringList names = listFrameNames(folder);
    if (names.isEmpty()) {
        // The frame-check file is only touched: created empty when missing.
        formats::appendToFile(path, "", true);
        m_claim.release();
        result.message = QStringLiteral("File 0 not found");
        return result;
    }
    const auto centres = sampleBoxCentres(limits);
    if (!centres) {
        m_claim.release();
        result.message =
            QStringLiteral("The analysis limits are out of range; nothing was checked.");
        return result;
    }
    m_centres = *centres;
    const std::string error = formats::saveFileAtomic(path, frameCheckHeader(folder));
    if (!error.empty()) {
        m_claim.release();
        result.message = QString::fromStdString(error);
        return result;
    }
    m_prefix = framePrefixOfName(names.first());
    for (const QString& name : names) {
        const auto n = frameNumberOfName(name);
        if (n && *n > m_highest)
            m_highest = *n;
    }
    m_values.assign(static_cast<std::size_t>(m_highest) + 1, BoxValues{});
    m_sampled.assign(static_cast<std::size_t>(m_highest) + 1, false);
    m_sampling = true;
    result.ok = true;
    result.framePrefix = m_prefix;
    result.highest = m_highest;
    return result;
}

bool FrameCheck::samplingDone() const {
    return m_highest <= 0 || m_next > m_highest || !m_claim.held();
}

FrameCheck::StepResult FrameCheck::step(const GraySampler& sampler) {
    StepResult result;
    if (samplingDone())
        return result;
    const std::int32_t i = m_next++;
    result.frame = i;
    result.framePath = framePathOf(m_folder, m_prefix, i);
    if (!QFileInfo(result.framePath).isFile()) {
        result.missing = true;
        return result;
    }
    if (!sampler.showFrame || !sampler.meanGrayAt || !sampler.showFrame(result.framePath)) {
        result.missing = true;
        m_unshown.push_back(i);
        return result;
    }
    for (int k = 0; k < 5; ++k)
        result.values[k] = sampler.meanGrayAt(m_centres[k].x, m_centres[k].y);
    m_values[i] = result.values;
    m_sampled[i] = true;
    result.sampled = true;
    return result;
}

FrameCheck::FinishResult FrameCheck::finish() {
    FinishResult result;
    m_bad.clear();
    if (!m_sampling)
        return result;
    m_sampling = false;
    // A black frame (box 1 reads 0) has no picture to compare: it is bad by itself and stays
    // out of the means, so that it cannot make the frames around it look bad.
    const auto black = [](const BoxValues& v) { return v[0] <= 0; };
    std::array<double, 5> sums{};
    std::int32_t usable = 0;
    for (std::size_t i = 0; i < m_values.size(); ++i) {
        if (!m_sampled[i])
            continue;
        ++result.sampled;
        if (black(m_values[i]))
            continue;
        ++usable;
        for (int k = 0; k < 5; ++k)
            sums[k] += m_values[i][k];
    }
    std::array<double, 5> means{};
    if (usable > 0)
        for (int k = 0; k < 5; ++k)
            means[k] = sums[k] / usable;
    // A frame that exists but cannot be shown is bad as well, once some frame of the folder
    // could be shown; when none could, the fault lies with the setting (frame size), not with
    // the frames, and nothing is listed.
    std::vector<bool> unshown(m_values.size(), false);
    if (result.sampled > 0)
        for (std::int32_t n : m_unshown)
            unshown[static_cast<std::size_t>(n)] = true;
    std::string content = frameCheckHeader(m_folder);
    for (std::size_t i = 0; i < m_values.size(); ++i) {
        bool bad = unshown[i];
        if (m_sampled[i]) {
            bad = black(m_values[i]) || isBadFrame(m_values[i], means);
            content += frameCheckRow(m_prefix, static_cast<std::int32_t>(i), m_values[i], bad);
        }
        if (bad) {
            m_bad.push_back(static_cast<std::int32_t>(i));
            if (!result.badList.isEmpty())
                result.badList += QLatin1Char(' ');
            result.badList += QString::number(i);
        }
    }
    if (result.sampled == 0)
        result.note = QStringLiteral("No frame of ") + m_folder + QStringLiteral(" was sampled; ") +
                      QLatin1String(kFrameCheckFileName) +
                      QStringLiteral(" holds only its header.");
    if (!m_unshown.empty()) {
        QString list;
        for (std::int32_t n : m_unshown)
            list += (list.isEmpty() ? QString() : QStringLiteral(" ")) + QString::number(n);
        const QString text =
            QStringLiteral("Frames that could not be shown were left out: ") + list;
        result.note = result.note.isEmpty() ? text : result.note + QLatin1Char('\n') + text;
    }
    const std::string error = formats::saveFileAtomic(frameCheckPath().toStdString(), content);
    if (!error.empty()) {
        result.error = QString::fromStdString(error);
        m_bad.clear();
        result.badList.clear();
        return result;
    }
    result.badFrames = m_bad;
    if (!m_bad.empty())
        result.question =
            QStringLiteral("Reading Error [") + result.badList + QStringLiteral("]. RENAME?");
    return result;
}

std::vector<RenameOutcome> FrameCheck::renameBadFrames(const std::function<bool()>& goOn) {
    std::vector<RenameOutcome> outcomes;
    // Each message box lets events run, and a close may stop (or end) the check meanwhile: the
    // walk keeps its own copies and touches nothing of the check after `goOn` says no.
    const std::vector<std::int32_t> bad = m_bad;
    const QString folder = m_folder;
    const QString prefix = m_prefix;
    const platform::Services services = m_services;
    const std::uint64_t generation = m_generation;
    for (std::int32_t n : bad) {
        RenameOutcome outcome;
        outcome.frame = n;
        outcome.renamed = markBadFrame(framePathOf(folder, prefix, n), *services.clock);
        outcome.message = (outcome.renamed ? QStringLiteral("OK Renaming file #")
                                           : QStringLiteral("error renaming File #")) +
                          QString::number(n);
        services.dialogs->message(outcome.message);
        outcomes.push_back(outcome);
        if (goOn && !goOn())
            break;
        if (m_generation != generation || !m_claim.held())
            break; // stopped: nothing more is renamed
    }
    return outcomes;
}

void FrameCheck::stop() {
    ++m_generation;
    m_sampling = false;
    m_next = m_highest + 1;
    m_bad.clear();
    m_claim.release();
}

void FrameCheck::end() {
    m_claim.release();
}

} // namespace microbeam
