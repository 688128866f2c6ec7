#include "OpusPage.h"

#include "Global.h"
#include "OpusOut.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

namespace bw {

TOpusOptionsPage::TOpusOptionsPage(QWidget* parent) : QWidget(parent) {
    auto* rateGroup = new QGroupBox(QStringLiteral("Bit Rate"), this);
    seOpusBitrate = new QSpinBox(rateGroup);
    seOpusBitrate->setRange(TOpusOut::MinBitrate, TOpusOut::MaxBitrate);
    seOpusBitrate->setSuffix(QStringLiteral(" kbit/s"));
    cbOpusMode = new QComboBox(rateGroup);
    // In the order of the stored mode: 0, 1, 2.
    cbOpusMode->addItems({QStringLiteral("VBR(Variable Bit Rate)"),
                          QStringLiteral("Constrained VBR"),
                          QStringLiteral("CBR(Constant Bit Rate)")});
    auto* rate = new QGridLayout(rateGroup);
    auto* bitrateLabel = new QLabel(QStringLiteral("&Bitrate:"), rateGroup);
    bitrateLabel->setBuddy(seOpusBitrate);
    auto* modeLabel = new QLabel(QStringLiteral("&Mode:"), rateGroup);
    modeLabel->setBuddy(cbOpusMode);
    rate->addWidget(bitrateLabel, 0, 0);
    rate->addWidget(seOpusBitrate, 0, 1);
    rate->addWidget(modeLabel, 1, 0);
    rate->addWidget(cbOpusMode, 1, 1);
    rate->setColumnStretch(2, 1);

    auto* complexityGroup = new QGroupBox(QStringLiteral("Complexity"), this);
    tbOpusComplexity = new QSlider(Qt::Horizontal, complexityGroup);
    tbOpusComplexity->setRange(0, TOpusOut::MaxComplexity);
    tbOpusComplexity->setPageStep(1);
    tbOpusComplexity->setTickPosition(QSlider::TicksBelow);
    tbOpusComplexity->setTickInterval(1);
    auto* complexity = new QHBoxLayout(complexityGroup);
    complexity->addWidget(new QLabel(QStringLiteral("Fastest"), complexityGroup));
    complexity->addWidget(tbOpusComplexity, 1);
    complexity->addWidget(new QLabel(QStringLiteral("Best"), complexityGroup));

    bOpusDefault = new QPushButton(QStringLiteral("&Default"), this);
    connect(bOpusDefault, &QPushButton::clicked, this, &TOpusOptionsPage::bOpusDefaultClick);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(bOpusDefault);
    auto* page = new QVBoxLayout(this);
    page->addWidget(rateGroup);
    page->addWidget(complexityGroup);
    page->addStretch();
    page->addLayout(bottom);
}

void TOpusOptionsPage::Load(const TAppSettings& settings) {
    seOpusBitrate->setValue(settings.OpusBitrate);
    cbOpusMode->setCurrentIndex(settings.OpusMode);
    tbOpusComplexity->setValue(settings.OpusComplexity);
}

void TOpusOptionsPage::Save(TAppSettings& settings) const {
    settings.OpusBitrate = seOpusBitrate->value();
    // A stored mode outside the list selects none; it stays as it was.
    if (cbOpusMode->currentIndex() >= 0) settings.OpusMode = cbOpusMode->currentIndex();
    settings.OpusComplexity = tbOpusComplexity->value();
}

void TOpusOptionsPage::bOpusDefaultClick() {
    seOpusBitrate->setValue(TOpusOut::DefaultBitrate);
    cbOpusMode->setCurrentIndex(static_cast<int>(TOpusMode::omVBR));
    tbOpusComplexity->setValue(TOpusOut::MaxComplexity);
}

} // namespace bw
