#include <gtest/gtest.h>

#include <atomic>
#include <sys/stat.h>

#include <memory>
#include <random>

#include "media/vvf_builder.h"
#include "media/vvf_reader.h"
#include "platform/alerts.h"

namespace tamlorex {
namespace {

using test::AudioRecord;
using test::Bytes;
using test::TempDir;
using test::VideoRecord;
using test::VvfBuilder;

struct Delivered {
    Bytes bytes;
    bool audio = false;
    int channel = 0;
    std::uint64_t position = 0;
    std::uint64_t start = 0;  // where the record's start code begins
};

class ReaderTest : public ::testing::Test {
protected:
    std::string Write(const Bytes& bytes, const std::string& name = "rec.vvf") { return dir.Write(name, bytes); }
    void OpenFile(const Bytes& bytes, int model = 4, bool drive = false)
    {
        ASSERT_TRUE(reader.Open(Write(bytes), drive));
        reader.SetModelType(model);
    }
    bool Next(Delivered& d) { return Take(reader.ReadNext(buffer.get()), d); }
    bool Previous(Delivered& d) { return Take(reader.ReadPrevious(buffer.get()), d); }
    bool Take(std::uint32_t length, Delivered& d)
    {
        d = {};
        d.position = reader.GetPosition();
        if (length == 0) return false;
        d.bytes.assign(buffer.get(), buffer.get() + length);
        d.audio = reader.IsAudio();
        d.channel = reader.GetChannel();
        d.start = reader.GetRecordStart();
        EXPECT_EQ(reader.GetLength(), length);
        return true;
    }
    // Every record of a forward pass, ending at the first empty read past the end of the data.
    std::vector<Delivered> ReadAllForward()
    {
        std::vector<Delivered> out;
        Delivered d;
        for (int empty = 0; empty < 3;) {
            if (Next(d)) {
                out.push_back(d);
                empty = 0;
            } else {
                ++empty;
            }
        }
        return out;
    }

