// Painting the piano roll: the whole view (32 steps by 36 keys, every visible cell taken by
// notes, half of them one step long, the rest two to four) into an image, as one repaint of the
// window does it. The target is under 2 ms a repaint (report the median of the repetitions).
#include "gui/sequencer/seq_view_layout.h"
#include "gui/sequencer/seq_view_painter.h"
#include "sequencer/pattern.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

// Fonts need a GUI application; no display is needed.
void EnsureGuiApplication() {
    static std::unique_ptr<QGuiApplication> app;
    if (QCoreApplication::instance() != nullptr) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "zorvil-bench";
    static char* argv[] = {name, nullptr};
    app = std::make_unique<QGuiApplication>(argc, argv);
}

void BM_PaintFullSequencerView(benchmark::State& state) {
    EnsureGuiApplication();
    zorvil::CPattern pattern;
    zorvil::SeqViewLayout layout;
    layout.SetPatternValues(pattern.GetMeasures(), pattern.GetStepsPerMeasure());
    for (int row = 0; row < layout.visibleRows; ++row) {
        const int key = layout.KeyOf(row);
        for (int step = 0, n = 0; step < layout.visibleColumns; ++n) {
            const int length = std::min(n % 2 == 0 ? 1 : 2 + n % 3, layout.visibleColumns - step);
            pattern.AddNote(step, key, (step * 7 + key * 3) % 128, length);
            step += length;
        }
    }
    const zorvil::CSeqViewPainter painter;
    QImage image(zorvil::CSeqViewPainter::ContentSize(layout), QImage::Format_RGB32);
    for (auto _ : state) {
        image.fill(Qt::white);
        QPainter p(&image);
        painter.Paint(p, layout, pattern, std::nullopt);
        p.end();
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["notes"] = pattern.GetNoteCount();
}
BENCHMARK(BM_PaintFullSequencerView)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

} // namespace
