#pragma once

#include <QLine>
#include <QList>
#include <QRect>
#include <QString>

#include <array>

// Everything the viewer draws, in the logical coordinates of its 500 x 100 window, computed
// from the pulse-train model alone so that it can be checked without a widget.
namespace Waveform {

constexpr int WindowWidth = 500;
constexpr int WindowHeight = 100;

// The numbers of the viewer's model, times in ms: rise, on, fall and off of pulses 1 to 3.
struct Model
{
    double totalTime = 1.0;
    double pulseCount = 0.0;
    std::array<double, 12> times {};
};

struct Tick
{
    int x = 0;
    QString label;
};

struct Geometry
{
    QRect frame;
    int band = 0; // 1 to 9; 0 when the total has no meaningful time scale
    int tickStep = 0; // logical units per label step; 0 when no ticks are drawn
    QList<Tick> ticks;
    QList<QLine> lines;
};

// Band 1 to 9 for a total in ms, or 0 for a total that is not a positive finite number; such a
// total has no time scale, and nothing but the frame is drawn for it.
// A total exactly on a bound takes the lower band, whose last tick then lands on x = 500.
int band(double totalTime);

Geometry layout(const Model &model);

} // namespace Waveform
