// The live stream parser over a hostile stream that arrives in reads of any size.
//
// Input: bytes 0-7 are the sizes of the reads, in turn (a size n reads n bytes, 0 an empty read,
// 255 all that is left). The rest is the stream, as the recorder sends it after the login.
//
// The parser keeps its state between reads, so how the stream is cut must not matter: the units
// and messages it gives are those it gives for the stream fed one byte at a time.
#include <string>
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

// Everything the parser handed on, in order, of each kind.
struct Output {
    std::vector<std::vector<std::uint8_t>> pictures, sound, messages;
    bool operator==(const Output&) const = default;
};

class Run {
public:
    Run()
        : video_(kQueueBlocks, kRecordBufferSize),
          audio_(kQueueBlocks, kLiveAudioSize),
          parser_(video_, audio_, [this](const ControlMessage& m) { OnMessage(m); }),
          block_(new std::uint8_t[kRecordBufferSize])
    {
    }

    // One read, in a block of its own size as recv() fills a buffer; then what it completed is
    // taken out of the queues as the live worker does.
    void Read(const std::uint8_t* data, std::size_t n)
    {
        const auto chunk = ExactCopy(data, n);
        parser_.Feed(chunk.get(), n);
        const int state = parser_.State();
        FUZZ_CHECK(state >= kParseSearching && state <= kParseMessage);
        Drain(video_, true);
        Drain(audio_, false);
    }
    // One byte of a block that ends where the stream does; the queues are emptied before they
    // can fill (a byte completes at most one unit of each kind).
    void ReadByte(const std::uint8_t* byte)
    {
        parser_.Feed(byte, 1);
        if (video_.Count() >= kQueueBlocks / 2) Drain(video_, true);
        if (audio_.Count() >= kQueueBlocks / 2) Drain(audio_, false);
    }
    void Finish()
    {
        Drain(video_, true);
        Drain(audio_, false);
    }
    bool Dropped() const { return video_.Dropped() != 0 || audio_.Dropped() != 0; }
    const Output& Result() const { return output_; }

private:
    void OnMessage(const ControlMessage& m)
    {
        FUZZ_CHECK(m.data != nullptr && m.size >= kControlHeaderSize && m.size <= kMessageBufferSize);
        const auto copy = ExactCopy(m.data, m.size);
        ControlMessage exact = m;
        exact.data = copy.get();
        for (std::size_t n = 0; n < 4 + m.size / 4; ++n) exact.Field(n);
        const std::string payload = exact.PayloadText();
        FUZZ_CHECK(payload.size() <= m.size - kControlHeaderSize);
        output_.messages.emplace_back(copy.get(), copy.get() + m.size);
    }

    void Drain(RecordQueue& queue, bool pictures)
    {
        std::size_t length = 0;
        CalendarTime time;
        while (queue.Pop(block_.get(), length, time)) {
            FUZZ_CHECK(length > 0 && length <= queue.BlockSize());
            if (pictures) {
                // A picture keeps its start code.
                FUZZ_CHECK(length >= kStartCodeSize && block_[0] == 0 && block_[1] == 0 && block_[2] == 1);
                FUZZ_CHECK(block_[3] == kVideoUpdateType || block_[3] == kVideoFullType);
            }
            (pictures ? output_.pictures : output_.sound).emplace_back(block_.get(), block_.get() + length);
        }
    }

    RecordQueue video_;
    RecordQueue audio_;
    StreamParser parser_;
    std::unique_ptr<std::uint8_t[]> block_;
    Output output_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput in(data, size);
    std::uint8_t sizes[kReadSizes];
    for (std::uint8_t& s : sizes) s = in.Byte();
    const std::uint8_t* stream = in.Rest();
    const std::size_t total = in.RestSize();

    Run cut;
    std::size_t at = 0;
    for (int read = 0; at < total && read < kMaxReads; ++read) {
        const std::uint8_t s = sizes[read % kReadSizes];
        const std::size_t n = s == 255 ? total - at : std::min<std::size_t>(s, total - at);
        cut.Read(stream + at, n);
        at += n;
    }

    // The same bytes one at a time: no unit can be dropped for a full queue.
    const auto copy = ExactCopy(stream, at);
    Run bytewise;
    for (std::size_t i = 0; i < at; ++i) bytewise.ReadByte(copy.get() + i);
    bytewise.Finish();
    FUZZ_CHECK(!bytewise.Dropped());
    if (!cut.Dropped()) FUZZ_CHECK(cut.Result() == bytewise.Result());
    return 0;
}
