#pragma once
// Pieces every command shares: help and usage, opening the source named on the command line.
#include <string>

#include "platform/alerts.h"

namespace tamlorex {
class VvfReader;
}

namespace tamlorex::cli {

// Empty reads in a row that end a pass: more than a run of damaged pages that playback would
// sit through.
inline constexpr int kEmptyReadsToStop = 33;

class StderrAlerts : public Alerts {
public:
    void Alert(const std::string& text) override;
};

// Prints the help text (exit 0), or the error and the help text on standard error (exit 2).
int Usage(const char* text, const std::string& error = "");
// Opens the source, or says why not on one line of standard error.
bool OpenSource(VvfReader& reader, StderrAlerts& alerts, const std::string& path, bool drive, int model);

}  // namespace tamlorex::cli
