// SPDX-License-Identifier: GPL-2.0-or-later
// The forms are the contract between the panels and their owners: slots are connected by
// object name, and the owners reach widgets by name. These checks pin names, types, cells,
// fixed properties and the user-visible texts.
#include "ui_helperwidget.h"
#include "ui_hotkeysetdlg.h"
#include "ui_savebarwidget.h"
#include "ui_timerwidget.h"
#include "ui_zm_about.h"
#include "ui_zm_avrecordermenu.h"
#include "ui_zm_window.h"

#include <QtTest>

namespace {

QString u(const char* s) { return QString::fromUtf8(s); }

bool sameIcon(const QIcon& icon, const char* path)
{
    const QIcon expected{QString::fromUtf8(path)};
    return !icon.isNull() && !expected.isNull()
        && icon.pixmap(16, 16).toImage() == expected.pixmap(16, 16).toImage();
}

// Row, column and spans of a widget (or nested layout) inside a named grid layout.
QList<int> cell(QWidget* top, const char* grid, QObject* item)
{
    auto* layout = top->findChild<QGridLayout*>(grid);
    if (!layout)
        return {};
    int index = -1;
    if (auto* w = qobject_cast<QWidget*>(item))
        index = layout->indexOf(w);
    else if (auto* l = qobject_cast<QLayout*>(item))
        index = layout->indexOf(l);
    if (index < 0)
        return {};
    int r, c, rs, cs;
    layout->getItemPosition(index, &r, &c, &rs, &cs);
    return {r, c, rs, cs};
}

QStringList items(const QComboBox* box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

void checkCombo(const QComboBox* box)
{
    QVERIFY(!box->isEditable());
    QCOMPARE(box->maxVisibleItems(), 30);
    QCOMPARE(box->maxCount(), 256);
}

void checkMargins(const QLayout* layout, int m)
{
    const QMargins margins = layout->contentsMargins();
    QCOMPARE(margins, QMargins(m, m, m, m));
}

} // namespace

class TestForms : public QObject {
    Q_OBJECT
private slots:
    void recorderPanel_buttons_data();
    void recorderPanel_buttons();
    void recorderPanel_layout();
    void recorderPanel_controls();
    void saveBar();
    void timerBar();
    void hotKeyDialog();
    void aboutDialog();
    void helpWindow();
    void mainWindow();
};

void TestForms::recorderPanel_buttons_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("grid");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("icon");
    QTest::addColumn<QString>("tip");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("checkable");
    auto add = [](const char* name, const char* grid, int r, int c, const char* icon,
                  const char* tip, const char* text, bool checkable) {
        QTest::newRow(name) << u(name) << u(grid) << r << c << u(icon) << u(tip) << u(text) << checkable;
    };
    add("tb_start_pause", "gridLayout_4", 0, 0, ":/images/start.png", "录制 & 暂停", "...", false);
    add("tb_stop", "gridLayout_4", 1, 0, ":/images/stop.png", "停止录制", "...", false);
    add("tb_themeRevert", "gridLayout_6", 1, 0, ":/images/reset.png", "还原所有配置", "|", false);
    add("tb_themeDel", "gridLayout_6", 1, 1, ":/images/del.png", "删除选中的配置", "-", false);
    add("tb_themeAdd", "gridLayout_6", 1, 2, ":/images/add.png", "新增配置", "+", false);
    add("tb_screenshot", "gridLayout_7", 0, 0, ":/images/select.png", "选择录制区域", "...", true);
    add("tb_waterText", "gridLayout_7", 0, 1, ":/modules/images/text.png", "添加文字水印", "...", true);
    add("tb_settings", "gridLayout_7", 1, 0, ":/images/settings.png", "自定义快捷键", "", false);
    add("tb_watermark", "gridLayout_7", 1, 1, ":/images/watermark.png", "添加图像水印", "...", true);
    add("tb_timer", "", -1, -1, ":/images/pause2.png", "定时器生效", "...", true);
    add("tb_timerWidget", "", -1, -1, ":/icon/rc/icon/down_1.png", "设置定时器", "...", false);
    add("tb_gotoDir", "", -1, -1, ":/images/jumptodir.png", "跳转到路径", "...", false);
    add("tb_saveBarWidget", "", -1, -1, ":/icon/rc/icon/down_1.png", "选择保存路径", "...", false);
    add("tb_tray", "gridLayout_5", 0, 1, ":/images/down.png", "最小化窗口", "...", false);
    add("tb_exit", "gridLayout_5", 0, 2, ":/images/close.png", "退出软件", "...", false);
    add("tb_zolmet", "gridLayout_5", 1, 1, ":/images/Logo_48x48.png", "关于我", "...", false);
    add("tb_help", "gridLayout_5", 1, 2, ":/images/helpCursor.png", "帮助", "...", false);
}

