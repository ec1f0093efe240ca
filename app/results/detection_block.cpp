#include "app/results/detection_block.h"

namespace results {

void packDetections(DetectionBlock& block, const std::vector<DetectionSlot>& slots,
                    std::int32_t count) {
    const auto size = static_cast<std::size_t>(count < 0 ? 0 : count) + 1;
    block.x.assign(size, 0);
    block.y.assign(size, 0);
    block.pixels.assign(size, 0);
    block.xSize.assign(size, 0);
    block.ySize.assign(size, 0);
    block.shape.assign(size, std::string());
    std::size_t next = 0;
    for (std::int32_t i = 0; i < count && static_cast<std::size_t>(i) < slots.size(); ++i) {
        const DetectionSlot& s = slots[static_cast<std::size_t>(i)];
        if (s.x <= 0 || s.y <= 0)
            continue;
        block.x[next] = static_cast<std::int16_t>(s.x);
        block.y[next] = static_cast<std::int16_t>(s.y);
        block.pixels[next] = static_cast<std::int16_t>(s.pixels);
        block.xSize[next] = static_cast<std::int16_t>(s.xSize);
        block.ySize[next] = static_cast<std::int16_t>(s.ySize);
        block.shape[next] = std::to_string(s.shape);
        ++next;
    }
}

} // namespace results
