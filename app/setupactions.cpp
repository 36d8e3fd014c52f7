#include "setupactions.h"

#include "exportdialog.h"
#include "formsliders.h"
#include "recentsetups.h"
#include "setupfile.h"

#include <QAction>
#include <QCloseEvent>
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QSlider>

#include <cstdio>

namespace {

QString setupFilter()
{
    return SetupActions::tr("QD7310 setups (*.%1)").arg(QLatin1String(SetupFile::kSuffix));
}

// The export's first choice until a programming button is pressed.
const FirmwareExport::Command *train1()
{
    for (const FirmwareExport::Command &command : FirmwareExport::commands()) {
        if (qstrcmp(command.button, "train1Button") == 0)
            return &command;
    }
    return &FirmwareExport::commands().front();
}

} // namespace

void SetupActions::addArgument(QCommandLineParser &parser)
{
    parser.addPositionalArgument(QStringLiteral("SETUP"),
        QStringLiteral("Open this setup file (.%1).").arg(QLatin1String(SetupFile::kSuffix)),
        QStringLiteral("[SETUP]"));
}

bool SetupActions::checkArgument(const QCommandLineParser &parser)
{
    if (parser.positionalArguments().size() <= 1)
        return true;
    std::fprintf(stderr, "%s: one setup file at most; see --help\n",
        qPrintable(QCoreApplication::applicationName()));
    return false;
}

int SetupActions::run(QMainWindow &window, const QCommandLineParser &parser)
{
    auto *setup = new SetupActions(&window);
    window.show();
    if (!parser.positionalArguments().isEmpty())
        setup->openArgument(parser.positionalArguments().constFirst());
    return QApplication::exec();
}

SetupActions::SetupActions(QMainWindow *mainWindow)
    : QObject(mainWindow), window(mainWindow), last(train1())
{
    addMenu();
    for (const FormSlider &form : kFormSliders) {
        if (auto *slider = window->findChild<QSlider *>(QLatin1String(form.slider)))
            connect(slider, &QSlider::valueChanged, this, &SetupActions::sliderMoved);
    }
    for (const FirmwareExport::Command &command : FirmwareExport::commands()) {
        if (auto *button = window->findChild<QPushButton *>(QLatin1String(command.button)))
            connect(button, &QPushButton::clicked, this, [this, &command] { last = &command; });
    }
    window->installEventFilter(this);
}

void SetupActions::addMenu()
{
    auto *menu = window->findChild<QMenu *>(QStringLiteral("menuFile"));
    auto *close = window->findChild<QAction *>(QStringLiteral("actionClose"));
    if (!menu)
        return;

    auto *open = new QAction(tr("Open Setup\u2026"), this);
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(open, &QAction::triggered, this, &SetupActions::openChosen);
    recentMenu = new QMenu(tr("Open Recent"), menu);
    auto *saveAction = new QAction(tr("Save Setup"), this);
    saveAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    connect(saveAction, &QAction::triggered, this, &SetupActions::save);
    // Spelled out: Windows has no standard key for Save As.
    auto *saveAsAction = new QAction(tr("Save Setup As\u2026"), this);
    saveAsAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    connect(saveAsAction, &QAction::triggered, this, &SetupActions::saveAsChosen);
    auto *exportAction = new QAction(tr("Export for Firmware\u2026"), this);
    connect(exportAction, &QAction::triggered, this, &SetupActions::exportChosen);

    // Close stays last, as desktop programs order the menu.
    menu->insertAction(close, open);
    menu->insertMenu(close, recentMenu);
    menu->insertActions(close, { saveAction, saveAsAction, exportAction });
    menu->insertSeparator(close);
    // Another window may have changed the list since this menu was last shown.
    connect(menu, &QMenu::aboutToShow, this, &SetupActions::fillRecentMenu);
    fillRecentMenu();
}

void SetupActions::fillRecentMenu()
{
    if (!recentMenu)
        return;
    // The entry that was just chosen may be among these, still inside its triggered signal.
    for (QAction *action : recentMenu->actions()) {
        recentMenu->removeAction(action);
        action->deleteLater();
    }
    const QStringList paths = RecentSetups::list();
    for (int i = 0; i < paths.size(); ++i) {
        const QString path = paths.at(i);
        const QString shown = QDir::toNativeSeparators(path).replace(u'&', QStringLiteral("&&"));
        QAction *action = recentMenu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(shown));
        connect(action, &QAction::triggered, this, [this, path] { openRecent(path); });
    }
    recentMenu->setEnabled(!paths.isEmpty());
}

ChipSettings::Positions SetupActions::positions() const
{
    ChipSettings::Positions positions = ChipSettings::startPositions();
    for (std::size_t i = 0; i < positions.size(); ++i) {
        if (auto *slider = window->findChild<QSlider *>(QLatin1String(kFormSliders[i].slider)))
            positions[i] = slider->value();
    }
    return positions;
}

