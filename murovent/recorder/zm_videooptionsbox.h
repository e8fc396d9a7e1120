// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "zm_videooptions.h"

#include <QGroupBox>

class QComboBox;
class QSpinBox;

// The encoding choices as a group of controls for the panel's settings dialog, below its own
// (specified) controls. GUI thread.
class ZMVideoOptionsBox : public QGroupBox
{
    Q_OBJECT
public:
    explicit ZMVideoOptionsBox(const ZMVideoOptions& options, QWidget* parent = nullptr);
    ZMVideoOptions options() const;

private:
    QComboBox* m_container;
    QSpinBox* m_quality;
    QComboBox* m_preset;
};
