#include "sim/disk_maker.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>

#include "media/model_type.h"
#include "media/page_header.h"
#include "media/vvf_reader.h"
#include "sim/sample_maker.h"

namespace tamlorex::sim {
namespace {

constexpr double kSampleSeconds = 4;
constexpr std::size_t kWriteChunk = std::size_t{8} << 20;

bool Fail(std::string& error, std::string text)
{
    error = std::move(text);
    return false;
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool MakeDisk(const std::string& path, const DiskOptions& o, DiskSummary& s, std::string& error)
{
    s = DiskSummary{};
    if (!(o.gigabytes > 0) || o.gigabytes > 4096) return Fail(error, "gigabytes must be above 0 and at most 4096");
    if (!(o.wrap > 0) || o.wrap > 1) return Fail(error, "wrap must be above 0 and at most 1");
    const auto pages = static_cast<std::uint64_t>(o.gigabytes * 1073741824.0) / kPageSize;
    if (pages < 16) return Fail(error, "the disk must hold at least 16 pages");

    // A few seconds of pictures, encoded once.
    SampleOptions so;
    so.channels = o.channels;
    so.modelType = o.modelType;
    so.seconds = kSampleSeconds;
    if (o.startTime) so.startTime = o.startTime;
    std::vector<std::uint8_t> sample;
    SampleSummary ss;
    if (!MakeSample(
            so, [&](const std::uint8_t* page, std::size_t size) { sample.insert(sample.end(), page, page + size); return true; },
            ss, error))
        return false;
    const std::uint64_t samplePages = sample.size() / kPageSize;
    if (samplePages == 0) return Fail(error, "the sample recording is empty");
    const bool bigEndian = IsBigEndianModel(o.modelType);
    std::vector<PageHeader> headers(samplePages);
    for (std::uint64_t i = 0; i < samplePages; ++i) headers[i] = PageHeader::Decode(&sample[i * kPageSize], bigEndian);
    SwapWords(sample.data(), sample.size());
    const double pagesPerSecond = static_cast<double>(samplePages) / kSampleSeconds;

    const std::uint64_t wrapPage = o.wrap >= 1 ? pages : static_cast<std::uint64_t>(o.wrap * static_cast<double>(pages));
    const std::uint64_t gap = wrapPage >= pages ? 0 : std::min(o.gapPages, pages - wrapPage - 1);
    const std::uint64_t oldest = wrapPage >= pages ? 0 : wrapPage + gap;
    const std::uint64_t written = pages - gap;
    s.pages = pages;
    s.wrapPage = wrapPage % pages;
    s.oldestPage = oldest;
    s.firstTime = so.startTime;
    s.lastTime = so.startTime + static_cast<std::uint32_t>(static_cast<double>(written - 1) / pagesPerSecond);

    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return Fail(error, "cannot create " + path + ": " + std::strerror(errno));
    const auto started = std::chrono::steady_clock::now();
    std::vector<std::uint8_t> chunk(kWriteChunk);
    std::size_t used = 0;
    bool ok = true;
    for (std::uint64_t p = 0; p < pages && ok; ++p) {
        std::uint8_t* out = chunk.data() + used;
        if (p >= wrapPage && p < oldest) {
            std::memset(out, 0, kPageSize);
        } else {
            // Recording order: the oldest pages from `oldest` to the end, then on from page 0.
            const std::uint64_t j = p >= oldest ? p - oldest : pages - oldest + p;
            const std::uint64_t k = j % samplePages;
            std::memcpy(out, &sample[k * kPageSize], kPageSize);
            PageHeader h = headers[k];
            h.time = so.startTime + static_cast<std::uint32_t>(static_cast<double>(j) / pagesPerSecond);
            std::uint8_t head[kPageHeaderSize];
            h.Encode(head, bigEndian);
            SwapWords(head, sizeof head);
            std::memcpy(out, head, sizeof head);
        }
        used += kPageSize;
        if (used == chunk.size() || p + 1 == pages) {
            ok = WriteAll(fd, chunk.data(), used);
            used = 0;
        }
    }
    if (::close(fd) != 0) ok = false;
    s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!ok) return Fail(error, "cannot write " + path + ": " + std::strerror(errno));
    return true;
}

}  // namespace tamlorex::sim
