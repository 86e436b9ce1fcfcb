#include "cli/source.h"

#include <cstdio>

#include "media/vvf_reader.h"

namespace tamlorex::cli {

void StderrAlerts::Alert(const std::string& text) { std::fprintf(stderr, "tamlorex: %s\n", text.c_str()); }

int Usage(const char* text, const std::string& error)
{
    if (!error.empty()) {
        std::fprintf(stderr, "tamlorex: %s\n%s", error.c_str(), text);
        return 2;
    }
    std::fputs(text, stdout);
    return 0;
}

bool OpenSource(VvfReader& reader, StderrAlerts& alerts, const std::string& path, bool drive, int model)
{
    reader.SetAlerts(&alerts);
    reader.SetModelType(model);
    if (reader.Open(path, drive)) return true;
    if (!reader.LastError().empty()) std::fprintf(stderr, "tamlorex: cannot open %s\n", reader.LastError().c_str());
    return false;
}

}  // namespace tamlorex::cli
