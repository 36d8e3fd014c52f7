#pragma once

#include <QObject>

class QMainWindow;

// What a screen reader gets from the main window beyond Qt's defaults: each slider named by its
// visible label and described by its value text, the drawing named and described, and the
// layout's blank filler kept silent. Nothing visible changes. Made once per window, as its child.
class WindowAccessibility : public QObject
{
    Q_OBJECT

public:
    explicit WindowAccessibility(QMainWindow *window);

private:
    void describeDrawing(int pulses);

    QMainWindow *mainWindow;
};
