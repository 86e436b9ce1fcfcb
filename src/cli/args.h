#pragma once
// A small command-line parser: positional arguments, valued options and flags.
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tamlorex::cli {

class Args {
public:
    // valued: options that take a value ("--model"); flags: options that don't ("--drive").
    Args(int argc, char** argv, int first, std::set<std::string> valued, std::set<std::string> flags);
    bool Ok() const { return error_.empty(); }
    const std::string& Error() const { return error_; }
    bool Has(const std::string& name) const { return flags_.count(name) || values_.count(name); }
    const std::vector<std::string>& Positional() const { return positional_; }
    std::string Value(const std::string& name, const std::string& fallback = "") const;
    // Parses an option or positional as an integer in [min, max]; false with an error text otherwise.
    bool Integer(const std::string& name, long long fallback, long long min, long long max, long long& out);
    bool Unsigned(const std::string& text, std::uint64_t& out);

private:
    std::vector<std::string> positional_;
    std::map<std::string, std::string> values_;
    std::set<std::string> flags_;
    std::string error_;
};

// Whole-string decimal (or 0x hexadecimal) parse; false on anything else or on overflow.
bool ParseUnsigned(const std::string& text, std::uint64_t& out);
bool ParseSigned(const std::string& text, long long& out);

}  // namespace tamlorex::cli