    TempDir dir;
    VvfReader reader;
    std::unique_ptr<std::uint8_t[]> buffer{new std::uint8_t[kRecordBufferSize]};
};

Bytes Samples(const Bytes& audioRecord) { return Bytes(audioRecord.begin() + 6, audioRecord.end()); }

TEST_F(ReaderTest, DeliversRecordsWithKindChannelAndPosition)
{
    const Bytes a = AudioRecord(2, 100);
    const Bytes v1 = VideoRecord(0xF9, 0x3B, 200);
    const Bytes v2 = VideoRecord(0xF8, 0x05, 50);
    VvfBuilder b;
    b.Add(a).Add(v1).Add(v2).Add(VideoRecord(0xF8, 1, 10));
    OpenFile(b.Build());

    Delivered d;
    ASSERT_TRUE(Next(d));
    EXPECT_TRUE(d.audio);
    EXPECT_EQ(d.channel, 2);
    EXPECT_EQ(d.bytes, Samples(a));
    EXPECT_EQ(d.position, 8 + a.size());  // first byte of the next start code

    ASSERT_TRUE(Next(d));
    EXPECT_FALSE(d.audio);
    EXPECT_EQ(d.channel, 0x0B);
    EXPECT_EQ(d.bytes, v1);
    ASSERT_TRUE(Next(d));
    EXPECT_EQ(d.channel, 5);
    EXPECT_EQ(d.bytes, v2);
    // The last record has no start code after it and is never delivered.
    EXPECT_FALSE(Next(d));
    EXPECT_FALSE(Next(d));
    EXPECT_EQ(reader.GetPosition(), 4096u);
}

TEST_F(ReaderTest, ModelZeroTakesThreeChannelBits)
{
    VvfBuilder b(0);
    b.Add(VideoRecord(0xF9, 0x8D, 20)).Add(VideoRecord(0xF9, 0, 1));
    OpenFile(b.Build(), 0);
    Delivered d;
    ASSERT_TRUE(Next(d));
    EXPECT_EQ(d.channel, 5);
}

TEST_F(ReaderTest, SmallRecordsAndEmptySound)
{
    VvfBuilder b;
    b.Add({0, 0, 1, 0xF8})                        // two start codes back to back
        .Add({0, 0, 1, 0xFB, 0x00, 0x00})         // sound record without samples
        .Add({0, 0, 1, 0xF9, 0x07})               // five bytes
        .Add(AudioRecord(1, 1))
        .Add(VideoRecord(0xF8, 1, 4));
    OpenFile(b.Build());
    Delivered d;
    ASSERT_TRUE(Next(d));
    EXPECT_EQ(d.bytes, (Bytes{0, 0, 1, 0xF8}));
    EXPECT_EQ(d.channel, 0);
    // The empty sound record is passed over within the same call.
    ASSERT_TRUE(Next(d));
    EXPECT_EQ(d.bytes, (Bytes{0, 0, 1, 0xF9, 0x07}));
    EXPECT_EQ(d.channel, 7);
    ASSERT_TRUE(Next(d));
    EXPECT_TRUE(d.audio);
    EXPECT_EQ(d.bytes.size(), 1u);
    EXPECT_EQ(d.channel, 1);
}

TEST_F(ReaderTest, RecordAcrossPageHeadersTakesTheTimeOfTheLastPage)
{
    const Bytes big = VideoRecord(0xF9, 2, 9000);  // spans three pages
    VvfBuilder b;
    b.Add(VideoRecord(0xF8, 1, 100)).Add(big).Add(VideoRecord(0xF8, 3, 100));
    b.Fields([](std::size_t n) {
        test::PageFields f;
        f.time = 1230000000 + static_cast<std::uint32_t>(n) * 60;
        f.mask = static_cast<std::uint16_t>(1u << n);
        f.interval = static_cast<std::uint8_t>(n);
        return f;
    });
    OpenFile(b.Build());
    Delivered d;
    ASSERT_TRUE(Next(d));
    ASSERT_TRUE(Next(d));
    EXPECT_EQ(d.bytes, big);
    CalendarTime t;
    ASSERT_TRUE(reader.GetCurrentTime(t));
    EXPECT_EQ(t.minute, 42);  // page 2
    EXPECT_EQ(reader.GetChannelMask(), 4);
    EXPECT_EQ(reader.GetFrameInterval(), 2);
}

// A run of pages without a start code, and an owner that stops: the read gives up at the next
// page boundary in either direction, and reads on normally once the cancel is gone.
TEST_F(ReaderTest, CancelEndsAScanAtThePageBoundary)
{
    VvfBuilder b;
    b.Add(VideoRecord(0xF8, 1, 64 * kPageBodySize)).Add(VideoRecord(0xF9, 2, 300)).Add(VideoRecord(0xF8, 3, 10));
    const Bytes file = b.Build();
    OpenFile(file);
    std::atomic<bool> cancel{true};
    reader.SetCancel(&cancel);
    Delivered d;
    EXPECT_FALSE(Next(d));
    EXPECT_EQ(reader.GetPosition(), kPageSize);
    reader.SetPosition(30 * kPageSize + 100);
    EXPECT_FALSE(Previous(d));
    EXPECT_EQ(reader.GetPosition(), 30 * kPageSize);
    cancel = false;
    reader.SetPosition(kPageSize);
    ASSERT_TRUE(Next(d));  // the long record began before: the next one is whole
    EXPECT_EQ(d.bytes, VideoRecord(0xF9, 2, 300));
}

TEST_F(ReaderTest, StartCodeSplitByAPageHeader)
{
    // The next record's start code begins two bytes before the end of page 0.
    VvfBuilder b;
    const Bytes first = VideoRecord(0xF8, 1, kPageBodySize - 2 - 5);
    const Bytes second = VideoRecord(0xF9, 2, 300);
    b.Add(first).Add(second).Add(VideoRecord(0xF8, 3, 10));
    OpenFile(b.Build());
    Delivered d;
    ASSERT_TRUE(Next(d));
    EXPECT_EQ(d.bytes, first);
    EXPECT_EQ(d.position, 4094u);
    ASSERT_TRUE(Next(d));
    EXPECT_EQ(d.bytes, second);

    // Backward, the position lands just after the code's type byte, past the header.
    EXPECT_FALSE(Next(d));
    ASSERT_TRUE(Previous(d));
    EXPECT_EQ(d.bytes, second);
    ASSERT_TRUE(Previous(d));
    EXPECT_EQ(d.bytes, first);
    EXPECT_EQ(d.position, 12u);
    ASSERT_TRUE(Next(d));
    EXPECT_EQ(d.bytes, second);
}

TEST_F(ReaderTest, BadChecksumEndsTheScanAndIsPassedOver)
{
    VvfBuilder b;
    std::vector<Bytes> records;
    for (int i = 0; i < 30; ++i) {
        records.push_back(VideoRecord(0xF8, static_cast<std::uint8_t>(i & 15), 700, static_cast<std::uint8_t>(i)));
        b.Add(records.back());
    }
    Bytes file = b.Build();
    file[kPageSize * 2 + 7] ^= 0xFF;  // page 2 is damaged
    OpenFile(file);
    std::vector<Delivered> got;
    Delivered d;
    while (Next(d)) got.push_back(d);
    // The first empty read is the damaged page: the position is already past it.
    EXPECT_EQ(d.position, kPageSize * 3);
    for (int empties = 0; empties < 3;) {
        if (Next(d)) got.push_back(d);
        else ++empties;
    }
    // Records wholly before page 2 arrive; the one cut by the damage is lost; then reading
    // resumes after the first start code of page 3.
    ASSERT_GE(got.size(), 2u);
    std::size_t i = 0;
    for (; i < got.size() && got[i].bytes == records[i]; ++i) {}
    EXPECT_GE(i, 9u);
    EXPECT_LT(i, 12u);
    for (std::size_t k = i; k < got.size(); ++k) {
        const auto it = std::find(records.begin(), records.end(), got[k].bytes);
        ASSERT_NE(it, records.end());
    }
    EXPECT_EQ(got.back().bytes, records[28]);

    // Backward the damaged page ends a scan and the next one continues before it.
    std::vector<Delivered> back;
    for (int e = 0; e < 3;) {
        if (Previous(d)) back.push_back(d);
        else ++e;
    }
    ASSERT_FALSE(back.empty());
    EXPECT_EQ(back.front().bytes, records[28]);
    EXPECT_EQ(back.back().bytes, records[0]);
}

TEST_F(ReaderTest, ShortFilesAndPartialPages)
{
    VvfBuilder b;
    b.Add(VideoRecord(0xF8, 1, 10)).Add(VideoRecord(0xF8, 2, 10)).Add(VideoRecord(0xF8, 3, 10));
    Bytes page = b.Build();
    OpenFile(Bytes(page.begin(), page.begin() + 4095));
    Delivered d;
    EXPECT_FALSE(Next(d));
    EXPECT_FALSE(Previous(d));

    // A whole page followed by a partial one: the partial page is the end of the data.
    Bytes two = page;
    two.insert(two.end(), page.begin(), page.begin() + 1000);
    OpenFile(two);
    EXPECT_EQ(ReadAllForward().size(), 2u);
    EXPECT_EQ(reader.GetPosition(), 4096u);
    EXPECT_FALSE(Next(d));
    EXPECT_EQ(reader.GetPosition(), 4096u);
}

TEST_F(ReaderTest, BackwardFromTheEndThenStopsAtTheStart)
{
    VvfBuilder b;
    std::vector<Bytes> records;
    for (int i = 0; i < 12; ++i) {
        records.push_back(i % 3 == 2 ? AudioRecord(i % 4, 333) : VideoRecord(0xF8, static_cast<std::uint8_t>(i), 900));
        b.Add(records.back());
    }
    OpenFile(b.Build());
    EXPECT_EQ(ReadAllForward().size(), 11u);
    Delivered d;
    for (int i = 10; i >= 0; --i) {
        ASSERT_TRUE(Previous(d)) << i;
        EXPECT_EQ(d.audio, i % 3 == 2);
        EXPECT_EQ(d.bytes, d.audio ? Samples(records[i]) : records[i]) << i;
        EXPECT_EQ(d.channel, d.audio ? i % 4 : i);
    }
    EXPECT_FALSE(Previous(d));
    EXPECT_EQ(reader.GetPosition(), 0u);
    EXPECT_FALSE(Previous(d));
    EXPECT_EQ(reader.GetPosition(), 0u);
}

TEST_F(ReaderTest, ForwardAndBackwardAlternateWithoutRepeating)
{
    VvfBuilder b;
    std::vector<Bytes> records;
    for (int i = 0; i < 20; ++i) {
        records.push_back(VideoRecord(0xF8, static_cast<std::uint8_t>(i & 15), 300 + 97 * i, static_cast<std::uint8_t>(i)));
        b.Add(records.back());
    }
    OpenFile(b.Build());
    Delivered d;
    for (int i = 0; i <= 10; ++i) ASSERT_TRUE(Next(d));
    EXPECT_EQ(d.bytes, records[10]);
    ASSERT_TRUE(Previous(d));
    EXPECT_EQ(d.bytes, records[9]);
    ASSERT_TRUE(Previous(d));
    EXPECT_EQ(d.bytes, records[8]);
    ASSERT_TRUE(Next(d));
    EXPECT_EQ(d.bytes, records[9]);
    ASSERT_TRUE(Next(d));
    EXPECT_EQ(d.bytes, records[10]);
    ASSERT_TRUE(Previous(d));
    EXPECT_EQ(d.bytes, records[9]);
}

TEST_F(ReaderTest, RecordsLongerThanTheBufferAreTruncatedAlikeBothWays)
{
    const Bytes huge = VideoRecord(0xF9, 4, kRecordBufferSize + 5000);
    const Bytes hugeSound = AudioRecord(3, kRecordBufferSize + 100);
    VvfBuilder b;
    b.Add(VideoRecord(0xF8, 1, 10)).Add(huge).Add(hugeSound).Add(VideoRecord(0xF8, 2, 10)).Add(VideoRecord(0xF8, 3, 1));
    OpenFile(b.Build());
    Delivered d;
    ASSERT_TRUE(Next(d));
    ASSERT_TRUE(Next(d));
    EXPECT_EQ(d.bytes, Bytes(huge.begin(), huge.begin() + kRecordBufferSize - 4));
    ASSERT_TRUE(Next(d));
    EXPECT_EQ(d.bytes, Bytes(hugeSound.begin() + 6, hugeSound.begin() + kRecordBufferSize - 4));
    ASSERT_TRUE(Next(d));
    ASSERT_FALSE(Next(d));

    ASSERT_TRUE(Previous(d));
    ASSERT_TRUE(Previous(d));
    EXPECT_TRUE(d.audio);
    EXPECT_EQ(d.bytes, Bytes(hugeSound.begin() + 6, hugeSound.begin() + kRecordBufferSize - 4));
    ASSERT_TRUE(Previous(d));
    EXPECT_EQ(d.bytes, Bytes(huge.begin(), huge.begin() + kRecordBufferSize - 4));
}

TEST_F(ReaderTest, ModelSixReadsBigEndianHeaders)
{
    VvfBuilder b(6);
    b.Fields([](std::size_t) { return test::PageFields{1230000000, 0x0102, 5}; });
    b.Add(VideoRecord(0xF8, 1, 10)).Add(VideoRecord(0xF8, 2, 10));
    const Bytes file = b.Build();
    OpenFile(file, 6);
    Delivered d;
    ASSERT_TRUE(Next(d));
    EXPECT_EQ(reader.GetChannelMask(), 0x0102);
    CalendarTime t;
    ASSERT_TRUE(reader.GetCurrentTime(t));
    EXPECT_EQ(t.year, 2008);

    // Read as another model type the checksum still holds but the fields come out swapped.
    OpenFile(file, 4);
    ASSERT_TRUE(Next(d));
    EXPECT_EQ(reader.GetChannelMask(), 0x0201);
    EXPECT_NE(reader.CurrentPageTime().year, 2008);
}

TEST_F(ReaderTest, DriveFlagSwapsEveryWord)
{
    VvfBuilder b;
    std::vector<Bytes> records;
    for (int i = 0; i < 9; ++i) {
        records.push_back(VideoRecord(0xF8, static_cast<std::uint8_t>(i), 1111 + i));
        b.Add(records.back());
    }
    const Bytes file = b.Build();
    OpenFile(test::Swapped(file), 4, true);
    EXPECT_TRUE(reader.IsDrive());
    const auto got = ReadAllForward();
    ASSERT_EQ(got.size(), 8u);
    for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i].bytes, records[i]);

