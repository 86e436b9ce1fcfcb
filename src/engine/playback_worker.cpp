#include "engine/playback_worker.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <thread>

#include "audio/audio_out.h"
#include "display/video_window.h"
#include "export/avi_capture_writer.h"
#include "media/model_type.h"
#include "media/page_header.h"

namespace tamlorex {
namespace {

constexpr std::uint64_t kJumpBytesPerSpeed = 20480;  // five pages per unit of speed
constexpr int kFailuresBeforePause = 4;              // the fifth empty read in a row pauses
// Samples waiting for the ring at most: the longest sound record, so that none is cut short.
constexpr std::size_t kSoundBacklog = kRecordBufferSize;
constexpr double kServiceMs = 5;                     // the longest wait: sound and commands are looked after between
constexpr double kLateRestartMs = 1000;              // later than this at a normal speed: a stall, not a speed
constexpr double kBehindJumpMs = 100;                // fast play this far behind its clock jumps ...
constexpr double kFarBehindMs = 500;                 // ... and this far behind, even before J pictures
constexpr int kStepMissesBeforePause = 32;           // pictures a step may fail to rebuild before it gives up
constexpr std::uint64_t kPageMask = ~static_cast<std::uint64_t>(kPageSize - 1);
constexpr std::size_t kIndexLimit = 1u << 20;        // entries before the index forgets far stretches
constexpr std::uint64_t kIndexKeep = std::uint64_t{1} << 30;  // bytes kept either side of the position

double NowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

PlaybackWorker::PlaybackWorker(VvfReader& reader, RecordPipeline& pipeline, VideoWindow& window, AudioOut& audio,
                               AviCaptureWriter& capture, EngineShared& shared)
    : reader_(reader),
      pipeline_(pipeline),
      window_(window),
      audio_(audio),
      capture_(capture),
      shared_(shared),
      chains_(pipeline, index_),
      feed_(kSoundBacklog),
      record_(new std::uint8_t[kRecordBufferSize])
{
    // Closing the source must not wait for a scan over pages without start codes.
    reader_.SetCancel(&shared_.cancelScans);
    chains_.SetCancel(&shared_.cancelScans);
}

PlaybackWorker::~PlaybackWorker() = default;

int PlaybackWorker::Run(Event& stop)
{
    stop_ = &stop;
    const int model = shared_.modelType.load();
    alaw_ = ModelUsesALaw(model);
    pipeline_.Init(model);
    index_.Clear();
    chains_.Open(reader_.Path(), reader_.IsDrive(), model);
    chains_.Restart();
    clock_.Reset();
    feed_.Clear();
    pending_ = {};
    lastShown_ = {};
    lastConsumed_ = {};
    lastReadForward_ = true;
    reposition_ = false;
    failures_ = shownSinceJump_ = stepMisses_ = 0;
    appliedTenths_ = shared_.SpeedTenths();
    bytesPerUs_ = 0;
    rateStarted_ = false;
    reader_.Rescan(0);
    StartRun(true, 0, 0);
    std::fill_n(record_.get(), kRecordBufferSize, 0);
    audio_.StartLoop();

    while (!stop.IsSet()) {
        int command = kCommandNone;
        std::uint64_t target = 0;
        if (shared_.Take(command, target)) {
            Apply(command, target);
            continue;
        }
        audio_.Service();
        feed_.Pump(audio_, alaw_);
        if (!reader_.IsOpen()) {
            Idle(kServiceMs);
            continue;
        }
        FollowSpeed();
        switch (shared_.State()) {
        case kStatePlay: Play(true); break;
        case kStateReverse: Play(false); break;
        case kStateStepForward: Step(true); break;
        case kStateStepBack: Step(false); break;
        case kStateSearch: Search(); break;
        default: Idle(kServiceMs); break;
        }
    }

    feed_.Clear();
    audio_.StopLoop();
    chains_.Close();
    shared_.ClearTime();
    shared_.SetState(kStateReady);
    shared_.CommandEvent().Reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return 1;
}

void PlaybackWorker::Idle(double ms)
{
    const auto wait = std::chrono::milliseconds(std::max(1, static_cast<int>(std::ceil(ms))));
    Event::WaitAny({stop_, &shared_.CommandEvent()}, wait);
}

void PlaybackWorker::Apply(int command, std::uint64_t target)
{
    const int state = StateForCommand(command);
    if (state < 0) return;
    // A picture read but not yet shown is unread: the scan stands just after the last record
    // taken, and the position says so.
    if (pending_.valid) {
        pending_.valid = false;
        if (lastConsumed_.valid) {
            reader_.SetCursor(lastConsumed_.start);
            StartRun(lastReadForward_, lastConsumed_.start, lastConsumed_.start + 1);
        } else if (lastReadForward_) {
            reader_.Rescan(0);
            StartRun(true, 0, 0);
        } else {
            reposition_ = true;
        }
        shared_.PublishPosition(reader_.GetPosition(), reader_.GetSize());
    }
    if (command == kCommandSeek) searchTarget_ = target;
    stepMisses_ = 0;
    shared_.SetState(state);
    if (command != kCommandPlay) feed_.Clear();
    // Playing starts the clock afresh at the picture on screen.
    clock_.Reset();
    if (lastShown_.valid && (command == kCommandPlay || command == kCommandReverse)) {
        appliedForward_ = command == kCommandPlay;
        appliedTenths_ = shared_.SpeedTenths();
        clock_.Continue(lastShown_.media);
        clock_.Anchor(lastShown_.media, NowMs(), shared_.Speed(), appliedForward_);
    }
}

bool PlaybackWorker::Fast() const { return shared_.SpeedTenths() >= kFirstFastTenths; }

void PlaybackWorker::FollowSpeed()
{
    const int tenths = shared_.SpeedTenths();
    if (tenths == appliedTenths_) return;
    appliedTenths_ = tenths;
    if (tenths != kNormalSpeedTenths) feed_.Clear();
    // The new speed runs from the moment it is chosen, from where the clock stands.
    if (clock_.Anchored()) {
        std::int64_t media = clock_.MediaAt(NowMs());
        if (lastShown_.valid && clock_.Placed()) {
            const std::int64_t lo = std::min(lastShown_.media, clock_.Last());
            const std::int64_t hi = std::max(lastShown_.media, clock_.Last());
            media = std::clamp(media, lo, hi);
        }
        Anchor(media);
    }
}

void PlaybackWorker::Anchor(std::int64_t media)
{
    const int state = shared_.State();
    appliedForward_ = state != kStateReverse && state != kStateStepBack;
    clock_.Anchor(media, NowMs(), shared_.Speed(), appliedForward_);
}

std::uint32_t PlaybackWorker::Read(bool forward)
{
    PrepareCursor(forward);
    const std::uint32_t length = forward ? reader_.ReadNext(record_.get()) : reader_.ReadPrevious(record_.get());
    shared_.PublishPosition(reader_.GetPosition(), reader_.GetSize());
    return length;
}

void PlaybackWorker::PrepareCursor(bool forward)
{
    if (forward == lastReadForward_ && !reposition_) return;
    // Going on the same way: from the last record taken. Turning round: from the picture on
    // screen, so that the first picture the other way is the one next to it.
    const Mark& from = forward == lastReadForward_ || !lastShown_.valid ? lastConsumed_ : lastShown_;
    reposition_ = false;
    lastReadForward_ = forward;
    if (!from.valid) return;
    reader_.SetCursor(from.start);
    StartRun(forward, from.start, from.start + 1);
}

void PlaybackWorker::StartRun(bool forward, std::uint64_t low, std::uint64_t high)
{
    run_.active = true;
    run_.forward = forward;
    run_.low = low;
    run_.high = high;
    rateStarted_ = false;
}

void PlaybackWorker::ExtendRun(std::uint64_t start, bool forward)
{
    if (!run_.active || run_.forward != forward) {
        // Read after the scan was moved without a known place: only this record is known.
        StartRun(forward, start, start + 1);
    }
    if (forward) {
        run_.high = std::max(run_.high, reader_.GetPosition());
    } else {
        run_.low = std::min(run_.low, start);
        run_.high = std::max(run_.high, start + 1);
    }
    index_.Cover(run_.low, run_.high);
}

void PlaybackWorker::OnEmptyRead(bool forward)
{
    if (++failures_ <= kFailuresBeforePause) return;
    failures_ = 0;
    // With Repeat on, forward play that reaches the end goes on from the start.
    if (forward && shared_.repeat.load() && reader_.GetPosition() + kPageSize > reader_.GetSize()) Wrap();
    else shared_.SetState(kStatePause);
}

void PlaybackWorker::Wrap()
{
    reader_.Rescan(0);
    // From the start of the recording every channel is decoded afresh, as in order.
    chains_.Restart();
    lastReadForward_ = true;
    reposition_ = false;
    lastConsumed_ = {};
    StartRun(true, 0, 0);
}

void PlaybackWorker::Play(bool forward)
{
    if (pending_.valid) {
        const double now = NowMs();
        const double due = clock_.DueMs(pending_.media);
        if (due > now + 0.5) {
            Idle(std::min(due - now, feed_.Pending() > 0 ? 1.0 : kServiceMs));
            return;
        }
        // Far behind at a normal speed (a rebuild, a busy machine): the clock goes on from here
        // instead of hurrying to catch up.
        if (!Fast() && now - due > kLateRestartMs) Anchor(pending_.media);
        ShowPending(!Fast(), forward ? PictureChains::Keep::kNothing : PictureChains::Keep::kForReverse);
        return;
    }
    if (Fast()) {
        const double behind = BehindMs();
        const int jumpInterval = RulesFor(shared_.modelType.load()).jumpInterval;
        if ((shownSinceJump_ >= jumpInterval && behind > kBehindJumpMs) || behind > kFarBehindMs) {
            Jump(forward);
            shownSinceJump_ = 0;
        }
    }
    const std::uint32_t length = Read(forward);
    if (length == 0) {
        OnEmptyRead(forward);
        return;
    }
    failures_ = 0;
    Consume(length, forward);
}

void PlaybackWorker::Step(bool forward)
{
    const std::uint32_t length = Read(forward);
    if (length == 0) {
        shared_.SetState(kStatePause);
        return;
    }
    Consume(length, forward);
    if (!pending_.valid) return;  // sound or a hidden channel: the step goes on
    if (ShowPending(true, forward ? PictureChains::Keep::kNothing : PictureChains::Keep::kForReverse) ||
        ++stepMisses_ >= kStepMissesBeforePause)
        shared_.SetState(kStatePause);
}

void PlaybackWorker::Consume(std::uint32_t length, bool forward)
{
    const std::uint64_t start = reader_.GetRecordStart();
    const std::uint32_t pageTime = reader_.GetPageTime();
    lastReadForward_ = forward;
    ExtendRun(start, forward);
    shared_.NotePage(reader_.GetFrameInterval(), reader_.GetChannelMask());
    if (index_.Size() > kIndexLimit) {
        const std::uint64_t position = reader_.GetPosition();
        index_.Trim(position > kIndexKeep ? position - kIndexKeep : 0, position + kIndexKeep, kIndexLimit / 2);
        // The run may reach into what was forgotten: it counts from this record on.
        StartRun(forward, start, start + 1);
        ExtendRun(start, forward);
    }
    if (reader_.IsAudio()) {
        clock_.Place(pageTime, 0, forward);
        if (clock_.Restarted()) Anchor(clock_.Last());
        if (forward && shared_.State() == kStatePlay && shared_.SpeedTenths() == kNormalSpeedTenths)
            PlaySound(length);
        lastConsumed_ = {true, start, clock_.Last()};
        return;
    }
    // A record the parser rejects is passed over, as decoding in order passes over it.
    if (!pipeline_.Parse(record_.get(), length)) {
        lastConsumed_ = {true, start, clock_.Placed() ? clock_.Last() : 0};
        return;
    }
    const int channel = pipeline_.Channel();
    index_.Add(start, channel, pipeline_.Full(), pageTime);
    const ModelType model = shared_.modelType.load();
    const std::int64_t stepUs =
        static_cast<std::int64_t>(reader_.GetFrameInterval() + 1) * FramePeriodFor(pipeline_.Height(), model);
    const std::int64_t media = clock_.Place(pageTime, stepUs, forward);
    if (clock_.Restarted() || !clock_.Anchored()) Anchor(media);
    NoteRate(start, media);
    const bool shown = pipeline_.ShowsAny(shared_.shownChannels.load(), reader_.GetChannel());
    // Fast play shows no picture that would need its chain rebuilt.
    const bool showable = !Fast() || shared_.State() == kStateStepForward || shared_.State() == kStateStepBack ||
                          pipeline_.Full() || chains_.ReferenceOffset(channel) == start ||
                          chains_.IsCurrentFor(channel, start);
    if (!shown || !showable) {
        lastConsumed_ = {true, start, media};
        return;
    }
    pending_.valid = true;
    pending_.start = start;
    pending_.length = length;
    pending_.media = media;
    pending_.time = reader_.CurrentPageTime();
}

void PlaybackWorker::PlaySound(std::uint32_t length)
{
    const ModelType model = shared_.modelType.load();
    // Model type 5 plays the audio channel of the selected pane (0 to 3, else 0), model type 6
    // channel 0, the others every channel; the AVI capture takes what is played.
    int played = 0;
    if (RulesFor(model).played == PlayedAudio::kSelectedPane) {
        const int selected = window_.SelectedChannel();
        if (selected >= 0 && selected <= 3) played = selected;
    }
    if (!CaptureTakesSound(model, reader_.GetChannel(), played)) return;
    feed_.Push(record_.get(), length);
    feed_.Pump(audio_, alaw_);
    if (shared_.captureActive.load()) capture_.WriteSound(record_.get(), length);
    shared_.PublishTime(reader_.CurrentPageTime());
}

bool PlaybackWorker::ShowPending(bool rebuild, PictureChains::Keep keep)
{
    const Pending p = pending_;
    pending_.valid = false;
    lastConsumed_ = {true, p.start, p.media};
    // Parsed again: a rebuild or a scan since may have parsed other records.
    if (!pipeline_.Parse(record_.get(), p.length)) return false;
    const int channel = pipeline_.Channel();
    bool exact = chains_.ReferenceOffset(channel) == p.start;
    bool decoded = exact;
    const bool current = !exact && chains_.IsCurrentFor(channel, p.start);
    if (!exact && (pipeline_.Full() || current)) {
        decoded = pipeline_.Decode(record_.get(), p.length);
        const bool whole = decoded && pipeline_.WroteWholePicture();
        if (pipeline_.Full()) index_.MarkWhole(p.start, whole);
        if (current || whole) {
            chains_.NoteDecoded(channel, p.start);
            exact = true;
        } else {
            chains_.Invalidate(channel);
        }
    }
    if (!exact && rebuild) {
        exact = chains_.Rebuild(channel, p.start, keep) && pipeline_.Parse(record_.get(), p.length);
        decoded = exact;
    }
    // A picture the decoder refuses leaves the channel's picture as it was: nothing new to show.
    if (!exact || !decoded) return false;
    Present(p.time);
    lastShown_ = {true, p.start, p.media};
    ++shownSinceJump_;
    return true;
}

void PlaybackWorker::Present(const CalendarTime& time)
{
    shared_.NoteDecoded(pipeline_.Channel(), pipeline_.Width(), pipeline_.Height());
    shared_.PublishTime(time);
    VisiblePicture pictures[2];
    const int n = pipeline_.Visible(pictures);
    EngineObserver* observer = shared_.Observer();
    for (int i = 0; i < n; ++i) {
        const VisiblePicture& v = pictures[i];
        window_.ShowPicture(v.channel, time, v.yuv, v.width, v.height);
        if (observer) observer->OnPictureShown(v.channel, time, v.yuv, v.width, v.height);
    }
}

void PlaybackWorker::Search()
{
    // A target the reader refuses reads nothing: playback pauses where it is.
    if (!reader_.SetSeekTarget(searchTarget_)) {
        shared_.SetState(kStatePause);
        return;
    }
    const std::uint32_t length = reader_.ReadAtSeekTarget(record_.get());
    shared_.PublishPosition(reader_.GetPosition(), reader_.GetSize());
    // The pause comes once the pictures at the target are on screen.
    struct PauseAfter {
        EngineShared& shared;
        ~PauseAfter() { shared.SetState(kStatePause); }
    } pauseAfter{shared_};
    if (length == 0) return;
    const std::uint64_t start = reader_.GetRecordStart();
    // Everything from the target's page to the picture was read (sound is passed over).
    StartRun(true, searchTarget_ & kPageMask, start);
    ExtendRun(start, true);
    lastReadForward_ = true;
    reposition_ = false;
    const std::uint32_t pageTime = reader_.GetPageTime();
    clock_.Reset();
    const std::int64_t media = clock_.Place(pageTime, 0, true);
    lastConsumed_ = {true, start, media};
    if (!pipeline_.Parse(record_.get(), length)) return;
    index_.Add(start, pipeline_.Channel(), pipeline_.Full(), pageTime);
    ShowAtTarget(start);
    lastShown_ = {true, start, media};
}

void PlaybackWorker::ShowAtTarget(std::uint64_t start)
{
    // Every shown channel's picture as it stands at the target: the channels the page records,
    // and the target picture's own.
    const std::uint32_t shown = shared_.shownChannels.load();
    const std::uint32_t wanted = (reader_.GetChannelMask() | (1u << (pipeline_.Channel() & (kMaxChannels - 1)))) & 0xFFFF;
    std::array<std::uint64_t, kMaxChannels> found{};
    chains_.FindLastPictures(start, wanted, found);
    std::vector<std::pair<std::uint64_t, int>> order;
    for (int c = 0; c < kMaxChannels; ++c)
        if (found[static_cast<std::size_t>(c)] != PictureChains::kNoPicture) order.emplace_back(found[static_cast<std::size_t>(c)], c);
    std::sort(order.begin(), order.end());
    for (const auto& [offset, channel] : order) {
        if (!chains_.Rebuild(channel, offset, PictureChains::Keep::kNothing)) continue;
        const IndexEntry* e = index_.Find(offset);
        if (e == nullptr || !chains_.ParseAt(offset)) continue;
        if (!pipeline_.ShowsAny(shown, pipeline_.Channel())) continue;
        Present(CalendarFromPageTime(e->pageTime));
    }
}

double PlaybackWorker::BehindMs() const
{
    if (!clock_.Anchored() || !clock_.Placed()) return 0;
    const std::int64_t now = clock_.MediaAt(NowMs());
    const std::int64_t behindUs = appliedForward_ ? now - clock_.Last() : clock_.Last() - now;
    return static_cast<double>(behindUs) / 1000.0 / std::max(clock_.Speed(), 1.0);
}

void PlaybackWorker::Jump(bool forward)
{
    const double speed = shared_.Speed();
    // The jump of the fast speeds, or further when the clock is further ahead.
    std::uint64_t bytes = static_cast<std::uint64_t>(std::floor(speed)) * kJumpBytesPerSpeed;
    if (bytesPerUs_ > 0) {
        const double behindUs = BehindMs() * 1000.0 * speed;
        bytes = std::max(bytes, static_cast<std::uint64_t>(behindUs * bytesPerUs_));
    }
    const std::uint64_t position = reader_.GetPosition(), size = reader_.GetSize();
    if (forward) {
        if (bytes < size && position + bytes < size) reader_.Rescan(position + bytes);
    } else if (position > bytes) {
        reader_.SetPosition(position - bytes);
    }
    run_.active = false;
    rateStarted_ = false;
}

void PlaybackWorker::NoteRate(std::uint64_t position, std::int64_t media)
{
    if (!rateStarted_) {
        rateStarted_ = true;
        ratePosition_ = position;
        rateMedia_ = media;
        return;
    }
    const double bytes = std::fabs(static_cast<double>(position) - static_cast<double>(ratePosition_));
    const double us = std::fabs(static_cast<double>(media - rateMedia_));
    // Measured over a few seconds of the recording, so that whole-second page times average out.
    if (us < 4e6) return;
    const double rate = bytes / us;
    bytesPerUs_ = bytesPerUs_ > 0 ? (bytesPerUs_ + rate) / 2 : rate;
    ratePosition_ = position;
    rateMedia_ = media;
}

}  // namespace tamlorex