void TestForms::recorderPanel_buttons()
{
    QFETCH(QString, name);
    QFETCH(QString, grid);
    QWidget panel;
    Ui::ZMAVRecorderMenu ui;
    ui.setupUi(&panel);
    auto* button = panel.findChild<QToolButton*>(name);
    QVERIFY(button);
    QFETCH(QString, icon);
    QVERIFY(sameIcon(button->icon(), icon.toUtf8().constData()));
    QTEST(button->toolTip(), "tip");
    QTEST(button->text(), "text");
    QTEST(button->isCheckable(), "checkable");
    QVERIFY(!button->isChecked());
    QVERIFY(button->autoRaise());
    if (!grid.isEmpty()) {
        QFETCH(int, row);
        QFETCH(int, column);
        QCOMPARE(cell(&panel, grid.toUtf8().constData(), button), (QList<int>{row, column, 1, 1}));
    }
}

void TestForms::recorderPanel_layout()
{
    QWidget panel;
    Ui::ZMAVRecorderMenu ui;
    ui.setupUi(&panel);
    QCOMPARE(panel.objectName(), u("ZMAVRecorderMenu"));
    QCOMPARE(panel.size(), QSize(844, 71));
    QCOMPARE(panel.windowTitle(), u("Form"));

    const char* boxes[] = {"groupBox_4", "groupBox_7", "groupBox_6", "groupBox",
                           "groupBox_3", "groupBox_timer", "groupBox_2"};
    for (int column = 0; column < 7; ++column) {
        auto* box = panel.findChild<QGroupBox*>(boxes[column]);
        QVERIFY2(box, boxes[column]);
        QVERIFY(box->title().isEmpty());
        QCOMPARE(cell(&panel, "gridLayout_9", box), (QList<int>{0, column, 1, 1}));
        checkMargins(box->layout(), 2);
    }
    QCOMPARE(cell(&panel, "gridLayout_9", ui.groupBox_5), (QList<int>{0, 8, 1, 1}));
    checkMargins(ui.gridLayout_9, 2);
    QCOMPARE(ui.gridLayout_4->spacing(), 2);
    QCOMPARE(ui.gridLayout_5->spacing(), 2);

    // The docking logic measures this spacer, so it must sit between the bars and the exit group.
    QSpacerItem* spacer = ui.horizontalSpacer;
    QVERIFY(spacer);
    QCOMPARE(spacer->sizeHint(), QSize(0, 20));
    QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(spacer->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);
    int r, c, rs, cs;
    ui.gridLayout_9->getItemPosition(ui.gridLayout_9->indexOf(spacer), &r, &c, &rs, &cs);
    QCOMPARE((QList<int>{r, c}), (QList<int>{0, 7}));

    QCOMPARE(cell(&panel, "gridLayout_8", ui.verticalLayout), (QList<int>{0, 0, 1, 1}));
    QCOMPARE(ui.verticalLayout->indexOf(ui.tb_timer), 0);
    QCOMPARE(ui.verticalLayout->indexOf(ui.tb_timerWidget), 1);
    QCOMPARE(cell(&panel, "gridLayout_8", ui.frame_timerBox), (QList<int>{0, 1, 1, 1}));
    QCOMPARE(cell(&panel, "gridLayout_2", ui.verticalLayout_2), (QList<int>{0, 0, 1, 1}));
    QCOMPARE(ui.verticalLayout_2->indexOf(ui.tb_gotoDir), 0);
    QCOMPARE(ui.verticalLayout_2->indexOf(ui.tb_saveBarWidget), 1);
    QCOMPARE(cell(&panel, "gridLayout_2", ui.frame_saveBox), (QList<int>{0, 1, 1, 1}));
    for (QFrame* frame : {ui.frame_timerBox, ui.frame_saveBox}) {
        QCOMPARE(frame->frameShape(), QFrame::NoFrame);
        QCOMPARE(frame->frameShadow(), QFrame::Raised);
        QVERIFY(!frame->layout());
    }
}

