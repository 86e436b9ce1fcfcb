// Picture header parsing and picture decoding for one decoding context.
//
// Calling order per record: ParseHeader; if it accepted and the channel is
// wanted, Decode of the same record; then Width, Height, Channel. All state
// is per object, so decoders on different threads are independent.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "codec/idct.h"
#include "codec/slice_decoder.h"
#include "codec/vlc_tables.h"
#include "codec/yuv_picture.h"
#include "media/model_type.h"

namespace tamlorex {

class VideoDecoder {
public:
    static constexpr size_t kSliceTableSize = 20;

    VideoDecoder();
    virtual ~VideoDecoder() = default;

    // Sets the model type, clears quantiser scale, size and extra value and
    // selects the block-decoding path. Keeps channel and dual fields.
    int Init(ModelType modelType);

    // Returns the offset at which the slice scan stopped (non-zero) when the
    // record is accepted, 0 when rejected.
    uint32_t ParseHeader(const uint8_t* record, uint32_t length);

    // Decodes the record last given to ParseHeader into `picture`. Returns 1
    // when decoding ran (also when damage stopped it early), 0 when refused;
    // a refusal leaves the picture untouched.
    int Decode(const uint8_t* record, uint32_t length, YuvPicture picture);

    uint32_t Width() const { return width_; }
    uint32_t Height() const { return height_; }
    int32_t Channel() const { return channel_; }

    // Model-specific fields of the last parse.
    ModelType GetModelType() const { return modelType_; }
    uint16_t ExtraValue() const { return extraValue_; }
    int32_t DualLeftChannel() const { return dualLeftChannel_; }
    int32_t DualRightChannel() const { return dualRightChannel_; }
    int32_t DualFlag() const { return dualFlag_; }
    int32_t LeftHidden() const { return leftHidden_; }
    int32_t RightHidden() const { return rightHidden_; }
    uint32_t StartCodeRegister() const { return startCodeRegister_; }

    // Picture state of the last parse.
    uint32_t QuantiserScale() const { return quantiserScale_; }
    int FullPicture() const { return fullPicture_; }
    uint32_t SliceCount() const { return sliceCount_; }
    // Offset of slice `index` (< min(SliceCount, kSliceTableSize)).
    uint32_t SliceOffset(size_t index) const { return sliceTable_[index]; }
    // Why the last Decode stopped, kNone if it ran through every slice.
    DecodeStop LastStop() const { return lastStop_; }
    // True when the last Decode wrote every sample of the picture (a full picture whose slices
    // covered every macroblock row undamaged): its result then does not depend on what the
    // picture buffer held before.
    bool WroteWholePicture() const { return wholePicture_; }

    // Forces the plain or accelerated path; applied now and by every Init.
    void SetDecodePathOverride(DecodePathOverride override);
    DecodePath Path() const { return path_; }

    // Copies the left and right halves of each plane of `source` (width x
    // height) into `left` and `right` (width/2 x height each). False, with
    // nothing written, when width is not a multiple of 4, height is odd or a
    // buffer is too small.
    static bool SplitDualPicture(ConstYuvPicture source, uint32_t width, uint32_t height, YuvPicture left,
                                 YuvPicture right);

private:
    void ParseLayout(const uint8_t* record, uint32_t length);

    ModelType modelType_ = 0;
    uint32_t startCodeRegister_ = 0xFFFFFFFF;
    int32_t channel_ = 0;
    uint16_t extraValue_ = 0;
    int32_t dualLeftChannel_ = 0;
    int32_t dualRightChannel_ = 0;
    int32_t dualFlag_ = 0;
    int32_t leftHidden_ = 0;
    int32_t rightHidden_ = 0;

    uint32_t quantiserScale_ = 0;
    int fullPicture_ = 0;
    uint32_t sliceCount_ = 0;
    std::array<uint32_t, kSliceTableSize> sliceTable_{};
    uint32_t width_ = 0;
    uint32_t height_ = 0;

    std::array<uint32_t, kBlockCoefficients> multipliers_{};
    uint32_t multiplierScale_ = 0;
    DecodePathOverride override_ = DecodePathOverride::kAuto;
    DecodePath path_ = DecodePath::kPlain;
    MaskedBlockWriter writeBlock_ = nullptr;
    DecodeStop lastStop_ = DecodeStop::kNone;
    bool wholePicture_ = false;
    alignas(16) int16_t block_[kBlockCoefficients] = {};
};

}  // namespace tamlorex
