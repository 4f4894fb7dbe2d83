// The device memory viewer's grid on area D of a 32,000-word CPU type: switching the grid
// between area D and area X (a model reset, the view laid out and painted again) beside the
// same switch of an empty model in the same view, and the heap the grid over area D takes.
// The grid computes every cell when it is painted, so the switch should cost about what the
// empty one does, and the memory should not grow with the rows.

#include "common/StringTable.h"
#include "plc/DeviceArea.h"
#include "devmem/DeviceViewerModel.h"
#include "devmem/PdmImage.h"
#include "devmem/gui/CDeviceGridCtrl.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QPixmap>

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace {

using namespace dlu;

constexpr CpuType kCpu = 26; // D holds 32,000 words
constexpr int kD = static_cast<int>(AreaIndex::D);
constexpr int kX = static_cast<int>(AreaIndex::X);

PdmImage& sampleImage() {
    static PdmImage image = [] {
        PdmImage i;
        i.setFlag(1);
        for (std::uint32_t w = 0; w < 32000; ++w) {
            i.setWord(kD, w, static_cast<std::uint16_t>(w * 7u));
        }
        return i;
    }();
    return image;
}

// A model with no rows, reset the same way: what a switch costs the view itself.
class EmptyModel final : public QAbstractTableModel {
public:
    int rowCount(const QModelIndex& = {}) const override { return 0; }
    int columnCount(const QModelIndex& = {}) const override { return 5; }
    QVariant data(const QModelIndex&, int) const override { return {}; }
    void refill() {
        beginResetModel();
        endResetModel();
    }
};

// Lays the view out and paints it, as the screen would after the switch.
void paint(CDeviceGridCtrl& grid) {
    QPixmap target(grid.size());
    grid.render(&target);
}

void BM_SwitchAreaDToX(benchmark::State& state) {
    const Messages messages;
    DeviceViewerModel viewer(kCpu, sampleImage());
    CDeviceGridModel model(viewer, messages, nullptr);
    CDeviceGridCtrl grid;
    grid.resize(420, 480);
    grid.setGridModel(&model);
    int area = kD;
    for (auto _ : state) {
        area = area == kD ? kX : kD;
        viewer.selectArea(area);
        model.refill();
        paint(grid);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_SwitchEmptyModel(benchmark::State& state) {
    EmptyModel model;
    CDeviceGridCtrl grid;
    grid.resize(420, 480);
    grid.setModel(&model);
    for (auto _ : state) {
        model.refill();
        paint(grid);
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_SwitchAreaDToX)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_SwitchEmptyModel)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Heap in use by the program now.
std::size_t heapInUse() { return mallinfo2().uordblks; }

// What a grid over area D takes once it has been painted, and the same grid over area X.
void printGridMemory() {
    const Messages messages;
    for (const int area : {kD, kX}) {
        const std::size_t before = heapInUse();
        {
            auto viewer = std::make_unique<DeviceViewerModel>(kCpu, sampleImage());
            viewer->selectArea(area);
            auto model = std::make_unique<CDeviceGridModel>(*viewer, messages, nullptr);
            auto grid = std::make_unique<CDeviceGridCtrl>();
            grid->resize(420, 480);
            grid->setGridModel(model.get());
            paint(*grid);
            const std::size_t after = heapInUse();
            const std::size_t image = PdmImage::kBlockSize;
            std::printf("grid over %s (%d rows): %zu KiB of heap, of which the working copy of "
                        "the image is %zu KiB\n",
                        std::string(DeviceAreas::at(area).letter).c_str(), model->rowCount(),
                        (after - before) / 1024, image / 1024);
        }
    }
}

class RateReporter final : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs) {
            times[run.benchmark_name()] = run.GetAdjustedRealTime();
        }
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double grid = reporter.times["BM_SwitchAreaDToX/real_time"];
    const double empty = reporter.times["BM_SwitchEmptyModel/real_time"];
    if (grid > 0 && empty > 0) {
        std::printf("area switch D <-> X: %.1f us, empty model switch: %.1f us, ratio %.2f\n", grid,
                    empty, grid / empty);
    }
    printGridMemory();
    benchmark::Shutdown();
    return 0;
}