void TestForms::recorderPanel_controls()
{
    QWidget panel;
    Ui::ZMAVRecorderMenu ui;
    ui.setupUi(&panel);

    checkCombo(ui.cb_theme);
    QCOMPARE(items(ui.cb_theme), (QStringList{u(" 录讲学"), u(" 录游戏"), u(" 录视频")}));
    QCOMPARE(ui.cb_theme->maximumSize(), QSize(100, 16777215));
    QCOMPARE(ui.cb_theme->toolTip(), u("选择录制主题"));
    QCOMPARE(cell(&panel, "gridLayout_6", ui.cb_theme), (QList<int>{0, 0, 1, 3}));

    checkCombo(ui.cb_recordMode);
    QCOMPARE(items(ui.cb_recordMode), (QStringList{u("录制音视频"), u("只录制视频"), u("只录制音频")}));
    QVERIFY(sameIcon(ui.cb_recordMode->itemIcon(0), ":/images/movie_48.png"));
    QVERIFY(sameIcon(ui.cb_recordMode->itemIcon(1), ":/images/video.png"));
    QVERIFY(sameIcon(ui.cb_recordMode->itemIcon(2), ":/images/audio.png"));
    QCOMPARE(ui.cb_recordMode->maximumSize(), QSize(130, 16777215));
    QCOMPARE(ui.cb_recordMode->toolTip(), u("选择录制模式"));
    QCOMPARE(cell(&panel, "gridLayout", ui.cb_recordMode), (QList<int>{0, 0, 1, 1}));

    QCOMPARE(ui.checkBox_mouse->text(), u("录制鼠标"));
    QCOMPARE(ui.checkBox_mouse->toolTip(), u("抓取系统鼠标"));
    QVERIFY(!ui.checkBox_mouse->isChecked());
    QVERIFY(sameIcon(ui.checkBox_mouse->icon(), ":/images/cursor.png"));
    QCOMPARE(cell(&panel, "gridLayout", ui.checkBox_mouse), (QList<int>{1, 0, 1, 1}));

    QCOMPARE(ui.checkBox_autoFrame->text(), u("智能跳帧"));
    QCOMPARE(ui.checkBox_autoFrame->toolTip(), u("当CPU负载过高时,将自动跳帧,降低采集帧率"));
    QVERIFY(ui.checkBox_autoFrame->isChecked());
    QCOMPARE(cell(&panel, "gridLayout_3", ui.checkBox_autoFrame), (QList<int>{0, 0, 1, 1}));
    QCOMPARE(ui.line->frameShape(), QFrame::VLine);
    QCOMPARE(ui.line->frameShadow(), QFrame::Sunken);
    QCOMPARE(cell(&panel, "gridLayout_3", ui.line), (QList<int>{0, 1, 2, 1}));

    QVERIFY(ui.label_vFrameRate->text().contains(u("<img src=\":/images/video.png\"/>视频帧率:")));
    QCOMPARE(ui.label_vFrameRate->buddy(), ui.spinBox_frameRate);
    QCOMPARE(ui.label_vFrameRate->toolTip(), u("选择视频的采集帧率"));
    QCOMPARE(cell(&panel, "gridLayout_3", ui.label_vFrameRate), (QList<int>{0, 2, 1, 1}));
    QCOMPARE(ui.spinBox_frameRate->minimum(), 5);
    QCOMPARE(ui.spinBox_frameRate->maximum(), 30);
    QCOMPARE(ui.spinBox_frameRate->value(), 10);
    QCOMPARE(ui.spinBox_frameRate->maximumSize(), QSize(66, 16777215));
    QCOMPARE(ui.spinBox_frameRate->toolTip(), u("设置视频的采集帧率"));
    QCOMPARE(cell(&panel, "gridLayout_3", ui.spinBox_frameRate), (QList<int>{0, 3, 1, 1}));

    QCOMPARE(ui.checkBox_sysAudio->text(), u("系统声音"));
    QCOMPARE(ui.checkBox_sysAudio->toolTip(), u("仅录制操作系统声卡数据"));
    QVERIFY(!ui.checkBox_sysAudio->isChecked());
    QCOMPARE(cell(&panel, "gridLayout_3", ui.checkBox_sysAudio), (QList<int>{1, 0, 1, 1}));
    QVERIFY(ui.label_aSampleRate->text().contains(u("<img src=\":/images/audio.png\"/> 音频频率:")));
    QCOMPARE(ui.label_aSampleRate->buddy(), ui.cb_audioRate);
    QCOMPARE(ui.label_aSampleRate->toolTip(), u("选择音频的采集帧率"));
    QCOMPARE(cell(&panel, "gridLayout_3", ui.label_aSampleRate), (QList<int>{1, 2, 1, 1}));
    checkCombo(ui.cb_audioRate);
    QCOMPARE(items(ui.cb_audioRate), QStringList{u("000")});
    QCOMPARE(ui.cb_audioRate->maximumSize(), QSize(66, 16777215));
    QCOMPARE(ui.cb_audioRate->toolTip(), u("选择音频的采集频率"));
    QCOMPARE(cell(&panel, "gridLayout_3", ui.cb_audioRate), (QList<int>{1, 3, 1, 1}));
}

