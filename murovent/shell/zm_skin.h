// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

class DragProxy;
class QString;
class QWidget;

// The program's look: optionally makes a window frameless (movable and resizable through a
// DragProxy) and applies the application style sheet.
class ZMSkin
{
public:
    ZMSkin(QWidget* target, bool frameless);
    virtual ~ZMSkin();

    // Sets the style sheet in the file (a resource) on the whole application; false, and
    // nothing changed, when the file does not open.
    static bool loadStyleSheet(const QString& path);

    DragProxy* dragProxy() const { return m_dragProxy; }

private:
    DragProxy* m_dragProxy = nullptr;
};
