// One synchronous repaint of the viewer at its size in the default main window, next to one of
// a blank widget of the same size, and the geometry alone: median microseconds per call.
#include "mainwindow.h"
#include "viewer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

struct Train
{
    const char *name;
    double totalTime;
    double pulseCount;
    std::array<double, 12> times;
};

const Train trains[] = {
    { "fresh panel", 1.0, 0, {} },
    { "3 pulses, 118.8 ms", 118.8, 3, { 0, 13.2, 0, 26.4, 0, 13.2, 0, 26.4, 0, 13.2, 0, 26.4 } },
    { "3 pulses, 36590.4 ms", 36590.4, 3,
        { 1584, 3009.6, 1584, 6019.2, 1584, 3009.6, 1584, 6019.2, 1584, 3009.6, 1584, 6019.2 } },
};

void load(Viewer &v, const Train &t)
{
    v.total_time = t.totalTime;
    v.pulse_count = t.pulseCount;
    double *members[] = { &v.r1, &v.on1, &v.f1, &v.off1, &v.r2, &v.on2, &v.f2, &v.off2, &v.r3,
        &v.on3, &v.f3, &v.off3 };
    for (std::size_t i = 0; i < t.times.size(); ++i)
        *members[i] = t.times[i];
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

bool waitExposed(QWidget &widget)
{
    QElapsedTimer timer;
    timer.start();
    while (!(widget.windowHandle() && widget.windowHandle()->isExposed()) && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return widget.windowHandle() && widget.windowHandle()->isExposed();
}

double timeOnce(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1000.0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 2000;

    MainWindow window;
    window.show();
    if (!waitExposed(window))
        std::fprintf(stderr, "main window not exposed\n");
    auto *viewer = window.findChild<Viewer *>("viewerWidget");

    QWidget blank;
    blank.setAutoFillBackground(true);
    blank.resize(viewer->size());
    blank.show();
    if (!waitExposed(blank))
        std::fprintf(stderr, "blank widget not exposed\n");

    std::printf("viewer %dx%d in a %dx%d window, platform %s, median of %d\n", viewer->width(),
        viewer->height(), window.width(), window.height(), qPrintable(app.platformName()), rounds);
    std::printf("  %-22s %12s %12s %12s\n", "train", "repaint us", "blank us", "geometry us");
    for (const Train &t : trains) {
        load(*viewer, t);
        const Waveform::Model model = viewer->model();
        std::vector<double> drawn, empty, computed;
        for (int i = 0; i < rounds; ++i) {
            drawn.push_back(timeOnce([&] { viewer->repaint(); }));
            empty.push_back(timeOnce([&] { blank.repaint(); }));
            computed.push_back(timeOnce([&] { (void)Waveform::layout(model); }));
        }
        std::printf("  %-22s %12.1f %12.1f %12.2f\n", t.name, median(drawn), median(empty),
            median(computed));
    }
    return 0;
}
