// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_about.h"

#include "ui_zm_about.h"

#include "serverinfostore.h"
#include "zm_product.h"

#include <QDesktopServices>
#include <QUrl>

#include <cstring>

ZMAbout::ZMAbout(QWidget* parent)
    : QDialog(parent)
    , m_ui(new Ui::ZMAbout)
{
    m_ui->setupUi(this);
    connect(m_ui->label_Text, &QLabel::linkActivated, this, &ZMAbout::connectWithMe);
    setWindowTitle(tr("关于 Murovent"));
    m_ui->label_version->setText(QStringLiteral("version: %1").arg(QString::fromUtf8(ZMProduct::kVersion)));

    const ServerInfoStore::proVerInfo info = ServerInfoStore::instance().verInfo();
    if (!info.valid || !isNewerVersion(info.version, ZMProduct::kVersion)) {
        m_ui->plainTextEdit->hide();
        setFixedSize(fittedSize());
        return;
    }
    const QString text = tr("------------------------------------------")
        + tr("\n                新版本信息               ")
        + tr("------------------------------------------\n")
        + tr("> 新 版 本:  %1 \n").arg(QString::fromStdString(info.version))
        + tr("> 发布时间:  %1\n").arg(QString::fromStdString(info.createTime))
        + tr("> 备    注:  %1\n").arg(QString::fromStdString(info.updateNote))
        + tr("> 功能描述:  %1\n").arg(QString::fromStdString(info.productDesc));
    m_ui->plainTextEdit->setPlainText(text);
    m_ui->plainTextEdit->setReadOnly(true);
    m_ui->plainTextEdit->setFrameStyle(QFrame::Panel);
    const QSize fitted = fittedSize();
    setFixedSize(fitted.width() + 60, fitted.height() + 200);
}

// The form's size, or larger where the texts need more room in this language and font.
QSize ZMAbout::fittedSize() const
{
    return size().expandedTo(minimumSizeHint());
}

ZMAbout::~ZMAbout()
{
    delete m_ui;
}

bool ZMAbout::isNewerVersion(const std::string& server, const std::string& local)
{
    return std::strcmp(server.c_str(), local.c_str()) > 0;
}

void ZMAbout::connectWithMe(QString link)
{
    QDesktopServices::openUrl(QUrl(link));
}
