#include "app/compressor_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include <algorithm>

#include "app/dialog_parts.h"
#include "app/user_prompts.h"
#include "export/compressor_features.h"

namespace tamlorex::app {
namespace {

bool RunChoice(QWidget* owner, UserPrompts& prompts, const std::vector<Compressor>& list, CompressOptions& options,
               bool keyFrameAndDataRate)
{
    CompressorDialog dialog(owner, list, options, keyFrameAndDataRate);
    if (!prompts.RunDialog(dialog) || dialog.Selected() == nullptr) return false;
    options = dialog.Options();
    return true;
}

}  // namespace

CompressorDialog::CompressorDialog(QWidget* owner, const std::vector<Compressor>& list,
                                   const CompressOptions& options, bool keyFrameAndDataRate)
    : QDialog(owner), list_(list), given_(options), keyFrameAndDataRate_(keyFrameAndDataRate)
{
    setWindowTitle(QStringLiteral("Video Compression"));
    compressor_ = new QComboBox(this);
    compressor_->setObjectName(kCompressorList);
    for (const Compressor& c : list_) compressor_->addItem(QString::fromStdString(c.description));

    quality_ = new QSpinBox(this);
    quality_->setObjectName(kCompressorQuality);
    quality_->setRange(-1, kMaxQuality / kQualityStep);
    quality_->setSpecialValueText(QStringLiteral("Default"));
    quality_->setValue(options.quality < 0 ? -1 : std::min(options.quality, kMaxQuality) / kQualityStep);

    keyFrameBox_ = new QCheckBox(QStringLiteral("Key frame every"), this);
    keyFrameBox_->setObjectName(kCompressorKeyFrameBox);
    keyFrames_ = new QSpinBox(this);
    keyFrames_->setObjectName(kCompressorKeyFrames);
    keyFrames_->setRange(1, kMaxKeyFrameEvery);
    keyFrames_->setSuffix(QStringLiteral(" frames"));
    keyFrameBox_->setChecked(options.keyFrameEvery > 0);
    keyFrames_->setValue(options.keyFrameEvery > 0
                             ? static_cast<int>(std::min<std::uint32_t>(options.keyFrameEvery, kMaxKeyFrameEvery))
                             : 15);

    dataRateBox_ = new QCheckBox(QStringLiteral("Data rate"), this);
    dataRateBox_->setObjectName(kCompressorDataRateBox);
    dataRate_ = new QSpinBox(this);
    dataRate_->setObjectName(kCompressorDataRate);
    dataRate_->setRange(1, kMaxDataRateKb);
    dataRate_->setSuffix(QStringLiteral(" KB/sec"));
    dataRateBox_->setChecked(options.bytesPerSecond > 0);
    dataRate_->setValue(options.bytesPerSecond > 0
                            ? static_cast<int>(std::clamp<std::uint32_t>(options.bytesPerSecond / 1024, 1, kMaxDataRateKb))
                            : 300);

    QDialogButtonBox* buttons = OkCancelButtons(*this);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Compressor:"), this), 0, 0);
    grid->addWidget(compressor_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Compression quality:"), this), 1, 0);
    grid->addWidget(quality_, 1, 1);
    grid->addWidget(keyFrameBox_, 2, 0);
    grid->addWidget(keyFrames_, 2, 1);
    grid->addWidget(dataRateBox_, 3, 0);
    grid->addWidget(dataRate_, 3, 1);
    grid->addWidget(buttons, 4, 0, 1, 2);
    if (!keyFrameAndDataRate_) {
        keyFrameBox_->hide();
        keyFrames_->hide();
        dataRateBox_->hide();
        dataRate_->hide();
    }

    auto find = [this](const std::string& handler) {
        for (std::size_t i = 0; i < list_.size(); ++i)
            if (list_[i].handler == handler) return static_cast<int>(i);
        return -1;
    };
    int index = find(options.handler);
    if (index < 0) index = find(kUncompressedHandler);
    if (index < 0 && !list_.empty()) index = 0;
    compressor_->setCurrentIndex(index);
    connect(compressor_, &QComboBox::currentIndexChanged, this, &CompressorDialog::OnCompressorChanged);
    connect(keyFrameBox_, &QCheckBox::toggled, this, &CompressorDialog::OnCompressorChanged);
    connect(dataRateBox_, &QCheckBox::toggled, this, &CompressorDialog::OnCompressorChanged);
    OnCompressorChanged();
}

const Compressor* CompressorDialog::Selected() const
{
    const int index = compressor_->currentIndex();
    if (index < 0 || static_cast<std::size_t>(index) >= list_.size()) return nullptr;
    return &list_[static_cast<std::size_t>(index)];
}

void CompressorDialog::OnCompressorChanged()
{
    const Compressor* selected = Selected();
    const CompressorFeatures features = selected ? FeaturesOf(selected->handler) : CompressorFeatures{};
    quality_->setEnabled(features.quality);
    keyFrameBox_->setEnabled(features.keyFrames);
    keyFrames_->setEnabled(features.keyFrames && keyFrameBox_->isChecked());
    dataRateBox_->setEnabled(features.dataRate);
    dataRate_->setEnabled(features.dataRate && dataRateBox_->isChecked());
}

CompressOptions CompressorDialog::Options() const
{
    CompressOptions options = given_;
    options.type = "vids";
    const Compressor* selected = Selected();
    if (!selected) return options;
    options.handler = selected->handler;
    const CompressorFeatures features = FeaturesOf(selected->handler);
    if (features.quality) options.quality = quality_->value() < 0 ? kDefaultQuality : quality_->value() * kQualityStep;
    if (keyFrameAndDataRate_ && features.keyFrames)
        options.keyFrameEvery = keyFrameBox_->isChecked() ? static_cast<std::uint32_t>(keyFrames_->value()) : 0;
    if (keyFrameAndDataRate_ && features.dataRate)
        options.bytesPerSecond = dataRateBox_->isChecked() ? static_cast<std::uint32_t>(dataRate_->value()) * 1024u : 0;
    return options;
}

bool RunCompressorChoice(QWidget* owner, UserPrompts& prompts, CompressOptions& options, bool keyFrameAndDataRate)
{
    return RunChoice(owner, prompts, ListCompressors(), options, keyFrameAndDataRate);
}

}  // namespace tamlorex::app
