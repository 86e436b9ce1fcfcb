#include "engine/activity_scan.h"

#include <algorithm>
#include <memory>

#include "media/model_type.h"
#include "media/vvf_reader.h"

namespace tamlorex {
namespace {

// Samples between two publications after the first pass.
constexpr std::size_t kPublishEvery = 256;

}  // namespace

std::vector<std::uint64_t> RefiningOrder(std::uint64_t count, std::uint64_t first)
{
    std::vector<std::uint64_t> order;
    if (count == 0) return order;
    order.reserve(static_cast<std::size_t>(count));
    std::uint64_t stride = 1;
    while (first > 0 && stride * 2 <= count / first) stride *= 2;
    for (std::uint64_t i = 0; i < count; i += stride) order.push_back(i);
    for (; stride > 1; stride /= 2)
        for (std::uint64_t i = stride / 2; i < count; i += stride) order.push_back(i);
    return order;
}

std::uint16_t RecordedChannels(const ActivityScan::Snapshot& snapshot)
{
    std::uint16_t mask = 0;
    for (const auto& s : snapshot.samples) mask = static_cast<std::uint16_t>(mask | s.mask);
    return mask;
}

std::vector<ActivityRun> ChannelRuns(const ActivityScan::Snapshot& snapshot, int channel)
{
    std::vector<ActivityRun> runs;
    const auto& samples = snapshot.samples;
    if (channel < 0 || channel > 15 || samples.empty()) return runs;
    // The usual spacing: the median step forward in time between neighbouring samples.
    std::vector<std::uint32_t> steps;
    for (std::size_t i = 1; i < samples.size(); ++i)
        if (samples[i].time >= samples[i - 1].time) steps.push_back(samples[i].time - samples[i - 1].time);
    std::uint32_t usual = 1;
    if (!steps.empty()) {
        std::nth_element(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2), steps.end());
        usual = std::max<std::uint32_t>(1, steps[steps.size() / 2]);
    }
    const std::uint64_t gapLimit = std::max<std::uint64_t>(60, std::uint64_t{usual} * 4);
    const std::uint16_t bit = static_cast<std::uint16_t>(1u << channel);
    bool open = false;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto& s = samples[i];
        if ((s.mask & bit) == 0) {
            open = false;
            continue;
        }
        const bool joins = open && i > 0 && s.time >= samples[i - 1].time && s.time - samples[i - 1].time <= gapLimit;
        if (joins) {
            runs.back().last = std::max(runs.back().last, s.time);
        } else {
            runs.push_back({s.time, s.time});
        }
        open = true;
    }
    return runs;
}

bool ActivityScan::Start(const std::string& path, bool drive, int modelType)
{
    Stop();
    auto reader = std::make_shared<VvfReader>();
    reader->SetModelType(modelType);
    if (!reader->Open(path, drive)) {
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = Snapshot{};
        state_.failed = state_.done = true;
        done_.store(true);
        ++generation_;
        return false;
    }
    const std::uint64_t pages = reader->GetSize() / kPageSize;
    const bool bigEndian = IsBigEndianModel(reader->ModelType());
    Start([reader](std::uint64_t page, std::uint8_t* bytes) { return reader->ReadPage(page * kPageSize, bytes); },
          pages, bigEndian, drive);
    return true;
}

void ActivityScan::Start(TimeIndex::PageReader read, std::uint64_t pages, bool bigEndian, bool ring)
{
    Stop();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = Snapshot{};
        state_.pages = pages;
    }
    stop_.store(false);
    done_.store(false);
    ++generation_;
    thread_ = std::thread([this, read = std::move(read), pages, bigEndian, ring]() mutable {
        Run(std::move(read), pages, bigEndian, ring);
    });
}

void ActivityScan::Stop()
{
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
}

ActivityScan::Snapshot ActivityScan::Take() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

void ActivityScan::Publish(std::vector<Sample>& fresh, bool done)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto& all = state_.samples;
        const std::size_t old = all.size();
        all.insert(all.end(), fresh.begin(), fresh.end());
        auto byPage = [](const Sample& a, const Sample& b) { return a.logical < b.logical; };
        std::sort(all.begin() + static_cast<std::ptrdiff_t>(old), all.end(), byPage);
        std::inplace_merge(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(old), all.end(), byPage);
        state_.done = done;
    }
    fresh.clear();
    if (done) done_.store(true);
    ++generation_;
}

void ActivityScan::Run(TimeIndex::PageReader read, std::uint64_t pages, bool bigEndian, bool ring)
{
    // Every page read goes through here, so that a stop takes effect at the next one.
    std::uint64_t reads = 0;
    auto guarded = [&](std::uint64_t page, std::uint8_t* bytes) {
        if (stop_.load()) return false;
        ++reads;
        return read(page, bytes);
    };
    TimeIndex index(guarded, pages, bigEndian, ring);
    const bool built = index.Build();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_.segments = index.Segments();
        state_.oldestPage = index.OldestPage();
        state_.failed = !built && !stop_.load();
        state_.pageReads = reads;
    }
    std::vector<Sample> fresh;
    if (!built || stop_.load()) {
        Publish(fresh, true);
        return;
    }
    const std::uint64_t slots = std::min(pages, kMaxSamples);
    const std::vector<std::uint64_t> order = RefiningOrder(slots, kFirstPass);
    std::uint8_t page[kPageSize];
    for (std::size_t n = 0; n < order.size() && !stop_.load(); ++n) {
        const std::uint64_t logical = order[n] * pages / slots;
        PageHeader header;
        if (guarded((logical + index.OldestPage()) % pages, page) && TimeIndex::GoodPage(page, bigEndian, header))
            fresh.push_back({logical, header.time, header.mask});
        if (n + 1 == std::min<std::size_t>(order.size(), kFirstPass) || (n + 1) % kPublishEvery == 0) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                state_.pageReads = reads;
            }
            Publish(fresh, false);
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_.pageReads = reads;
    }
    Publish(fresh, true);
}

}  // namespace tamlorex
