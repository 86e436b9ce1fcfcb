#include "media/vvf_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "media/frame_record.h"
#include "media/page_header.h"

namespace tamlorex {
namespace {

constexpr std::size_t kVideoAccumulationSize = 131072;
constexpr std::size_t kAudioAccumulationSize = 32768;
constexpr std::uint8_t kLiveFullPictureBit = 0x80;
constexpr std::uint8_t kCalendarAudioBit = 0x80;

}  // namespace

VvfWriter::VvfWriter()
    : clock_([] { return std::time(nullptr); }),
      videoAccumulation_(new std::uint8_t[kVideoAccumulationSize]),
      audioAccumulation_(new std::uint8_t[kAudioAccumulationSize])
{
}

VvfWriter::~VvfWriter() { Close(); }

void VvfWriter::Configure(int mode, int modelType, int splitCount)
{
    mode_ = mode;
    modelType_ = modelType;
    splitCount_ = splitCount;
}

bool VvfWriter::Open(const std::string& path)
{
    if (fd_ >= 0) return true;
    written_ = 0;
    failed_ = false;
    lastErrno_ = 0;
    fullSeen_ = false;
    previousFrame_ = 0;
    interval_ = 0;
    videoAccumulated_ = 0;
    audioAccumulated_ = 0;
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) lastErrno_ = errno;
    return fd_ >= 0;
}

bool VvfWriter::Put(const std::uint8_t* bytes, std::size_t length)
{
    while (length > 0) {
        const ssize_t n = ::write(fd_, bytes, length);
        if (n < 0) {
            if (errno == EINTR) continue;
            failed_ = true;
            lastErrno_ = errno;
            return false;
        }
        bytes += n;
        length -= static_cast<std::size_t>(n);
        written_ += static_cast<std::uint64_t>(n);
    }
    return true;
}

void VvfWriter::BuildHeader(std::uint8_t* header, bool audioPage) const
{
    const std::time_t now = clock_();
    if (!RulesFor(modelType_).calendarPages) {
        PageHeader h;
        h.time = static_cast<std::uint32_t>(now);
        h.mask = 0x0001;
        h.interval = interval_;
        h.Encode(header, IsBigEndianModel(modelType_));
        return;
    }
    // The calendar header of model type 0: local clock fields and no checksum.
    std::tm local {};
    if (localtime_r(&now, &local)) {
        header[0] = static_cast<std::uint8_t>(local.tm_year + 1900 - 2000);
        header[1] = static_cast<std::uint8_t>(local.tm_mon + 1);
        header[2] = static_cast<std::uint8_t>(local.tm_mday);
        header[3] = static_cast<std::uint8_t>(local.tm_hour);
        header[4] = static_cast<std::uint8_t>(local.tm_min);
        header[5] = static_cast<std::uint8_t>(local.tm_sec);
    } else {
        header[0] = 48;
        header[1] = 0;
        header[2] = 0;
        header[3] = header[4] = header[5] = 255;
    }
    if (audioPage) header[1] |= kCalendarAudioBit;
    header[6] = interval_ & 0x7F;
    header[7] = 1;
}

bool VvfWriter::LayIntoPages(const std::uint8_t* bytes, std::size_t length)
{
    const std::size_t used = static_cast<std::size_t>(written_ % kPageSize);
    if (used != 0) {
        const std::size_t n = std::min(length, kPageSize - used);
        if (!Put(bytes, n)) return false;
        bytes += n;
        length -= n;
    }
    while (length > 0) {
        std::uint8_t header[kPageHeaderSize];
        BuildHeader(header, false);
        const std::size_t n = std::min(length, kPageBodySize);
        if (!Put(header, sizeof header) || !Put(bytes, n)) return false;
        bytes += n;
        length -= n;
    }
    return true;
}

bool VvfWriter::FlushCalendarPages(std::uint8_t* accumulated, std::size_t& count, bool audio, bool all)
{
    while (count > kPageBodySize - 1 || (all && count > 0)) {
        std::uint8_t page[kPageSize] = {};
        BuildHeader(page, audio);
        const std::size_t n = std::min(count, kPageBodySize);
        std::memcpy(page + kPageHeaderSize, accumulated, n);
        std::memmove(accumulated, accumulated + n, count - n);
        count -= n;
        if (!Put(page, kPageSize)) return false;
    }
    return true;
}

