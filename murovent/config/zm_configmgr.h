// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdio>
#include <list>
#include <memory>
#include <string>
#include <string_view>

class MarkupDocument;
class ZMConfigUser;

// The recording themes and the last used theme, kept in a small XML file beside the program.
// Names are UTF-8; a null name is "no name" and finds nothing.
class ZMConfigMgr
{
public:
    // Loads the build's own file (fileName()); a missing or broken one leaves the list empty.
    ZMConfigMgr();
    ZMConfigMgr(const ZMConfigMgr&) = delete;
    ZMConfigMgr& operator=(const ZMConfigMgr&) = delete;
    virtual ~ZMConfigMgr();

    // The program's one store, created (and its file loaded) on first use.
    static ZMConfigMgr* instance();
    // "./user_win7.cfg" in the build with system sound, "./user_xp.cfg" without.
    static const char* fileName();
    // The built-in themes, a file of the same layout in the program's resources.
    static const char* presetFileName();

    // Appends the themes of a file (or text) to the list; false, with nothing changed, when it
    // cannot be read or is not well-formed. Prints the whole list to the error stream.
    bool load(const std::string& path);
    bool loadFromText(std::string_view text);
    // Appends the themes of a parsed document, without printing.
    void readDocument(MarkupDocument& doc);
    // Writes every theme and LastUseIdx; an earlier file survives a failed save unchanged.
    bool save(const std::string& path) const;

    ZMConfigUser* findUser(const char* name) const;
    // Position of the first theme of that name; the number of themes when there is none.
    int indexOfUser(const char* name) const;
    // Past the end gives the last theme, a negative index none.
    ZMConfigUser* userAt(int index) const;
    ZMConfigUser* lastUsedUser() const;
    int userCount() const;
    ZMConfigUser* addUser(const char* name);
    bool removeUser(const char* name);
    void clearUsers();
    void dumpUsers(FILE* stream = stderr) const;

    int LastUseIdx = 0;

private:
    std::list<std::unique_ptr<ZMConfigUser>> m_users;
};