void TestForms::saveBar()
{
    QWidget bar;
    Ui::SaveBarWidget ui;
    ui.setupUi(&bar);
    QCOMPARE(bar.size(), QSize(293, 58));
    QCOMPARE(bar.windowTitle(), u("Form"));
    checkMargins(ui.gridLayout, 2);
    QCOMPARE(ui.label_4->text(), u("文件夹:"));
    QCOMPARE(ui.label_3->text(), u("文件名:"));
    QVERIFY(ui.lineEdit_movieDir->isReadOnly());
    QVERIFY(!ui.lineEdit_movieName->isReadOnly());
    QCOMPARE(ui.lineEdit_movieDir->minimumWidth(), 160);
    QCOMPARE(ui.lineEdit_movieName->minimumWidth(), 160);
    QCOMPARE(ui.lineEdit_movieDir->toolTip(), u("保存到路径"));
    QCOMPARE(ui.lineEdit_movieName->toolTip(), u("保存为文件"));
    QVERIFY(sameIcon(ui.tb_dirOpen->icon(), ":/file/images/fileopen.png"));
    QVERIFY(!ui.tb_dirOpen->isCheckable());
    QCOMPARE(ui.tb_dirOpen->toolTip(), u("选择保存路径"));
    QCOMPARE(ui.tb_dirOpen->text(), u("..."));
    checkCombo(ui.cb_format);
    QCOMPARE(items(ui.cb_format), QStringList{u(".mp4")});
    QCOMPARE(ui.cb_format->toolTip(), u("存储格式"));
    QCOMPARE(cell(&bar, "gridLayout", ui.label_4), (QList<int>{0, 0, 1, 1}));
    QCOMPARE(cell(&bar, "gridLayout", ui.lineEdit_movieDir), (QList<int>{0, 1, 1, 1}));
    QCOMPARE(cell(&bar, "gridLayout", ui.tb_dirOpen), (QList<int>{0, 2, 1, 1}));
    QCOMPARE(cell(&bar, "gridLayout", ui.label_3), (QList<int>{1, 0, 1, 1}));
    QCOMPARE(cell(&bar, "gridLayout", ui.lineEdit_movieName), (QList<int>{1, 1, 1, 1}));
    QCOMPARE(cell(&bar, "gridLayout", ui.cb_format), (QList<int>{1, 2, 1, 1}));
}

void TestForms::timerBar()
{
    QWidget bar;
    Ui::TimerWidget ui;
    ui.setupUi(&bar);
    QCOMPARE(bar.size(), QSize(180, 53));
    checkMargins(ui.gridLayout, 2);
    QCOMPARE(ui.label_delay->text(), u("延时n秒开始: "));
    QCOMPARE(ui.spinBox_delay->value(), 3);
    QCOMPARE(ui.spinBox_delay->minimum(), 0);
    QCOMPARE(ui.spinBox_delay->maximum(), 99);
    QCOMPARE(ui.spinBox_delay->maximumWidth(), 90);
    QVERIFY(ui.checkBox_time->text().isEmpty());
    QCOMPARE(ui.label_time->text(), u("录制时长:"));
    QCOMPARE(ui.label_time->buddy(), ui.timeEdit);
    QVERIFY(!ui.timeEdit->isEnabled());
    QCOMPARE(ui.timeEdit->maximumWidth(), 90);
    QCOMPARE(cell(&bar, "gridLayout", ui.label_delay), (QList<int>{0, 0, 1, 2}));
    QCOMPARE(cell(&bar, "gridLayout", ui.spinBox_delay), (QList<int>{0, 2, 1, 1}));
    QCOMPARE(cell(&bar, "gridLayout", ui.checkBox_time), (QList<int>{1, 0, 1, 1}));
    QCOMPARE(cell(&bar, "gridLayout", ui.label_time), (QList<int>{1, 1, 1, 1}));
    QCOMPARE(cell(&bar, "gridLayout", ui.timeEdit), (QList<int>{1, 2, 1, 1}));
}

