// SPDX-License-Identifier: GPL-2.0-or-later
// Every resource path the program's code and forms name must resolve to a real picture
// (or, for the skin, to the style sheet); a typo here would leave a blank button.
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QtTest>

class TestResources : public QObject {
    Q_OBJECT
private slots:
    void picture_data();
    void picture();
    void styleSheet();
};

void TestResources::picture_data()
{
    QTest::addColumn<QString>("path");
    const char* paths[] = {
        ":/images/start.png", ":/images/stop.png", ":/images/pause2.png", ":/images/reset.png",
        ":/images/del.png", ":/images/add.png", ":/images/select.png", ":/modules/images/text.png",
        ":/images/settings.png", ":/images/watermark.png", ":/images/cursor.png",
        ":/images/video.png", ":/images/audio.png", ":/images/movie_48.png",
        ":/icon/rc/icon/down_1.png", ":/images/jumptodir.png", ":/images/down.png",
        ":/images/close.png", ":/images/Logo_48x48.png", ":/images/helpCursor.png",
        ":/file/images/fileopen.png", ":/helper/rc/helper/h1.png", ":/helper/rc/helper/h3.png",
        ":/helper/rc/helper/h4.png", ":/images/Logo_msg_48x48.png", ":/images/zoomin.png",
        ":/images/zoomout.png", ":/images/logo.png",
        "://images/start.png", "://images/pause.png", "://images/stop.png", "://images/exit.png",
        "://images/Logo_48x48.png", "://images/Logo_msg_48x48.png", "://images/green_002.png",
    };
    for (const char* p : paths)
        QTest::newRow(p) << QString::fromUtf8(p);
}

void TestResources::picture()
{
    QFETCH(QString, path);
    const QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    QVERIFY(image.width() >= 16 && image.height() >= 16);
    // Icons are drawn on a transparent ground; the default preview picture is opaque.
    if (!path.contains("green_002") && !path.contains("/helper/rc/helper/h1"))
        QVERIFY2(image.hasAlphaChannel(), qPrintable(path));
}

void TestResources::styleSheet()
{
    QFile file(":/new/skin/images/skin-gray.qss");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString qss = QString::fromUtf8(file.readAll());
    // Collapse the layout so the checks read like the rules themselves.
    QString flat = qss;
    flat.replace(QRegularExpression("\\s+"), " ");
    const char* rules[] = {
        "QWidget { background-color: beige; }",
        "QToolBar { background-color: beige; }",
        "QDialog, QFileDialog { background-color: beige; }",
        "QTabBar, QTabWidget { background-color: beige; }",
        "QGraphicsView, QSlider { background-color: #fffff6; }",
        "QTabWidget::pane { border-top: 2px solid #C2C7CB; }",
        "QTabWidget::tab-bar { left: 5px; }",
        "QMenu::item:selected { background-color: rgba(128, 128, 128, 255); }",
        "QLineEdit[echoMode=\"2\"] { lineedit-password-character: 9679; }",
        "QHeaderView::section:checked { background-color: red; }",
        "QPushButton:hover { background-color: khaki; }",
        "QPushButton:pressed { padding-left: 5px; padding-top: 5px; background-color: #d0d67c; }",
        ".mandatory { color: brown; }",
        "QStatusBar QLabel { font: normal; }",
        "QListView { show-decoration-selected: 1; }",
        "QListView::item:hover { background-color: wheat; }",
        "QLineEdit:focus, QFrame:focus { border-width: 1px; padding: 0px; }",
        "QLabel { border: none; padding: 0; background: none; }",
        "QToolTip { border: 2px solid darkkhaki; padding: 5px; border-radius: 3px; opacity: 200; }",
        "QRadioButton:hover, QCheckBox:hover { background-color: wheat; }",
        "QDialogButtonBox { button-layout: 0; }",
        "QStackedWidget, QComboBox, QLineEdit, QSpinBox, QTextEdit, QListView, QWebView, "
        "QTreeView, QHeaderView { background-color: cornsilk; selection-color: #0a214c; "
        "selection-background-color: #C19A6B; }",
        "QPushButton { background-color: palegoldenrod; border-width: 1px; border-color: darkkhaki; "
        "border-style: solid; border-radius: 3; padding: 3px; min-width: 9ex; min-height: 2.5ex; }",
        "QFrame { border-width: 0px; border-color: darkkhaki; border-style: solid; "
        "border-radius: 3px; padding: 1px; }",
    };
    for (const char* rule : rules)
        QVERIFY2(flat.contains(QString::fromUtf8(rule)), rule);
    QCOMPARE(flat.count('{'), 31);
    QCOMPARE(flat.count('{'), flat.count('}'));
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
