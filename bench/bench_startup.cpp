// Time from process start to the main window's first paint, and resident memory at that
// moment: the tool against a bare Qt program with an empty QMainWindow, alternating runs.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>
#include <cstdio>
#include <vector>

struct Sample
{
    double ms;
    long kib;
};

static Sample runOnce(const QString &program)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer timer;
    timer.start();
    p.start(program, {});
    QByteArray out;
    double ms = -1;
    while (p.state() != QProcess::NotRunning || p.bytesAvailable()) {
        p.waitForReadyRead(50);
        out += p.readAllStandardOutput();
        if (ms < 0 && out.contains("painted "))
            ms = timer.nsecsElapsed() / 1e6;
        if (p.state() == QProcess::NotRunning && !p.bytesAvailable())
            break;
    }
    p.waitForFinished();
    out += p.readAllStandardOutput();
    const int at = out.lastIndexOf("painted ");
    const long kib = at < 0 ? -1 : out.mid(at + 8).trimmed().split('\n').value(0).toLong();
    return { ms, kib };
}

static double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString dir = QCoreApplication::applicationDirPath();
    const QString tool = dir + "/startup_probe_tool";
    const QString bare = dir + "/startup_probe_bare";
    const QString text = dir + "/startup_probe_bare_text";
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 15;

    runOnce(bare); // warm the page cache for both
    runOnce(tool);
    std::vector<double> toolMs, bareMs, toolKiB, bareKiB, textMs, textKiB;
    for (int i = 0; i < runs; ++i) {
        const Sample b = runOnce(bare);
        const Sample x = runOnce(text);
        const Sample t = runOnce(tool);
        textMs.push_back(x.ms);
        textKiB.push_back(x.kib);
        bareMs.push_back(b.ms);
        toolMs.push_back(t.ms);
        bareKiB.push_back(b.kib);
        toolKiB.push_back(t.kib);
    }
    const double tm = median(toolMs), bm = median(bareMs);
    const double tk = median(toolKiB), bk = median(bareKiB);
    std::printf("start-up to first paint, median of %d runs (offscreen)\n", runs);
    std::printf("  bare QMainWindow : %8.1f ms  %8.0f KiB resident\n", bm, bk);
    std::printf(
        "  bare + one text  : %8.1f ms  %8.0f KiB resident\n", median(textMs), median(textKiB));
    std::printf("  evaluation tool  : %8.1f ms  %8.0f KiB resident\n", tm, tk);
    std::printf("  ratio %.2fx (target <= 1.2x), extra memory %.1f MB (target <= 10 MB)\n",
        bm > 0 ? tm / bm : 0.0, (tk - bk) / 1024.0);
    std::printf("  against the bare window with text: ratio %.2fx\n",
        median(textMs) > 0 ? tm / median(textMs) : 0.0);
    return 0;
}
