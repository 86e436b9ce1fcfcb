#include "codec/record_pipeline.h"

namespace tamlorex {

RecordPipeline::RecordPipeline()
    : halves_{std::vector<std::uint8_t>(kYuvPictureBufferSize / 2), std::vector<std::uint8_t>(kYuvPictureBufferSize / 2)}
{
}

void RecordPipeline::Init(ModelType model)
{
    decoder_.Init(model);
    references_.Forget();
}

bool RecordPipeline::Parse(const std::uint8_t* record, std::uint32_t length)
{
    return decoder_.ParseHeader(record, length) != 0;
}

bool RecordPipeline::Decode(const std::uint8_t* record, std::uint32_t length)
{
    const YuvPicture reference = references_.For(decoder_.Channel(), decoder_.Width(), decoder_.Height());
    return decoder_.Decode(record, length, reference) != 0;
}

bool RecordPipeline::Dual() const
{
    return RulesFor(decoder_.GetModelType()).layout == HeaderLayout::kD && decoder_.DualFlag() != 0;
}

bool RecordPipeline::ShowsAny(std::uint32_t shown, int channel) const
{
    auto on = [shown](int c) { return c >= 0 && c < kMaxChannels && ((shown >> c) & 1) != 0; };
    if (Dual())
        return (!decoder_.LeftHidden() && on(decoder_.DualLeftChannel())) ||
               (!decoder_.RightHidden() && on(decoder_.DualRightChannel()));
    return on(channel);
}

int RecordPipeline::Visible(VisiblePicture out[2])
{
    const ConstYuvPicture picture = references_.Picture(decoder_.Channel());
    const int width = Width(), height = Height();
    if (!Dual()) {
        out[0] = {decoder_.Channel(), picture.data(), width, height};
        return 1;
    }
    if (!VideoDecoder::SplitDualPicture(picture, decoder_.Width(), decoder_.Height(),
                                        YuvPicture(halves_[0].data(), halves_[0].size()),
                                        YuvPicture(halves_[1].data(), halves_[1].size())))
        return 0;
    int n = 0;
    if (!decoder_.LeftHidden()) out[n++] = {decoder_.DualLeftChannel(), halves_[0].data(), width / 2, height};
    if (!decoder_.RightHidden()) out[n++] = {decoder_.DualRightChannel(), halves_[1].data(), width / 2, height};
    return n;
}

}  // namespace tamlorex
