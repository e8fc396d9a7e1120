#include "settingsnotice.h"

#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

QString SettingsNotice::text(const ZMConfigMgr::LoadReport& found)
{
    using Report = ZMConfigMgr::LoadReport;
    const QString file = QFileInfo(QString::fromUtf8(ZMConfigMgr::fileName())).absoluteFilePath();
    QStringList lines;
    switch (found.outcome) {
    case Report::NotRegular:
        lines << QObject::tr("设置文件 %1 不是普通文件, 无法读取, 也不会被覆盖; 已使用内置主题.").arg(file);
        break;
    case Report::Unreadable:
        lines << QObject::tr("无法读取设置文件 %1 (%2); 已使用内置主题, 原文件保持不变.")
                     .arg(file, QString::fromLocal8Bit(found.reason.c_str()));
        break;
    case Report::Damaged:
        lines << (found.themesRead > 0 ? QObject::tr("设置文件 %1 已损坏, 已从中恢复 %2 个主题.").arg(file).arg(found.themesRead)
                                       : QObject::tr("设置文件 %1 已损坏, 已换成内置主题.").arg(file));
        break;
    case Report::Garbled:
        lines << QObject::tr("设置文件 %1 中有无法识别的字符, 部分主题名可能显示不正确.").arg(file);
        break;
    case Report::Read:
    case Report::Missing:
        break;
    }
    if (found.outcome == Report::Damaged || found.outcome == Report::Garbled)
        lines << (found.backup.empty() ? QObject::tr("原文件无法备份, 将保持不变, 不会被覆盖.")
                                       : QObject::tr("原文件已保存为 %1.")
                                             .arg(QFileInfo(QString::fromUtf8(found.backup.c_str())).absoluteFilePath()));
    if (found.outcome != Report::NotRegular && !ZMConfigMgr::folderIsWritable(ZMConfigMgr::fileName()))
        lines << QObject::tr("无法在文件夹 %1 中保存设置, 本次对主题的修改不会被保存.").arg(QFileInfo(file).absolutePath());
    return lines.join(QLatin1Char('\n'));
}

void SettingsNotice::show(QWidget* parent, const ZMConfigMgr::LoadReport& found)
{
    const QString message = text(found);
    if (message.isEmpty())
        return;
    // Not modal, and opened once the event loop runs: the window comes up all the same.
    auto* box = new QMessageBox(QMessageBox::Warning, QObject::tr("提示"), message, QMessageBox::NoButton, parent);
    box->addButton(QObject::tr("确定"), QMessageBox::AcceptRole);
    box->setObjectName(QStringLiteral("settingsTrouble"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    QTimer::singleShot(0, box, &QWidget::show);
}

