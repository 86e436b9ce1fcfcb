#include "sim/page_writer.h"

#include <algorithm>
#include <cstring>

namespace tamlorex::sim {

PageWriter::PageWriter(int modelType, Sink sink)
    : bigEndian_(IsBigEndianModel(modelType)), sink_(std::move(sink)), page_(kPageSize, 0)
{
}

void PageWriter::SetHeader(std::uint32_t time, std::uint16_t mask, std::uint8_t interval)
{
    header_.time = time;
    header_.mask = mask;
    header_.interval = static_cast<std::uint8_t>(interval & 0x7F);
}

bool PageWriter::Append(const std::uint8_t* data, std::size_t size)
{
    while (ok_ && size > 0) {
        if (used_ == 0) {
            std::fill(page_.begin(), page_.end(), 0);
            header_.Encode(page_.data(), bigEndian_);
            used_ = kPageHeaderSize;
        }
        const std::size_t n = std::min(size, kPageSize - used_);
        std::memcpy(page_.data() + used_, data, n);
        used_ += n;
        data += n;
        size -= n;
        if (used_ == kPageSize) {
            ok_ = sink_(page_.data(), kPageSize);
            ++pages_;
            used_ = 0;
        }
    }
    return ok_;
}

bool PageWriter::Finish()
{
    if (ok_ && used_ != 0) {
        std::fill(page_.begin() + static_cast<std::ptrdiff_t>(used_), page_.end(), 0);
        ok_ = sink_(page_.data(), kPageSize);
        ++pages_;
        used_ = 0;
    }
    return ok_;
}

}  // namespace tamlorex::sim
