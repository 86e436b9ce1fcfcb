#pragma once
// A fixed pool of record blocks between the network thread (producer) and the live worker
// (consumer). Nothing is allocated per unit; when the pool is used up the newest unit is dropped,
// so the receive thread never waits for the consumer.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "media/frame_record.h"
#include "platform/event.h"

namespace tamlorex {

inline constexpr std::size_t kQueueBlocks = 16;
// A live sound unit as the stream carries it (live pictures are records: kRecordBufferSize).
inline constexpr std::size_t kLiveAudioSize = 4096;

class RecordQueue {
public:
    RecordQueue(std::size_t blocks, std::size_t blockSize);
    RecordQueue(const RecordQueue&) = delete;
    RecordQueue& operator=(const RecordQueue&) = delete;

    // Copies the unit into a free block. With no free block the unit is dropped and the push still
    // succeeds; a unit longer than a block fails.
    bool Push(const std::uint8_t* data, std::size_t length, const CalendarTime& time);
    // Moves the oldest unit into the caller's buffer (which holds at least BlockSize bytes).
    bool Pop(std::uint8_t* data, std::size_t& length, CalendarTime& time);
    // Set while at least one unit waits.
    Event& NotEmpty() { return notEmpty_; }
    std::size_t BlockSize() const { return blockSize_; }
    std::size_t Count() const;
    std::size_t Dropped() const;
    void Clear();

private:
    struct Block {
        std::unique_ptr<std::uint8_t[]> data;
        std::size_t length = 0;
        CalendarTime time{};
    };
    const std::size_t blockSize_;
    std::vector<Block> blocks_;
    std::vector<Block*> free_;
    std::vector<Block*> filled_;  // a ring in arrival order
    std::size_t first_ = 0;
    std::size_t count_ = 0;
    std::size_t dropped_ = 0;
    mutable std::mutex mutex_;
    Event notEmpty_;
};

}  // namespace tamlorex
