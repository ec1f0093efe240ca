#pragma once
// Guards a handler that can wait (a pause, a message box, a pumped event loop) against running
// again inside itself.

namespace ui {

class TickGuard {
public:
    explicit TickGuard(bool& busy) : m_busy(busy), m_entered(!busy) {
        if (m_entered)
            m_busy = true;
    }
    ~TickGuard() {
        if (m_entered)
            m_busy = false;
    }
    TickGuard(const TickGuard&) = delete;
    TickGuard& operator=(const TickGuard&) = delete;

    // False when the handler is already running: the caller returns at once.
    bool entered() const { return m_entered; }

private:
    bool& m_busy;
    bool m_entered;
};

} // namespace ui
