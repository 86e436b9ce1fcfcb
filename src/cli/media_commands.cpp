// The commands that read recordings and disks: records, seek, index, timeline, span, info, disks.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "cli/args.h"
#include "cli/commands.h"
#include "cli/source.h"
#include "engine/activity_scan.h"
#include "media/recorder_disk.h"
#include "media/recording_summary.h"
#include "media/time_index.h"
#include "media/vvf_reader.h"
#include "platform/md5.h"

namespace tamlorex::cli {
namespace {

void PrintRecord(const char* dir, const VvfReader& reader, const std::uint8_t* buffer, std::uint32_t length)
{
    if (length == 0) {
        std::printf("{\"dir\":\"%s\",\"empty\":1,\"pos\":%" PRIu64 "}\n", dir, reader.GetPosition());
        return;
    }
    char time[48];
    FormatCalendarTime(reader.CurrentPageTime(), time, sizeof time);
    std::printf("{\"dir\":\"%s\",\"audio\":%d,\"channel\":%d,\"length\":%" PRIu32
                ",\"md5\":\"%s\",\"time\":\"%s\",\"mask\":%u,\"interval\":%u,\"pos\":%" PRIu64 "}\n",
                dir, reader.IsAudio() ? 1 : 0, reader.GetChannel(), reader.GetLength(),
                Md5::Hex(buffer, length).c_str(), time, unsigned{reader.GetChannelMask()},
                unsigned{reader.GetFrameInterval()}, reader.GetPosition());
}

// Calls read until kEmptyReadsToStop empty calls in a row, printing each call when print is set.
template <typename Read>
void Pass(const char* dir, VvfReader& reader, std::uint8_t* buffer, bool print, Read read)
{
    for (int empty = 0; empty < kEmptyReadsToStop;) {
        const std::uint32_t length = read(buffer);
        empty = length == 0 ? empty + 1 : 0;
        if (print) PrintRecord(dir, reader, buffer, length);
    }
}

const char kRecordsHelp[] =
    "usage: tamlorex records FILE [--model N] [--drive] [--backward]\n"
    "Reads every record of a recording and prints one JSON line per read.\n"
    "  --model N    recorder model type 0..6 (default 4)\n"
    "  --drive      FILE is a recorder's disk or an image of one (16-bit words swapped)\n"
    "  --backward   read to the end silently, then print the records read backwards\n";

const char kSeekHelp[] =
    "usage: tamlorex seek FILE OFFSET [--model N] [--drive]\n"
    "       tamlorex seek FILE --time \"YYYY-MM-DD HH:MM:SS\" [--model N] [--drive] [--reads]\n"
    "Prints the first picture record of the page that holds byte OFFSET, or of the first good page\n"
    "at or after a local clock time (after a clock set back: in the first stretch of increasing\n"
    "times that reaches it; on a disk the oldest page comes first).\n"
    "  --reads      also print the page reads of the search and its time on standard error\n";

const char kIndexHelp[] =
    "usage: tamlorex index FILE [--model N] [--drive] [--step SECONDS]\n"
    "Prints one JSON line per step of clock time (default 60 seconds) through the recording:\n"
    "{\"time\":\"YYYY-MM-DD HH:MM:SS\",\"pos\":P,\"channels\":[...]}, P the first good page at or\n"
    "after that time and channels those with pictures in the few pages read from there.\n";

const char kTimelineHelp[] =
    "usage: tamlorex timeline FILE [--model N] [--drive] [--rows]\n"
    "Runs the viewer's timeline scan (page headers sampled coarse first, on its own thread) and\n"
    "prints one JSON line each time it publishes: {\"t\":MS,\"samples\":N,\"reads\":R,\"done\":B},\n"
    "MS counted from the start. With --rows, a last line per recorded channel:\n"
    "{\"channel\":C,\"runs\":[[\"FIRST\",\"LAST\"],...]} (local clock times).\n";

const char kSpanHelp[] =
    "usage: tamlorex span FILE START END OUT [--drive]\n"
    "Copies the pages that hold bytes START..END into a new recording OUT.\n"
    "Exit status 0 when copied, 1 when refused or failed.\n";

const char kInfoHelp[] =
    "usage: tamlorex info FILE [--model N] [--drive] [--json]\n"
    "Summarises a recording: size, pages, damaged pages, records by kind and channel,\n"
    "first and last page time, channel masks and frame intervals.\n";

const char kDisksHelp[] =
    "usage: tamlorex disks\n"
    "Lists the disks that can be opened with --drive, as the disk chooser shows them.\n";

}  // namespace

int RunRecords(int argc, char** argv)
{
    Args args(argc, argv, 2, {"--model"}, {"--drive", "--backward"});
    if (const int status = HelpOrRefusal(args, kRecordsHelp); status >= 0) return status;
    long long model = 4;
    if (!args.Integer("--model", 4, 0, 6, model)) return Usage(kRecordsHelp, args.Error());
    if (args.Positional().size() != 1) return Usage(kRecordsHelp, "expected one FILE");

    VvfReader reader;
    StderrAlerts alerts;
    if (!OpenSource(reader, alerts, args.Positional()[0], args.Has("--drive"), static_cast<int>(model))) return 2;
    auto buffer = std::make_unique<std::uint8_t[]>(kRecordBufferSize);
    const bool backward = args.Has("--backward");
    Pass("f", reader, buffer.get(), !backward, [&](std::uint8_t* b) { return reader.ReadNext(b); });
    if (backward) Pass("b", reader, buffer.get(), true, [&](std::uint8_t* b) { return reader.ReadPrevious(b); });
    return 0;
}

int RunSeek(int argc, char** argv)
{
    Args args(argc, argv, 2, {"--model", "--time"}, {"--drive", "--reads"});
    if (const int status = HelpOrRefusal(args, kSeekHelp); status >= 0) return status;
    long long model = 4;
    std::uint64_t offset = 0;
    std::uint32_t clock = 0;
    const bool byTime = args.Has("--time");
    if (!args.Integer("--model", 4, 0, 6, model)) return Usage(kSeekHelp, args.Error());
    if (byTime) {
        if (args.Positional().size() != 1) return Usage(kSeekHelp, "expected FILE and --time");
        if (!ParseClockTime(args.Value("--time").c_str(), clock))
            return Usage(kSeekHelp, "not a clock time \"YYYY-MM-DD HH:MM:SS\": " + args.Value("--time"));
    } else {
        if (args.Positional().size() != 2) return Usage(kSeekHelp, "expected FILE and OFFSET");
        if (!args.Unsigned(args.Positional()[1], offset)) return Usage(kSeekHelp, args.Error());
    }

    VvfReader reader;
    StderrAlerts alerts;
    if (!OpenSource(reader, alerts, args.Positional()[0], args.Has("--drive"), static_cast<int>(model))) return 2;
    auto buffer = std::make_unique<std::uint8_t[]>(kRecordBufferSize);
    if (byTime) {
        const auto start = std::chrono::steady_clock::now();
        TimeIndex index(reader);
        const bool built = index.Build();
        const auto found = built ? index.Seek(clock) : std::nullopt;
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (args.Has("--reads")) std::fprintf(stderr, "page reads: %" PRIu64 " in %.1f ms\n", index.PageReads(), ms);
        if (!found) {
            std::fprintf(stderr, "tamlorex: %s\n", built ? "the recording ends before that time" : "no page with a good header");
            return 1;
        }
        offset = *found;
    }
    // A target the reader refuses reads nothing.
    const std::uint32_t length = reader.SetSeekTarget(offset) ? reader.ReadAtSeekTarget(buffer.get()) : 0;
    PrintRecord("s", reader, buffer.get(), length);
    return 0;
}

int RunSpan(int argc, char** argv)
{
    Args args(argc, argv, 2, {}, {"--drive"});
    if (const int status = HelpOrRefusal(args, kSpanHelp); status >= 0) return status;
    std::uint64_t start = 0, end = 0;
    if (args.Positional().size() != 4) return Usage(kSpanHelp, "expected FILE START END OUT");
    if (!args.Unsigned(args.Positional()[1], start) || !args.Unsigned(args.Positional()[2], end))
        return Usage(kSpanHelp, args.Error());

    VvfReader reader;
    StderrAlerts alerts;
    if (!OpenSource(reader, alerts, args.Positional()[0], args.Has("--drive"), 4)) return 2;
    return reader.ExportSpan(start, end, args.Positional()[3]) ? 0 : 1;
}

namespace {

std::string FormatTime(const CalendarTime& t)
{
    char text[48];
    FormatCalendarTime(t, text, sizeof text);
    return text;
}

template <typename Set>
std::string JoinNumbers(const Set& values, const char* format)
{
    std::string out;
    for (const auto v : values) {
        char item[16];
        std::snprintf(item, sizeof item, format, static_cast<unsigned>(v));
        if (!out.empty()) out += ',';
        out += item;
    }
    return out;
}

void PrintSummaryJson(const std::string& path, int model, const RecordingSummary& s)
{
    std::printf("{\"file\":\"");
    for (const char c : path) {
        if (c == '"' || c == '\\') std::printf("\\%c", c);
        else if (static_cast<unsigned char>(c) < 0x20) std::printf("\\u%04x", c);
        else std::putchar(c);
    }
    std::printf("\",\"model\":%d,\"size\":%" PRIu64 ",\"pages\":%" PRIu64 ",\"partial\":%" PRIu64
                ",\"bad_pages\":%" PRIu64 ",\"video\":{",
                model, s.size, s.pages, s.partialBytes, s.badPages);
    bool first = true;
    for (std::size_t c = 0; c < s.videoByChannel.size(); ++c) {
        if (!s.videoByChannel[c]) continue;
        std::printf("%s\"%zu\":%" PRIu64, first ? "" : ",", c, s.videoByChannel[c]);
        first = false;
    }
    std::printf("},\"audio\":{");
    first = true;
    for (std::size_t c = 0; c < s.audioByChannel.size(); ++c) {
        if (!s.audioByChannel[c]) continue;
        std::printf("%s\"%zu\":%" PRIu64, first ? "" : ",", c, s.audioByChannel[c]);
        first = false;
    }
    std::printf("},\"full\":%" PRIu64 ",\"update\":%" PRIu64, s.fullPictures, s.updatePictures);
    if (s.hasTime)
        std::printf(",\"first_time\":\"%s\",\"last_time\":\"%s\"", FormatTime(s.firstTime).c_str(),
                    FormatTime(s.lastTime).c_str());
    std::printf(",\"masks\":[%s],\"intervals\":[%s]}\n", JoinNumbers(s.masks, "%u").c_str(),
                JoinNumbers(s.intervals, "%u").c_str());
}

void PrintSummaryText(const std::string& path, int model, bool drive, const RecordingSummary& s)
{
    std::uint64_t video = 0, audio = 0;
    for (const auto n : s.videoByChannel) video += n;
    for (const auto n : s.audioByChannel) audio += n;
    std::printf("Recording   %s%s\n", path.c_str(), drive ? " (disk, 16-bit words swapped)" : "");
    std::printf("Model type  %d\n", model);
    std::printf("Size        %" PRIu64 " bytes: %" PRIu64 " pages", s.size, s.pages);
    if (s.partialBytes) std::printf(" and a partial page of %" PRIu64 " bytes (not read)", s.partialBytes);
    std::printf("\nBad pages   %" PRIu64 " with a wrong checksum\n", s.badPages);
    if (RulesFor(model).calendarPages)
        std::printf("Note        model type 0 pages carry no checksum; such recordings cannot be read here\n");
    std::printf("Records     %" PRIu64 " pictures (%" PRIu64 " full, %" PRIu64 " update), %" PRIu64 " sound blocks\n",
                video, s.fullPictures, s.updatePictures, audio);
    for (std::size_t c = 0; c < s.videoByChannel.size(); ++c)
        if (s.videoByChannel[c]) std::printf("  video channel %-2zu %" PRIu64 " pictures\n", c, s.videoByChannel[c]);
    for (std::size_t c = 0; c < s.audioByChannel.size(); ++c)
        if (s.audioByChannel[c]) std::printf("  audio channel %-2zu %" PRIu64 " blocks\n", c, s.audioByChannel[c]);
    if (s.hasTime) {
        std::printf("First page  %s\n", FormatTime(s.firstTime).c_str());
        std::printf("Last page   %s\n", FormatTime(s.lastTime).c_str());
    } else {
        std::printf("Times       none: no page with a good checksum\n");
    }
    std::printf("Masks       %s\n", s.masks.empty() ? "none" : JoinNumbers(s.masks, "0x%04X").c_str());
    std::printf("Intervals   %s\n", s.intervals.empty() ? "none" : JoinNumbers(s.intervals, "%u").c_str());
}

}  // namespace

int RunInfo(int argc, char** argv)
{
    Args args(argc, argv, 2, {"--model"}, {"--drive", "--json"});
    if (const int status = HelpOrRefusal(args, kInfoHelp); status >= 0) return status;
    long long model = 4;
    if (!args.Integer("--model", 4, 0, 6, model)) return Usage(kInfoHelp, args.Error());
    if (args.Positional().size() != 1) return Usage(kInfoHelp, "expected one FILE");

    const std::string& path = args.Positional()[0];
    VvfReader reader;
    StderrAlerts alerts;
    if (!OpenSource(reader, alerts, path, args.Has("--drive"), static_cast<int>(model))) return 2;
    // Progress only where a person watches and the work is long.
    const bool showProgress = isatty(STDERR_FILENO) && reader.GetSize() >= (std::uint64_t{256} << 20);
    const RecordingSummary summary = SummarizeRecording(reader, [&](std::uint64_t done, std::uint64_t total) {
        if (showProgress) std::fprintf(stderr, "\rReading %3d%%", total ? static_cast<int>(done * 100 / total) : 100);
    });
    if (showProgress) std::fprintf(stderr, "\r            \r");
    if (args.Has("--json")) PrintSummaryJson(path, static_cast<int>(model), summary);
    else PrintSummaryText(path, static_cast<int>(model), args.Has("--drive"), summary);
    return 0;
}

int RunDisks(int argc, char** argv)
{
    Args args(argc, argv, 2, {"--sys", "--dev"}, {});
    if (const int status = HelpOrRefusal(args, kDisksHelp); status >= 0) return status;
    if (!args.Positional().empty()) return Usage(kDisksHelp, "no arguments expected");
    const auto drives = ListDrives(args.Value("--sys", "/sys/block"), args.Value("--dev", "/dev"));
    for (const auto& drive : drives) std::printf("%s\t%s\n", drive.line.c_str(), drive.devicePath.c_str());
    if (drives.empty()) std::fprintf(stderr, "tamlorex: no disk can be opened (raw disks usually need root)\n");
    return 0;
}

int RunTimeline(int argc, char** argv)
{
    Args args(argc, argv, 2, {"--model"}, {"--drive", "--rows"});
    if (const int status = HelpOrRefusal(args, kTimelineHelp); status >= 0) return status;
    long long model = 4;
    if (!args.Integer("--model", 4, 0, 6, model)) return Usage(kTimelineHelp, args.Error());
    if (args.Positional().size() != 1) return Usage(kTimelineHelp, "expected one FILE");
    const auto start = std::chrono::steady_clock::now();
    ActivityScan scan;
    if (!scan.Start(args.Positional()[0], args.Has("--drive"), static_cast<int>(model))) {
        std::fprintf(stderr, "tamlorex: cannot open %s\n", args.Positional()[0].c_str());
        return 2;
    }
    std::uint64_t seen = ~std::uint64_t{0};
    ActivityScan::Snapshot snap;
    for (bool done = false; !done;) {
        const std::uint64_t g = scan.Generation();
        if (g == seen) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            continue;
        }
        seen = g;
        snap = scan.Take();
        done = snap.done;
        const long long ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        std::printf("{\"t\":%lld,\"samples\":%zu,\"reads\":%" PRIu64 ",\"done\":%s}\n", ms, snap.samples.size(),
                    snap.pageReads, done ? "true" : "false");
    }
    if (snap.failed) {
        std::fprintf(stderr, "tamlorex: no page with a good header\n");
        return 1;
    }
    if (args.Has("--rows")) {
        const std::uint16_t recorded = RecordedChannels(snap);
        for (int c = 0; c < 16; ++c) {
            if ((recorded >> c & 1) == 0) continue;
            std::string runs;
            for (const ActivityRun& r : ChannelRuns(snap, c)) {
                if (!runs.empty()) runs += ",";
                runs += "[\"" + FormatTime(CalendarFromPageTime(r.first)) + "\",\"" +
                        FormatTime(CalendarFromPageTime(r.last)) + "\"]";
            }
            std::printf("{\"channel\":%d,\"runs\":[%s]}\n", c, runs.c_str());
        }
    }
    return 0;
}

