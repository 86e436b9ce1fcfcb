#include "app/engine_capture_link.h"

#include "engine/media_engine.h"

namespace tamlorex::app {

bool EngineCaptureLink::FrameSize(int& width, int& height) const { return engine_.CaptureFrameSize(width, height); }

void EngineCaptureLink::SetCompressor(const CompressOptions& options)
{
    engine_.CaptureWriter().SetCompressorChooser([options](CompressOptions& chosen) {
        chosen = options;
        return true;
    });
}

int EngineCaptureLink::StartCapture(const std::string& path, int width, int height, bool lowSpeed)
{
    const int result = engine_.StartCapture(path, width, height, lowSpeed);
    if (result == kCaptureOk) {
        width_ = width;
        height_ = height;
    }
    return result;
}

void EngineCaptureLink::StopCapture() { engine_.StopCapture(); }

void EngineCaptureLink::SignalCaptureEvent() { engine_.CaptureTick(); }

int EngineCaptureLink::WriteCaptureFrame(const std::uint8_t* dib24, int key)
{
    // The display recording's frames have the size the capture started with.
    const std::size_t bytes = static_cast<std::size_t>(width_.load()) * static_cast<std::size_t>(height_.load()) * 3;
    return engine_.CaptureWriter().WriteCaptureFrame(dib24, bytes, key);
}

}  // namespace tamlorex::app
