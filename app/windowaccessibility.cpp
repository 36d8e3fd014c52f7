#include "windowaccessibility.h"

#include "formsliders.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>

#include <iterator>

namespace {

constexpr int kFirstPulseRow = ChipSettings::kFirstTiming;
constexpr const char *kPhases[] = { "rise", "on", "fall", "off" };
constexpr const char *kTrainButtons[] = { "train1Button", "train2Button", "train3Button" };
constexpr const char *kSeparators[] = { "line", "line_2", "line_3", "line_4" };

// Qt gives a widget the interface of its class, once, on first use; these few are read by what
// they are in this window instead. A plain widget interface takes its name and description from
// the widget alone, so the blank filler's spaces are never read as its name.
void setRole(QWidget *widget, QAccessible::Role role)
{
    if (!widget)
        return;
    if (QAccessibleInterface *made = QAccessible::queryAccessibleInterface(widget)) {
        if (made->role() == role)
            return;
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
    }
    QAccessible::registerAccessibleInterface(new QAccessibleWidget(widget, role));
}

QString textOf(const QMainWindow *window, const char *label)
{
    const auto *l = window->findChild<QLabel *>(QLatin1String(label));
    return l ? l->text() : QString();
}

} // namespace

WindowAccessibility::WindowAccessibility(QMainWindow *window) : QObject(window), mainWindow(window)
{
    for (const FormSlider &row : kFormSliders) {
        auto *slider = window->findChild<QSlider *>(QLatin1String(row.slider));
        auto *name = window->findChild<QLabel *>(QLatin1String(row.name));
        auto *value = window->findChild<QLabel *>(QLatin1String(row.value));
        if (!slider || !name || !value)
            continue;
        // A buddy without a mnemonic in its text adds no shortcut; it only names the slider.
        name->setBuddy(slider);
        // Qt's value interface carries numbers only; the text with its unit goes in the
        // description. The window's own slot has set the label by the time this runs.
        slider->setAccessibleDescription(value->text());
        connect(slider, &QSlider::valueChanged, value,
            [slider, value] { slider->setAccessibleDescription(value->text()); });
    }

    if (auto *viewer = window->findChild<QWidget *>(QStringLiteral("viewerWidget"))) {
        setRole(viewer, QAccessible::Graphic);
        viewer->setAccessibleName(QStringLiteral("Pulse train"));
        viewer->setAccessibleDescription(QStringLiteral("Nothing drawn yet"));
    }
    for (int i = 0; i < int(std::size(kTrainButtons)); ++i) {
        if (auto *button = window->findChild<QPushButton *>(QLatin1String(kTrainButtons[i])))
            connect(button, &QPushButton::clicked, this, [this, i] { describeDrawing(i + 1); });
    }
    for (const char *separator : kSeparators)
        setRole(window->findChild<QWidget *>(QLatin1String(separator)), QAccessible::Separator);
    // The status bar pads its connection text with a label of blanks.
    for (QLabel *label : window->statusBar()->findChildren<QLabel *>()) {
        if (!label->text().isEmpty() && label->text().trimmed().isEmpty())
            setRole(label, QAccessible::Whitespace);
    }
}

// Runs after the window's own train slot, so the drawing and the status bar show the new train.
void WindowAccessibility::describeDrawing(int pulses)
{
    auto *viewer = mainWindow->findChild<QWidget *>(QStringLiteral("viewerWidget"));
    if (!viewer)
        return;
    const QString count
        = pulses == 1 ? QStringLiteral("1 pulse") : QStringLiteral("%1 pulses").arg(pulses);
    QStringList parts
        = { QStringLiteral("%1, total %2").arg(count, mainWindow->statusBar()->currentMessage()) };
    for (int pulse = 0; pulse < pulses; ++pulse) {
        QStringList times;
        for (int phase = 0; phase < int(std::size(kPhases)); ++phase) {
            const FormSlider &row = kFormSliders[std::size_t(kFirstPulseRow + 4 * pulse + phase)];
            times << QStringLiteral("%1 %2").arg(
                QLatin1String(kPhases[phase]), textOf(mainWindow, row.value));
        }
        parts << QStringLiteral("pulse %1: %2")
                     .arg(QString::number(pulse + 1), times.join(QStringLiteral(", ")));
    }
    viewer->setAccessibleDescription(parts.join(QStringLiteral("; ")));
}
