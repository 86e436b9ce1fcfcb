#include "engine/sound_feed.h"

#include <algorithm>
#include <cstring>

#include "audio/audio_out.h"

namespace tamlorex {

SoundFeed::SoundFeed(std::size_t limit) : limit_(limit) {}

void SoundFeed::Push(const std::uint8_t* samples, std::size_t n)
{
    if (n == 0 || samples == nullptr) return;
    if (n > limit_) {
        samples += n - limit_;
        n = limit_;
    }
    if (Pending() + n > limit_) begin_ += Pending() + n - limit_;
    // Waiting samples move to the front before the buffer would grow.
    if (begin_ > 0 && end_ + n > samples_.size()) {
        std::memmove(samples_.data(), samples_.data() + begin_, Pending());
        end_ -= begin_;
        begin_ = 0;
    }
    if (end_ + n > samples_.size()) samples_.resize(end_ + n);
    std::memcpy(samples_.data() + end_, samples, n);
    end_ += n;
}

void SoundFeed::Pump(AudioOut& audio, bool alaw)
{
    if (Pending() == 0) return;
    const std::size_t n = std::min(Pending(), audio.Room(alaw));
    if (n == 0) return;
    const std::uint8_t* at = samples_.data() + begin_;
    const AudioWrite result = alaw ? audio.WriteALaw(at, n) : audio.WriteRaw(at, n);
    // Without a device position nothing can be played: the sound is dropped, as a write drops it.
    if (result == AudioWrite::Written || result == AudioWrite::Failed) begin_ += n;
    if (begin_ == end_) Clear();
}

void SoundFeed::Clear()
{
    begin_ = 0;
    end_ = 0;
}

}  // namespace tamlorex
