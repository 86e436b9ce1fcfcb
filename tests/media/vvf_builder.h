#pragma once
// Builds VVF byte streams from given records for the tests.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "media/page_header.h"

namespace tamlorex::test {

using Bytes = std::vector<std::uint8_t>;

// A picture record: start code with type F8/F9, byte 4, then `payload` filler bytes that never
// form a start code.
Bytes VideoRecord(std::uint8_t type, std::uint8_t byte4, std::size_t payload, std::uint8_t seed = 1);
// A sound record of audio channel `channel`: start code FA+channel, two skipped bytes, samples.
Bytes AudioRecord(int channel, std::size_t samples, std::uint8_t seed = 1);

struct PageFields {
    std::uint32_t time = 1230000000;  // 2008-12-23 02:40:00 UTC
    std::uint16_t mask = 0x00FF;
    std::uint8_t interval = 0;
};

class VvfBuilder {
public:
    explicit VvfBuilder(int modelType = 4) : modelType_(modelType) {}
    VvfBuilder& Add(const Bytes& record);
    // Header fields of page n; by default every page gets PageFields{} with time + n.
    VvfBuilder& Fields(std::function<PageFields(std::size_t)> fields);
    // Offset of the next byte added within the record stream (page headers excluded).
    std::size_t StreamSize() const { return stream_.size(); }
    // File offset of stream byte i.
    static std::uint64_t FileOffset(std::size_t streamIndex);
    // Pages with headers; the last page padded with zeros to 4096 bytes.
    Bytes Build() const;

private:
    int modelType_;
    Bytes stream_;
    std::function<PageFields(std::size_t)> fields_;
};

// Swaps the two bytes of every 16-bit word, as a recorder stores pages on its disk.
Bytes Swapped(Bytes bytes);

// A file in a fresh temporary folder, removed with the folder.
class TempDir {
public:
    TempDir();
    ~TempDir();
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    std::string Write(const std::string& name, const Bytes& bytes) const;
    const std::string& Dir() const { return dir_; }

private:
    std::string dir_;
};

Bytes ReadFile(const std::string& path);

}  // namespace tamlorex::test
