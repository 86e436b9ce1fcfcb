#pragma once
// One output file of an export, whatever its container: bottom-up 24-bit pictures numbered from 0
// and 8-bit sound at 8000 samples per second. A failed write is remembered and refuses the
// writes after it; closing finishes what the file holds.
//
// One thread at a time: the export's first pass creates the file, its second pass writes it.
#include <cstddef>
#include <cstdint>

#include "export/avi_file.h"

namespace tamlorex {

class ExportWriter {
public:
    virtual ~ExportWriter() = default;

    virtual bool IsOpen() const = 0;
    // Picture number `index` (numbers only grow) of the format's image size.
    virtual bool WriteFrame(std::int64_t index, const std::uint8_t* picture) = 0;
    // True without writing when the file has no sound.
    virtual bool WriteSound(const std::uint8_t* bytes, std::size_t length) = 0;
    // Finishes the file; false when a write had failed or the finishing failed.
    virtual bool CloseFile() = 0;
    // Closes without finishing and removes the file.
    virtual void DiscardFile() = 0;

    virtual const BitmapFormat& VideoFormat() const = 0;
    // Pictures the file holds (a compressor's delayed pictures once they are written); after
    // CloseFile, those of the file just closed.
    virtual std::int64_t FramesWritten() const = 0;
    // errno of the failure, when the file system gave one.
    virtual int LastErrno() const = 0;
};

}  // namespace tamlorex
