#pragma once
// The one way a window or a page controller guards its handlers that wait (a pause, a message
// box, a device request, a pumped event loop).
//
// Every window and every page controller owns a Lifetime. A handler that can wait holds a
// HandlerGuard for its whole run:
//   HandlerGuard guard(m_life, "FocusModeTick");
//   if (!guard.entered()) return;            // the same handler is running further up the stack
//   ... wait ...
//   if (!guard.alive()) return;              // closed, destroyed or renewed meanwhile
// The guard keeps the shared state alive, so it can be asked and can release its handler even
// when its owner was destroyed while it waited.

#include <cstdint>
#include <memory>
#include <set>
#include <string_view>

namespace ui {

class Lifetime {
public:
    Lifetime() : m_state(std::make_shared<State>()) {}
    // A lifetime that also ends when `parent` ends (a page controller of a window).
    static Lifetime childOf(const Lifetime& parent) {
        Lifetime child;
        child.m_state->parent = parent.m_state;
        return child;
    }

    // The owner is going (unload or destruction): every guard taken from it turns dead.
    void end() const { m_state->ended = true; }
    // Cancels what the handlers that are waiting now were doing (a stop, a re-activation),
    // while the owner lives on: their guards turn dead, later guards are alive again.
    void renew() const { ++m_state->generation; }
    bool alive() const { return m_state->alive(); }
    // Whether the named handler is running now (further up the stack).
    bool running(std::string_view handler) const { return m_state->busy.count(handler) > 0; }

private:
    friend class HandlerGuard;
    struct State {
        bool ended = false;
        std::uint64_t generation = 0;
        std::shared_ptr<State> parent;
        std::set<std::string_view> busy;
        bool alive() const { return !ended && (!parent || parent->alive()); }
    };
    std::shared_ptr<State> m_state;
};

class HandlerGuard {
public:
    // `handler` names the guarded handler (a string literal); a guard without a name only
    // watches the lifetime.
    explicit HandlerGuard(const Lifetime& owner, std::string_view handler = {})
        : m_state(owner.m_state), m_generation(owner.m_state->generation), m_handler(handler) {
        if (!m_handler.empty())
            m_entered = m_state->busy.insert(m_handler).second;
    }
    ~HandlerGuard() {
        if (m_entered)
            m_state->busy.erase(m_handler);
    }
    HandlerGuard(const HandlerGuard&) = delete;
    HandlerGuard& operator=(const HandlerGuard&) = delete;

    // False when the same handler was already running: the caller returns at once.
    bool entered() const { return m_entered; }
    // False once the owner was closed or destroyed, or renewed, since the guard was taken.
    bool alive() const { return m_state->alive() && m_state->generation == m_generation; }
    // False once the owner was closed or destroyed (a renewal does not count).
    bool ownerAlive() const { return m_state->alive(); }

private:
    std::shared_ptr<Lifetime::State> m_state;
    std::uint64_t m_generation;
    std::string_view m_handler;
    bool m_entered = true;
};

} // namespace ui
