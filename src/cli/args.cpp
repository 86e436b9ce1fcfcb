#include "cli/args.h"

#include <cerrno>
#include <cstdlib>

namespace tamlorex::cli {

bool ParseUnsigned(const std::string& text, std::uint64_t& out)
{
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || end == text.c_str() || *end != '\0') return false;
    out = v;
    return true;
}

bool ParseSigned(const std::string& text, long long& out)
{
    if (text.empty() || text[0] == ' ') return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0') return false;
    out = v;
    return true;
}

Args::Args(int argc, char** argv, int first, std::set<std::string> valued, std::set<std::string> flags)
{
    for (int i = first; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.size() > 2 && arg.rfind("--", 0) == 0) {
            std::string name = arg;
            std::string value;
            bool inlineValue = false;
            if (const auto eq = arg.find('='); eq != std::string::npos) {
                name = arg.substr(0, eq);
                value = arg.substr(eq + 1);
                inlineValue = true;
            }
            if (valued.count(name)) {
                if (!inlineValue) {
                    if (i + 1 >= argc) {
                        error_ = "option " + name + " needs a value";
                        return;
                    }
                    value = argv[++i];
                }
                values_[name] = value;
            } else if (flags.count(name) && !inlineValue) {
                flags_.insert(name);
            } else {
                error_ = "unknown option " + arg;
                return;
            }
        } else {
            positional_.push_back(arg);
        }
    }
}

std::string Args::Value(const std::string& name, const std::string& fallback) const
{
    const auto it = values_.find(name);
    return it == values_.end() ? fallback : it->second;
}

bool Args::Integer(const std::string& name, long long fallback, long long min, long long max, long long& out)
{
    const auto it = values_.find(name);
    if (it == values_.end()) {
        out = fallback;
        return true;
    }
    long long v = 0;
    if (!ParseSigned(it->second, v) || v < min || v > max) {
        error_ = name + " must be a whole number from " + std::to_string(min) + " to " + std::to_string(max);
        return false;
    }
    out = v;
    return true;
}

bool Args::Unsigned(const std::string& text, std::uint64_t& out)
{
    if (ParseUnsigned(text, out)) return true;
    error_ = "not a byte offset: " + text;
    return false;
}

}  // namespace tamlorex::cli
