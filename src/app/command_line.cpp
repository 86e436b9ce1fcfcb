#include "app/command_line.h"

namespace tamlorex::app {
namespace {

constexpr char kAddressOption[] = "/IP:";
constexpr char kPortOption[] = "/PORT:";
constexpr char kConfigOption[] = "--config";

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

std::string Cut(const std::string& value) { return value.substr(0, kCommandLineValueChars); }

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args)
{
    CommandLine line;
    bool havePath = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (StartsWith(arg, kAddressOption)) {
            line.address = Cut(arg.substr(sizeof kAddressOption - 1));
        } else if (StartsWith(arg, kPortOption)) {
            line.port = Cut(arg.substr(sizeof kPortOption - 1));
        } else if (arg == kConfigOption && i + 1 < args.size()) {
            line.configPath = args[++i];
        } else if (StartsWith(arg, "--config=")) {
            line.configPath = arg.substr(sizeof "--config=" - 1);
        } else if (!havePath) {
            line.path = arg;
            havePath = true;
        }
    }
    return line;
}

}  // namespace tamlorex::app
