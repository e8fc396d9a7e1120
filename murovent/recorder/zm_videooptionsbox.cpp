// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_videooptionsbox.h"

#include <QComboBox>
#include <QFormLayout>
#include <QSpinBox>

ZMVideoOptionsBox::ZMVideoOptionsBox(const ZMVideoOptions& options, QWidget* parent)
    : QGroupBox(tr("视频编码"), parent)
    , m_container(new QComboBox(this))
    , m_quality(new QSpinBox(this))
    , m_preset(new QComboBox(this))
{
    setObjectName(QStringLiteral("videoOptions"));
    m_container->addItems({QStringLiteral(".mp4"), QStringLiteral(".mkv")});
    m_container->setCurrentText(options.container);
    m_container->setToolTip(tr("录制中断时两种格式都只丢失最后约一秒"));
    // -1 shows as "auto": the encoder's own rate control.
    m_quality->setRange(-1, 51);
    m_quality->setSpecialValueText(tr("自动"));
    m_quality->setValue(options.quality);
    m_quality->setToolTip(tr("x264 的 CRF: 数值越小画质越好, 文件越大"));
    m_preset->addItems(ZMVideoOptions::presets());
    m_preset->setCurrentText(options.preset);
    m_preset->setToolTip(tr("越慢的预设文件越小, 但更耗 CPU"));
    auto* form = new QFormLayout(this);
    form->addRow(tr("格式"), m_container);
    form->addRow(tr("质量 (CRF)"), m_quality);
    form->addRow(tr("预设"), m_preset);
}

ZMVideoOptions ZMVideoOptionsBox::options() const
{
    ZMVideoOptions options;
    options.container = m_container->currentText();
    options.quality = m_quality->value();
    options.preset = m_preset->currentText();
    return options;
}
