// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_skin.h"

#include "dragproxy.h"

#include <QApplication>
#include <QFile>
#include <QWidget>

ZMSkin::ZMSkin(QWidget* target, bool frameless)
{
    if (target && frameless) {
        target->setWindowFlags(Qt::FramelessWindowHint);
        m_dragProxy = new DragProxy(target);
        m_dragProxy->setBorderWidth(3, 3, 3, 3);
    }
    loadStyleSheet(QStringLiteral(":/new/skin/images/skin-gray.qss"));
}

ZMSkin::~ZMSkin() = default;

bool ZMSkin::loadStyleSheet(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    qApp->setStyleSheet(QString::fromUtf8(file.readAll()));
    return true;
}
