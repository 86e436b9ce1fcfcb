#include "media/vvf_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "media/recorder_disk.h"
#include "platform/alerts.h"
#include "platform/system_error.h"

namespace tamlorex {
namespace {

constexpr std::size_t kChunkPages = 64;
constexpr std::size_t kChunkSize = kChunkPages * kPageSize;
constexpr std::uint64_t kPageMask = ~static_cast<std::uint64_t>(kPageSize - 1);
constexpr std::uint64_t kMaxExportSpan = 0x40000000;

// The register value after bytes p[3], p[2], p[1], p[0] were shifted in, in that order.
inline std::uint32_t LoadLittleEndian32(const std::uint8_t* p)
{
    return (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
}

inline std::uint32_t LoadBigEndian32(const std::uint8_t* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// Reads up to `length` bytes at `offset`, retrying after interruptions; returns the count or -1.
// A read error after some bytes returns those bytes and sets `*failed` when given (short of the
// end of the file is then not the end of the data).
ssize_t ReadFully(int fd, std::uint8_t* out, std::size_t length, std::uint64_t offset, bool* failed = nullptr)
{
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = pread(fd, out + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            if (failed != nullptr) *failed = true;
            return done > 0 ? static_cast<ssize_t>(done) : -1;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

bool WriteFully(int fd, const std::uint8_t* data, std::size_t length)
{
    while (length > 0) {
        const ssize_t n = write(fd, data, length);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

// The offset just after the type byte of a start code that begins at `start`, stepping over a
// page header that may lie inside the code.
std::uint64_t AfterStartCode(std::uint64_t start)
{
    std::uint64_t typeByte = start;
    for (int k = 0; k < 3; ++k) {
        ++typeByte;
        if ((typeByte & (kPageSize - 1)) == 0) typeByte += kPageHeaderSize;
    }
    return typeByte + 1;
}

}  // namespace

void SwapWords(std::uint8_t* data, std::size_t length)
{
    for (std::size_t i = 0; i + 1 < length; i += 2) std::swap(data[i], data[i + 1]);
}

VvfReader::VvfReader()
    : chunk_(new std::uint8_t[kChunkSize]), assembly_(new std::uint8_t[kRecordBufferSize])
{
}

VvfReader::~VvfReader() { Close(); }

bool VvfReader::Open(const std::string& path, bool drive)
{
    Close();
    lastError_.clear();
    lastErrno_ = 0;
    // Non-blocking so that a FIFO cannot hold the open; such sources are refused below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        lastErrno_ = errno;
        lastError_ = path + ": " + ErrorText(errno);
        return false;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        lastErrno_ = errno;
        lastError_ = path + ": " + ErrorText(errno);
        ::close(fd);
        if (alerts_) alerts_->Alert("Open Error");
        return false;
    }
    if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) {
        lastError_ = path + ": not a recording file or a disk";
        ::close(fd);
        return false;
    }
    std::uint64_t size = 0;
    if (!SourceSize(fd, size)) {
        lastErrno_ = errno;
        lastError_ = path + ": cannot read the size of the device: " + ErrorText(errno);
        ::close(fd);
        if (alerts_) alerts_->Alert("Open Error");
        return false;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);

    fd_ = fd;
    path_ = path;
    size_ = size;
    swap_ = drive;
    position_ = 0;
    seekTarget_ = 0;
    chunkValid_ = 0;
    backward_ = false;
    ClearScanner();
    return true;
}

void VvfReader::Close()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    path_.clear();
    size_ = 0;
    position_ = 0;
    seekTarget_ = 0;
    chunkValid_ = 0;
    swap_ = false;
    ClearScanner();
}

void VvfReader::SetModelType(int modelType)
{
    modelType_ = modelType;
    bigEndian_ = IsBigEndianModel(modelType);
}

void VvfReader::ClearScanner()
{
    reg_ = 0xFFFFFFFFu;
    collecting_ = false;
    collected_ = 0;
}

VvfReader::PageRead VvfReader::LoadPage(std::uint64_t pageStart)
{
    // Pages come from a read-ahead chunk; a page not wholly in it is read afresh, so that data
    // appended to a growing file after a short read is seen.
    if (pageStart < chunkStart_ || pageStart + kPageSize > chunkStart_ + chunkValid_) {
        chunkStart_ = pageStart & ~static_cast<std::uint64_t>(kChunkSize - 1);
        const ssize_t n = ReadFully(fd_, chunk_.get(), kChunkSize, chunkStart_);
        chunkValid_ = n > 0 ? static_cast<std::size_t>(n) : 0;
        if (pageStart + kPageSize > chunkStart_ + chunkValid_) return PageRead::Short;
    }
    std::memcpy(page_.data(), chunk_.get() + (pageStart - chunkStart_), kPageSize);
    if (swap_) SwapWords(page_.data(), kPageSize);
    if (!PageChecksumMatches(page_.data())) return PageRead::BadChecksum;
    const PageHeader header = PageHeader::Decode(page_.data(), bigEndian_);
    pageTime_ = CalendarFromPageTime(header.time);
    pageSeconds_ = header.time;
    pageMask_ = header.mask;
    pageInterval_ = header.interval;
    return PageRead::Ok;
}

bool VvfReader::EndsScan(PageRead result, std::uint64_t pageStart, bool forward)
{
    if (result == PageRead::Ok) return false;
    // A damaged page is passed over: forward to the page after it, backward to its start, from
    // where the next backward scan continues before it. A short read leaves the position alone.
    if (result == PageRead::BadChecksum) position_ = forward ? pageStart + kPageSize : pageStart;
    ClearScanner();
    return true;
}

void VvfReader::Deliver(bool audio, int channel, std::uint32_t length)
{
    audio_ = audio;
    channel_ = channel;
    length_ = length;
    deliveredMask_ = pageMask_;
    deliveredTime_ = pageSeconds_;
    deliveredInterval_ = pageInterval_;
}

void VvfReader::AppendForward(const std::uint8_t* bytes, std::size_t count)
{
    const std::size_t room = kRecordBufferSize - collected_;
    const std::size_t n = std::min(room, count);
    std::memcpy(assembly_.get() + collected_, bytes, n);
    collected_ += n;
}

bool VvfReader::OnForwardCode(std::uint64_t firstByte, std::uint8_t* buffer, std::uint32_t& delivered)
{
    const std::uint8_t code[4] = {0x00, 0x00, 0x01, static_cast<std::uint8_t>(reg_)};
    if (collecting_) {
        const std::uint8_t type = assembly_[3];
        if (!IsAudioType(type)) {
            const std::uint32_t length = static_cast<std::uint32_t>(collected_ - kStartCodeSize);
            std::memcpy(buffer, assembly_.get(), length);
            Deliver(false, VideoChannelOf(buffer, length, modelType_), length);
            recordStart_ = collectStart_;
            position_ = firstByte;
            ClearScanner();
            delivered = length;
            return true;
        }
        if (collected_ > kAudioPrefixSize + kStartCodeSize) {
            const std::uint32_t length = static_cast<std::uint32_t>(collected_ - kAudioPrefixSize - kStartCodeSize);
            std::memcpy(buffer, assembly_.get() + kAudioPrefixSize, length);
            Deliver(true, type - kAudioFirstType, length);
            recordStart_ = collectStart_;
            position_ = firstByte;
            ClearScanner();
            delivered = length;
            return true;
        }
        // An audio record without samples: the new code opens the next record.
    }
    collecting_ = true;
    collectStart_ = firstByte;
    std::memcpy(assembly_.get(), code, sizeof code);
    collected_ = sizeof code;
    return false;
}

bool VvfReader::ScanForward(std::size_t from, std::uint8_t* buffer, std::uint32_t& delivered)
{
    from = std::max(from, kPageHeaderSize);
    const std::uint8_t* p = page_.data();
    const std::size_t end = kPageSize;
    const std::uint64_t pageStart = position_ & kPageMask;
    std::size_t i = from;

    // The first three bytes can complete a code begun on the previous page: byte by byte.
    for (; i < end && i < from + 3; ++i) {
        reg_ = (reg_ << 8) | p[i];
        if (collecting_ && collected_ < kRecordBufferSize) assembly_[collected_++] = p[i];
        if (IsStartCode(reg_)) {
            // The code's first byte lies before this page's body when the header split it.
            const std::uint64_t first = i >= kPageHeaderSize + 3 ? pageStart + i - 3 : pageStart + i - 3 - kPageHeaderSize;
            if (OnForwardCode(first, buffer, delivered)) return true;
        }
    }
    // From here on a code lies wholly in this page: look for its 01 byte with memchr.
    while (i < end) {
        std::size_t t = end;
        const std::uint8_t* scan = p + i - 1;
        const std::uint8_t* limit = p + end - 1;
        while (scan < limit) {
            const void* hit = std::memchr(scan, 0x01, static_cast<std::size_t>(limit - scan));
            if (!hit) break;
            const std::size_t j = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - p);
            if (p[j - 1] == 0 && p[j - 2] == 0 && static_cast<std::uint8_t>(p[j + 1] - 0xF8) <= 5) {
                t = j + 1;
                break;
            }
            scan = p + j + 1;
        }
        if (t == end) {
            if (collecting_) AppendForward(p + i, end - i);
            reg_ = LoadBigEndian32(p + end - 4);
            return false;
        }
        if (collecting_) AppendForward(p + i, t + 1 - i);
        reg_ = LoadBigEndian32(p + t - 3);
        i = t + 1;
        if (OnForwardCode(pageStart + t - 3, buffer, delivered)) return true;
    }
    return false;
}

std::uint32_t VvfReader::ReadNext(std::uint8_t* buffer)
{
    if (fd_ < 0) return 0;
    if (backward_) {
        ClearScanner();
        backward_ = false;
    }
    std::uint64_t pageStart = position_ & kPageMask;
    if (EndsScan(LoadPage(pageStart), pageStart, true)) return 0;
    std::size_t from = static_cast<std::size_t>(position_ - pageStart);
    for (;;) {
        std::uint32_t delivered = 0;
        if (ScanForward(from, buffer, delivered)) return delivered;
        pageStart += kPageSize;
        position_ = pageStart;
        if (Cancelled()) return 0;
        if (EndsScan(LoadPage(pageStart), pageStart, true)) return 0;
        position_ = pageStart + kPageHeaderSize;
        from = kPageHeaderSize;
    }
}

void VvfReader::StoreBackward(const std::uint8_t* bytes, std::size_t n)
{
    // The bytes arrive from the highest down: bytes[n - 1] first, at the ring's next free slot
    // counting downwards, so that the ring holds them in forward order.
    if (!collecting_ || n == 0) return;
    std::uint8_t* ring = assembly_.get();
    const std::size_t top = kRecordBufferSize - 1 - (collected_ % kRecordBufferSize);
    if (n <= top + 1) {
        std::memcpy(ring + top + 1 - n, bytes, n);
    } else {
        std::memcpy(ring, bytes + n - 1 - top, top + 1);
        const std::size_t rest = n - 1 - top;
        std::memcpy(ring + kRecordBufferSize - rest, bytes, rest);
    }
    collected_ += n;
}

bool VvfReader::FindCodeBackward(std::size_t from, std::size_t& at) const
{
    // The highest j <= from with 00 00 01 F8..FD at page bytes j..j+3, j in the body. The 01 byte
    // is found with memrchr; `from` stays three bytes below the page end.
    const std::uint8_t* p = page_.data();
    const std::size_t lowest = kPageHeaderSize + 2;
    std::size_t end = from + 3;  // one past the highest place of the 01 byte
    while (end > lowest) {
        const void* hit = memrchr(p + lowest, 0x01, end - lowest);
        if (hit == nullptr) return false;
        const std::size_t k = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - p);
        if (p[k - 1] == 0 && p[k - 2] == 0 && static_cast<std::uint8_t>(p[k + 1] - kVideoUpdateType) <= 5) {
            at = k - 2;
            return true;
        }
        end = k;
    }
    return false;
}

std::uint32_t VvfReader::ReadPrevious(std::uint8_t* buffer)
{
    if (fd_ < 0) return 0;
    if (!backward_) {
        ClearScanner();
        backward_ = true;
    }
    if (position_ == 0) return 0;
    --position_;
    std::uint64_t pageStart = position_ & kPageMask;
    if (EndsScan(LoadPage(pageStart), pageStart, false)) return 0;
    std::uint8_t* ring = assembly_.get();
    // Bytes still to take one at a time through the register: a code among them may reach into
    // bytes above (on the page above, or above where this scan began).
    int single = 3;
    for (;;) {
        const std::size_t offset = static_cast<std::size_t>(position_ - pageStart);
        if (offset >= kPageHeaderSize) {
            bool code = false;
            if (single > 0) {
                --single;
                const std::uint8_t b = page_[offset];
                reg_ = (reg_ << 8) | b;
                StoreBackward(&b, 1);
                code = IsReversedStartCode(reg_);
            } else {
                // Everything down to the next code wholly in this page, or to the body's start.
                std::size_t j = kPageHeaderSize;
                code = FindCodeBackward(offset, j);
                const std::size_t n = offset - j + 1;
                StoreBackward(page_.data() + j, n);
                if (n >= 4 || code) {
                    reg_ = LoadLittleEndian32(page_.data() + j);
                } else {
                    for (std::size_t k = offset + 1; k-- > j;) reg_ = (reg_ << 8) | page_[k];
                }
                position_ = pageStart + j;
            }
            if (code) {
                if (!collecting_) {
                    collecting_ = true;
                    collected_ = 0;
                } else {
                    // The record's start code begins at the position; deliver it in forward
                    // order, truncated exactly as a forward read truncates it.
                    const std::size_t total = collected_;
                    const std::size_t kept = std::min(total, kRecordBufferSize - kStartCodeSize);
                    const std::uint8_t type = static_cast<std::uint8_t>(reg_ >> 24);
                    const bool audio = IsAudioType(type);
                    if (audio && kept <= kAudioPrefixSize) {
                        // No samples: this code starts collecting the record before it.
                        collected_ = 0;
                    } else {
                        const std::size_t skip = audio ? kAudioPrefixSize : 0;
                        const std::size_t length = kept - skip;
                        if (total <= kRecordBufferSize) {
                            std::memcpy(buffer, ring + kRecordBufferSize - total + skip, length);
                        } else {
                            for (std::size_t j = 0; j < length; ++j)
                                buffer[j] = ring[kRecordBufferSize - 1 - ((total - 1 - (j + skip)) % kRecordBufferSize)];
                        }
                        const int channel = audio ? type - kAudioFirstType : VideoChannelOf(buffer, length, modelType_);
                        Deliver(audio, channel, static_cast<std::uint32_t>(length));
                        recordStart_ = position_;
                        position_ = AfterStartCode(position_);
                        ClearScanner();
                        return static_cast<std::uint32_t>(length);
                    }
                }
            }
        }
        if (position_ == 0) {
            ClearScanner();
            return 0;
        }
        --position_;
        if ((position_ & (kPageSize - 1)) == kPageSize - 1) {
            pageStart -= kPageSize;
            if (Cancelled()) {
                position_ = pageStart + kPageSize;
                return 0;
            }
            if (EndsScan(LoadPage(pageStart), pageStart, false)) return 0;
            single = 3;
        }
    }
}

bool VvfReader::Cancelled()
{
    if (cancel_ == nullptr || !cancel_->load(std::memory_order_relaxed)) return false;
    ClearScanner();
    return true;
}

void VvfReader::SetPosition(std::uint64_t offset)
{
    if (offset < size_) position_ = offset;
}

void VvfReader::SetCursor(std::uint64_t recordStart)
{
    // With the scan cleared there, forward the next code found opens the following record, and
    // backward the record's own code is met first and only starts collecting.
    const std::uint64_t after = AfterStartCode(recordStart);
    if (after <= size_) position_ = after;
    ClearScanner();
}

void VvfReader::Rescan(std::uint64_t offset)
{
    if (offset < size_) position_ = offset;
    ClearScanner();
}

bool VvfReader::SetSeekTarget(std::uint64_t offset)
{
    if (size_ == 0 || offset >= size_) return false;
    seekTarget_ = offset;
    return true;
}

std::uint32_t VvfReader::ReadAtSeekTarget(std::uint8_t* buffer)
{
    if (fd_ < 0 || size_ == 0 || seekTarget_ >= size_ - 1) return 0;
    position_ = seekTarget_ & kPageMask;
    ClearScanner();
    for (;;) {
        const std::uint32_t length = ReadNext(buffer);
        if (length == 0 || !audio_) return length;
    }
}

bool VvfReader::GetCurrentTime(CalendarTime& out) const
{
    if (fd_ < 0 || !IsPlausible(pageTime_)) return false;
    out = pageTime_;
    return true;
}

bool VvfReader::ReadPage(std::uint64_t pageStart, std::uint8_t* page) const
{
    if (fd_ < 0 || ReadFully(fd_, page, kPageSize, pageStart) != static_cast<ssize_t>(kPageSize)) return false;
    if (swap_) SwapWords(page, kPageSize);
    return true;
}

bool VvfReader::ExportSpan(std::uint64_t start, std::uint64_t end, const std::string& target) const
{
    if (fd_ < 0 || start >= end || start >= size_ || end >= size_) return false;
    const std::uint64_t first = start & kPageMask;
    const std::uint64_t last = (end + kPageSize - 1) & kPageMask;
    if (last - first > kMaxExportSpan) return false;

    // Creating the target truncates it: never when it is the source itself.
    struct stat source {}, existing {};
    if (fstat(fd_, &source) == 0 && stat(target.c_str(), &existing) == 0 && source.st_dev == existing.st_dev &&
        source.st_ino == existing.st_ino)
        return false;
    const int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) return false;

    std::vector<std::uint8_t> chunk(kChunkSize);
    bool ok = true;
    for (std::uint64_t offset = first; offset < last && ok;) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkSize, last - offset));
        bool readError = false;
        const ssize_t got = ReadFully(fd_, chunk.data(), want, offset, &readError);
        if (got < 0 || readError) {
            ok = false;
            break;
        }
        if (swap_) SwapWords(chunk.data(), static_cast<std::size_t>(got) & ~std::size_t{1});
        if (!WriteFully(out, chunk.data(), static_cast<std::size_t>(got))) ok = false;
        if (static_cast<std::size_t>(got) < want) break;  // a final partial page, copied as read
        offset += want;
    }
    if (::close(out) != 0) ok = false;
    return ok;
}

}  // namespace tamlorex
