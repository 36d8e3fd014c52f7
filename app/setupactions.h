#pragma once

#include "chipsettings.h"
#include "firmwareexport.h"

#include <QObject>
#include <QString>

class QCommandLineParser;
class QMainWindow;
class QMenu;

// The window's setup files: the File menu's Open Setup, Open Recent, Save Setup, Save Setup As and
// Export for Firmware, the title that names the open setup, and the question about unsaved
// changes on closing. It reaches the form's widgets by their object names and owns none of them;
// the window owns it.
class SetupActions : public QObject
{
    Q_OBJECT

public:
    explicit SetupActions(QMainWindow *window);

    // A window program's command line takes one setup file, as "Open with" passes it. Declared
    // before the parser runs, and checked after it: false, with the reason on standard error,
    // for more than one.
    static void addArgument(QCommandLineParser &parser);
    static bool checkArgument(const QCommandLineParser &parser);
    // Gives the window its setup actions, shows it, opens the setup the command line names, if
    // any, and runs the event loop.
    static int run(QMainWindow &window, const QCommandLineParser &parser);

    // Opens the setup the program was started with. A refused file is reported on standard error
    // and in a message box, and the window keeps its start positions.
    bool openArgument(const QString &path);
    // Moves the sliders to the file's positions as a user would: the labels and the register image
    // follow, nothing is sent and the waveform stays as it is. A refused file moves nothing.
    bool open(const QString &path);
    // Writes the sliders' positions; the file becomes the open setup.
    bool saveAs(const QString &path);
    // To the open setup, or asks for a file if there is none.
    bool save();
    bool exportTo(
        const QString &path, const FirmwareExport::Command &command, FirmwareExport::Format format);

    // The open setup's path, empty if none was opened or saved.
    QString currentFile() const { return file; }
    ChipSettings::Positions positions() const;
    // The button the export offers first: the programming button pressed last, else Train 1.
    const FirmwareExport::Command &lastCommand() const { return *last; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void addMenu();
    // Moves the sliders to the file's positions; the error text, or empty.
    QString load(const QString &path);
    void fillRecentMenu();
    void openChosen();
    void openRecent(const QString &path);
    void saveAsChosen();
    void exportChosen();
    void setCurrentFile(const QString &path);
    void remember(const QString &path);
    void sliderMoved();
    // With unsaved changes to the open setup, asks whether to save them; false means cancel.
    bool maybeSave();
    QString startDirectory() const;

    QMainWindow *window;
    QMenu *recentMenu = nullptr;
    QString file;
    QString plainTitle;
    const FirmwareExport::Command *last;
    bool moving = false;
};
