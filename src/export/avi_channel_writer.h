#pragma once
// One channel's AVI file of an export: 24-bit bottom-up pictures through the shared compressor
// choice, and optional 8-bit sound. Every failure is remembered in the failed flag, after which
// the writer refuses all writes until the file is closed.
//
// One thread at a time: the export's first pass creates the file, its second pass writes it.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "export/avi_file.h"
#include "export/export_writer.h"

namespace tamlorex {

class AviChannelWriter : public ExportWriter {
public:
    // Resets the shared CompressOptions.
    AviChannelWriter();
    // Closes the file as CloseFile does.
    ~AviChannelWriter() override;
    AviChannelWriter(const AviChannelWriter&) = delete;
    AviChannelWriter& operator=(const AviChannelWriter&) = delete;

    // Restores the default picture format (640 x 224, 24 bits), closes an open file, and creates
    // the file. Sets failed when it cannot be created.
    bool OpenFile(const std::string& path);
    bool IsOpen() const override;
    // Sound stream first when `sound` is given (its header: scale = block align, rate = bytes per
    // second), then the video stream at rate / scale frames per second with `video` (or the
    // current format) through the shared compressor. False, with failed set, when any step fails.
    bool CreateStreams(std::uint32_t rate, std::uint32_t scale, const BitmapFormat* video, const WaveFormat* sound);
    // One key frame of the format's image size at `index`.
    bool WriteFrame(std::int64_t index, const std::uint8_t* picture) override;
    // True without writing when there is no sound stream.
    bool WriteSound(const std::uint8_t* bytes, std::size_t length) override;
    // Finishes the file (sound, compressed video, video, file) and clears failed. False when the
    // file could not be finished (the compressor's last pictures, the index, the close) or a
    // write had failed; LastErrno then says why when the file system did.
    bool CloseFile() override;
    int LastErrno() const override { return lastErrno_; }
    // Closes without finishing and removes the file.
    void DiscardFile() override;

    bool Failed() const { return failed_; }
    bool SoundEnabled() const { return soundEnabled_; }
    const BitmapFormat& VideoFormat() const override { return videoFormat_; }
    std::int64_t NextSoundSample() const { return nextSample_; }
    // Frames handed to WriteFrame and written since the file was opened.
    std::int64_t FramesWritten() const override { return framesWritten_; }
    const std::string& Path() const { return path_; }

    // Threads the compressor may use (1 by default). Before CreateStreams.
    void SetCompressorThreads(int threads) { threads_ = threads; }

private:
    void Reset();

    std::unique_ptr<AviFile> file_;
    AviSoundStream* sound_ = nullptr;
    AviVideoStream* video_ = nullptr;
    std::unique_ptr<CompressedVideoStream> compressed_;
    BitmapFormat videoFormat_;
    WaveFormat soundFormat_;
    std::string path_;
    std::int64_t nextSample_ = 0;
    std::int64_t framesWritten_ = 0;
    bool soundEnabled_ = false;
    bool failed_ = false;
    int lastErrno_ = 0;
    int threads_ = 1;
};

}  // namespace tamlorex
