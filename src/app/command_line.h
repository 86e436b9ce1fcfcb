#pragma once
// The viewer's command line: a recording to open, "/IP:" and "/PORT:" to connect at start, and
// --config FILE for the settings profile; --help (or -h) asks for the usage text, --version for
// the version line.
#include <string>
#include <vector>

namespace tamlorex::app {

// The address and port buffers hold 32 characters: longer values are cut to 31.
inline constexpr std::size_t kCommandLineValueChars = 31;

struct CommandLine {
    std::string path;  // the first argument that is not an option
    std::string address;
    std::string port;
    std::string configPath;
    // "--help" or "-h" was given: show ViewerUsage() and start nothing.
    bool help = false;
    // "--version" was given: show ViewerVersion() and start nothing (--help wins over it).
    bool version = false;
    // Not empty when an argument was refused (an option the viewer does not know, or --config
    // without its file): one line, e.g. `tamlorex-viewer: unknown option "--x"; see
    // tamlorex-viewer --help`, for standard error; the viewer does not start.
    std::string error;
    // Both "/IP:" and "/PORT:" were given with a value: connect on the first timer tick.
    bool AutoConnect() const { return !address.empty() && !port.empty(); }
};

// args are the arguments after the program name (the toolkit's own already taken out).
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The usage text for --help, ending with a newline.
std::string ViewerUsage();

// The line --version prints: "tamlorex-viewer VERSION" and a newline.
std::string ViewerVersion();

}  // namespace tamlorex::app
