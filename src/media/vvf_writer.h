#pragma once
// Lays received records into the pages of a VVF file (local recording of the live stream).
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>

namespace tamlorex {

class VvfWriter {
public:
    VvfWriter();
    ~VvfWriter();
    VvfWriter(const VvfWriter&) = delete;
    VvfWriter& operator=(const VvfWriter&) = delete;

    // mode 2 is the only mode; splitCount is 1, 4, 9 or 16.
    void Configure(int mode, int modelType, int splitCount);
    bool Open(const std::string& path);
    bool IsOpen() const { return fd_ >= 0; }
    // A live-layout picture record; it is converted to the stored form in place.
    bool WriteVideo(std::uint8_t* record, std::uint32_t length);
    // A sound unit as received (its first two bytes become the two bytes readers skip).
    bool WriteAudio(const std::uint8_t* unit, std::uint32_t length);
    // Finishes the file: the closing code and padding, or after a failed write the whole pages
    // before it. False when the file could not be finished or a write had failed since Open
    // (LastErrno says why); the whole pages written stay either way.
    bool Close();

    // The clock for page times (seconds since 1970); tests set a fixed one.
    void SetClock(std::function<std::time_t()> clock) { clock_ = std::move(clock); }
    std::uint64_t BytesWritten() const { return written_; }
    // A write to the file failed since Open; Close then keeps only the whole pages written.
    bool Failed() const { return failed_; }
    // errno of the failed write or close; 0 when none failed.
    int LastErrno() const { return lastErrno_; }

private:
    void BuildHeader(std::uint8_t* header, bool audioPage) const;
    // Lays bytes into the page stream, opening new pages with a header (model types 1..6).
    bool LayIntoPages(const std::uint8_t* bytes, std::size_t length);
    // Writes whole calendar pages while more than a page body is accumulated (model type 0).
    bool FlushCalendarPages(std::uint8_t* accumulated, std::size_t& count, bool audio, bool all);
    bool Put(const std::uint8_t* bytes, std::size_t length);

    int fd_ = -1;
    bool failed_ = false;
    int lastErrno_ = 0;
    int mode_ = 2;
    int modelType_ = 0;
    int splitCount_ = 1;
    std::function<std::time_t()> clock_;
    std::uint64_t written_ = 0;
    bool fullSeen_ = false;
    std::uint16_t previousFrame_ = 0;
    std::uint8_t interval_ = 0;
    std::unique_ptr<std::uint8_t[]> videoAccumulation_;
    std::size_t videoAccumulated_ = 0;
    std::unique_ptr<std::uint8_t[]> audioAccumulation_;
    std::size_t audioAccumulated_ = 0;
};

}  // namespace tamlorex
