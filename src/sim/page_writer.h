#pragma once
// Lays a record stream into 4096-byte pages: an 8-byte page header, then 4088 bytes of records
// running on from page to page; the last page is padded with zero bytes.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "media/page_header.h"

namespace tamlorex::sim {

class PageWriter {
public:
    // Receives whole pages; returns false to stop writing.
    using Sink = std::function<bool(const std::uint8_t* page, std::size_t size)>;

    PageWriter(int modelType, Sink sink);

    // Header fields for the pages begun from now on.
    void SetHeader(std::uint32_t time, std::uint16_t mask, std::uint8_t interval);
    bool Append(const std::uint8_t* data, std::size_t size);
    bool Append(const std::vector<std::uint8_t>& data) { return Append(data.data(), data.size()); }
    // Pads and writes a partly filled page. Nothing is written when no byte was appended since.
    bool Finish();

    std::uint64_t Pages() const { return pages_; }

private:
    bool bigEndian_;
    Sink sink_;
    PageHeader header_;
    std::vector<std::uint8_t> page_;
    std::size_t used_ = 0;  // bytes of page_ filled, header included; 0: no page begun
    std::uint64_t pages_ = 0;
    bool ok_ = true;
};

}  // namespace tamlorex::sim
