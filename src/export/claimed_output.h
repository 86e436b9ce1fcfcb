#pragma once
// The output of a muxer on our own descriptor, with file-system space claimed ahead: before each
// packet goes to the muxer the writer claims room for it and for what finishing the file needs
// (its index), so that on a full disk or at the process's file-size limit the packet is refused
// whole and the file can still be finished, holding every whole frame before it.
//
// Space is claimed with fallocate(KEEP_SIZE): the file's length stays what has been written, so a
// file cut short by a crash ends where its data end. A file system that cannot claim space ahead
// is written without.
#include <cstdint>
#include <string>

struct AVIOContext;

namespace tamlorex {

class ClaimedOutput {
public:
    ClaimedOutput() = default;
    // Closes as Discard does when not finished.
    ~ClaimedOutput();
    ClaimedOutput(const ClaimedOutput&) = delete;
    ClaimedOutput& operator=(const ClaimedOutput&) = delete;

    // Creates (or truncates) the file and the I/O context the muxer writes through; false with
    // LastErrno when either cannot be made (nothing is left behind).
    bool Create(const std::string& path);
    bool IsOpen() const { return io_ != nullptr; }
    // For AVFormatContext::pb (with AVFMT_FLAG_CUSTOM_IO); it stays ours.
    AVIOContext* Io() const { return io_; }

    // Claims space up to `end` bytes of file; false (LastErrno set) when there is none: disk full,
    // size limit, or another failure of the file system.
    bool Reserve(std::uint64_t end);
    // Bytes written so far, after the muxer's buffer has gone out.
    std::uint64_t Flushed();
    // errno of the first failure to write, claim space or finish; 0 when none.
    int LastErrno() const { return lastErrno_; }
    void Fail(int error);

    // Writes out what the muxer left, gives the unused claim back and closes; true when every
    // write since Create went well.
    bool Finish();
    // Closes without finishing and deletes the file.
    void Discard();

private:
    // The muxer's writes and seeks (FFmpeg passes the bytes non-const).
    static int WriteBytes(void* opaque, std::uint8_t* bytes, int size);
    static std::int64_t SeekTo(void* opaque, std::int64_t offset, int whence);
    void FreeIo();

    AVIOContext* io_ = nullptr;
    int fd_ = -1;
    std::string path_;
    std::uint64_t position_ = 0;  // where the muxer writes next
    std::uint64_t end_ = 0;       // bytes the muxer has written (the file's true length)
    std::uint64_t reserved_ = 0;  // bytes claimed from the file system
    bool canReserve_ = true;
    int lastErrno_ = 0;
};

}  // namespace tamlorex
