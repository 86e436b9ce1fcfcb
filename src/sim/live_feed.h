#pragma once
// The media of the simulated recorder's live stream: pictures in the live layout (model type 2:
// picture kind in bit 7 of byte 4, a frame number in bytes 5-6) drawn from synthetic cameras or
// from the pictures of a recording, and sound blocks in the coding and at the rate of the
// recorder's model type (A-law or 8-bit linear; 8000, 13183 or 16000 samples per second).
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "codec/video_decoder.h"
#include "media/vvf_reader.h"
#include "sim/audio_encode.h"
#include "sim/live_view.h"
#include "sim/picture_encoder.h"
#include "sim/scene.h"

namespace tamlorex::sim {

inline constexpr int kLiveModelType = 2;
// The client's picture buffer holds no more than this, start code included.
inline constexpr std::size_t kLivePictureLimit = kRecordBufferSize - kStartCodeSize;

// Rewrites a picture record stored by a recorder of `sourceModel` into the live layout with
// `frameNumber` in bytes 5-6. False (out untouched) when the record is not a picture.
bool ToLiveLayout(const std::uint8_t* record, std::size_t length, int sourceModel, std::uint16_t frameNumber,
                  std::vector<std::uint8_t>& out);

// Nearest-neighbour resize of a picture to out.width x out.height (out sized by the caller).
void ScalePicture(const YuvImage& in, YuvImage& out);

struct FeedOptions {
    int channels = 4;
    int height = kShortHeight;
    int quantiserScale = 4;
    double fullEvery = 1.0;       // seconds between full pictures of composed output
    std::string source;           // VVF file; empty for synthetic cameras
    int sourceModel = 4;          // the recorder's model type: the recording's, and the sound's coding
    double toneHz = 440;
};

class LiveFeed {
public:
    explicit LiveFeed(const FeedOptions& options);
    ~LiveFeed();

    // Opens the recording, if any, and checks that it holds pictures.
    bool Open(std::string& error);
    // A new client: its first picture must be a full one.
    void Restart();

    // Appends the pictures due at `seconds` (one tick of the picture clock) to `out` as live
    // records; returns how many. `clock` is the time of day in seconds drawn by the cameras.
    int Pictures(double seconds, std::uint32_t clock, const LiveView& view, std::vector<std::uint8_t>& out);
    // Appends one sound unit of `samples` samples (00 00 01 FA, two bytes, the samples in the
    // coding of SoundFormat()).
    void Sound(std::size_t samples, std::vector<std::uint8_t>& out);
    // The coding and rate of the sound: those of the model type.
    AudioFormat SoundFormat() const { return soundFormat_; }

    int Height() const { return height_; }
    std::uint16_t FrameNumber() const { return frame_; }
    int EncodedPictures() const { return encoded_; }
    int PassedPictures() const { return passed_; }

private:
    bool Camera(int channel, int width, int height, YuvImage& out, double seconds, std::uint32_t clock);
    // Encodes the view as a full or update picture; false when it could not be encoded.
    bool EncodeView(double seconds, std::uint32_t clock, const LiveView& view, std::vector<std::uint8_t>& out);
    bool EncodeImage(const YuvImage& picture, bool full, std::vector<std::uint8_t>& out);
    // Recording source: the next picture record (audio met on the way goes to the sound backlog).
    bool ReadSourcePicture();
    // Whether the recording's own records of the shown channel go out (one camera, nothing drawn over it).
    bool PassThrough(double seconds, const LiveView& view) const;
    // Decodes the picture just read and, when it is the channel shown alone, sends it.
    int TakeSourcePicture(double seconds, const LiveView& view, std::vector<std::uint8_t>& out);
    void TakeSourceSound(const std::uint8_t* samples, std::size_t count);

    FeedOptions options_;
    int height_;
    std::uint16_t frame_ = 0;
    bool needFull_ = true;
    double lastFull_ = -1e9;
    std::uint32_t lastGeneration_ = 0;
    YuvImage reference_;
    int encoded_ = 0;
    int passed_ = 0;

    std::map<std::tuple<int, int, int>, std::unique_ptr<Scene>> scenes_;
    AudioFormat soundFormat_;
    ToneGenerator tone_;

    // Recording source.
    std::unique_ptr<VvfReader> reader_;
    std::unique_ptr<std::uint8_t[]> record_;
    std::uint32_t recordLength_ = 0;
    int recordChannel_ = 0;
    VideoDecoder decoder_;
    std::vector<YuvImage> decoded_;  // last picture of each channel
    int passChannel_ = -1;           // channel whose records go out as they are, once synced
    bool sourceHasSound_ = false;
    std::vector<std::uint8_t> soundBacklog_;
    std::uint64_t soundTaken_ = 0;   // samples taken from the source
    std::uint64_t soundSent_ = 0;
};

}  // namespace tamlorex::sim
