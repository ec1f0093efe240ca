#include "app/acquisition/run_rules.h"

#include "app/results/trail_metrics.h"
#include "formats/numbers.h"

#include <cmath>

namespace acquisition {

namespace {
QString numberText(double value) {
    return QString::fromStdString(formats::formatNumber(value));
}
} // namespace

QString checkRunLength(double lapseMinutes) {
    if (!(lapseMinutes <= 1440.0))
        return QString::fromLatin1(kLapseTooLong);
    if (!(lapseMinutes > 0.0))
        return QString::fromLatin1(kLapseZero);
    return {};
}

QString checkRunGeometry(int x1, int x2, int y1, int y2, double plateSize) {
    if (x2 - x1 <= 0 || y2 - y1 <= 0 || !(plateSize > 0.0))
        return QString::fromLatin1(kEmptyRectangle);
    return {};
}

double runPlateSize(double typed) {
    return (typed < 10.0 || typed > 60.0 || std::isnan(typed)) ? 35.0 : typed;
}

RunEnd decideRunEnd(double elapsedSeconds, double limitSeconds, bool onlyImages,
                    std::int64_t lastTimeMark) {
    if (elapsedSeconds < limitSeconds)
        return RunEnd::Running;
    if (onlyImages)
        return elapsedSeconds < 1.1 * limitSeconds ? RunEnd::Waiting : RunEnd::End;
    if (static_cast<double>(lastTimeMark) >= limitSeconds)
        return RunEnd::End;
    if (elapsedSeconds >= 1.1 * limitSeconds + kEndGraceSeconds)
        return RunEnd::Overdue;
    return RunEnd::Waiting;
}

QString elapsedText(std::int64_t elapsedSeconds) {
    if (elapsedSeconds < 0)
        elapsedSeconds = 0;
    const std::int64_t hours = elapsedSeconds / 3600;
    const std::int64_t minutes = (elapsedSeconds / 60) % 60;
    const std::int64_t seconds = elapsedSeconds % 60;
    return QStringLiteral("%1:%2.%3")
        .arg(hours, 2, 10, QLatin1Char('0'))
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(seconds, 2, 10, QLatin1Char('0'));
}

PeriodCheck checkCyclePeriod(double period, bool onlyImagesTicked) {
    PeriodCheck check;
    if (std::isnan(period) || period < 6.0)
        period = 6.0;
    if (period > 1440.0)
        period = 1440.0;
    if (period >= 60.0 && !onlyImagesTicked)
        check.tickOnlyImages = true;
    check.text = numberText(std::trunc(period));
    return check;
}

QString checkCycleCount(double count) {
    if (std::isnan(count) || count < 1.0)
        count = 1.0;
    if (count > 9999.0)
        count = 9999.0;
    return numberText(std::trunc(count));
}

std::optional<std::int32_t> lapseRoundingOffer(double lapse) {
    if (std::isnan(lapse) || lapse > 5.0 * 32767.0 || lapse < -5.0 * 32767.0)
        return std::nullopt;
    std::int64_t steps = formats::roundHalfEven(lapse / 5.0);
    if (steps < 1)
        steps = 1;
    if (lapse / 5.0 == static_cast<double>(steps))
        return std::nullopt;
    return static_cast<std::int32_t>(steps * 5);
}

QString lapseRoundingQuestion(std::int32_t minutes) {
    return QStringLiteral("Round Acquisition lapse to ") + QString::number(minutes) +
           QStringLiteral(" min?");
}

QString runDurationText(double period, double cycles, double lapse) {
    return QStringLiteral("Duration = ") + numberText(period * (cycles - 1.0) + lapse) +
           QStringLiteral(" m");
}

int cycleCountOf(double typed) {
    const auto value = formats::toInt16(typed);
    return value ? *value : 0;
}

CycleDecision decideCycle(bool cycleMode, int cycleNumber, int cycles,
                          const QDateTime& cycleStartTime, const QDateTime& now, double period,
                          bool runOn) {
    CycleDecision decision;
    decision.cycleNumber = cycleNumber;
    if (!cycleMode || cycleNumber >= cycles) {
        decision.action = CycleDecision::Action::EndSeries;
        decision.caption = QStringLiteral("end of cycles");
        return decision;
    }
    const double dueMs = static_cast<double>(cycleNumber) * period * 60000.0;
    const double remainingMs = dueMs - static_cast<double>(cycleStartTime.msecsTo(now));
    if (remainingMs > 0.0) {
        decision.action = CycleDecision::Action::Countdown;
        if (!runOn)
            decision.caption =
                QStringLiteral("Next Cycle in ") +
                QString::fromStdString(results::formatFixed(remainingMs / 60000.0, 1)) +
                QStringLiteral("min.");
        return decision;
    }
    if (runOn) {
        // The last run is still on: the cycle number is raised only when the cycle starts.
        decision.action = CycleDecision::Action::Wait;
        return decision;
    }
    decision.action = CycleDecision::Action::StartNext;
    decision.cycleNumber = cycleNumber + 1;
    decision.caption = QStringLiteral("starting cycle #") + QString::number(decision.cycleNumber);
    return decision;
}

} // namespace acquisition
