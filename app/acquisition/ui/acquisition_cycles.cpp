#include "app/acquisition/ui/acquisition_run_controller.h"

#include "app/acquisition/run_files.h"
#include "app/acquisition/run_rules.h"
#include "app/widgets/box_values.h"
#include "app/widgets/handler_guard.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <initializer_list>

namespace ui {

// The cycle series of the acquisition page: "cycle" with its period and count, the schedule
// that starts each run of a series, and the network joined before each run.

void AcquisitionRunController::CycleSchedulerTick() {
    HandlerGuard guard(m_life, "CycleSchedulerTick");
    if (!guard.entered() || !guard.ownerAlive())
        return;
    if (!m_cycle.cycleMode && m_running)
        return; // a single run is on: no series to schedule or to end
    const int cycles = acquisition::cycleCountOf(numberIn(m_c.txt_ncycle));
    const acquisition::CycleDecision decision = acquisition::decideCycle(
        m_cycle.cycleMode, m_cycle.cycleNumber, cycles, m_cycle.cycleStartTime,
        m_services.clock->now(), numberIn(m_c.txt_mcycle), m_running);
    switch (decision.action) {
    case acquisition::CycleDecision::Action::EndSeries:
        m_c.lbl_stimated->setText(decision.caption);
        m_cycle.cycleMode = false;
        m_c.Timer_cycle->stop();
        unlockCycleControls(true);
        m_c.cmdPlay->setText(QStringLiteral("Start"));
        return;
    case acquisition::CycleDecision::Action::Countdown:
        if (!decision.caption.isEmpty())
            m_c.lbl_stimated->setText(decision.caption);
        return;
    case acquisition::CycleDecision::Action::Wait:
        return;
    case acquisition::CycleDecision::Action::StartNext:
        break;
    }
    m_cycle.cycleNumber = decision.cycleNumber;
    m_c.lbl_stimated->setText(decision.caption);
    if (m_autoconnectOn) {
        const QString network = m_autoconnectNetwork;
        m_c.lbl_stimated->setText(QStringLiteral("Setting Wifi ") + network);
        m_services.launcher->joinNetwork(network);
        m_services.clock->pause(1000);
        if (!guard.ownerAlive())
            return;
        m_c.lbl_stimated->setText(QStringLiteral("WiFi=") + network);
        QCoreApplication::processEvents();
        m_services.clock->pause(1000);
        if (!guard.ownerAlive())
            return;
    }
    m_c.lbl_stimated->setText(decision.caption);
    m_hooks.connectDevice(2);
    if (!guard.ownerAlive())
        return;
    const QString name =
        acquisition::cycleRunName(m_cycle.baseName, m_cycle.cycleNumber, numberIn(m_c.txt_mcycle));
    m_services.clock->pause(500);
    if (!guard.ownerAlive() || !m_cycle.cycleMode)
        return;
    StartAcquisitionRun(name);
    if (!guard.ownerAlive())
        return;
    m_c.Timer_cycle->stop();
}

void AcquisitionRunController::showDuration() {
    m_c.lbl_stimated->setText(acquisition::runDurationText(
        numberIn(m_c.txt_mcycle), numberIn(m_c.txt_ncycle), numberIn(m_c.txtlapse)));
}

void AcquisitionRunController::ToggleCycleMode() {
    if (!m_life.alive())
        return;
    const bool on = m_c.chk_cycle->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{
             m_c.txt_ncycle, m_c.lbl_everycycle, m_c.txt_mcycle, m_c.lbl_mcycle, m_c.shape_cycle})
        w->setVisible(on);
    if (on) {
        showDuration();
        m_c.lbl_stimated->show();
        m_c.chk_cycle->setText(QStringLiteral("Cycle time :"));
        m_c.chk_onlyimg->show();
    } else {
        m_c.lbl_stimated->setText(QString());
        m_c.lbl_stimated->hide();
        m_c.Timer_cycle->stop();
        m_cycle.cycleMode = false;
        m_cycle.cycleNumber = 0;
        m_c.chk_cycle->setText(QStringLiteral("Cycle"));
        m_c.chk_onlyimg->hide();
        m_c.chk_onlyimg->setChecked(false);
    }
}

void AcquisitionRunController::CheckCyclePeriod() {
    HandlerGuard guard(m_life);
    if (!guard.ownerAlive())
        return;
    const acquisition::PeriodCheck check =
        acquisition::checkCyclePeriod(numberIn(m_c.txt_mcycle), m_c.chk_onlyimg->isChecked());
    m_c.txt_mcycle->setText(check.text);
    if (check.tickOnlyImages) {
        m_c.chk_onlyimg->setChecked(true);
        m_services.dialogs->message(QString::fromLatin1(acquisition::kLongCycleAdvice));
        if (!guard.ownerAlive())
            return;
    }
    showDuration();
}

void AcquisitionRunController::CheckCycleCount() {
    if (!m_life.alive())
        return;
    m_c.txt_ncycle->setText(acquisition::checkCycleCount(numberIn(m_c.txt_ncycle)));
    showDuration();
}

void AcquisitionRunController::CheckAcquisitionLapse() {
    HandlerGuard guard(m_life);
    if (!guard.ownerAlive())
        return;
    if (m_lapseChanged) {
        const auto offer = acquisition::lapseRoundingOffer(numberIn(m_c.txtlapse));
        if (offer) {
            const bool yes =
                m_services.dialogs->question(acquisition::lapseRoundingQuestion(*offer));
            if (!guard.ownerAlive())
                return;
            if (yes)
                m_c.txtlapse->setText(QString::number(*offer));
            m_lapseChanged = false;
        }
    }
    showDuration();
}

void AcquisitionRunController::AskAutoconnectNetwork() {
    HandlerGuard guard(m_life);
    if (!guard.ownerAlive())
        return;
    QAction* item = m_c.mn_autoconnect;
    if (!m_autoconnectChecked) {
        const QString answer = m_services.dialogs->input(QStringLiteral("Network to connect:"),
                                                         QStringLiteral("Autoconnect before cycle"),
                                                         m_autoconnectNetwork);
        if (!guard.ownerAlive())
            return;
        m_autoconnectChecked = !answer.isEmpty();
        if (m_autoconnectChecked) {
            setAutoconnect(true, answer);
            item->setText(QStringLiteral("Autoconnect ") + answer);
        }
    } else {
        m_autoconnectChecked = false;
    }
    if (!m_autoconnectChecked) {
        setAutoconnect(false, m_autoconnectNetwork);
        item->setText(QStringLiteral("Autoconnect Network"));
    }
    item->setCheckable(true);
    item->setChecked(m_autoconnectChecked);
}

} // namespace ui