void TestForms::hotKeyDialog()
{
    QDialog dialog;
    Ui::HotKeySetDlg ui;
    ui.setupUi(&dialog);
    QCOMPARE(dialog.size(), QSize(280, 162));
    QCOMPARE(dialog.windowTitle(), u("Dialog"));
    const QList<QLayout*> rows{ui.horizontalLayout_5, ui.horizontalLayout, ui.horizontalLayout_3,
                               ui.horizontalLayout_4};
    for (int row = 0; row < rows.size(); ++row)
        QCOMPARE(cell(&dialog, "gridLayout", rows[row]), (QList<int>{row, 0, 1, 1}));

    QVERIFY(ui.label_4->text().contains(u("快捷键设置")));
    QVERIFY(ui.label_4->text().contains(u("#55aa00")));
    QCOMPARE(ui.label_4->maximumHeight(), 25);
    QVERIFY(sameIcon(ui.btn_default->icon(), ":/images/reset.png"));
    QCOMPARE(ui.btn_default->toolTip(), u("恢复默认设置"));
    QVERIFY(ui.btn_default->text().isEmpty());
    QCOMPARE(ui.btn_default->maximumWidth(), 16);
    QCOMPARE(ui.label_2->text(), u("开始|暂停:"));
    QCOMPARE(ui.label_3->text(), u("停     止:"));
    QCOMPARE(ui.label_2->maximumWidth(), 90);
    QCOMPARE(ui.btn_save->text(), u("保存"));
    QCOMPARE(ui.btn_cancel->text(), u("取消"));
    QCOMPARE(ui.horizontalLayout_4->indexOf(ui.btn_save), 1);
    QCOMPARE(ui.horizontalLayout_4->indexOf(ui.btn_cancel), 2);

    const QStringList modifiers{u(""), u("Ctrl"), u("Alt"), u("Shift")};
    QStringList keys;
    for (int f = 1; f <= 12; ++f)
        keys << QString("F%1").arg(f);
    for (QComboBox* box : {ui.cbBox_start_Modifer, ui.cbBox_stop_Modifer}) {
        checkCombo(box);
        QCOMPARE(items(box), modifiers);
    }
    for (QComboBox* box : {ui.cbBox_start_key, ui.cbBox_stop_key}) {
        checkCombo(box);
        QCOMPARE(items(box), keys);
    }
    QCOMPARE(ui.horizontalLayout->indexOf(ui.cbBox_start_Modifer), 1);
    QCOMPARE(ui.horizontalLayout->indexOf(ui.cbBox_start_key), 2);
    QCOMPARE(ui.horizontalLayout_3->indexOf(ui.cbBox_stop_Modifer), 1);
    QCOMPARE(ui.horizontalLayout_3->indexOf(ui.cbBox_stop_key), 2);
}

