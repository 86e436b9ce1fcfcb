#pragma once
// A small command-line parser: positional arguments, valued options and flags. Header-only, so
// that both programs (tamlorex and tamlorex-sim) parse their commands the same way.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tamlorex::cli {

// Whole-string decimal (or 0x hexadecimal) parse; false on anything else or on overflow.
inline bool ParseUnsigned(const std::string& text, std::uint64_t& out)
{
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || end == text.c_str() || *end != '\0') return false;
    out = v;
    return true;
}

inline bool ParseSigned(const std::string& text, long long& out)
{
    if (text.empty() || text[0] == ' ') return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0') return false;
    out = v;
    return true;
}

class Args {
public:
    // Parses argv[first] on for the command argv[first - 1] of `program`. valued: options that
    // take a value ("--model", as "--model 4" or "--model=4"); flags: options that don't
    // ("--drive"). Any other argument that starts with "-" (but is not "-" alone) is an unknown
    // option; "--help" and "-h" ask for the command's help. A value is taken as it stands, even
    // when it starts with "-".
    Args(int argc, char** argv, int first, std::set<std::string> valued, std::set<std::string> flags,
         std::string program = "tamlorex")
        : program_(std::move(program)), command_(first >= 1 && first - 1 < argc ? argv[first - 1] : "")
    {
        for (int i = first; i < argc; ++i) {
            const std::string arg = argv[i];
            if (arg.size() < 2 || arg[0] != '-') {
                positional_.push_back(arg);
                continue;
            }
            if (arg == "--help" || arg == "-h") {
                help_ = true;
                continue;
            }
            std::string name = arg;
            std::string value;
            bool inlineValue = false;
            if (const auto eq = arg.find('='); eq != std::string::npos && arg.rfind("--", 0) == 0) {
                name = arg.substr(0, eq);
                value = arg.substr(eq + 1);
                inlineValue = true;
            }
            if (valued.count(name)) {
                if (!inlineValue) {
                    if (i + 1 >= argc) {
                        Fail("option " + name + " needs a value");
                        continue;
                    }
                    value = argv[++i];
                }
                values_[name] = value;
            } else if (flags.count(name) && !inlineValue) {
                flags_.insert(name);
            } else if (flags.count(name)) {
                Fail("option " + name + " takes no value");
            } else if (error_.empty()) {
                unknown_ = true;
                error_ = "unknown option \"" + arg + "\" for \"" + command_ + "\"; see " + program_ + " " + command_ +
                         " --help";
            }
        }
    }

    // "--help" or "-h" was given: the help wins over any error.
    bool Help() const { return help_; }
    bool Ok() const { return error_.empty(); }
    const std::string& Error() const { return error_; }
    // The error is an option the command does not know.
    bool UnknownOption() const { return unknown_; }
    const std::string& Program() const { return program_; }
    const std::string& Command() const { return command_; }
    bool Has(const std::string& name) const { return flags_.count(name) || values_.count(name); }
    const std::vector<std::string>& Positional() const { return positional_; }
    std::string Value(const std::string& name, const std::string& fallback = "") const
    {
        const auto it = values_.find(name);
        return it == values_.end() ? fallback : it->second;
    }
    // Parses an option as an integer in [min, max]; false with an error text otherwise.
    bool Integer(const std::string& name, long long fallback, long long min, long long max, long long& out)
    {
        const auto it = values_.find(name);
        if (it == values_.end()) {
            out = fallback;
            return true;
        }
        long long v = 0;
        if (!ParseSigned(it->second, v) || v < min || v > max) {
            Fail(name + " must be a whole number from " + std::to_string(min) + " to " + std::to_string(max));
            return false;
        }
        out = v;
        return true;
    }
    bool Unsigned(const std::string& text, std::uint64_t& out)
    {
        if (ParseUnsigned(text, out)) return true;
        Fail("not a byte offset: " + text);
        return false;
    }

private:
    void Fail(const std::string& text)
    {
        if (error_.empty()) error_ = text;
    }

    std::string program_;
    std::string command_;
    std::vector<std::string> positional_;
    std::map<std::string, std::string> values_;
    std::set<std::string> flags_;
    std::string error_;
    bool help_ = false;
    bool unknown_ = false;
};

// What a command does before its own work: with --help its help on standard output (0); with an
// unknown option one line on standard error (2); with another fault of the arguments that fault
// and the help on standard error (2). -1: none of these, the command goes on.
inline int HelpOrRefusal(const Args& args, const char* help)
{
    if (args.Help()) {
        std::fputs(help, stdout);
        return 0;
    }
    if (args.Ok()) return -1;
    if (args.UnknownOption()) std::fprintf(stderr, "%s: %s\n", args.Program().c_str(), args.Error().c_str());
    else std::fprintf(stderr, "%s: %s\n%s", args.Program().c_str(), args.Error().c_str(), help);
    return 2;
}

}  // namespace tamlorex::cli