    // The copy of a span of the disk is a file in file byte order.
    const std::string copy = dir.Path("copy.vvf");
    ASSERT_TRUE(reader.ExportSpan(10, file.size() - 1, copy));
    EXPECT_EQ(test::ReadFile(copy), file);

    std::uint8_t words[4] = {0x01, 0x00, 0x02, 0x00};
    SwapWords(words, 4);
    EXPECT_EQ(Bytes(words, words + 4), (Bytes{0x00, 0x01, 0x00, 0x02}));
}

// An independent account of what a forward pass delivers: every record but the last, sound
// without its first six bytes, sound without samples passed over.
std::vector<Bytes> ExpectedRecords(const std::vector<Bytes>& records)
{
    std::vector<Bytes> out;
    for (std::size_t i = 0; i + 1 < records.size(); ++i) {
        const Bytes& r = records[i];
        const bool audio = r[3] >= 0xFA;
        if (audio && r.size() <= 6) continue;
        out.push_back(audio ? Bytes(r.begin() + 6, r.end()) : r);
    }
    return out;
}

TEST_F(ReaderTest, RandomStreamsMatchTheRecordsTheyWereBuiltFrom)
{
    std::mt19937 rng(42);
    for (int round = 0; round < 40; ++round) {
        VvfBuilder b;
        std::vector<Bytes> records;
        const int count = 5 + static_cast<int>(rng() % 60);
        for (int i = 0; i < count; ++i) {
            const auto type = static_cast<std::uint8_t>(0xF8 + rng() % 6);
            Bytes r = {0, 0, 1, type};
            const std::size_t length = rng() % 4 == 0 ? rng() % 12 : rng() % 6000;
            for (std::size_t k = 0; k < length; ++k) {
                // Dense zeros and 00 00 01 xx sequences that are not start codes.
                const unsigned pick = rng() % 16;
                std::uint8_t byte = static_cast<std::uint8_t>(rng());
                if (pick < 5) byte = 0;
                else if (pick < 7) byte = 1;
                r.push_back(byte);
                const std::size_t n = r.size();
                if (n >= 4 && r[n - 4] == 0 && r[n - 3] == 0 && r[n - 2] == 1 && byte >= 0xF8 && byte <= 0xFD)
                    r.back() = 0xFE;
            }
            records.push_back(r);
            b.Add(r);
        }
        OpenFile(b.Build(), 4);
        const auto got = ReadAllForward();
        const auto expected = ExpectedRecords(records);
        ASSERT_EQ(got.size(), expected.size()) << round;
        for (std::size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i].bytes, expected[i]) << round << " " << i;

        // And backward, the same records in reverse order, each found at the same place; from
        // any record, the cursor set on it gives its neighbours both ways.
        Delivered d;
        for (std::size_t i = expected.size(); i-- > 0;) {
            ASSERT_TRUE(Previous(d)) << round << " " << i;
            ASSERT_EQ(d.bytes, expected[i]) << round << " " << i;
            ASSERT_EQ(d.start, got[i].start) << round << " " << i;
        }
        EXPECT_FALSE(Previous(d));
        const std::size_t pick = rng() % got.size();
        reader.SetCursor(got[pick].start);
        EXPECT_EQ(Next(d), pick + 1 < got.size()) << round;
        if (pick + 1 < got.size()) EXPECT_EQ(d.start, got[pick + 1].start) << round;
        reader.SetCursor(got[pick].start);
        EXPECT_EQ(Previous(d), pick > 0) << round;
        if (pick > 0) EXPECT_EQ(d.start, got[pick - 1].start) << round;
    }
}