void TestForms::aboutDialog()
{
    QDialog dialog;
    Ui::ZMAbout ui;
    ui.setupUi(&dialog);
    QCOMPARE(dialog.size(), QSize(499, 396));
    QCOMPARE(dialog.windowTitle(), u("Form"));
    QVERIFY(!ui.label_Icon->pixmap().isNull());
    QCOMPARE(ui.label_Icon->pixmap().toImage(), QImage(":/images/Logo_48x48.png").convertToFormat(ui.label_Icon->pixmap().toImage().format()));
    QVERIFY(ui.label_Icon->alignment() & Qt::AlignTop);
    QVERIFY(ui.label_Icon->alignment() & Qt::AlignLeft);
    QCOMPARE(cell(&dialog, "gridLayout", ui.label_Icon), (QList<int>{0, 0, 1, 1}));
    QCOMPARE(cell(&dialog, "gridLayout", ui.verticalLayout_2), (QList<int>{0, 1, 1, 1}));
    QCOMPARE(ui.verticalLayout_2->indexOf(ui.verticalLayout), 0);
    QCOMPARE(ui.verticalLayout_2->indexOf(ui.plainTextEdit), 1);
    const QList<QWidget*> order{ui.label_Text, ui.line, ui.label_version, ui.label_Text_2, ui.label_components};
    const int stretch[] = {3, 0, 1, 6, 0};
    for (int i = 0; i < order.size(); ++i) {
        QCOMPARE(ui.verticalLayout->indexOf(order[i]), i);
        QCOMPARE(ui.verticalLayout->stretch(i), stretch[i]);
    }
    QVERIFY(ui.label_Text->text().contains(u("Murovent 录屏软件")));
    const auto linkFlags = Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse;
    QCOMPARE(ui.label_Text->textInteractionFlags(), linkFlags);
    QCOMPARE(ui.label_Text_2->textInteractionFlags(), linkFlags);
    QCOMPARE(ui.label_version->text(), u("version:"));
    // The program's licence and the components it is built on, each with its own.
    const QString components = ui.label_components->text();
    QVERIFY(components.contains("GPL-2.0-or-later"));
    for (const char* part : {"FFmpeg</td><td>LGPL-2.1-or-later", "x264</td><td>GPL-2.0-or-later", "Qt</td><td>LGPL-3.0",
                             "libyuv</td><td>BSD-3-Clause", "jsoncpp</td><td>MIT", "PulseAudio</td><td>LGPL-2.1-or-later"})
        QVERIFY2(components.contains(u(part)), part);
    QCOMPARE(ui.label_version->maximumHeight(), 30);
    QCOMPARE(ui.line->frameShape(), QFrame::HLine);
    // Every link of the heading is an ordinary web address.
    const QRegularExpression href("href=\"([^\"]*)\"");
    auto links = href.globalMatch(ui.label_Text->text());
    int count = 0;
    while (links.hasNext()) {
        QVERIFY(links.next().captured(1).startsWith("https://"));
        ++count;
    }
    QVERIFY(count > 0);
}

void TestForms::helpWindow()
{
    QWidget help;
    Ui::HelperWidget ui;
    ui.setupUi(&help);
    QCOMPARE(help.size(), QSize(618, 472));
    QCOMPARE(help.windowTitle(), u("帮助"));
    QVERIFY(ui.label_2->text().contains(u("无法录制的问题,分两步排查")));
    QCOMPARE(ui.label->textInteractionFlags(), Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse);
    QCOMPARE(ui.label_3->textInteractionFlags(), Qt::LinksAccessibleByMouse);
    QCOMPARE(cell(&help, "gridLayout", ui.label_2), (QList<int>{0, 0, 1, 1}));
    QCOMPARE(cell(&help, "gridLayout", ui.label), (QList<int>{1, 0, 1, 1}));
    QCOMPARE(cell(&help, "gridLayout", ui.label_3), (QList<int>{2, 0, 1, 1}));

    const QString text = ui.label->text();
    const QString hyphens(74, '-');
    const char* inOrder[] = {
        "第1步: 选择 &quot;只录视频&quot; 模式", ":/helper/rc/helper/h1.png",
        "如果可以录制视频,说明录屏软件没有问题,则进行第 2 步检验,否则是录屏软件自身问题;",
        "第2步: 用桌面的声音设置或 pavucontrol 测试麦克风", "pavucontrol", "&quot;输入设备&quot;",
        "否则是", "系统音频设备配置错误", " 或 ", "声卡驱动异常", "。", "系统声音&quot;内录&quot;",
        "监视源 (monitor)", "详情请联系我们:"};
    int at = 0;
    for (const char* piece : inOrder) {
        const int found = text.indexOf(u(piece), at);
        QVERIFY2(found >= 0, piece);
        at = found;
    }
    // A help for this system: no Windows tools, folders or pictures.
    for (const char* windows : {"windows", "Windows", "System32", "录音机", "h3.png", "h4.png"})
        QVERIFY2(!text.contains(u(windows)), windows);
    QCOMPARE(text.count(hyphens), 2);
    QVERIFY(!text.contains(QString(75, '-')));
}

void TestForms::mainWindow()
{
    QMainWindow window;
    Ui::ZMWindow ui;
    ui.setupUi(&window);
    QCOMPARE(window.objectName(), u("ZMWindow"));
    QCOMPARE(window.size(), QSize(640, 340));
    QCOMPARE(window.windowTitle(), u("MainWindow"));
    QCOMPARE(window.centralWidget(), ui.centralwidget);
    QCOMPARE(ui.centralwidget->objectName(), u("centralwidget"));
    QCOMPARE(window.menuBar(), ui.menubar);
    QCOMPARE(ui.menubar->geometry(), QRect(0, 0, 640, 26));
    QCOMPARE(window.statusBar(), ui.statusbar);
}

QTEST_MAIN(TestForms)
#include "tst_forms.moc"
