#pragma once
// Our INI profile reader and writer: sections of "key=value" lines. Keys are matched without regard
// to case but written back byte for byte as given; lines of other sections and keys stay as they are.
#include <string>
#include <vector>

namespace tamlorex::app {

class IniFile {
public:
    // Reads the file; a missing or unreadable file is an empty profile (false).
    bool Load(const std::string& path);
    // Writes the whole profile into a new file beside it, renamed over the old one only once
    // complete (a failure leaves the old file as it was); the folder is created when missing.
    // False with errno's text in `error` when it cannot be written.
    bool Save(const std::string& path, std::string* error = nullptr) const;
    void Parse(const std::string& text);
    std::string Text() const;

    // The value, blanks around it removed and one pair of enclosing quotes taken off; the default
    // when the section or the key is missing.
    std::string GetString(const std::string& section, const std::string& key, const std::string& fallback) const;
    // The leading decimal digits of the value (with an optional minus sign), 0 when there are none;
    // the default when the key is missing.
    int GetInt(const std::string& section, const std::string& key, int fallback) const;
    void SetString(const std::string& section, const std::string& key, const std::string& value);
    void SetInt(const std::string& section, const std::string& key, int value);

    // The leading-digits rule on its own.
    static int LeadingInt(const std::string& text);

private:
    struct Line {
        std::string text;  // the line as read, for lines that are not ours to change
        std::string section;
        std::string key;    // empty for section headers, comments and blank lines
        std::string value;
        bool header = false;
    };
    const Line* Find(const std::string& section, const std::string& key) const;
    std::vector<Line> lines_;
};

}  // namespace tamlorex::app
