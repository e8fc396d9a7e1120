// SPDX-License-Identifier: GPL-2.0-or-later
#include "markupdocument.h"
#include "test_files.h"
#include "zm_configmgr.h"
#include "zm_configuser.h"

#include <QDir>
#include <QFile>
#include <climits>
#include <sys/stat.h>
#include <vector>

namespace {

std::string presetBytes()
{
    QFile f(ZMConfigMgr::presetFileName());
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll().toStdString();
}

std::vector<std::string> names(const ZMConfigMgr& mgr)
{
    std::vector<std::string> list;
    for (int i = 0; i < mgr.userCount(); ++i)
        list.push_back(mgr.userAt(i)->theme);
    return list;
}

std::string node(const std::string& children)
{
    return "<Node>" + children + "</Node>\r\n";
}

std::string file(const std::string& nodes, const char* lastUse = "<LastUseIdx>1</LastUseIdx>")
{
    return std::string("<Zolmet>\r\n<Murovent>\r\n") + lastUse + "\r\n" + nodes + "</Murovent>\r\n</Zolmet>\r\n";
}

class ConfigStore : public TempDirTest
{
};

} // namespace

TEST_F(ConfigStore, PresetLoadsAndSavesBackInTheSameLayoutWithTimerLines)
{
    const std::string preset = presetBytes();
    ASSERT_FALSE(preset.empty()) << "the preset resource is not linked in";
    writeBytes("preset.cfg", preset);

    ZMConfigMgr mgr;
    ASSERT_TRUE(mgr.load("preset.cfg"));
    EXPECT_EQ(names(mgr), (std::vector<std::string>{"@ 录讲学", "@ 录游戏", "@ 录视频", "* 我的主题"}));
    EXPECT_EQ(mgr.LastUseIdx, 3);
    EXPECT_EQ(mgr.lastUsedUser()->theme, "* 我的主题");
    for (int i = 0; i < 4; ++i) {
        const ZMConfigUser* user = mgr.userAt(i);
        EXPECT_FALSE(user->isTimerEnable);
        EXPECT_EQ(user->timerDelaySec, 3);
        EXPECT_EQ(user->timerStopSec, 10);
    }

    ASSERT_TRUE(mgr.save("saved.cfg"));
    std::string expected = preset;
    const std::string timers =
        "<isTimerEnable>0</isTimerEnable>\r\n<timerDelaySec>3</timerDelaySec>\r\n<timerStopSec>10</timerStopSec>\r\n";
    for (std::size_t at = expected.find("</Node>"); at != std::string::npos;
         at = expected.find("</Node>", at + timers.size() + 7))
        expected.insert(at, timers);
    EXPECT_EQ(readBytes("saved.cfg"), expected);
}

TEST_F(ConfigStore, SavedFileHasTheExactLayout)
{
    ZMConfigMgr mgr;
    ZMConfigUser* user = mgr.addUser("t");
    user->savePath = "";
    user->model = 2;
    user->isSysAudio = true;
    user->timerStopSec = 77;
    mgr.LastUseIdx = 0;
    ASSERT_TRUE(mgr.save("one.cfg"));
    EXPECT_EQ(readBytes("one.cfg"),
              "<Zolmet>\r\n<Murovent>\r\n<LastUseIdx>0</LastUseIdx>\r\n<Node>\r\n<theme>t</theme>\r\n"
              "<savePath></savePath>\r\n<model>2</model>\r\n<audioRate>8000</audioRate>\r\n"
              "<videoFrame>10</videoFrame>\r\n<isAutoJump>1</isAutoJump>\r\n<isSysAudio>1</isSysAudio>\r\n"
              "<isGrabMouse>0</isGrabMouse>\r\n<isTimerEnable>0</isTimerEnable>\r\n"
              "<timerDelaySec>3</timerDelaySec>\r\n<timerStopSec>77</timerStopSec>\r\n</Node>\r\n"
              "</Murovent>\r\n</Zolmet>\r\n");

    ZMConfigMgr none;
    ASSERT_TRUE(none.save("none.cfg"));
    EXPECT_EQ(readBytes("none.cfg"),
              "<Zolmet>\r\n<Murovent>\r\n<LastUseIdx>0</LastUseIdx>\r\n</Murovent>\r\n</Zolmet>\r\n");
}

