#pragma once

namespace tamlorex::cli {

// Each command takes the whole argument vector (argv[1] is its name) and returns the exit status:
// 0 done, 1 the operation said no, 2 bad arguments or a source that cannot be opened.
int RunRecords(int argc, char** argv);
int RunSeek(int argc, char** argv);
int RunIndex(int argc, char** argv);
int RunTimeline(int argc, char** argv);
int RunSpan(int argc, char** argv);
int RunInfo(int argc, char** argv);
int RunDisks(int argc, char** argv);
int RunDecode(int argc, char** argv);
int RunPlay(int argc, char** argv);
int RunConnect(int argc, char** argv);
int RunExport(int argc, char** argv);
int RunCodecs(int argc, char** argv);

}  // namespace tamlorex::cli
