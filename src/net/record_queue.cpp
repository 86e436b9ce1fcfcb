#include "net/record_queue.h"

#include <cstring>

namespace tamlorex {

RecordQueue::RecordQueue(std::size_t blocks, std::size_t blockSize) : blockSize_(blockSize), blocks_(blocks)
{
    free_.reserve(blocks);
    filled_.resize(blocks);
    for (Block& block : blocks_) {
        block.data.reset(new std::uint8_t[blockSize]);
        free_.push_back(&block);
    }
}

bool RecordQueue::Push(const std::uint8_t* data, std::size_t length, const CalendarTime& time)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (free_.empty()) {
        ++dropped_;
        return true;
    }
    if (length > blockSize_) return false;
    Block* block = free_.back();
    free_.pop_back();
    if (length > 0) std::memcpy(block->data.get(), data, length);
    block->length = length;
    block->time = time;
    filled_[(first_ + count_) % filled_.size()] = block;
    ++count_;
    notEmpty_.Set();
    return true;
}

bool RecordQueue::Pop(std::uint8_t* data, std::size_t& length, CalendarTime& time)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (count_ == 0) return false;
    Block* block = filled_[first_];
    first_ = (first_ + 1) % filled_.size();
    if (--count_ == 0) notEmpty_.Reset();
    if (block->length > 0) std::memcpy(data, block->data.get(), block->length);
    length = block->length;
    time = block->time;
    free_.push_back(block);
    return true;
}

std::size_t RecordQueue::Count() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return count_;
}

std::size_t RecordQueue::Dropped() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return dropped_;
}

void RecordQueue::Clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (; count_ > 0; --count_) {
        free_.push_back(filled_[first_]);
        first_ = (first_ + 1) % filled_.size();
    }
    notEmpty_.Reset();
}

}  // namespace tamlorex
