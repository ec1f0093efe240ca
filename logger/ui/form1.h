#pragma once
// The logger's window: what it captures, the frame counter and "STOP and EXIT". Its timer
// `Timer1` drives the capture loop every 100 ms.

#include "logger/logger_core.h"

#include <QWidget>

#include <atomic>

class QLabel;
class QPushButton;
class QTimer;

namespace logger {

class Form1 : public QWidget {
    Q_OBJECT
public:
    // The logger must have started; stopFlag, when given, is raised on a stop so that a fetch
    // in progress is abandoned.
    Form1(Logger& logger, platform::Clock& clock, std::atomic<bool>* stopFlag = nullptr,
          QWidget* parent = nullptr);

    // Ends the logger: abandons a fetch in progress, stops the timer and quits the event loop.
    void requestStop();
    // True after the final frame of the run.
    bool finished() const { return m_finished; }
    bool stopped() const { return m_stopping; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void onTimer1();

    Logger& m_logger;
    platform::Clock& m_clock;
    std::atomic<bool>* m_stopFlag;
    QLabel* m_frameLabel = nullptr;
    QTimer* m_timer = nullptr;
    bool m_stopping = false;
    bool m_finished = false;
    bool m_inTick = false;
};

} // namespace logger
