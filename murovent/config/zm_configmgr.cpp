// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_configmgr.h"

#include "markupdocument.h"
#include "zm_configlog.h"
#include "zm_configuser.h"


ZMConfigMgr::ZMConfigMgr()
{
    load(fileName());
}

ZMConfigMgr::~ZMConfigMgr() = default;

ZMConfigMgr* ZMConfigMgr::instance()
{
    static ZMConfigMgr mgr;
    return &mgr;
}

const char* ZMConfigMgr::fileName()
{
#ifdef ZM_SYSTEM_SOUND
    return "./user_win7.cfg";
#else
    return "./user_xp.cfg";
#endif
}

const char* ZMConfigMgr::presetFileName()
{
    return ":/cfg/cfg/user-pre.cfg";
}

bool ZMConfigMgr::load(const std::string& path)
{
    MarkupDocument doc;
    if (!doc.loadFile(path)) {
        qCInfo(lcConfig, "themes not read from %s: %s", path.c_str(), doc.resultText().c_str());
        return false;
    }
    readDocument(doc);
    dumpUsers();
    return true;
}

bool ZMConfigMgr::loadFromText(std::string_view text)
{
    MarkupDocument doc;
    if (!doc.setDocument(text))
        return false;
    readDocument(doc);
    dumpUsers();
    return true;
}

void ZMConfigMgr::readDocument(MarkupDocument& doc)
{
    if (!doc.seekElement("Zolmet") || !doc.enterElement() || !doc.seekElement("Murovent")
        || !doc.enterElement())
        return;
    if (doc.seekElement("LastUseIdx"))
        LastUseIdx = ZMConfigUser::toInt(doc.elementText());
    // One scratch record for the whole file: a child missing from a Node keeps what the
    // Node before it said.
    ZMConfigUser scratch;
    while (scratch.readNode(doc))
        m_users.push_back(std::make_unique<ZMConfigUser>(scratch));
    doc.leaveElement();
    doc.leaveElement();
}

bool ZMConfigMgr::save(const std::string& path) const
{
    MarkupDocument doc;
    doc.appendElement("Zolmet");
    doc.enterElement();
    doc.appendElement("Murovent");
    doc.enterElement();
    doc.appendElement("LastUseIdx");
    doc.setElementText(std::to_string(LastUseIdx));
    for (const auto& user : m_users)
        user->writeNode(doc);
    doc.leaveElement();
    doc.leaveElement();
    return doc.saveFile(path);
}

ZMConfigUser* ZMConfigMgr::findUser(const char* name) const
{
    if (!name)
        return nullptr;
    for (const auto& user : m_users)
        if (user->theme == name)
            return user.get();
    return nullptr;
}

int ZMConfigMgr::indexOfUser(const char* name) const
{
    if (!name)
        return 0;
    int index = 0;
    for (const auto& user : m_users) {
        if (user->theme == name)
            return index;
        ++index;
    }
    return index;
}

ZMConfigUser* ZMConfigMgr::userAt(int index) const
{
    if (m_users.empty() || index < 0)
        return nullptr;
    if (index >= int(m_users.size()))
        return m_users.back().get();
    return std::next(m_users.begin(), index)->get();
}

ZMConfigUser* ZMConfigMgr::lastUsedUser() const
{
    return userAt(LastUseIdx);
}

int ZMConfigMgr::userCount() const
{
    return int(m_users.size());
}

ZMConfigUser* ZMConfigMgr::addUser(const char* name)
{
    if (!name)
        return nullptr;
    m_users.push_back(std::make_unique<ZMConfigUser>(name));
    return m_users.back().get();
}

bool ZMConfigMgr::removeUser(const char* name)
{
    if (!name)
        return false;
    for (auto it = m_users.begin(); it != m_users.end(); ++it) {
        if ((*it)->theme == name) {
            m_users.erase(it);
            return true;
        }
    }
    return false;
}

void ZMConfigMgr::clearUsers()
{
    m_users.clear();
}

void ZMConfigMgr::dumpUsers(FILE* stream) const
{
    for (const auto& user : m_users) {
        std::fprintf(stream, "-------- ZMConfigUser [%s] ------------\n", user->theme.c_str());
        std::fprintf(stream, "> isTimerEnable: %d\n", int(user->isTimerEnable));
        std::fprintf(stream, "> getTimerStop: %d\n", user->timerStopSec);
        std::fprintf(stream, "> getTimerDelay: %d\n", user->timerDelaySec);
        std::fprintf(stream, "---------------------------------------\n");
        std::fflush(stream);
    }
}
