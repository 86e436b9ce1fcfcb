// Export speed of the bundled sample (8 channels, about 20 seconds), both passes, as the
// command-line tool runs it (no wait between records): uncompressed and MJPEG, on one lane and on
// two. "x_realtime" is the recording's length over the time the export took; "x_cpu" is its length
// over the processor time the whole process used (the figure that does not depend on what else
// the machine runs).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "export/avi_export_job.h"
#include "export/compress_options.h"

namespace {

using namespace tamlorex;

std::string ScratchFolder()
{
    char pattern[] = "/tmp/tamlorex-bench-XXXXXX";
    const char* dir = mkdtemp(pattern);
    return dir ? dir : "/tmp";
}

double ProcessCpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void ExportSample(benchmark::State& state, const char* handler)
{
    const double cpuStart = ProcessCpuSeconds();
    const std::string folder = ScratchFolder();
    double seconds = 0;
    for (auto _ : state) {
        AviExportJob job;
        CompressOptions options = DefaultCompressOptions();
        options.handler = handler;
        SetCompressOptions(options);
        job.SetRecordWait(std::chrono::milliseconds(0));
        job.SetLanes(static_cast<int>(state.range(0)));
        if (!job.StartExport(TAMLOREX_SAMPLE_PATH, folder + "/bench.avi")) {
            state.SkipWithError("the export did not start");
            break;
        }
        while (!job.Done()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        job.Close();
        seconds = static_cast<double>(SoundDurationMs(job.AudioBytes(0))) / 1000.0;
    }
    const double cpu = ProcessCpuSeconds() - cpuStart;
    if (cpu > 0) state.counters["x_cpu"] = seconds * static_cast<double>(state.iterations()) / cpu;
    state.counters["x_realtime"] =
        benchmark::Counter(seconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    std::system(("rm -rf '" + folder + "'").c_str());
    ResetCompressOptions();
}

void BM_ExportUncompressed(benchmark::State& state) { ExportSample(state, kUncompressedHandler); }
void BM_ExportMjpeg(benchmark::State& state) { ExportSample(state, "mjpeg"); }

BENCHMARK(BM_ExportUncompressed)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_ExportMjpeg)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

}  // namespace
