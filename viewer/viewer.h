#pragma once

#include "waveform.h"

#include <QWidget>

class QPaintEvent;

// The drawing area of the main window. MainWindow writes the model below when a train
// button is pressed and then repaints; the viewer itself never changes it.
class Viewer : public QWidget
{
    Q_OBJECT

public:
    explicit Viewer(QWidget *parent = nullptr);

    Waveform::Model model() const;

    double total_time;
    double pulse_count;
    double r1;
    double on1;
    double f1;
    double off1;
    double r2;
    double on2;
    double f2;
    double off2;
    double r3;
    double on3;
    double f3;
    double off3;

protected:
    void paintEvent(QPaintEvent *event) override;
};
