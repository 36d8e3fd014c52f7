#include "waveform.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Waveform {

namespace {

struct Band
{
    double upperBound; // ms; a total equal to it still belongs to this band
    double divisor; // ms spanned by one label step
    double labelStep; // in the unit below
    const char *unit;
};

constexpr double Unbounded = std::numeric_limits<double>::infinity();

constexpr std::array<Band, 9> bands = { {
    { 100, 10, 10, " ms" },
    { 200, 20, 20, " ms" },
    { 500, 50, 50, " ms" },
    { 1000, 100, 100, " ms" },
    { 2000, 200, 200, " ms" },
    { 5000, 500, 0.5, " s" },
    { 10000, 1000, 1, " s" },
    { 20000, 2000, 2, " s" },
    { Unbounded, 3000, 3, " s" },
} };

// Anything this far outside the 500-unit window is invisible anyway; keeping coordinates
// within it keeps the double-to-int truncation defined and the rasteriser in its range.
constexpr double CoordinateLimit = 100000;

constexpr int TickStop = WindowWidth;

constexpr int LowLevel = 80;
constexpr int HighLevel = 10;
constexpr int StartX = 2;

// Start and end level of the rise, on, fall and off segment of a pulse.
struct Phase
{
    int fromY;
    int toY;
};
constexpr std::array<Phase, 4> phases = { {
    { LowLevel, HighLevel },
    { HighLevel, HighLevel },
    { HighLevel, LowLevel },
    { LowLevel, LowLevel },
} };

// The off time of the last drawn pulse is left out: the closing line reaches the edge instead.
int segmentCount(double pulseCount)
{
    if (pulseCount == 1.0)
        return 3;
    if (pulseCount == 2.0)
        return 7;
    return 11;
}

int tickStepFor(double totalTime, const Band &b)
{
    const double step = WindowWidth / (totalTime / b.divisor);
    // Below 1 the tick loop would never reach the edge; far beyond the window the single
    // tick it draws is out of sight.
    if (!(step >= 1.0) || step > CoordinateLimit)
        return 0;
    return static_cast<int>(step);
}

QList<Tick> ticksFor(int tickStep, const Band &b)
{
    QList<Tick> ticks;
    if (tickStep <= 0)
        return ticks;
    const QString unit = QString::fromLatin1(b.unit);
    double value = b.labelStep;
    for (int x = tickStep;; x += tickStep) {
        ticks.append({ x, QString::number(value, 'g', 6) + unit });
        if (x >= TickStop)
            break;
        value += b.labelStep;
    }
    return ticks;
}

QList<QLine> linesFor(const Model &model)
{
    QList<QLine> lines;
    if (!(model.pulseCount > 0))
        return lines;
    const double scale = WindowWidth / model.totalTime;
    // A total so small that the scale overflows would turn a zero rise time into NaN.
    if (!std::isfinite(scale))
        return lines;
    const int count = segmentCount(model.pulseCount);
    for (int i = 0; i < count; ++i) {
        if (!std::isfinite(model.times[i]))
            return lines;
    }

    lines.reserve(count + 1);
    int x = StartX;
    for (int i = 0; i < count; ++i) {
        const double end
            = std::clamp(x + scale * model.times[i], -CoordinateLimit, CoordinateLimit);
        const int nextX = static_cast<int>(end);
        const Phase &phase = phases[i % phases.size()];
        lines.append(QLine(x, phase.fromY, nextX, phase.toY));
        x = nextX;
    }
    lines.append(QLine(x, LowLevel, WindowWidth, LowLevel));
    return lines;
}

} // namespace

int band(double totalTime)
{
    if (!(totalTime > 0) || !std::isfinite(totalTime))
        return 0;
    for (std::size_t i = 0; i < bands.size(); ++i) {
        if (totalTime <= bands[i].upperBound)
            return int(i) + 1;
    }
    return 0;
}

Geometry layout(const Model &model)
{
    Geometry g;
    g.frame = QRect(0, 0, WindowWidth - 1, WindowHeight - 1);
    g.band = band(model.totalTime);
    if (g.band == 0)
        return g;
    const Band &b = bands[g.band - 1];
    g.tickStep = tickStepFor(model.totalTime, b);
    g.ticks = ticksFor(g.tickStep, b);
    g.lines = linesFor(model);
    return g;
}

} // namespace Waveform
