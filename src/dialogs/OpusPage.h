// The Opus page of the options dialog: bitrate, bitrate mode and complexity, with a Default
// button that puts back the values a new installation has.
#pragma once

#include <QWidget>

class QComboBox;
class QPushButton;
class QSlider;
class QSpinBox;

namespace bw {

struct TAppSettings;

class TOpusOptionsPage : public QWidget {
    Q_OBJECT
public:
    explicit TOpusOptionsPage(QWidget* parent = nullptr);

    void Load(const TAppSettings& settings);
    void Save(TAppSettings& settings) const;

    QSpinBox* seOpusBitrate{};
    QComboBox* cbOpusMode{};
    QSlider* tbOpusComplexity{};
    QPushButton* bOpusDefault{};

public slots:
    void bOpusDefaultClick();
};

} // namespace bw