TEST_F(ReaderTest, PositionsAndSeeking)
{
    VvfBuilder b;
    b.Add(VideoRecord(0xF8, 1, 5000)).Add(AudioRecord(0, 3000)).Add(AudioRecord(0, 100)).Add(VideoRecord(0xF9, 6, 2000));
    b.Add(VideoRecord(0xF8, 7, 10)).Add(VideoRecord(0xF8, 8, 10));
    OpenFile(b.Build());
    const std::uint64_t size = reader.GetSize();
    EXPECT_EQ(size, 3 * kPageSize);

    reader.SetPosition(500);
    EXPECT_EQ(reader.GetPosition(), 500u);
    reader.SetPosition(size);
    EXPECT_EQ(reader.GetPosition(), 500u);

    EXPECT_FALSE(reader.SetSeekTarget(size));
    // Seeking into page 1 passes over the sound records to the next picture.
    ASSERT_TRUE(reader.SetSeekTarget(kPageSize + 10));
    Delivered d;
    ASSERT_TRUE(Take(reader.ReadAtSeekTarget(buffer.get()), d));
    EXPECT_FALSE(d.audio);
    EXPECT_EQ(d.channel, 6);
    EXPECT_TRUE(reader.SetSeekTarget(size - 1));
    EXPECT_EQ(reader.ReadAtSeekTarget(buffer.get()), 0u);
}

