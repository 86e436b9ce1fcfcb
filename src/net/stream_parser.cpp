#include "net/stream_parser.h"

#include <algorithm>

#include "net/hex_field.h"

namespace tamlorex {
namespace {

constexpr std::size_t kPictureCapacity = kRecordBufferSize + kStartCodeSize;
constexpr std::size_t kAudioCapacity = kLiveAudioSize + kStartCodeSize;
constexpr int kAudioBytesSkipped = 2;  // the two bytes after FA that are not samples
constexpr std::size_t kMessageLengthOffset = 4;
constexpr std::size_t kMessageMinimum = 8;  // start code and length field

}  // namespace

CalendarTime LivePictureTime()
{
    CalendarTime t;
    t.year = 2008;
    t.month = 1;
    t.day = 1;
    t.hour = 10;
    return t;
}

StreamParser::StreamParser(RecordQueue& video, RecordQueue& audio, MessageHandler onMessage)
    : video_(video),
      audio_(audio),
      onMessage_(std::move(onMessage)),
      picture_(new std::uint8_t[kPictureCapacity]()),
      audio_buffer_(new std::uint8_t[kAudioCapacity]()),
      message_(new std::uint8_t[kMessageBufferSize]())
{
    picture_[2] = 0x01;
    message_[2] = 0x01;
    message_[3] = kControlType;
}

void StreamParser::Feed(const std::uint8_t* data, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t b = data[i];
        sync_ = (sync_ << 8) | b;
        switch (state_) {
        case kParsePicture:
            if (pictureFill_ < kPictureCapacity) picture_[pictureFill_++] = b;
            break;
        case kParseAudio:
            if (audioFill_ < kAudioCapacity) {
                audio_buffer_[audioFill_] = b;
                if (audioSkip_ >= kAudioBytesSkipped) ++audioFill_;
                else ++audioSkip_;
            }
            break;
        case kParseMessage:
            // Bytes past the buffer are counted, not stored: an oversized message still ends at
            // its declared length.
            if (messageFill_ < kMessageBufferSize) message_[messageFill_] = b;
            ++messageFill_;
            if (messageFill_ == kMessageMinimum) messageLength_ = HexField::Read(message_.get() + kMessageLengthOffset);
            if (messageFill_ >= kMessageMinimum && messageFill_ >= messageLength_) {
                CompleteMessage();
                continue;  // the byte that completes a message starts nothing
            }
            break;
        default:
            break;
        }
        if ((sync_ >> 4) == 0x0000001Fu) OnStartCode(b);
    }
}

void StreamParser::CompleteMessage()
{
    state_ = savedState_;
    // A message shorter than its 12-byte header has no code to act on.
    ControlMessage message;
    if (ControlPacket::Parse(message_.get(), std::min(messageFill_, kMessageBufferSize), message) && onMessage_)
        onMessage_(message);
    messageFill_ = kStartCodeSize;
}

void StreamParser::OnStartCode(std::uint8_t type)
{
    if (audioFill_ != 0) {
        // The count ends with this start code's bytes, or with what the two skipped bytes left of
        // them: a block of no more than that holds no samples and is not pushed. (A sound block
        // that a message follows resumes after the message only to meet the next start code.)
        const std::size_t samples = audioFill_ > kStartCodeSize ? audioFill_ - kStartCodeSize : 0;
        if (samples > 0) audio_.Push(audio_buffer_.get(), samples, CalendarTime{});
        audioFill_ = 0;
        audioSkip_ = 0;
    }
    switch (type) {
    case kVideoUpdateType:
    case kVideoFullType:
        if (pictureFill_ > kStartCodeSize) {
            pictureFill_ -= kStartCodeSize;
            video_.Push(picture_.get(), pictureFill_, LivePictureTime());
            pictureFill_ = kStartCodeSize;
        }
        savedState_ = state_;
        state_ = kParsePicture;
        picture_[3] = type;
        break;
    case kAudioFirstType:
        savedState_ = state_;
        state_ = kParseAudio;
        break;
    case kControlType:
        // A message inside a picture is no part of it: its start code leaves the picture buffer.
        if (state_ == kParsePicture && pictureFill_ >= 2 * kStartCodeSize) pictureFill_ -= kStartCodeSize;
        if (state_ != kParseMessage) savedState_ = state_;
        state_ = kParseMessage;
        messageFill_ = kStartCodeSize;
        break;
    default:
        break;
    }
}

}  // namespace tamlorex
