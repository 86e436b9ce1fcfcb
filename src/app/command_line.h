#pragma once
// The viewer's command line: a recording to open, "/IP:" and "/PORT:" to connect at start, and
// --config FILE for the settings profile.
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
    // Both "/IP:" and "/PORT:" were given with a value: connect on the first timer tick.
    bool AutoConnect() const { return !address.empty() && !port.empty(); }
};

// args are the arguments after the program name.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

}  // namespace tamlorex::app
