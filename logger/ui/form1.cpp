#include "logger/ui/form1.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace logger {

namespace {

QLabel* addLabel(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    return label;
}

} // namespace

Form1::Form1(Logger& logger, platform::Clock& clock, std::atomic<bool>* stopFlag, QWidget* parent)
    : QWidget(parent), m_logger(logger), m_clock(clock), m_stopFlag(stopFlag) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Quellmark Tovik - DATA LOGGER -"));
    setFixedSize(420, 230);

    auto* shape = new QFrame(this);
    shape->setObjectName(QStringLiteral("Shape1"));
    shape->setFrameShape(QFrame::Box);
    shape->setGeometry(8, 8, 404, 150);

    auto* head =
        addLabel(this, "lbl_head", QStringLiteral("Automated Data Logger"), QRect(16, 14, 388, 24));
    QFont headFont = head->font();
    headFont.setBold(true);
    headFont.setPointSize(headFont.pointSize() + 3);
    head->setFont(headFont);
    head->setAlignment(Qt::AlignCenter);

    addLabel(this, "lbl_folder", m_logger.startFolder(), QRect(16, 44, 388, 20));
    addLabel(this, "lbl_ip", QStringLiteral("IP ") + m_logger.deviceAddress(),
             QRect(16, 68, 388, 20));
    addLabel(this, "Label3", QStringLiteral("Frame:"), QRect(16, 96, 60, 24));
    m_frameLabel = addLabel(this, "lbl_nframe", QStringLiteral("0"), QRect(80, 96, 120, 24));
    QFont frameFont = m_frameLabel->font();
    frameFont.setBold(true);
    m_frameLabel->setFont(frameFont);
    auto* warning = addLabel(
        this, "Label2", QStringLiteral("** Ending this application will Stop data acquisition ***"),
        QRect(16, 126, 388, 24));
    warning->setAlignment(Qt::AlignCenter);

    auto* finish = new QPushButton(QStringLiteral("STOP and EXIT"), this);
    finish->setObjectName(QStringLiteral("cmd_finich"));
    finish->setGeometry(130, 170, 160, 44);
    connect(finish, &QPushButton::clicked, this, &Form1::requestStop);

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(100);
    connect(m_timer, &QTimer::timeout, this, &Form1::onTimer1);
    m_timer->start();
}

void Form1::requestStop() {
    if (m_stopFlag)
        m_stopFlag->store(true);
    m_stopping = true;
    m_timer->stop();
    QCoreApplication::quit();
}

void Form1::closeEvent(QCloseEvent* event) {
    requestStop();
    event->accept();
}

void Form1::onTimer1() {
    if (m_inTick || m_stopping)
        return;
    m_inTick = true;
    m_timer->stop();
    const TickOutcome outcome = m_logger.LoggerTick();
    if (!m_stopping && outcome.action != TickAction::Nothing) {
        m_frameLabel->setText(QString::number(outcome.elapsed));
        m_frameLabel->repaint();
    }
    if (!m_stopping && outcome.action == TickAction::Final) {
        m_finished = true;
        m_clock.pause(1000);
        QCoreApplication::quit();
    } else if (!m_stopping) {
        m_timer->start();
    }
    m_inTick = false;
}

} // namespace logger
