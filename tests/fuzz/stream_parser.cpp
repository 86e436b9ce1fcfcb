// The live stream parser over a hostile stream that arrives in reads of any size.
//
// Input: bytes 0-7 are the sizes of the reads, in turn (a size n reads n bytes, 0 an empty read,
// 255 all that is left). The rest is the stream, as the recorder sends it after the login.
#include <vector>

#include "fuzz_input.h"
#include "net/control_packet.h"
#include "net/record_queue.h"
#include "net/stream_parser.h"

namespace {

using namespace tamlorex;
using tamlorex::fuzz::ExactCopy;
using tamlorex::fuzz::FuzzInput;

constexpr int kReadSizes = 8;
constexpr int kMaxReads = 20000;

// Takes every waiting unit out of a queue as the live worker does. A picture keeps its start code.
void Drain(RecordQueue& queue, std::uint8_t* block, bool pictures)
{
    std::size_t length = 0;
    CalendarTime time;
    while (queue.Pop(block, length, time)) {
        FUZZ_CHECK(length > 0 && length <= queue.BlockSize());
        if (!pictures) continue;
        FUZZ_CHECK(length >= kStartCodeSize);
        FUZZ_CHECK(block[0] == 0 && block[1] == 0 && block[2] == 1);
        FUZZ_CHECK(block[3] == kVideoUpdateType || block[3] == kVideoFullType);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput in(data, size);
    std::uint8_t sizes[kReadSizes];
    for (std::uint8_t& s : sizes) s = in.Byte();

    RecordQueue video(kQueueBlocks, kRecordBufferSize);
    RecordQueue audio(kQueueBlocks, kLiveAudioSize);
    int messages = 0;
    StreamParser parser(video, audio, [&](const ControlMessage& m) {
        ++messages;
        FUZZ_CHECK(m.data != nullptr && m.size >= kControlHeaderSize && m.size <= kMessageBufferSize);
        const auto copy = ExactCopy(m.data, m.size);
        ControlMessage exact = m;
        exact.data = copy.get();
        for (std::size_t n = 0; n < 4 + m.size / 4; ++n) exact.Field(n);
        FUZZ_CHECK(exact.PayloadText().size() <= m.size - kControlHeaderSize);
    });
    std::unique_ptr<std::uint8_t[]> videoBlock(new std::uint8_t[video.BlockSize()]);
    std::unique_ptr<std::uint8_t[]> audioBlock(new std::uint8_t[audio.BlockSize()]);

    const std::uint8_t* stream = in.Rest();
    std::size_t left = in.RestSize();
    for (int read = 0; left > 0 && read < kMaxReads; ++read) {
        const std::uint8_t s = sizes[read % kReadSizes];
        const std::size_t n = s == 255 ? left : std::min<std::size_t>(s, left);
        // Each read in a block of its own size, as recv() fills a buffer.
        const auto chunk = ExactCopy(stream, n);
        parser.Feed(chunk.get(), n);
        stream += n;
        left -= n;
        const int state = parser.State();
        FUZZ_CHECK(state >= kParseSearching && state <= kParseMessage);
        if (video.Count() > kQueueBlocks / 2) Drain(video, videoBlock.get(), true);
        if (audio.Count() > kQueueBlocks / 2) Drain(audio, audioBlock.get(), false);
    }
    Drain(video, videoBlock.get(), true);
    Drain(audio, audioBlock.get(), false);
    return 0;
}
