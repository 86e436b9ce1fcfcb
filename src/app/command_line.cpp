#include "app/command_line.h"

namespace tamlorex::app {
namespace {

constexpr char kProgram[] = "tamlorex-viewer";
constexpr char kAddressOption[] = "/IP:";
constexpr char kPortOption[] = "/PORT:";
constexpr char kConfigOption[] = "--config";
constexpr char kConfigPrefix[] = "--config=";

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

std::string Cut(const std::string& value) { return value.substr(0, kCommandLineValueChars); }

std::string Refusal(const std::string& what)
{
    return std::string(kProgram) + ": " + what + "; see " + kProgram + " --help";
}

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
        } else if (arg == kConfigOption) {
            if (i + 1 < args.size()) line.configPath = args[++i];
            else if (line.error.empty()) line.error = Refusal("option --config needs a file");
        } else if (StartsWith(arg, kConfigPrefix)) {
            line.configPath = arg.substr(sizeof kConfigPrefix - 1);
        } else if (arg == "--help" || arg == "-h") {
            line.help = true;
        } else if (arg == "--version") {
            line.version = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            if (line.error.empty()) line.error = Refusal("unknown option \"" + arg + "\"");
        } else if (!havePath) {
            line.path = arg;
            havePath = true;
        }
    }
    return line;
}

std::string ViewerUsage()
{
    return std::string("usage: ") + kProgram +
           " [RECORDING] [/IP:ADDRESS /PORT:N] [--config FILE]\n"
           "       " + kProgram + " --help | --version\n"
           "Plays VVF recordings and recorder disks, and shows a recorder's live picture over TCP.\n"
           "  RECORDING      a VVF recording to open at start\n"
           "  /IP:ADDRESS    with /PORT:N, connect at start to the recorder at ADDRESS (a dotted\n"
           "  /PORT:N        IPv4 address or a host name, at most 31 characters) on port N\n"
           "  --config FILE  the settings file (default $XDG_CONFIG_HOME/tamlorex-viewer.INI,\n"
           "                 ~/.config when XDG_CONFIG_HOME is not set)\n"
           "  --help, -h     show this text\n"
           "  --version      show the version\n";
}

std::string ViewerVersion() { return std::string(kProgram) + " " + TAMLOREX_VERSION + "\n"; }

}  // namespace tamlorex::app
