// tamlorex: the command-line tool. Each command prints what the viewer would show, in a form
// that other tools read (one JSON object per line where the command says so).
#include <csignal>
#include <cstdio>
#include <cstring>

#include "cli/commands.h"

namespace {

struct Command {
    const char* name;
    int (*run)(int, char**);
    const char* summary;
};

const Command kCommands[] = {
    {"records", tamlorex::cli::RunRecords, "read the records of a recording, forward or backward"},
    {"seek", tamlorex::cli::RunSeek, "read the first picture at a byte offset or a clock time"},
    {"index", tamlorex::cli::RunIndex, "list where the recording is at each step of clock time"},
    {"timeline", tamlorex::cli::RunTimeline, "scan the page headers behind the viewer's timeline"},
    {"span", tamlorex::cli::RunSpan, "copy the pages between two offsets into a new recording"},
    {"info", tamlorex::cli::RunInfo, "summarise a recording"},
    {"disks", tamlorex::cli::RunDisks, "list the disks that may hold recordings"},
    {"decode", tamlorex::cli::RunDecode, "decode every picture of a recording"},
    {"play", tamlorex::cli::RunPlay, "play a recording headless with a script of commands"},
    {"connect", tamlorex::cli::RunConnect, "connect to a recorder and receive its live stream headless"},
    {"export", tamlorex::cli::RunExport, "export channels of a recording to one AVI file each"},
    {"codecs", tamlorex::cli::RunCodecs, "list the compressors an export can use"},
};

int Help(FILE* out)
{
    std::fprintf(out, "usage: tamlorex COMMAND [ARGS] (tamlorex COMMAND --help for more)\n"
                      "       tamlorex --help | --version\n\ncommands:\n");
    for (const Command& c : kCommands) std::fprintf(out, "  %-8s %s\n", c.name, c.summary);
    return out == stdout ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv)
{
    // A file-size limit makes a write fail (EFBIG), which the commands report, instead of ending
    // the process with a file cut anywhere.
    std::signal(SIGXFSZ, SIG_IGN);
    if (argc < 2) return Help(stderr);
    if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "help"))
        return Help(stdout);
    if (!std::strcmp(argv[1], "--version")) {
        std::printf("tamlorex %s\n", TAMLOREX_VERSION);
        return 0;
    }
    for (const Command& c : kCommands)
        if (!std::strcmp(argv[1], c.name)) return c.run(argc, argv);
    if (argv[1][0] == '-') {
        std::fprintf(stderr, "tamlorex: unknown option \"%s\"; see tamlorex --help\n", argv[1]);
        return 2;
    }
    std::fprintf(stderr, "tamlorex: unknown command '%s'\n", argv[1]);
    return Help(stderr);
}
