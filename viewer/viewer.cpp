#include "viewer.h"

#include <QBrush>
#include <QColor>
#include <QPainter>
#include <QPen>

Viewer::Viewer(QWidget *parent)
    : QWidget(parent),
      total_time(1.0),
      pulse_count(0.0),
      r1(0.0),
      on1(0.0),
      f1(0.0),
      off1(0.0),
      // Nothing draws pulses 2 and 3 before a train button sets them, but a defined value
      // costs nothing.
      r2(0.0),
      on2(0.0),
      f2(0.0),
      off2(0.0),
      r3(0.0),
      on3(0.0),
      f3(0.0),
      off3(0.0)
{ }

Waveform::Model Viewer::model() const
{
    return { total_time, pulse_count, { r1, on1, f1, off1, r2, on2, f2, off2, r3, on3, f3, off3 } };
}

void Viewer::paintEvent(QPaintEvent *)
{
    const Waveform::Geometry g = Waveform::layout(model());

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    const QPen pen(QBrush(Qt::black), 1.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
    QColor white;
    white.setNamedColor(QStringLiteral("white"));
    const QBrush fill(white, Qt::SolidPattern);

    // Both axes stretch with the widget independently; the drawing is always 500 x 100 units.
    painter.setViewport(0, 0, width(), height());
    painter.setWindow(0, 0, Waveform::WindowWidth, Waveform::WindowHeight);

    painter.setPen(pen);
    painter.setBrush(fill);
    painter.drawRects(&g.frame, 1);

    painter.save();
    int x = 0;
    for (const Waveform::Tick &tick : g.ticks) {
        painter.translate(tick.x - x, 0);
        x = tick.x;
        painter.drawLine(0, 100, 0, 90);
        painter.drawText(2, 95, tick.label);
    }
    painter.restore();

    // Line by line: batched through drawLines, the antialiased pixels come out different as
    // soon as the widget is stretched away from 500 x 100.
    for (const QLine &line : g.lines)
        painter.drawLine(line);
}
