#pragma once
// Reads the record stream of a recording: a VVF file, a recorder's disk, or an image of one.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "media/frame_record.h"
#include "media/page_header.h"

namespace tamlorex {

class Alerts;

class VvfReader {
public:
    VvfReader();
    ~VvfReader();
    VvfReader(const VvfReader&) = delete;
    VvfReader& operator=(const VvfReader&) = delete;

    // Where "Open Error" goes when the size of an opened source cannot be determined.
    void SetAlerts(Alerts* alerts) { alerts_ = alerts; }
    // While *cancel is true a read gives up at the next page boundary and delivers nothing (the
    // record it was assembling is dropped; the position stays at a page start): a long scan over
    // pages without start codes ends as soon as its owner stops. Null: never cancelled.
    void SetCancel(const std::atomic<bool>* cancel) { cancel_ = cancel; }

    // drive: the source is a recorder's disk (or an image of one) with every 16-bit word swapped.
    bool Open(const std::string& path, bool drive);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }
    bool IsDrive() const { return swap_; }
    // Why the last Open failed, for people.
    const std::string& LastError() const { return lastError_; }
    // errno of the last failed Open; 0 when the source opened but is not a file or a disk.
    int LastErrno() const { return lastErrno_; }

    void SetModelType(int modelType);
    int ModelType() const { return modelType_; }

    // Each returns the length delivered into buffer (kRecordBufferSize bytes), 0 for nothing.
    std::uint32_t ReadNext(std::uint8_t* buffer);
    std::uint32_t ReadPrevious(std::uint8_t* buffer);

    std::uint64_t GetPosition() const { return position_; }
    std::uint64_t GetSize() const { return size_; }
    void SetPosition(std::uint64_t offset);
    // Positions the scan on a record: ReadNext then delivers the record after the one whose start
    // code begins at `recordStart`, and ReadPrevious the record before it (the alternation rule).
    void SetCursor(std::uint64_t recordStart);
    // Starts a forward scan afresh at `offset` (a page start): the first start code found there
    // opens the first record delivered.
    void Rescan(std::uint64_t offset);
    bool SetSeekTarget(std::uint64_t offset);
    std::uint32_t ReadAtSeekTarget(std::uint8_t* buffer);

    bool GetCurrentTime(CalendarTime& out) const;
    // The current page's time whatever its plausibility.
    const CalendarTime& CurrentPageTime() const { return pageTime_; }

    bool IsAudio() const { return audio_; }
    // File offset of the first byte of the last delivered record's start code.
    std::uint64_t GetRecordStart() const { return recordStart_; }
    // The page time (seconds since 1970) of the last delivered record.
    std::uint32_t GetPageTime() const { return deliveredTime_; }
    int GetChannel() const { return channel_; }
    std::uint32_t GetLength() const { return length_; }
    std::uint16_t GetChannelMask() const { return deliveredMask_; }
    std::uint8_t GetFrameInterval() const { return deliveredInterval_; }

    // Reads one whole page in file byte order without disturbing the scan; false on a short read.
    bool ReadPage(std::uint64_t pageStart, std::uint8_t* page) const;

    // Copies the pages that hold [start, end] into a new VVF file in file byte order.
    bool ExportSpan(std::uint64_t start, std::uint64_t end, const std::string& target) const;

private:
    enum class PageRead { Ok, Short, BadChecksum };
    PageRead LoadPage(std::uint64_t pageStart);
    // The owner asked the read to give up (see SetCancel); the scanner is cleared.
    bool Cancelled();
    void ClearScanner();
    // Ends a scan on a page that is short or damaged (true), or lets it go on (false).
    bool EndsScan(PageRead result, std::uint64_t pageStart, bool forward);
    // Forward scanning of page bytes [from, to); returns the length delivered or 0 to go on.
    // Feeds page bytes from offset `from` to the end of the page; true when a record was delivered.
    bool ScanForward(std::size_t from, std::uint8_t* buffer, std::uint32_t& delivered);
    // A start code in the register, its first byte at file offset firstByte; true on delivery.
    bool OnForwardCode(std::uint64_t firstByte, std::uint8_t* buffer, std::uint32_t& delivered);
    void AppendForward(const std::uint8_t* bytes, std::size_t count);
    // Backward scanning: stores bytes taken from the highest down while collecting, and finds
    // the highest start code at or below a body offset.
    void StoreBackward(const std::uint8_t* bytes, std::size_t n);
    bool FindCodeBackward(std::size_t from, std::size_t& at) const;
    void Deliver(bool audio, int channel, std::uint32_t length);

    Alerts* alerts_ = nullptr;
    int fd_ = -1;
    std::string path_;
    const std::atomic<bool>* cancel_ = nullptr;
    std::string lastError_;
    int lastErrno_ = 0;
    std::uint64_t size_ = 0;
    std::uint64_t position_ = 0;
    std::uint64_t seekTarget_ = 0;
    int modelType_ = 0;
    bool bigEndian_ = false;
    bool swap_ = false;

    // The page in memory and its header.
    std::array<std::uint8_t, kPageSize> page_{};
    // Whole pages read ahead from the source, in source byte order.
    std::unique_ptr<std::uint8_t[]> chunk_;
    std::uint64_t chunkStart_ = 0;
    std::size_t chunkValid_ = 0;
    CalendarTime pageTime_{};
    std::uint16_t pageMask_ = 0;
    std::uint8_t pageInterval_ = 0;
    std::uint32_t pageSeconds_ = 0;

    // Scanner state.
    std::uint32_t reg_ = 0xFFFFFFFFu;
    bool collecting_ = false;
    // Bytes of the record so far: forward capped at the buffer, backward counted in full
    // while the buffer keeps the latest ones as a ring, written downwards.
    std::size_t collected_ = 0;
    bool backward_ = false;
    std::uint64_t collectStart_ = 0;  // forward: where the record being collected begins
    std::unique_ptr<std::uint8_t[]> assembly_;

    // The last delivered record.
    bool audio_ = false;
    int channel_ = 0;
    std::uint32_t length_ = 0;
    std::uint16_t deliveredMask_ = 0;
    std::uint8_t deliveredInterval_ = 0;
    std::uint32_t deliveredTime_ = 0;
    std::uint64_t recordStart_ = 0;
};

// Exchanges the two bytes of every 16-bit word (length even).
void SwapWords(std::uint8_t* data, std::size_t length);

}  // namespace tamlorex