TEST_F(ConfigStore, NamesAndPathsWithMarkupCharactersRoundTrip)
{
    const std::string name = "a&b <c> &amp; \"d\" 'e' 中文";
    const std::string path = "/home/u/录像 & <clips>";
    ZMConfigMgr mgr;
    mgr.addUser(name.c_str())->savePath = path;
    mgr.addUser("");
    ASSERT_TRUE(mgr.save("names.cfg"));
    const std::string bytes = readBytes("names.cfg");
    EXPECT_NE(bytes.find("<theme>a&amp;b &lt;c&gt; &amp;amp; \"d\" 'e' 中文</theme>\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("<theme></theme>\r\n"), std::string::npos);

    ZMConfigMgr back;
    ASSERT_TRUE(back.load("names.cfg"));
    ASSERT_EQ(back.userCount(), 2);
    EXPECT_EQ(back.userAt(0)->theme, name);
    EXPECT_EQ(back.userAt(0)->savePath, path);
    EXPECT_EQ(back.userAt(1)->theme, "");
    EXPECT_EQ(back.findUser(name.c_str()), back.userAt(0));
}

TEST_F(ConfigStore, MissingChildrenKeepThePreviousNodesValues)
{
    ZMConfigMgr mgr;
    ASSERT_TRUE(mgr.loadFromText(file(
        node("<theme>A</theme><videoFrame>20</videoFrame><model>2</model><isSysAudio>1</isSysAudio>")
        + node("<theme>B</theme><other>x</other><isTimerEnable>7</isTimerEnable><timerStopSec>60</timerStopSec>"
               "<timerDelaySec>9</timerDelaySec>")
        + node("<theme>C</theme>"))));
    ASSERT_EQ(mgr.userCount(), 3);
    const ZMConfigUser* a = mgr.userAt(0);
    EXPECT_TRUE(a->isSysAudio);
    EXPECT_EQ(a->model, 2);
    EXPECT_EQ(a->videoFrame, 10);  // stood before model, which is read first
    EXPECT_FALSE(a->isTimerEnable);
    EXPECT_EQ(a->timerDelaySec, 3);
    EXPECT_EQ(a->timerStopSec, 10);
    EXPECT_EQ(a->savePath, QDir::homePath().toStdString());

    const ZMConfigUser* b = mgr.userAt(1);
    EXPECT_EQ(b->model, 2);  // inherited from A
    EXPECT_TRUE(b->isSysAudio);
    EXPECT_TRUE(b->isTimerEnable);
    EXPECT_EQ(b->timerDelaySec, 9);
    EXPECT_EQ(b->timerStopSec, 10);  // stood before timerDelaySec, which is read first

    const ZMConfigUser* c = mgr.userAt(2);
    EXPECT_EQ(c->theme, "C");
    EXPECT_TRUE(c->isTimerEnable);
    EXPECT_EQ(c->timerDelaySec, 9);
}

TEST_F(ConfigStore, ElementsOutOfPlaceAreNotRead)
{
    ZMConfigMgr mgr;
    // A Node before LastUseIdx is skipped; so is everything outside Zolmet/Murovent.
    ASSERT_TRUE(mgr.loadFromText("<Zolmet><Node><theme>early</theme></Node><Murovent>"
                                 "<Node><theme>also early</theme></Node><LastUseIdx>2x</LastUseIdx>"
                                 "<Node><theme>late</theme><model>-4</model></Node></Murovent></Zolmet>"));
    EXPECT_EQ(names(mgr), std::vector<std::string>{"late"});
    EXPECT_EQ(mgr.LastUseIdx, 2);
    EXPECT_EQ(mgr.userAt(0)->model, -4);

    ZMConfigMgr other;
    EXPECT_TRUE(other.loadFromText("<Other><Murovent><Node><theme>x</theme></Node></Murovent></Other>"));
    EXPECT_EQ(other.userCount(), 0);
    EXPECT_TRUE(other.loadFromText("<Zolmet><murovent/></Zolmet>"));
    EXPECT_EQ(other.userCount(), 0);
}

TEST_F(ConfigStore, NumbersReadLikeAtoiButClamped)
{
    EXPECT_EQ(ZMConfigUser::toInt("12abc"), 12);
    EXPECT_EQ(ZMConfigUser::toInt("  -7"), -7);
    EXPECT_EQ(ZMConfigUser::toInt("abc"), 0);
    EXPECT_EQ(ZMConfigUser::toInt(""), 0);
    EXPECT_EQ(ZMConfigUser::toInt("99999999999999999999"), INT_MAX);
    EXPECT_EQ(ZMConfigUser::toInt("-99999999999999999999"), INT_MIN);

    ZMConfigMgr mgr;
    ASSERT_TRUE(mgr.loadFromText(file(node("<theme>n</theme><isAutoJump>0</isAutoJump><isGrabMouse> 2</isGrabMouse>"))));
    EXPECT_FALSE(mgr.userAt(0)->isAutoJump);
    EXPECT_TRUE(mgr.userAt(0)->isGrabMouse);
}

TEST_F(ConfigStore, FailedLoadChangesNothingAndLoadsAppend)
{
    const std::string text = file(node("<theme>A</theme>") + node("<theme>B</theme>"));
    writeBytes("two.cfg", text);
    ZMConfigMgr mgr;
    ASSERT_TRUE(mgr.load("two.cfg"));
    mgr.LastUseIdx = 5;
    EXPECT_FALSE(mgr.load("missing.cfg"));
    EXPECT_EQ(mgr.lastLoad().outcome, ZMConfigMgr::LoadReport::Missing);
    EXPECT_FALSE(mgr.loadFromText("<Zolmet/><Zolmet/>"));
    EXPECT_EQ(mgr.userCount(), 2);
    EXPECT_EQ(mgr.LastUseIdx, 5);

    ASSERT_TRUE(mgr.load("two.cfg"));
    EXPECT_EQ(names(mgr), (std::vector<std::string>{"A", "B", "A", "B"}));
    EXPECT_EQ(mgr.LastUseIdx, 1);
}

TEST_F(ConfigStore, ListOperationsFollowTheirPositionRules)
{
    ZMConfigMgr mgr;
    EXPECT_EQ(mgr.userAt(0), nullptr);
    EXPECT_EQ(mgr.indexOfUser("x"), 0);
    EXPECT_EQ(mgr.lastUsedUser(), nullptr);
    EXPECT_FALSE(mgr.removeUser("x"));
    EXPECT_EQ(mgr.addUser(nullptr), nullptr);

    for (const char* n : {"a", "b", "c", "b"})
        ASSERT_NE(mgr.addUser(n), nullptr);
    EXPECT_EQ(mgr.indexOfUser("b"), 1);
    EXPECT_EQ(mgr.indexOfUser("zz"), 4);
    EXPECT_EQ(mgr.indexOfUser(nullptr), 0);
    EXPECT_EQ(mgr.userAt(4), mgr.userAt(3));
    EXPECT_EQ(mgr.userAt(1000)->theme, "b");
    EXPECT_EQ(mgr.userAt(-1), nullptr);
    EXPECT_EQ(mgr.findUser("b"), mgr.userAt(1));
    EXPECT_EQ(mgr.findUser("B"), nullptr);
    EXPECT_EQ(mgr.findUser(nullptr), nullptr);
    mgr.LastUseIdx = -1;
    EXPECT_EQ(mgr.lastUsedUser(), nullptr);

    EXPECT_TRUE(mgr.removeUser("b"));  // the first of the two
    EXPECT_EQ(names(mgr), (std::vector<std::string>{"a", "c", "b"}));
    EXPECT_FALSE(mgr.removeUser(nullptr));
    EXPECT_FALSE(mgr.removeUser("zz"));

    ZMConfigUser copy = *mgr.userAt(0);
    copy.videoFrame = 25;
    EXPECT_EQ(mgr.userAt(0)->videoFrame, 10);

    mgr.LastUseIdx = 2;
    mgr.clearUsers();
    EXPECT_EQ(mgr.userCount(), 0);
    EXPECT_EQ(mgr.LastUseIdx, 2);
}

TEST_F(ConfigStore, DumpPrintsFiveLinesPerTheme)
{
    ZMConfigMgr mgr;
    mgr.addUser("中 x")->isTimerEnable = true;
    mgr.addUser("y")->timerDelaySec = 0;
    FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    mgr.dumpUsers(out);
    std::rewind(out);
    char buffer[1024] = {};
    const std::size_t n = std::fread(buffer, 1, sizeof buffer - 1, out);
    std::fclose(out);
    EXPECT_EQ(std::string(buffer, n),
              "-------- ZMConfigUser [中 x] ------------\n> isTimerEnable: 1\n> getTimerStop: 10\n"
              "> getTimerDelay: 3\n---------------------------------------\n"
              "-------- ZMConfigUser [y] ------------\n> isTimerEnable: 0\n> getTimerStop: 10\n"
              "> getTimerDelay: 0\n---------------------------------------\n");
}

TEST_F(ConfigStore, TheBuildsOwnFileIsLoadedOnConstruction)
{
#ifdef ZM_SYSTEM_SOUND
    EXPECT_STREQ(ZMConfigMgr::fileName(), "./user_win7.cfg");
#else
    EXPECT_STREQ(ZMConfigMgr::fileName(), "./user_xp.cfg");
#endif
    {
        ZMConfigMgr empty;
        EXPECT_EQ(empty.userCount(), 0);
    }
    writeBytes(ZMConfigMgr::fileName(), file(node("<theme>mine</theme>")));
    ZMConfigMgr* store = ZMConfigMgr::instance();
    EXPECT_EQ(store, ZMConfigMgr::instance());
    EXPECT_EQ(names(*store), std::vector<std::string>{"mine"});
    EXPECT_EQ(store->LastUseIdx, 1);
}

TEST_F(ConfigStore, DamagedFileGivesItsWholeThemesAndIsKeptAsBackup)
{
    const std::string text = file(node("<theme>A</theme><videoFrame>25</videoFrame>") + node("<theme>B</theme>"));
    // Only the closing tags lost; then cut inside the second theme.
    for (const std::size_t cut : {text.find("</Murovent>"), text.find("</theme>", text.find("B"))}) {
        const std::string damaged = text.substr(0, cut);
        writeBytes("user.cfg", damaged);
        ZMConfigMgr mgr;
        EXPECT_FALSE(mgr.load("user.cfg"));
        const bool whole = cut == text.find("</Murovent>");
        EXPECT_EQ(names(mgr), whole ? (std::vector<std::string>{"A", "B"}) : (std::vector<std::string>{"A"}));
        EXPECT_EQ(mgr.userAt(0)->videoFrame, 25);
        EXPECT_EQ(mgr.lastLoad().outcome, ZMConfigMgr::LoadReport::Damaged);
        EXPECT_EQ(mgr.lastLoad().themesRead, whole ? 2 : 1);
        EXPECT_EQ(mgr.lastLoad().backup, "user.cfg.bak");
        EXPECT_EQ(readBytes("user.cfg.bak"), damaged);
        ASSERT_TRUE(mgr.save("user.cfg"));
        ZMConfigMgr again;
        EXPECT_TRUE(again.load("user.cfg"));
        EXPECT_EQ(names(again), names(mgr));
        EXPECT_EQ(readBytes("user.cfg.bak"), damaged);
    }
}

TEST_F(ConfigStore, FileThatLostCharactersIsKeptAsBackup)
{
    // Declared GBK, but holding bytes that GBK does not have.
    const std::string text = "<?xml version=\"1.0\" encoding=\"GBK\"?>" + file(node("<theme>x\xFF\xFFy</theme>"));
    writeBytes("user.cfg", text);
    ZMConfigMgr mgr;
    EXPECT_TRUE(mgr.load("user.cfg"));
    EXPECT_EQ(mgr.lastLoad().outcome, ZMConfigMgr::LoadReport::Garbled);
    EXPECT_EQ(readBytes(mgr.lastLoad().backup), text);
    // Misdeclared UTF-8 is read as it is: nothing garbled, nothing to keep.
    writeBytes("utf8.cfg", "<?xml version=\"1.0\" encoding=\"GBK\"?>" + file(node("<theme>Mine-été-我的</theme>")));
    ZMConfigMgr utf8;
    EXPECT_TRUE(utf8.load("utf8.cfg"));
    EXPECT_EQ(names(utf8), std::vector<std::string>{"Mine-été-我的"});
    EXPECT_EQ(utf8.lastLoad().outcome, ZMConfigMgr::LoadReport::Read);
}

TEST_F(ConfigStore, PresetRestoreNeverWaitsOnOrReplacesWhatIsNoFile)
{
    const std::string preset = presetBytes();
    ASSERT_EQ(mkfifo("user.cfg", 0600), 0);
    ZMConfigMgr mgr;
    EXPECT_FALSE(mgr.load("user.cfg"));
    EXPECT_EQ(mgr.lastLoad().outcome, ZMConfigMgr::LoadReport::NotRegular);
    EXPECT_TRUE(mgr.restorePreset("user.cfg", preset));
    EXPECT_EQ(mgr.userCount(), 4);
    EXPECT_FALSE(mgr.save("user.cfg"));
    struct stat st;
    ASSERT_EQ(stat("user.cfg", &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    // A folder that takes no files still gives the themes, from the preset itself.
    ZMConfigMgr unwritable;
    EXPECT_FALSE(ZMConfigMgr::folderIsWritable("gone/user.cfg"));
    EXPECT_TRUE(ZMConfigMgr::folderIsWritable("user.cfg"));
    EXPECT_TRUE(unwritable.restorePreset("gone/user.cfg", preset));
    EXPECT_EQ(unwritable.userCount(), 4);

    // Over a regular file the preset is written, the file replaced kept beside it.
    writeBytes("mine.cfg", "not a theme file");
    ZMConfigMgr restored;
    EXPECT_TRUE(restored.restorePreset("mine.cfg", preset));
    EXPECT_EQ(readBytes("mine.cfg"), preset);
    EXPECT_EQ(readBytes("mine.cfg.bak"), "not a theme file");
}