int RunIndex(int argc, char** argv)
{
    Args args(argc, argv, 2, {"--model", "--step"}, {"--drive"});
    if (const int status = HelpOrRefusal(args, kIndexHelp); status >= 0) return status;
    long long model = 4, step = 60;
    if (!args.Integer("--model", 4, 0, 6, model) || !args.Integer("--step", 60, 1, 86400 * 366, step))
        return Usage(kIndexHelp, args.Error());
    if (args.Positional().size() != 1) return Usage(kIndexHelp, "expected one FILE");

    VvfReader reader;
    StderrAlerts alerts;
    if (!OpenSource(reader, alerts, args.Positional()[0], args.Has("--drive"), static_cast<int>(model))) return 2;
    TimeIndex index(reader);
    if (!index.Build()) {
        std::fprintf(stderr, "tamlorex: no page with a good header\n");
        return 1;
    }
    auto buffer = std::make_unique<std::uint8_t[]>(kRecordBufferSize);
    const std::uint64_t pages = reader.GetSize() / kPageSize;
    std::uint64_t lastPos = ~std::uint64_t{0};
    for (const TimeIndex::Segment& seg : index.Segments()) {
        // As many pages per step as the segment holds, at most a few dozen: enough for a
        // picture of each recorded channel, no more than the step spans.
        const std::uint64_t spanPages = (seg.lastPage + pages - seg.firstPage) % pages + 1;
        const std::uint64_t steps = (seg.lastTime - seg.firstTime) / static_cast<std::uint64_t>(step) + 1;
        const std::uint64_t window = std::clamp<std::uint64_t>(spanPages / steps, 1, 32);
        for (std::uint64_t t = seg.firstTime; t <= seg.lastTime; t += static_cast<std::uint64_t>(step)) {
            const auto pos = index.SeekInSegment(seg, static_cast<std::uint32_t>(t));
            if (!pos || *pos == lastPos) continue;
            lastPos = *pos;
            std::set<int> channels;
            reader.Rescan(*pos);
            // Records whose start codes lie in the window's pages; a damaged page ends a read,
            // the next read goes on after it.
            for (int empty = 0; empty < 2 && reader.GetPosition() < *pos + window * kPageSize;) {
                const std::uint32_t length = reader.ReadNext(buffer.get());
                if (length == 0) {
                    ++empty;
                    continue;
                }
                empty = 0;
                if (reader.GetRecordStart() >= *pos + window * kPageSize) break;
                if (!reader.IsAudio()) channels.insert(reader.GetChannel());
            }
            std::printf("{\"time\":\"%s\",\"pos\":%" PRIu64 ",\"channels\":[%s]}\n",
                        FormatTime(CalendarFromPageTime(static_cast<std::uint32_t>(t))).c_str(), *pos,
                        JoinNumbers(channels, "%u").c_str());
        }
    }
    return 0;
}

}  // namespace tamlorex::cli
