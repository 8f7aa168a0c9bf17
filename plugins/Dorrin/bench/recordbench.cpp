// dorrin-record-bench: a recording through the program's model. The in-process virtual board
// streams at the rate the device side captures without loss (1 M tags/s spread over its eight
// inputs, plus the sync channel); TTMWrapper records every rising edge into one binary file
// for 30 s, as the view's SAVE and STOP would. Reports the rate captured, the tags lost, the
// tags found in the file, and the share of one core the GUI thread spent meanwhile.
//
// DORRIN_BENCH_RATE (tags/s) and DORRIN_BENCH_SECONDS change the run; the board takes its
// profile once per process, so one rate per run.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <QVariant>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "tdc/dorrin.h"
#include "tdc/rawreader.h"
#include "tdc/tdcbackend.h"
#include "ttmworker.h"
#include "ttmwrapper.h"

namespace {

double envNumber(const char *name, double fallback)
{
    const char *text = std::getenv(name);
    return text && *text ? std::atof(text) : fallback;
}

double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

std::uint64_t tagsIn(const QString &path)
{
    tdcraw::Reader r;
    if (r.open(path.toStdString()))
        return 0;
    std::vector<tdcraw::measurement> tags;
    std::vector<tdcraw::loss> markers;
    std::uint64_t count = 0;
    bool end = false;
    while (!end) {
        tags.clear();
        if (r.next(tags, markers, end))
            return count;
        count += tags.size();
    }
    return count;
}

void record_through_wrapper(benchmark::State &state)
{
    const double rate = envNumber("DORRIN_BENCH_RATE", 1e6);
    const double seconds = envNumber("DORRIN_BENCH_SECONDS", 30);
    TDCBackend backend;
    const auto devices = backend.getDevices().first;
    if (devices.empty() || backend.open(devices.front(), {}, std::chrono::milliseconds(5000))) {
        state.SkipWithError("cannot open the virtual board");
        return;
    }
    backend.loadModules(0);
    Dorrin *tagger = nullptr;
    for (TessaronModule *m : backend.getModules())
        if (!tagger)
            tagger = dynamic_cast<Dorrin *>(m);
    if (!tagger) {
        state.SkipWithError("no time tagger");
        return;
    }
    QObject parent;
    parent.setProperty("numCh", tagger->numChannels());
    parent.setProperty("minBinWidth", tagger->tagUnit());
    QTemporaryDir dir(QDir::currentPath() + "/dorrin-bench-XXXXXX");
    double captured = 0, lost = 0, inFile = 0, bytes = 0, busy = 0, wall = 0;
    for (auto _ : state) {
        TTMWrapper w(tagger, &parent, 100);
        QVector<uint> all;
        for (uint c = 0; c < w.numCh(); ++c)
            all << c;
        w.setRisingFilter(all);
        w.setFolderRAW(QUrl::fromLocalFile(dir.path()));
        w.setSubFolderRAW(".");
        w.setFileNameRAW("bench");
        w.setRawFileFormat(".bin");

        const double cpu0 = threadCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        w.setEnableSaveRAW(true);
        spin(int(seconds * 1000));
        w.setEnableSaveRAW(false);
        while (w.emptyingQueue())
            spin(10);
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        busy += threadCpuSeconds() - cpu0;
        captured += double(w.integrationSample());
        lost += w.lostSamples();
        bytes += w.integrationSize();
        inFile += double(tagsIn(dir.path() + "/./bench.bin"));
    }
    state.counters["offered/s"] = rate;
    state.counters["captured/s"] = captured / (seconds * double(state.iterations()));
    state.counters["lost"] = lost;
    state.counters["in_file"] = inFile;
    state.counters["captured"] = captured;
    state.counters["bytes/tag"] = captured > 0 ? bytes / captured : 0.0;
    state.counters["gui_busy"] = wall > 0 ? busy / wall : 0.0;
}
BENCHMARK(record_through_wrapper)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    // The board's profile: the rate spread evenly over the eight inputs, no dead time.
    const double rate = envNumber("DORRIN_BENCH_RATE", 1e6);
    QTemporaryDir profileDir;
    const QString profile = profileDir.path() + "/profile.json";
    if (FILE *f = std::fopen(profile.toLocal8Bit().constData(), "w")) {
        std::fprintf(f, "{\"inputs\": 8, \"rates\": [");
        for (int i = 0; i < 8; ++i)
            std::fprintf(f, "%s%.1f", i ? ", " : "", rate / 8);
        std::fprintf(f, "], \"deadTime\": 0}\n");
        std::fclose(f);
    }
    qputenv("TESSARON_BOARD_PROFILE", profile.toLocal8Bit());
    qputenv("TESSARON_VIRTUAL_BOARDS", "1");
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type != QtDebugMsg && type != QtInfoMsg)
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
