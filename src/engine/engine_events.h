#pragma once
// What the engine tells the window, the command-line tool and the tests as it happens. Calls come
// from the engine's worker thread (pictures, sound, state) and from the network client's thread
// (connection state, errors); an observer hands them on to its own thread where it needs to.
#include <cstddef>
#include <cstdint>
#include <string>

#include "media/frame_record.h"

namespace tamlorex {

class EngineObserver {
public:
    virtual ~EngineObserver() = default;
    // The playback state or the speed changed.
    virtual void OnStateChanged(int state, double speed) = 0;
    // A picture was handed to the video window.
    virtual void OnPictureShown(int channel, const CalendarTime& time, const std::uint8_t* yuv, int width,
                                int height) = 0;
    // Client mode.
    virtual void OnConnState(int state) {}
    virtual void OnClientError(const std::string& text) {}
    virtual void OnLivePicture(bool full, const std::uint8_t* yuv, int width, int height) {}
    virtual void OnLiveAudio(std::size_t bytes) {}
    // Client mode's stall alert: no new picture for the stall time since the client was online
    // (`seconds` since the last picture, or since going online), and the picture that ends it.
    virtual void OnPictureStall(double seconds) {}
    virtual void OnPictureResumed() {}
};

}  // namespace tamlorex