TEST_F(ReaderTest, OpeningAndClosing)
{
    VvfReader fresh;
    EXPECT_FALSE(fresh.IsOpen());
    EXPECT_EQ(fresh.ReadNext(buffer.get()), 0u);
    EXPECT_EQ(fresh.ReadPrevious(buffer.get()), 0u);
    EXPECT_FALSE(fresh.SetSeekTarget(0));
    CalendarTime t;
    EXPECT_FALSE(fresh.GetCurrentTime(t));

    EXPECT_FALSE(reader.Open(dir.Path("missing.vvf"), false));
    EXPECT_FALSE(reader.LastError().empty());
    // A folder and a FIFO are refused at once instead of blocking.
    EXPECT_FALSE(reader.Open(dir.Dir(), false));
    const std::string fifo = dir.Path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(reader.Open(fifo, false));

    OpenFile(VvfBuilder().Add(VideoRecord(0xF8, 1, 10)).Build());
    EXPECT_EQ(reader.Path(), dir.Path("rec.vvf"));
    reader.Close();
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_EQ(reader.GetSize(), 0u);
    EXPECT_TRUE(reader.Path().empty());
}

class ExportSpanTest : public ReaderTest {
protected:
    void SetUp() override
    {
        VvfBuilder b;
        for (int i = 0; i < 40; ++i) b.Add(VideoRecord(0xF8, static_cast<std::uint8_t>(i & 15), 1000));
        file = b.Build();
        file.insert(file.end(), 100, 0xAB);  // a partial last page
        OpenFile(file);
    }
    Bytes file;
};

