#pragma once
// Cuts the recorder's live byte stream into pictures (00 00 01 F8/F9), sound blocks (FA) and
// control messages (FE). Units carry no length: each ends where the next start code begins. The
// state persists between reads (and across reconnections), so a start code may span two reads.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "media/frame_record.h"
#include "net/control_packet.h"
#include "net/record_queue.h"

namespace tamlorex {

inline constexpr std::size_t kMessageBufferSize = 1024;

enum ParseState : int {
    kParseSearching = 0,
    kParsePicture = 1,
    kParseAudio = 2,
    kParseMessage = 3,
};

// The time every live picture carries: the stream has none (2008-01-01 10:00:00).
CalendarTime LivePictureTime();

class StreamParser {
public:
    using MessageHandler = std::function<void(const ControlMessage&)>;

    StreamParser(RecordQueue& video, RecordQueue& audio, MessageHandler onMessage);
    StreamParser(const StreamParser&) = delete;
    StreamParser& operator=(const StreamParser&) = delete;

    void Feed(const std::uint8_t* data, std::size_t length);

    int State() const { return state_; }
    int SavedState() const { return savedState_; }

private:
    void OnStartCode(std::uint8_t type);
    void CompleteMessage();

    RecordQueue& video_;
    RecordQueue& audio_;
    MessageHandler onMessage_;

    std::uint32_t sync_ = 0xFFFFFFFFu;
    int state_ = kParseSearching;
    int savedState_ = kParseSearching;
    // Each buffer has room for the four bytes of the start code that ends its unit, so a unit cut
    // at its capacity still loses only the start code when it is pushed.
    std::unique_ptr<std::uint8_t[]> picture_;
    std::size_t pictureFill_ = kStartCodeSize;
    std::unique_ptr<std::uint8_t[]> audio_buffer_;
    std::size_t audioFill_ = 0;
    int audioSkip_ = 0;
    std::unique_ptr<std::uint8_t[]> message_;
    std::size_t messageFill_ = kStartCodeSize;  // bytes counted, stored or not
    std::size_t messageLength_ = 0;
};

}  // namespace tamlorex