bool SetupActions::openArgument(const QString &path)
{
    const QString error = load(path);
    if (error.isEmpty())
        return true;
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
        error.toLocal8Bit().constData());
    QMessageBox::warning(window, tr("Open Setup"), error);
    return false;
}

bool SetupActions::open(const QString &path)
{
    const QString error = load(path);
    if (error.isEmpty())
        return true;
    QMessageBox::warning(window, tr("Open Setup"), error);
    return false;
}

QString SetupActions::load(const QString &path)
{
    ChipSettings::Positions positions;
    const QString error = SetupFile::read(path, &positions);
    if (!error.isEmpty())
        return error;
    // One setValue per slider, so each slider's own slot updates its label and register.
    moving = true;
    for (std::size_t i = 0; i < positions.size(); ++i) {
        if (auto *slider = window->findChild<QSlider *>(QLatin1String(kFormSliders[i].slider)))
            slider->setValue(positions[i]);
    }
    moving = false;
    setCurrentFile(path);
    remember(path);
    return QString();
}

void SetupActions::openChosen()
{
    if (!maybeSave())
        return;
    const QString path
        = QFileDialog::getOpenFileName(window, tr("Open Setup"), startDirectory(), setupFilter());
    if (!path.isEmpty())
        open(path);
}

void SetupActions::openRecent(const QString &path)
{
    if (!QFileInfo::exists(path)) {
        RecentSetups::remove(path);
        fillRecentMenu();
        QMessageBox::warning(window, tr("Open Recent"),
            tr("%1 is no longer there; it has been taken off the list.")
                .arg(QDir::toNativeSeparators(path)));
        return;
    }
    if (maybeSave())
        open(path);
}

bool SetupActions::save()
{
    if (file.isEmpty()) {
        saveAsChosen();
        return !file.isEmpty() && !window->isWindowModified();
    }
    return saveAs(file);
}

bool SetupActions::saveAs(const QString &path)
{
    const QString error = SetupFile::write(path, positions());
    if (!error.isEmpty()) {
        QMessageBox::warning(window, tr("Save Setup"), error);
        return false;
    }
    setCurrentFile(path);
    remember(path);
    return true;
}

void SetupActions::saveAsChosen()
{
    QFileDialog dialog(window, tr("Save Setup As"), startDirectory(), setupFilter());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QLatin1String(SetupFile::kSuffix));
    if (!file.isEmpty())
        dialog.selectFile(file);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        saveAs(dialog.selectedFiles().constFirst());
}

void SetupActions::exportChosen()
{
    ExportDialog choice(*last, window);
    if (choice.exec() != QDialog::Accepted)
        return;

    const QString suffix = FirmwareExport::suffix(choice.format());
    const QString name = QString::fromLatin1(choice.command().macro).toLower() + u'.' + suffix;
    QFileDialog dialog(
        window, tr("Export for Firmware"), QDir(startDirectory()).filePath(name), choice.filter());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        exportTo(dialog.selectedFiles().constFirst(), choice.command(), choice.format());
}

bool SetupActions::exportTo(
    const QString &path, const FirmwareExport::Command &command, FirmwareExport::Format format)
{
    // The export names the setup only while the sliders still stand where the file has them.
    const QString setup = window->isWindowModified() ? QString() : file;
    const QByteArray bytes = FirmwareExport::render(format, command, positions(), setup);
    QSaveFile out(path);
    if (out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() && out.commit())
        return true;
    QMessageBox::warning(window, tr("Export for Firmware"),
        tr("%1: %2").arg(QDir::toNativeSeparators(path), out.errorString()));
    return false;
}

void SetupActions::setCurrentFile(const QString &path)
{
    if (file.isEmpty())
        plainTitle = window->windowTitle();
    file = path;
    // The title's [*] shows the modified mark; a file name's own "[*]" is doubled to stay text.
    const QString name
        = QFileInfo(path).fileName().replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    window->setWindowFilePath(QFileInfo(path).absoluteFilePath());
    window->setWindowTitle(QStringLiteral("%1[*] - %2").arg(name, plainTitle));
    window->setWindowModified(false);
}

void SetupActions::sliderMoved()
{
    if (!moving && !file.isEmpty())
        window->setWindowModified(true);
}

void SetupActions::remember(const QString &path)
{
    RecentSetups::add(path);
    fillRecentMenu();
}

bool SetupActions::maybeSave()
{
    if (file.isEmpty() || !window->isWindowModified())
        return true;
    const auto answer = QMessageBox::warning(window, tr("Save Setup"),
        tr("%1 has unsaved changes.\nDo you want to save them?").arg(QFileInfo(file).fileName()),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Save)
        return save();
    return answer == QMessageBox::Discard;
}

bool SetupActions::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == window && event->type() == QEvent::Close && !maybeSave()) {
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

QString SetupActions::startDirectory() const
{
    if (!file.isEmpty())
        return QFileInfo(file).absolutePath();
    const QStringList recent = RecentSetups::list();
    return recent.isEmpty() ? QDir::homePath() : QFileInfo(recent.constFirst()).absolutePath();
}
