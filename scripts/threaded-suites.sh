#!/usr/bin/env bash
# Prints, as one ctest regular expression, every test suite of the core's test program that runs
# threads: the suites of each test file that starts a thread itself or drives a part that runs its
# own (the engine, the network client, the simulator, the sound devices, the video window, the
# export job and the capture writer, the activity scan, events and workers, the command-line client run as a program).
# A new suite in such a file is picked up by its name; none has to be listed by hand.
set -euo pipefail
cd "$(dirname "$0")/../tests"
threads='std::thread|std::async|std::jthread|WorkerThread|Event\b|MediaEngine|NetClient|RecorderSim|LiveFeed|'
threads+='SdlAudioDevice|NullAudioDevice|AudioOut|VideoWindow|AviExportJob|AviCaptureWriter|MillisecondClock|'
threads+='PendingMouse|RecordQueue|StreamParser|ActivityScan|" connect '
files=$(grep -rlE "$threads" --include='*_test.cpp' . | grep -vE '^\./(app|display/qt|fuzz)/' | sort)
suites=$(sed -nE 's/^TEST(_F|_P)?\(([A-Za-z0-9_]+),.*/\2/p' $files | sort -u)
# A file may name a suite of its own that runs no thread, to spare its slow single-threaded
# checks the sanitizer's cost: a line "// Single-threaded suite: NAME".
skipped=$(sed -nE 's|^// Single-threaded suite: ([A-Za-z0-9_]+).*|\1|p' $files | sort -u)
suites=$(comm -23 <(echo "$suites") <(echo "$skipped"))
echo "^($(echo "$suites" | paste -sd'|'))\\."
