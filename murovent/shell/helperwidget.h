// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QWidget>

namespace Ui {
class HelperWidget;
}

// The help window: what to check when nothing gets recorded.
class HelperWidget : public QWidget
{
    Q_OBJECT
public:
    explicit HelperWidget(QWidget* parent = nullptr);
    ~HelperWidget() override;

    // A link of the help text as something the desktop can open: folder paths written with
    // backslashes become local-file addresses, web addresses stay as they are.
    static QUrl linkTarget(QString link);

private slots:
    void on_label_linkActivated(QString link);

private:
    Ui::HelperWidget* m_ui;
};
