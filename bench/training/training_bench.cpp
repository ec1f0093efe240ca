// The APPLY measurement runs inside the click of the button: ten picked worms of a synthetic
// plate measured with the default box and with a large box.

#include "app/training/target_measurement.h"
#include "tools/plate/plate.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

void BM_MeasureTenPicks(benchmark::State& state) {
    plate::PlateOptions o;
    o.worms = 20;
    const plate::PlateFrame frame = plate::drawPlate(o, 0.0);
    std::vector<std::int16_t> xs, ys;
    for (std::size_t i = 0; i < 10; ++i) {
        xs.push_back(static_cast<std::int16_t>(std::lround(frame.worms[i].x)));
        ys.push_back(static_cast<std::int16_t>(std::lround(frame.worms[i].y)));
    }
    const training::GrayPicture picture{frame.width, frame.height, frame.pixels};
    const std::string box = std::to_string(state.range(0));
    for (auto _ : state) {
        training::MeasurementResult r =
            training::measureTargets(picture, xs, ys, box, training::TrainingWindow::Acquisition);
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_MeasureTenPicks)->Arg(35)->Arg(200)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
