// The recording reader over a hostile file: read forward, backward, in both directions in turn,
// at a seek target, and the export of a span of pages.
//
// Input: byte 0 chooses the model type (low nibble, modulo 7) and the drive flag (bit 4); bytes
// 1-8 the seek target, 9-12 the span's first byte and 13-14 its length (both reduced to the
// file's size); byte 15 a mix of directions for the alternating reads. The rest is the file.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "fuzz_input.h"
#include "media/frame_record.h"
#include "media/page_header.h"
#include "media/vvf_reader.h"

namespace {

using namespace tamlorex;
using tamlorex::fuzz::FuzzInput;

constexpr std::size_t kEmptyReadsToStop = 33;  // as the command-line tool stops
constexpr std::size_t kMaxReads = 3000;
constexpr std::size_t kHeaderBytes = 16;

struct Files {
    std::string dir;
    std::string source;
    std::string span;
    Files()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/fuzz_vvf_reader.XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        dir = pattern;
        source = dir + "/source.vvf";
        span = dir + "/span.vvf";
    }
    ~Files()
    {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
};

Files& TheFiles()
{
    static Files files;
    return files;
}

bool WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return ::close(fd) == 0 && done == size;
}

std::vector<std::uint8_t> ReadFile(const std::string& path)
{
    std::vector<std::uint8_t> out;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return out;
    std::uint8_t block[65536];
    for (;;) {
        const ssize_t n = ::read(fd, block, sizeof block);
        if (n <= 0) break;
        out.insert(out.end(), block, block + n);
    }
    ::close(fd);
    return out;
}

// Checks what every delivered record must satisfy.
void CheckDelivered(const VvfReader& reader, std::uint32_t length)
{
    FUZZ_CHECK(length <= kRecordBufferSize);
    FUZZ_CHECK(reader.GetPosition() <= reader.GetSize());
    if (length == 0) return;
    FUZZ_CHECK(reader.GetLength() == length);
    FUZZ_CHECK(reader.GetRecordStart() < reader.GetSize());
    FUZZ_CHECK(reader.GetChannel() >= 0 && reader.GetChannel() < kMaxChannels);
}

struct Record {
    bool audio;
    int channel;
    std::uint64_t start;  // where its start code begins
    std::vector<std::uint8_t> bytes;
    bool operator==(const Record&) const = default;
};

Record Delivered(const VvfReader& reader, const std::uint8_t* buffer, std::uint32_t length)
{
    return {reader.IsAudio(), reader.GetChannel(), reader.GetRecordStart(), std::vector<std::uint8_t>(buffer, buffer + length)};
}

// Reads in one direction until the reader runs dry as the tools do; returns the records read.
std::vector<Record> ReadAll(VvfReader& reader, std::uint8_t* buffer, bool forward, std::size_t budget)
{
    std::vector<Record> records;
    for (std::size_t empty = 0, reads = 0; empty < kEmptyReadsToStop && reads < budget; ++reads) {
        const std::uint32_t length = forward ? reader.ReadNext(buffer) : reader.ReadPrevious(buffer);
        CheckDelivered(reader, length);
        if (length == 0) {
            ++empty;
            continue;
        }
        empty = 0;
        records.push_back(Delivered(reader, buffer, length));
    }
    return records;
}

