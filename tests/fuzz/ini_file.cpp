// The settings profile reader over a hostile file: every key read back as text and as a number,
// keys set and read again, and the written text read as the same profile.
//
// Input: the file. Its first line also gives the section, key and value that are set.
#include <string>
#include <vector>

#include "app/ini_file.h"
#include "fuzz_input.h"

namespace {

using tamlorex::app::IniFile;

constexpr std::size_t kMaxLines = 4000;
// No value holds a line break: the default that tells a missing key.
const std::string kMissing = "\n";

struct Entry {
    std::string section, key;
};

std::string Trim(const std::string& s)
{
    const auto begin = s.find_first_not_of(" \t\r");
    if (begin == std::string::npos) return {};
    return s.substr(begin, s.find_last_not_of(" \t\r") - begin + 1);
}

// The sections and keys of the profile's key lines, as the reader takes them apart.
std::vector<Entry> Entries(const std::string& text)
{
    std::vector<Entry> out;
    std::string section;
    std::size_t begin = 0;
    while (begin < text.size() && out.size() < kMaxLines) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(begin, end - begin);
        begin = end + 1;
        const std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed.front() == ';') continue;
        if (trimmed.front() == '[') {
            const std::size_t close = trimmed.find(']');
            section = Trim(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = Trim(line.substr(0, equals));
        if (!key.empty()) out.push_back({section, key});
    }
    return out;
}

// What GetString gives for a value set as `value`.
std::string AsRead(const std::string& value)
{
    std::string v = Trim(value);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) v = v.substr(1, v.size() - 2);
    return v;
}

// Names and values made from the input that a profile line can hold.
std::string Clean(const std::string& text, bool name)
{
    std::string out;
    for (const char c : text)
        if (c != '\n' && c != '\0' && !(name && (c == '=' || c == ']' || c == '['))) out += c;
    out = Trim(out);
    // A line whose name begins with ';' is a comment.
    while (name && !out.empty() && out.front() == ';') out = Trim(out.substr(1));
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto copy = tamlorex::fuzz::ExactCopy(data, size);
    const std::string text(reinterpret_cast<const char*>(copy.get()), size);

    IniFile ini;
    ini.Parse(text);
    const std::vector<Entry> entries = Entries(text);
    std::vector<std::string> values;
    for (const Entry& e : entries) {
        values.push_back(ini.GetString(e.section, e.key, kMissing));
        FUZZ_CHECK(values.back() != kMissing);
        ini.GetInt(e.section, e.key, -7);
    }

    // The written profile reads as the same settings.
    IniFile again;
    again.Parse(ini.Text());
    for (std::size_t i = 0; i < entries.size(); ++i)
        FUZZ_CHECK(again.GetString(entries[i].section, entries[i].key, kMissing) == values[i]);

    // A setting made from the first line's parts: read back as set, also after writing.
    const std::string first = text.substr(0, text.find('\n'));
    const std::size_t cut1 = first.size() / 3, cut2 = 2 * first.size() / 3;
    const std::string section = Clean(first.substr(0, cut1), true);
    const std::string key = Clean(first.substr(cut1, cut2 - cut1), true);
    const std::string value = Clean(first.substr(cut2), false);
    if (!key.empty()) {
        ini.SetString(section, key, value);
        FUZZ_CHECK(ini.GetString(section, key, kMissing) == AsRead(value));
        ini.SetInt(section, key + "#", static_cast<int>(size) - 2000);
        FUZZ_CHECK(ini.GetInt(section, key + "#", 0) == static_cast<int>(size) - 2000);
        IniFile written;
        written.Parse(ini.Text());
        FUZZ_CHECK(written.GetString(section, key, kMissing) == AsRead(value));
        FUZZ_CHECK(written.GetInt(section, key + "#", 0) == static_cast<int>(size) - 2000);
    }
    IniFile::LeadingInt(text);
    return 0;
}
