// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_configmgr.h"

#include "markupdocument.h"
#include "zm_configlog.h"
#include "zm_configuser.h"

#include <common/zm_global.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// The cap of a settings file, as the markup reader has it.
constexpr off_t kLargestFile = off_t(64) << 20;

bool logHas(const MarkupDocument& doc, const char* name)
{
    const auto& log = doc.resultLog();
    return std::any_of(log.begin(), log.end(), [name](const auto& entry) { return entry.name == name; });
}

std::string logMessage(const MarkupDocument& doc, const char* name)
{
    for (const auto& entry : doc.resultLog())
        if (entry.name == name)
            return entry.message;
    return {};
}

// The bytes of a regular file of at most kLargestFile; false for anything else.
bool readRegularFile(const std::string& path, std::string& bytes)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kLargestFile;
    char buffer[65536];
    ssize_t n = 0;
    while (ok && (n = ::read(fd, buffer, sizeof buffer)) != 0) {
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0 && bytes.size() + std::size_t(n) <= std::size_t(kLargestFile);
        if (ok)
            bytes.append(buffer, std::size_t(n));
    }
    ::close(fd);
    return ok;
}

} // namespace

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

std::optional<ZMConfigMgr::LoadReport> ZMConfigMgr::takeLastLoad()
{
    if (m_lastLoadTaken)
        return std::nullopt;
    m_lastLoadTaken = true;
    return m_lastLoad;
}

bool ZMConfigMgr::load(const std::string& path)
{
    m_lastLoad = LoadReport();
    m_lastLoadTaken = false;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        m_lastLoad.outcome = errno == ENOENT ? LoadReport::Missing : LoadReport::Unreadable;
        m_lastLoad.reason = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        m_lastLoad.outcome = LoadReport::NotRegular;
        return false;
    }
    MarkupDocument doc;
    const bool wellFormed = doc.loadFile(path);
    if (logHas(doc, "file_error")) {
        qCInfo(lcConfig, "themes not read from %s: %s", path.c_str(), doc.resultText().c_str());
        m_lastLoad.outcome = LoadReport::Unreadable;
        m_lastLoad.reason = logMessage(doc, "file_error");
        m_keepAsIs = path;
        return false;
    }
    const int before = userCount();
    readDocument(doc);
    m_lastLoad.themesRead = userCount() - before;
    if (!wellFormed || logHas(doc, "conversion_loss")) {
        m_lastLoad.outcome = wellFormed ? LoadReport::Garbled : LoadReport::Damaged;
        // The next save replaces the file: the original stays beside it.
        m_lastLoad.backup = keepBackup(path);
        if (m_lastLoad.backup.empty())
            m_keepAsIs = path;
    } else {
        m_lastLoad.outcome = LoadReport::Read;
    }
    dumpUsers();
    return wellFormed;
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

bool ZMConfigMgr::restorePreset(const std::string& path, std::string_view presetText)
{
    struct stat st;
    const bool exists = ::stat(path.c_str(), &st) == 0;
    // Anything but a regular file is not ours to replace, nor is a file that could not be kept.
    if (!exists || (S_ISREG(st.st_mode) && (st.st_size == 0 || !keepBackup(path).empty()))) {
        MarkupDocument preset;
        preset.setDocument(presetText);
        preset.saveFile(path);
    }
    return loadFromText(presetText) && userCount() > 0;
}

bool ZMConfigMgr::folderIsWritable(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    std::string probe = (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/.murovent.XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

std::string ZMConfigMgr::keepBackup(const std::string& path)
{
    std::string bytes;
    const std::string backup = path + ".bak";
    if (!readRegularFile(path, bytes) || bytes.empty() || !gFunc::replaceFile(backup, bytes, gFunc::FileKind::Private))
        return {};
    return backup;
}

bool ZMConfigMgr::save(const std::string& path) const
{
    if (!m_keepAsIs.empty() && path == m_keepAsIs)
        return false;
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
