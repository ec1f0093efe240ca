#include "app/microbeam/frame_check.h"

namespace microbeam {

std::optional<std::int16_t> frameNumberOfName(const QString&) {
    return std::nullopt;
}
QString framePrefixOfName(const QString&) {
    return {};
}
QStringList listFrameNames(const QString&) {
    return {};
}
std::optional<std::array<SamplePoint, 5>> sampleBoxCentres(const ArenaLimits&) {
    return std::nullopt;
}
std::int16_t meanGrayOfBox(std::int16_t, std::int16_t, const std::function<int(int, int)>&) {
    return 0;
}
bool isBadFrame(const BoxValues&, const std::array<double, 5>&) {
    return false;
}
std::string frameCheckHeader(const QString&) {
    return {};
}
std::string frameCheckRow(const QString&, std::int32_t, const BoxValues&, bool) {
    return {};
}
bool markBadFrame(const QString&, platform::Clock&) {
    return false;
}

FrameCheck::FrameCheck(platform::Services services) : m_services(std::move(services)) {}
FrameCheck::~FrameCheck() = default;
FrameCheck::BeginResult FrameCheck::begin(const QString&, const ArenaLimits&) {
    return {};
}
FrameCheck::StepResult FrameCheck::step(const GraySampler&) {
    return {};
}
bool FrameCheck::samplingDone() const {
    return true;
}
FrameCheck::FinishResult FrameCheck::finish() {
    return {};
}
std::vector<RenameOutcome> FrameCheck::renameBadFrames() {
    return {};
}
void FrameCheck::stop() {
    m_claim.release();
}
void FrameCheck::end() {
    m_claim.release();
}
QString FrameCheck::frameCheckPath() const {
    return {};
}

} // namespace microbeam
