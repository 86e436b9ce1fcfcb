#include "export/claimed_output.h"

#include <fcntl.h>
#include <linux/falloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace tamlorex {
namespace {

constexpr int kIoBufferSize = 1 << 16;
constexpr std::uint64_t kReserveStep = 4ull << 20;

}  // namespace

ClaimedOutput::~ClaimedOutput() { Discard(); }

bool ClaimedOutput::Create(const std::string& path)
{
    Discard();
    lastErrno_ = 0;
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        lastErrno_ = errno;
        return false;
    }
    path_ = path;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferSize));
    io_ = buffer ? avio_alloc_context(buffer, kIoBufferSize, 1, this, nullptr, &ClaimedOutput::WriteBytes,
                                      &ClaimedOutput::SeekTo)
                 : nullptr;
    if (!io_) {
        av_free(buffer);
        Discard();
        lastErrno_ = ENOMEM;
        return false;
    }
    position_ = end_ = reserved_ = 0;
    canReserve_ = true;
    return true;
}

int ClaimedOutput::WriteBytes(void* opaque, std::uint8_t* bytes, int size)
{
    auto& out = *static_cast<ClaimedOutput*>(opaque);
    int done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(out.fd_, bytes + done, static_cast<std::size_t>(size - done),
                                   static_cast<off_t>(out.position_));
        if (n < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            out.Fail(error);
            return AVERROR(error);
        }
        done += static_cast<int>(n);
        out.position_ += static_cast<std::uint64_t>(n);
        out.end_ = std::max(out.end_, out.position_);
    }
    return size;
}

std::int64_t ClaimedOutput::SeekTo(void* opaque, std::int64_t offset, int whence)
{
    auto& out = *static_cast<ClaimedOutput*>(opaque);
    std::int64_t base = 0;
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE: return static_cast<std::int64_t>(out.end_);
    case SEEK_SET: break;
    case SEEK_CUR: base = static_cast<std::int64_t>(out.position_); break;
    case SEEK_END: base = static_cast<std::int64_t>(out.end_); break;
    default: return AVERROR(EINVAL);
    }
    if (offset < -base) return AVERROR(EINVAL);
    out.position_ = static_cast<std::uint64_t>(base + offset);
    return static_cast<std::int64_t>(out.position_);
}

void ClaimedOutput::Fail(int error)
{
    if (lastErrno_ == 0) lastErrno_ = error;
}

std::uint64_t ClaimedOutput::Flushed()
{
    if (io_) avio_flush(io_);
    return end_;
}

bool ClaimedOutput::Reserve(std::uint64_t end)
{
    // The process's file-size limit: the file may not grow past it.
    rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && end > limit.rlim_cur) {
        Fail(EFBIG);
        return false;
    }
    if (!canReserve_ || end <= reserved_) return true;
    // Claimed a few MiB at a time, near the end of the space only what is needed.
    for (const std::uint64_t target : {std::max(end, reserved_ + kReserveStep), end}) {
        const int error = ::fallocate(fd_, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(reserved_),
                                      static_cast<off_t>(target - reserved_)) == 0 ? 0 : errno;
        if (error == 0) {
            reserved_ = target;
            return true;
        }
        if (error == EOPNOTSUPP || error == EINVAL || error == ENOSYS) {
            canReserve_ = false;
            return true;
        }
        if ((error != ENOSPC && error != EFBIG && error != EDQUOT) || target == end) {
            Fail(error);
            return false;
        }
    }
    return false;
}

bool ClaimedOutput::Finish()
{
    if (fd_ < 0) return lastErrno_ == 0;
    if (io_) avio_flush(io_);
    // The space claimed ahead and not used goes back.
    if (::ftruncate(fd_, static_cast<off_t>(end_)) != 0) Fail(errno);
    if (::close(fd_) != 0) Fail(errno);
    fd_ = -1;
    FreeIo();
    path_.clear();
    return lastErrno_ == 0;
}

void ClaimedOutput::Discard()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!path_.empty()) ::unlink(path_.c_str());
    path_.clear();
    FreeIo();
}

void ClaimedOutput::FreeIo()
{
    if (!io_) return;
    av_freep(&io_->buffer);
    avio_context_free(&io_);
}

}  // namespace tamlorex
