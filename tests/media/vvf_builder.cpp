#include "media/vvf_builder.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace tamlorex::test {

namespace {
// Filler that never holds two zero bytes in a row, so no start code can appear in it.
std::uint8_t Filler(std::size_t i, std::uint8_t seed)
{
    const auto v = static_cast<std::uint8_t>((i * 37 + seed * 11) & 0xFF);
    return (i & 1) ? v : static_cast<std::uint8_t>(v | 0x10);
}
}  // namespace

Bytes VideoRecord(std::uint8_t type, std::uint8_t byte4, std::size_t payload, std::uint8_t seed)
{
    Bytes r = {0x00, 0x00, 0x01, type, byte4};
    for (std::size_t i = 0; i < payload; ++i) r.push_back(Filler(i, seed));
    return r;
}

Bytes AudioRecord(int channel, std::size_t samples, std::uint8_t seed)
{
    Bytes r = {0x00, 0x00, 0x01, static_cast<std::uint8_t>(0xFA + channel), 0x12, 0x34};
    for (std::size_t i = 0; i < samples; ++i) r.push_back(Filler(i, seed));
    return r;
}

VvfBuilder& VvfBuilder::Add(const Bytes& record)
{
    stream_.insert(stream_.end(), record.begin(), record.end());
    return *this;
}

VvfBuilder& VvfBuilder::Fields(std::function<PageFields(std::size_t)> fields)
{
    fields_ = std::move(fields);
    return *this;
}

std::uint64_t VvfBuilder::FileOffset(std::size_t i)
{
    return (i / kPageBodySize) * kPageSize + kPageHeaderSize + i % kPageBodySize;
}

Bytes VvfBuilder::Build() const
{
    const std::size_t pages = (stream_.size() + kPageBodySize - 1) / kPageBodySize;
    Bytes out(pages * kPageSize, 0);
    for (std::size_t n = 0; n < pages; ++n) {
        PageFields f;
        if (fields_) {
            f = fields_(n);
        } else {
            f.time += static_cast<std::uint32_t>(n);
        }
        PageHeader h;
        h.time = f.time;
        h.mask = f.mask;
        h.interval = f.interval;
        h.Encode(out.data() + n * kPageSize, IsBigEndianModel(modelType_));
        const std::size_t begin = n * kPageBodySize;
        const std::size_t count = std::min(kPageBodySize, stream_.size() - begin);
        std::copy(stream_.begin() + begin, stream_.begin() + begin + count, out.begin() + n * kPageSize + kPageHeaderSize);
    }
    return out;
}

Bytes Swapped(Bytes bytes)
{
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
    return bytes;
}

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tamlorex-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

std::string TempDir::Write(const std::string& name, const Bytes& bytes) const
{
    const std::string path = Path(name);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace tamlorex::test
