// SPDX-License-Identifier: GPL-2.0-or-later
#include "helperwidget.h"

#include "ui_helperwidget.h"

#include <QDesktopServices>
#include <QUrl>

HelperWidget::HelperWidget(QWidget* parent)
    : QWidget(parent)
    , m_ui(new Ui::HelperWidget)
{
    m_ui->setupUi(this);
}

HelperWidget::~HelperWidget()
{
    delete m_ui;
}

QUrl HelperWidget::linkTarget(QString link)
{
    link.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QUrl::fromUserInput(link);
}

void HelperWidget::on_label_linkActivated(QString link)
{
    QDesktopServices::openUrl(linkTarget(link));
}
