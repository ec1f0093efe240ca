#include "app/microbeam/microbeam_claim.h"

namespace microbeam {

namespace {
// The program-wide holder; the windows and their engines all live on the window thread.
MicrobeamClaim::Holder g_holder = MicrobeamClaim::Holder::None;
} // namespace

MicrobeamClaim::MicrobeamClaim(MicrobeamClaim&& other) noexcept : m_held(other.m_held) {
    other.m_held = false;
}

MicrobeamClaim& MicrobeamClaim::operator=(MicrobeamClaim&& other) noexcept {
    if (this != &other) {
        release();
        m_held = other.m_held;
        other.m_held = false;
    }
    return *this;
}

MicrobeamClaim MicrobeamClaim::take(Holder holder) {
    MicrobeamClaim claim;
    if (g_holder == Holder::None && holder != Holder::None) {
        g_holder = holder;
        claim.m_held = true;
    }
    return claim;
}

MicrobeamClaim::Holder MicrobeamClaim::current() {
    return g_holder;
}

QString MicrobeamClaim::refusalText() {
    const QString what = g_holder == Holder::FrameCheck ? QStringLiteral("A frame check")
                                                        : QStringLiteral("A Microbeam run");
    return what + QStringLiteral(" is in progress; stop it before starting another Microbeam run "
                                 "or frame check.");
}

void MicrobeamClaim::release() {
    if (m_held) {
        g_holder = Holder::None;
        m_held = false;
    }
}

} // namespace microbeam
