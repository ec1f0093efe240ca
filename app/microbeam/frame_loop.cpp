#include "app/microbeam/frame_loop.h"

namespace microbeam {

FrameSize reducedFrameSize(bool micro) {
    return micro ? FrameSize{160, 120} : FrameSize{200, 150};
}
QString dravelScale(bool micro) {
    return micro ? QStringLiteral("1/4") : QStringLiteral("1/8");
}
QStringList dravelArguments(bool micro, const QString& pgmPath, const QString& jpgPath) {
    return {QStringLiteral("-grayscale"),
            QStringLiteral("-scale"),
            dravelScale(micro),
            QStringLiteral("-outfile"),
            pgmPath,
            jpgPath};
}
std::int32_t boxNumber(const QString&) {
    return 0;
}
QString firstFrameZeroName(const QString&) {
    return {};
}
std::vector<MaskMark> maskMarks(const ActivityMask&, FrameSize) {
    return {};
}

FrameLoop::FrameLoop(platform::Services services) : m_services(std::move(services)) {}
FrameLoop::~FrameLoop() {
    stop();
}
FrameLoop::StartResult FrameLoop::start(const FrameLoopSetup&) {
    return {};
}
FrameLoop::TickResult FrameLoop::tick(const TickInput&) {
    return {};
}
void FrameLoop::stop() {
    m_claim.release();
}
QString FrameLoop::framePath(std::int32_t) const {
    return {};
}
QString FrameLoop::previewPath() const {
    return {};
}
bool FrameLoop::startConversion(std::int32_t, QString*) {
    return false;
}
void FrameLoop::finishRun() {}

} // namespace microbeam