// Whole pages only, each with a good checksum: nothing for a scan to pass over.
bool Undamaged(const std::uint8_t* file, std::size_t size, bool drive)
{
    if (size == 0 || size % kPageSize != 0) return false;
    std::uint8_t page[kPageSize];
    for (std::size_t at = 0; at < size; at += kPageSize) {
        std::memcpy(page, file + at, kPageSize);
        if (drive) SwapWords(page, kPageSize);
        if (!PageChecksumMatches(page)) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < kHeaderBytes) return 0;
    FuzzInput in(data, size);
    const std::uint8_t flags = in.Byte();
    const int model = (flags & 0x0F) % kModelTypeCount;
    const bool drive = (flags & 0x10) != 0;
    const std::uint64_t seek = in.Number(8);
    const std::uint64_t spanStart = in.Number(4);
    const std::uint64_t spanPages = in.Number(2);
    const std::uint8_t mix = in.Byte();

    Files& files = TheFiles();
    if (!WriteFile(files.source, in.Rest(), in.RestSize())) std::abort();
    const std::uint64_t size64 = in.RestSize();

    VvfReader reader;
    FUZZ_CHECK(reader.Open(files.source, drive));
    reader.SetModelType(model);
    FUZZ_CHECK(reader.GetSize() == size64);
    // The reader's callers hand it a buffer of kRecordBufferSize bytes: exactly that, on the heap.
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[kRecordBufferSize]);

    // Forward to the end, then backward from there, as `tamlorex records --backward` does. On an
    // undamaged file the backward reads give the forward ones in reverse order.
    const std::vector<Record> forward = ReadAll(reader, buffer.get(), true, kMaxReads);
    std::vector<Record> backward = ReadAll(reader, buffer.get(), false, kMaxReads);
    const bool known = forward.size() < kMaxReads && backward.size() < kMaxReads && Undamaged(in.Rest(), in.RestSize(), drive);
    if (known) {
        std::reverse(backward.begin(), backward.end());
        FUZZ_CHECK(backward == forward);
        // The cursor on a record: forward the one after it, backward the one before it.
        for (std::size_t k = mix % 7; k < forward.size(); k += 1 + mix % 13) {
            reader.SetCursor(forward[k].start);
            std::uint32_t length = reader.ReadNext(buffer.get());
            if (k + 1 < forward.size()) FUZZ_CHECK(length != 0 && Delivered(reader, buffer.get(), length) == forward[k + 1]);
            reader.SetCursor(forward[k].start);
            length = reader.ReadPrevious(buffer.get());
            if (k >= 1) FUZZ_CHECK(length != 0 && Delivered(reader, buffer.get(), length) == forward[k - 1]);
        }
    }

    // Both directions in turn, placing the cursor on the records met.
    reader.Rescan(0);
    std::uint32_t bits = mix * 0x01010101u;
    for (int i = 0; i < 64; ++i, bits = bits * 1103515245u + 12345u) {
        const bool forward = (bits >> 16) & 1;
        const std::uint32_t length = forward ? reader.ReadNext(buffer.get()) : reader.ReadPrevious(buffer.get());
        CheckDelivered(reader, length);
        if (length != 0 && ((bits >> 17) & 3) == 0) reader.SetCursor(reader.GetRecordStart());
    }

    // A seek target anywhere (at or past the end too), and the records after it.
    const std::uint64_t target = size64 == 0 ? seek : seek % (size64 + 2);
    if (reader.SetSeekTarget(target)) {
        FUZZ_CHECK(target < size64);
        const std::uint32_t length = reader.ReadAtSeekTarget(buffer.get());
        CheckDelivered(reader, length);
        if (known && target < size64 - 1) {
            // The first picture whose start code lies wholly in the body of the target's page.
            const std::uint64_t body = (target & ~std::uint64_t{kPageSize - 1}) + kPageHeaderSize;
            const auto want = std::find_if(forward.begin(), forward.end(), [&](const Record& r) { return !r.audio && r.start >= body; });
            if (want == forward.end()) FUZZ_CHECK(length == 0);
            else FUZZ_CHECK(length != 0 && Delivered(reader, buffer.get(), length) == *want);
        }
        for (int i = 0; i < 8; ++i) CheckDelivered(reader, reader.ReadNext(buffer.get()));
    } else {
        FUZZ_CHECK(target >= size64);
    }

    // The export of a span: the pages that hold it, in file byte order.
    const std::uint64_t start = size64 == 0 ? spanStart : spanStart % size64;
    const std::uint64_t end = start + spanPages * 64;
    if (reader.ExportSpan(start, end, files.span)) {
        FUZZ_CHECK(start < end && end < size64);
        const std::uint64_t first = start & ~std::uint64_t{kPageSize - 1};
        const std::uint64_t last = std::min<std::uint64_t>((end + kPageSize - 1) & ~std::uint64_t{kPageSize - 1}, size64);
        std::vector<std::uint8_t> want(in.Rest() + first, in.Rest() + last);
        if (drive) SwapWords(want.data(), want.size() & ~std::size_t{1});
        FUZZ_CHECK(ReadFile(files.span) == want);
    }
    return 0;
}
