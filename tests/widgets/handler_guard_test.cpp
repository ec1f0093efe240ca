#include "app/widgets/handler_guard.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using ui::HandlerGuard;
using ui::Lifetime;

TEST(HandlerGuard, AHandlerIsNotEnteredTwice) {
    Lifetime life;
    {
        HandlerGuard outer(life, "Tick");
        EXPECT_TRUE(outer.entered());
        EXPECT_TRUE(life.running("Tick"));
        HandlerGuard inner(life, "Tick");
        EXPECT_FALSE(inner.entered());
        HandlerGuard other(life, "Start");
        EXPECT_TRUE(other.entered());
    }
    EXPECT_FALSE(life.running("Tick"));
    HandlerGuard again(life, "Tick");
    EXPECT_TRUE(again.entered());
}

TEST(HandlerGuard, EndRenewalAndParentsTurnGuardsDead) {
    Lifetime window;
    Lifetime page = Lifetime::childOf(window);
    HandlerGuard before(page, "Start");
    page.renew();
    EXPECT_FALSE(before.alive());
    EXPECT_TRUE(before.ownerAlive());
    HandlerGuard after(page);
    EXPECT_TRUE(after.alive());
    window.end();
    EXPECT_FALSE(after.alive());
    EXPECT_FALSE(after.ownerAlive());
    EXPECT_FALSE(page.alive());
}

TEST(HandlerGuard, AGuardOutlivesItsOwner) {
    auto owner = std::make_unique<Lifetime>();
    auto guard = std::make_unique<HandlerGuard>(*owner, "Wait");
    owner->end();
    owner.reset(); // the window went while the handler waited
    EXPECT_FALSE(guard->alive());
    guard.reset(); // releasing the handler touches nothing of the owner
}

} // namespace