TEST_F(ExportSpanTest, CopiesWholePagesAroundTheSpan)
{
    const std::string out = dir.Path("span.vvf");
    ASSERT_TRUE(reader.ExportSpan(5000, 3 * kPageSize + 1, out));
    EXPECT_EQ(test::ReadFile(out), Bytes(file.begin() + kPageSize, file.begin() + 4 * kPageSize));
    // The copy plays: its records are those of the pages copied.
    VvfReader copy;
    copy.SetModelType(4);
    ASSERT_TRUE(copy.Open(out, false));
    EXPECT_GT(copy.ReadNext(buffer.get()), 0u);

    // A span that reaches into the final partial page copies that page as far as it exists.
    ASSERT_TRUE(reader.ExportSpan(file.size() - 2000, file.size() - 1, out));
    EXPECT_EQ(test::ReadFile(out), Bytes(file.begin() + (file.size() / kPageSize - 1) * kPageSize, file.end()));
}

TEST_F(ExportSpanTest, Refusals)
{
    const std::string out = dir.Path("refused.vvf");
    EXPECT_FALSE(reader.ExportSpan(100, 100, out));
    EXPECT_FALSE(reader.ExportSpan(200, 100, out));
    EXPECT_FALSE(reader.ExportSpan(100, file.size(), out));
    EXPECT_FALSE(reader.ExportSpan(file.size(), file.size() + 5, out));
    struct stat st {};
    EXPECT_NE(stat(out.c_str(), &st), 0) << "a refused span writes nothing";

    // The target may not be the recording itself: creating it would truncate the source.
    EXPECT_FALSE(reader.ExportSpan(0, 5000, reader.Path()));
    EXPECT_EQ(test::ReadFile(reader.Path()), file);
    EXPECT_FALSE(reader.ExportSpan(0, 5000, dir.Path("no/such/folder.vvf")));

    // A write error is a failure.
    if (stat("/dev/full", &st) == 0) {
        EXPECT_FALSE(reader.ExportSpan(0, 5000, "/dev/full"));
    }

    VvfReader closed;
    EXPECT_FALSE(closed.ExportSpan(0, 10, out));
}

TEST_F(ReaderTest, ExportSpanRefusesMoreThanOneGigabyte)
{
    const std::string path = dir.Path("large.vvf");
    {
        Bytes page = VvfBuilder().Add(VideoRecord(0xF8, 1, 100)).Build();
        dir.Write("large.vvf", page);
        ASSERT_EQ(truncate(path.c_str(), (std::int64_t{1} << 30) + 3 * kPageSize), 0);  // sparse
    }
    ASSERT_TRUE(reader.Open(path, false));
    EXPECT_FALSE(reader.ExportSpan(0, (std::uint64_t{1} << 30) + 1, dir.Path("big-out.vvf")));
    struct stat st {};
    EXPECT_NE(stat(dir.Path("big-out.vvf").c_str(), &st), 0);
}

class CountingAlerts : public Alerts {
public:
    void Alert(const std::string& text) override { texts.push_back(text); }
    std::vector<std::string> texts;
};

TEST_F(ReaderTest, NoMessageForAPathThatCannotBeOpened)
{
    CountingAlerts alerts;
    reader.SetAlerts(&alerts);
    EXPECT_FALSE(reader.Open(dir.Path("missing"), true));
    EXPECT_TRUE(alerts.texts.empty());
}

}  // namespace
}  // namespace tamlorex