bool VvfWriter::WriteVideo(std::uint8_t* record, std::uint32_t length)
{
    if (fd_ < 0 || record == nullptr || length < kStartCodeSize) return false;
    const bool full = length > 4 && (record[4] & kLiveFullPictureBit) != 0;
    if (!fullSeen_) {
        if (!full) return false;
        fullSeen_ = true;
    }
    if (length >= 7) {
        const std::uint16_t frame = static_cast<std::uint16_t>((record[5] << 8) | record[6]);
        const std::uint32_t d = static_cast<std::uint32_t>(frame) - static_cast<std::uint32_t>(previousFrame_);
        interval_ = static_cast<std::uint8_t>((d > 1 ? d - 1 : 0) & 0x7F);
        previousFrame_ = frame;
    }
    // The stored form carries the picture kind in the type byte and the quantiser in bits 4..7.
    if (RulesFor(modelType_).storedKindInType && length > 4) {
        record[3] = full ? kVideoFullType : kVideoUpdateType;
        record[4] = static_cast<std::uint8_t>(record[4] << 1);
        if (splitCount_ == 16) {
            record[4] &= 0xF0;
            if (length > 5) record[5] &= 0x07;
        }
    }
    if (RulesFor(modelType_).calendarPages) {
        if (videoAccumulated_ + length > kVideoAccumulationSize) return false;
        std::memcpy(videoAccumulation_.get() + videoAccumulated_, record, length);
        videoAccumulated_ += length;
        return FlushCalendarPages(videoAccumulation_.get(), videoAccumulated_, false, false);
    }
    return LayIntoPages(record, length);
}

bool VvfWriter::WriteAudio(const std::uint8_t* unit, std::uint32_t length)
{
    if (fd_ < 0 || !fullSeen_ || (unit == nullptr && length > 0)) return false;
    if (RulesFor(modelType_).calendarPages) {
        if (audioAccumulated_ + length > kAudioAccumulationSize) return false;
        std::memcpy(audioAccumulation_.get() + audioAccumulated_, unit, length);
        audioAccumulated_ += length;
        return FlushCalendarPages(audioAccumulation_.get(), audioAccumulated_, true, false);
    }
    static constexpr std::uint8_t kAudioCode[4] = {0x00, 0x00, 0x01, kAudioFirstType};
    return LayIntoPages(kAudioCode, sizeof kAudioCode) && LayIntoPages(unit, length);
}

bool VvfWriter::Close()
{
    if (fd_ < 0) return !failed_;
    if (!failed_ && RulesFor(modelType_).calendarPages) {
        // What is still accumulated goes out in a last page of each kind instead of being lost.
        FlushCalendarPages(videoAccumulation_.get(), videoAccumulated_, false, true);
        FlushCalendarPages(audioAccumulation_.get(), audioAccumulated_, true, true);
    } else {
        // A record ends where the next start code begins: without one after it, no reader could
        // end (and so deliver) the last record written. The closing code itself ends nowhere and
        // is never delivered.
        if (written_ > 0) {
            static constexpr std::uint8_t kClosingCode[4] = {0x00, 0x00, 0x01, kVideoUpdateType};
            LayIntoPages(kClosingCode, sizeof kClosingCode);
        }
        const std::size_t used = static_cast<std::size_t>(written_ % kPageSize);
        if (used != 0) {
            const std::uint8_t zeros[kPageSize] = {};
            Put(zeros, kPageSize - used);
        }
    }
    // A page cut by a failed write (the recording's or the closing one) would break the file;
    // the whole pages before it stay.
    if (failed_ && ::ftruncate(fd_, static_cast<off_t>(written_ - written_ % kPageSize)) != 0 && lastErrno_ == 0)
        lastErrno_ = errno;
    if (::close(fd_) != 0 && !failed_) {
        failed_ = true;
        lastErrno_ = errno;
    }
    fd_ = -1;
    return !failed_;
}

}  // namespace tamlorex
