#include "export/avi_channel_writer.h"

namespace tamlorex {

AviChannelWriter::AviChannelWriter() { ResetCompressOptions(); }

AviChannelWriter::~AviChannelWriter() { CloseFile(); }

bool AviChannelWriter::OpenFile(const std::string& path)
{
    videoFormat_ = BitmapFormat{};
    CloseFile();
    lastErrno_ = 0;
    framesWritten_ = 0;
    file_ = std::make_unique<AviFile>();
    if (!file_->Create(path)) {
        lastErrno_ = file_->LastErrno();
        file_.reset();
        failed_ = true;
        return false;
    }
    path_ = path;
    return true;
}

bool AviChannelWriter::IsOpen() const { return file_ != nullptr; }

bool AviChannelWriter::CreateStreams(std::uint32_t rate, std::uint32_t scale, const BitmapFormat* video,
                                     const WaveFormat* sound)
{
    soundEnabled_ = false;
    if (video) videoFormat_ = *video;
    if (!file_) {
        failed_ = true;
        return false;
    }
    if (sound) {
        soundFormat_ = *sound;
        sound_ = file_->CreateSoundStream(soundFormat_);
        if (!sound_) failed_ = true;
        soundEnabled_ = true;
    }
    video_ = file_->CreateVideoStream(rate, scale);
    if (video_) compressed_ = CompressedVideoStream::Make(*video_, GetCompressOptions(), threads_);
    if (!video_ || !compressed_ || !compressed_->SetFormat(videoFormat_) || !file_->BeginWriting()) {
        failed_ = true;
        return false;
    }
    return !failed_;
}

bool AviChannelWriter::WriteFrame(std::int64_t index, const std::uint8_t* picture)
{
    if (failed_ || !compressed_) return false;
    if (!compressed_->Write(index, picture, compressed_->FrameBytes(), true)) {
        failed_ = true;
        return false;
    }
    ++framesWritten_;
    return true;
}

bool AviChannelWriter::WriteSound(const std::uint8_t* bytes, std::size_t length)
{
    if (!soundEnabled_) return true;
    if (failed_ || !sound_) return false;
    const std::size_t samples = length / soundFormat_.blockAlign;
    if (!sound_->Write(nextSample_, bytes, samples * soundFormat_.blockAlign)) {
        failed_ = true;
        return false;
    }
    nextSample_ += static_cast<std::int64_t>(samples);
    return true;
}

bool AviChannelWriter::CloseFile()
{
    bool ok = !failed_;
    if (compressed_ && compressed_->Release() != CompressedVideoStream::ReleaseResult::kOk) ok = false;
    compressed_.reset();
    sound_ = nullptr;
    video_ = nullptr;
    if (file_) {
        if (!file_->Close()) ok = false;
        lastErrno_ = file_->LastErrno();
    }
    Reset();
    return ok;
}

void AviChannelWriter::DiscardFile()
{
    compressed_.reset();
    if (file_) file_->Discard();
    Reset();
}

void AviChannelWriter::Reset()
{
    compressed_.reset();
    sound_ = nullptr;
    video_ = nullptr;
    file_.reset();
    failed_ = false;
    soundEnabled_ = false;
    nextSample_ = 0;
    path_.clear();
}

}  // namespace tamlorex
