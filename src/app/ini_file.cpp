#include "app/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <strings.h>

#include "platform/file_paths.h"
#include "platform/system_error.h"

namespace tamlorex::app {
namespace {

std::string Trim(const std::string& s)
{
    std::size_t begin = 0;
    std::size_t end = s.size();
    while (begin < end && (s[begin] == ' ' || s[begin] == '\t' || s[begin] == '\r')) ++begin;
    while (end > begin && (s[end - 1] == ' ' || s[end - 1] == '\t' || s[end - 1] == '\r')) --end;
    return s.substr(begin, end - begin);
}

bool SameName(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

}  // namespace

bool IniFile::Load(const std::string& path)
{
    lines_.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream text;
    text << in.rdbuf();
    Parse(text.str());
    return true;
}

void IniFile::Parse(const std::string& text)
{
    lines_.clear();
    std::string section;
    std::istringstream in(text);
    std::string raw;
    while (std::getline(in, raw)) {
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        Line line;
        line.text = raw;
        const std::string trimmed = Trim(raw);
        if (!trimmed.empty() && trimmed.front() == '[') {
            const std::size_t close = trimmed.find(']');
            section = Trim(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            line.header = true;
        } else if (!trimmed.empty() && trimmed.front() != ';') {
            const std::size_t equals = raw.find('=');
            if (equals != std::string::npos) {
                line.key = Trim(raw.substr(0, equals));
                line.value = raw.substr(equals + 1);
            }
        }
        line.section = section;
        lines_.push_back(std::move(line));
    }
}

std::string IniFile::Text() const
{
    std::string out;
    for (const Line& line : lines_) {
        if (!line.key.empty() && !line.header) out += line.key + "=" + line.value;
        else out += line.text;
        out += "\n";
    }
    return out;
}

bool IniFile::Save(const std::string& given, std::string* error) const
{
    const auto fail = [&](int code) {
        if (error != nullptr) *error = ErrorText(code);
        return false;
    };
    // A profile that is a link (kept with other settings elsewhere) is written where it points.
    std::string path = given;
    struct stat link {};
    if (::lstat(given.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        if (char* target = ::realpath(given.c_str(), nullptr)) {
            path = target;
            std::free(target);
        } else {
            // A link to a profile not written yet.
            char pointed[4096];
            const ssize_t n = ::readlink(given.c_str(), pointed, sizeof pointed - 1);
            if (n > 0) {
                path.assign(pointed, static_cast<std::size_t>(n));
                const std::size_t at = given.rfind('/');
                if (path[0] != '/' && at != std::string::npos) path = given.substr(0, at + 1) + path;
            }
        }
    }
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
    if (!CreateFolders(folder)) return fail(errno);
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return fail(errno);
    // The profile keeps the permissions it had; a new one gets the usual ones.
    struct stat old {};
    const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    const std::string text = Text();
    std::size_t done = 0;
    int code = ::fchmod(fd, mode) == 0 ? 0 : errno;
    while (code == 0 && done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) code = errno;
        else done += static_cast<std::size_t>(n);
    }
    if (code == 0 && ::fsync(fd) != 0) code = errno;
    if (::close(fd) != 0 && code == 0) code = errno;
    if (code == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) code = errno;
    if (code != 0) {
        ::unlink(temporary.c_str());
        return fail(code);
    }
    return true;
}

const IniFile::Line* IniFile::Find(const std::string& section, const std::string& key) const
{
    for (const Line& line : lines_)
        if (!line.header && !line.key.empty() && SameName(line.section, section) && SameName(line.key, key))
            return &line;
    return nullptr;
}

std::string IniFile::GetString(const std::string& section, const std::string& key, const std::string& fallback) const
{
    const Line* line = Find(section, key);
    if (line == nullptr) return fallback;
    std::string value = Trim(line->value);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return value;
}

int IniFile::LeadingInt(const std::string& text)
{
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    bool negative = false;
    if (at < text.size() && text[at] == '-') {
        negative = true;
        ++at;
    }
    long long value = 0;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
        value = value * 10 + (text[at] - '0');
        if (value > 0x7FFFFFFFLL) value = 0x7FFFFFFFLL;  // no overflow: larger numbers saturate
        ++at;
    }
    return static_cast<int>(negative ? -value : value);
}

int IniFile::GetInt(const std::string& section, const std::string& key, int fallback) const
{
    const Line* line = Find(section, key);
    if (line == nullptr) return fallback;
    return LeadingInt(line->value);
}

void IniFile::SetString(const std::string& section, const std::string& key, const std::string& value)
{
    for (Line& line : lines_) {
        if (!line.header && !line.key.empty() && SameName(line.section, section) && SameName(line.key, key)) {
            line.key = key;
            line.value = value;
            return;
        }
    }
    // After the last line of the section, or in a new section at the end.
    std::size_t insertAt = lines_.size();
    bool found = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (SameName(lines_[i].section, section) && (lines_[i].header || !lines_[i].key.empty())) {
            found = true;
            insertAt = i + 1;
        }
    }
    Line line;
    line.section = section;
    line.key = key;
    line.value = value;
    if (!found) {
        Line header;
        header.header = true;
        header.section = section;
        header.text = "[" + section + "]";
        lines_.push_back(header);
        lines_.push_back(line);
        return;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), line);
}

void IniFile::SetInt(const std::string& section, const std::string& key, int value)
{
    SetString(section, key, std::to_string(value));
}

}  // namespace tamlorex::app
