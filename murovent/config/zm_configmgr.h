// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdio>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class MarkupDocument;
class ZMConfigUser;

// The recording themes and the last used theme, kept in a small XML file beside the program.
// Names are UTF-8; a null name is "no name" and finds nothing.
class ZMConfigMgr
{
public:
    // What the last load() found in its file, so that the user can be told.
    struct LoadReport
    {
        enum Outcome {
            Read,        // read as it was
            Missing,     // no such file (a first run)
            NotRegular,  // a FIFO, device or folder: never read, never replaced
            Unreadable,  // could not be read (no permission, too large, ...)
            Damaged,     // not well-formed; the whole themes in it were read all the same
            Garbled      // read, but characters were lost decoding it
        };
        Outcome outcome = Missing;
        int themesRead = 0;
        // Where a damaged or garbled original was copied before anything could replace it;
        // empty when that was not needed or failed.
        std::string backup;
        std::string reason;  // the file error, for Unreadable
    };

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

    // Appends the themes of a file (or text) to the list; false when it cannot be read or is
    // not well-formed, in which case the whole themes of a damaged file are still appended and
    // the file is copied to "<path>.bak" (as is a file that lost characters in decoding).
    // Prints the whole list to the error stream.
    bool load(const std::string& path);
    const LoadReport& lastLoad() const { return m_lastLoad; }
    // The last load's report the first time it is asked for, so that it is told once; none
    // after that until the next load.
    std::optional<LoadReport> takeLastLoad();
    bool loadFromText(std::string_view text);
    // Appends the themes of a parsed document, without printing.
    void readDocument(MarkupDocument& doc);
    // Writes every theme and LastUseIdx; an earlier file survives a failed save unchanged.
    // Never replaced are anything but a regular file and a file that load() could not read,
    // or found damaged and could not keep as "<path>.bak".
    bool save(const std::string& path) const;
    // Puts the preset text (the built-in themes) over the user file, keeping the file replaced
    // as "<path>.bak", and reads the themes from the text: they are there even when the file
    // cannot be written. A file that could not be kept is not replaced. False when the text
    // gives no themes.
    bool restorePreset(const std::string& path, std::string_view presetText);
    // Whether a file can be written in the folder of the path (tried, not guessed from modes).
    static bool folderIsWritable(const std::string& path);
    // Copies a regular file of some content to "<path>.bak"; the backup's path, or empty.
    static std::string keepBackup(const std::string& path);

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
    LoadReport m_lastLoad;
    bool m_lastLoadTaken = false;
    std::string m_keepAsIs;  // the file that save() must leave alone
};
