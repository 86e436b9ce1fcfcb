#pragma once
// Player mode's worker: reads the records of the open recording forward or backward, shows each
// picture of a shown channel exactly as decoding the recording in order gives it, plays the sound
// at normal speed, and paces everything by the recording's clock at the chosen speed. Fast
// forward and rewind jump ahead when they fall behind and show only what needs no rebuilding.
#include <cstdint>
#include <memory>

#include "codec/record_pipeline.h"
#include "engine/engine_shared.h"
#include "engine/media_clock.h"
#include "engine/picture_chains.h"
#include "engine/picture_index.h"
#include "engine/sound_feed.h"
#include "media/vvf_reader.h"

namespace tamlorex {

class AudioOut;
class AviCaptureWriter;
class VideoWindow;

class PlaybackWorker {
public:
    PlaybackWorker(VvfReader& reader, RecordPipeline& pipeline, VideoWindow& window, AudioOut& audio,
                   AviCaptureWriter& capture, EngineShared& shared);
    ~PlaybackWorker();

    // The worker's body: plays the open source until `stop` is set; returns 1.
    int Run(Event& stop);

private:
    struct Pending {
        bool valid = false;
        std::uint64_t start = 0;
        std::uint32_t length = 0;
        std::int64_t media = 0;
        CalendarTime time{};
    };
    struct Mark {
        bool valid = false;
        std::uint64_t start = 0;
        std::int64_t media = 0;
    };
    // The records read one after another since the scan was last moved: what the index may count
    // as wholly known.
    struct ReadRun {
        bool active = false;
        bool forward = true;
        std::uint64_t low = 0;
        std::uint64_t high = 0;
    };

    void Apply(int command, std::uint64_t target);
    void Play(bool forward);
    void Step(bool forward);
    void Search();
    void Idle(double ms);

    // Reads the next record; 0 for nothing delivered.
    std::uint32_t Read(bool forward);
    void PrepareCursor(bool forward);
    void StartRun(bool forward, std::uint64_t low, std::uint64_t high);
    void ExtendRun(std::uint64_t start, bool forward);
    void OnEmptyRead(bool forward);
    void Wrap();
    // Takes a delivered record: sound to the output, a picture of a shown channel into `pending_`.
    void Consume(std::uint32_t length, bool forward);
    void PlaySound(std::uint32_t length);
    // Shows the pending picture when it can be made exact; true when shown.
    bool ShowPending(bool rebuild, PictureChains::Keep keep);
    void Present(const CalendarTime& time);
    void ShowAtTarget(std::uint64_t start);

    bool Fast() const;
    void FollowSpeed();
    void Anchor(std::int64_t media);
    double BehindMs() const;
    void Jump(bool forward);
    void NoteRate(std::uint64_t position, std::int64_t media);

    VvfReader& reader_;
    RecordPipeline& pipeline_;
    VideoWindow& window_;
    AudioOut& audio_;
    AviCaptureWriter& capture_;
    EngineShared& shared_;
    Event* stop_ = nullptr;

    PictureIndex index_;
    PictureChains chains_;
    MediaClock clock_;
    SoundFeed feed_;
    std::unique_ptr<std::uint8_t[]> record_;

    Pending pending_;
    Mark lastShown_;
    Mark lastConsumed_;
    bool lastReadForward_ = true;
    bool reposition_ = false;
    ReadRun run_;
    std::uint64_t searchTarget_ = 0;
    int failures_ = 0;
    int shownSinceJump_ = 0;
    int stepMisses_ = 0;
    int appliedTenths_ = 0;
    bool appliedForward_ = true;
    bool alaw_ = false;
    // Bytes of the recording per microsecond of its clock, as read so far (0: not known yet).
    double bytesPerUs_ = 0;
    std::uint64_t ratePosition_ = 0;
    std::int64_t rateMedia_ = 0;
    bool rateStarted_ = false;
};

}  // namespace tamlorex
