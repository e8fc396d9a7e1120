// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_monitorchoice.h"

#include "zm_monitors.h"

#include <QActionGroup>
#include <QMenu>
#include <QScreen>

#include <vector>

const QString ZMMonitorChoice::kAll = QStringLiteral("*");

namespace {

// Qt places each screen's logical geometry at its device origin and scales the positions on
// it by the screen's ratio.
QPoint toDevice(const QScreen* screen, const QPoint& logical)
{
    const QPoint anchor = screen->geometry().topLeft();
    return anchor + (logical - anchor) * screen->devicePixelRatio();
}

QRect screenInDevicePixels(const QScreen* screen)
{
    return QRect(screen->geometry().topLeft(), screen->geometry().size() * screen->devicePixelRatio());
}

QRect unite(const std::vector<ZMMonitors::Monitor>& monitors)
{
    QRect all;
    for (const ZMMonitors::Monitor& monitor : monitors)
        all |= monitor.geometry;
    return all;
}

// 4:2:0 pictures need even sizes.
QRect even(const QRect& r)
{
    return QRect(r.topLeft(), QSize(r.width() & ~1, r.height() & ~1));
}

} // namespace

ZMMonitorChoice::ZMMonitorChoice(QWidget* parent)
    : QToolButton(parent)
    , m_menu(new QMenu(this))
    , m_entries(new QActionGroup(this))
{
    setObjectName(QStringLiteral("tb_monitor"));
    setText(tr("显示器"));
    setToolTip(tr("全屏录制的显示器"));
    setAutoRaise(true);
    setPopupMode(QToolButton::InstantPopup);
    setMenu(m_menu);
    connect(m_menu, &QMenu::aboutToShow, this, &ZMMonitorChoice::fillMenu);
    connect(m_entries, &QActionGroup::triggered, this, [this](QAction* entry) { choose(entry->data().toString()); });
}

void ZMMonitorChoice::choose(const QString& choice)
{
    m_choice = choice;
}

void ZMMonitorChoice::fillMenu()
{
    m_menu->clear();
    for (QAction* entry : m_entries->actions())
        m_entries->removeAction(entry);
    auto add = [this](const QString& text, const QString& choice) {
        QAction* entry = m_menu->addAction(text);
        entry->setData(choice);
        entry->setCheckable(true);
        entry->setChecked(choice == m_choice);
        m_entries->addAction(entry);
    };
    add(tr("主窗口所在的显示器"), QString());
    add(tr("全部显示器"), kAll);
    QString error;
    const std::vector<ZMMonitors::Monitor> monitors = ZMMonitors::list(QByteArray(), &error);
    if (!monitors.empty())
        m_menu->addSeparator();
    for (const ZMMonitors::Monitor& monitor : monitors) {
        const QRect& r = monitor.geometry;
        add(QStringLiteral("%1  %2x%3+%4+%5%6")
                .arg(monitor.name).arg(r.width()).arg(r.height()).arg(r.x()).arg(r.y())
                .arg(monitor.primary ? tr(" (主显示器)") : QString()),
            monitor.name);
    }
}

bool ZMMonitorChoice::area(const QWidget* window, QRect* area, QString* monitor, QString* error) const
{
    QString unused;
    const std::vector<ZMMonitors::Monitor> monitors = ZMMonitors::list(QByteArray(), &unused);
    const QScreen* screen = window->screen();
    monitor->clear();
    if (monitors.empty()) {
        // A display that does not describe its monitors: Qt's screen of the window.
        *area = screen ? even(screenInDevicePixels(screen)) : QRect();
        return true;
    }
    if (m_choice == kAll) {
        *area = even(unite(monitors));
        return true;
    }
    const int found = m_choice.isEmpty()
                          ? ZMMonitors::at(monitors, screen ? toDevice(screen, window->frameGeometry().center()) : QPoint())
                          : ZMMonitors::find(monitors, m_choice);
    if (found < 0 && !m_choice.isEmpty()) {
        *error = tr("所选的显示器 %1 已不存在, 请重新选择显示器!").arg(m_choice);
        return false;
    }
    const ZMMonitors::Monitor& chosen = monitors[size_t(qMax(0, found))];
    *monitor = chosen.name;
    *area = even(chosen.geometry);
    return true;
}
