#pragma once
// "Save AVI" carried out by the engine's AVI capture writer. In Player mode the display recording
// hands its frames here; in Client mode the engine's live worker writes the pictures itself.
#include <atomic>
#include <cstdint>

#include "app/engine_links.h"
#include "display/qt/display_recording.h"

namespace tamlorex {
class MediaEngine;
}

namespace tamlorex::app {

class EngineCaptureLink : public CaptureLink, public display::CaptureFrameSink {
public:
    explicit EngineCaptureLink(MediaEngine& engine) : engine_(engine) {}

    bool FrameSize(int& width, int& height) const override;
    void SetCompressor(const CompressOptions& options) override;
    int StartCapture(const std::string& path, int width, int height, bool lowSpeed) override;
    void StopCapture() override;
    void SignalCaptureEvent() override;
    display::CaptureFrameSink* FrameSink() override { return this; }

    int WriteCaptureFrame(const std::uint8_t* dib24, int key) override;

private:
    MediaEngine& engine_;
    // Set before the display recording starts; read by the thread that draws.
    std::atomic<int> width_{0};
    std::atomic<int> height_{0};
};

}  // namespace tamlorex::app
