#pragma once

#include <string>

// The folders that belong to the user running the program, never shared with other users:
// the runtime folder for the single-instance lock and the cache folder for what the product
// server said. Any thread may call these; each call looks at the environment afresh.
class ZMUserDirs
{
public:
    // $XDG_RUNTIME_DIR when it is an absolute path to a folder of this user that nobody else
    // may enter; otherwise fallbackDir(). Empty when no such folder can be had.
    static std::string runtimeDir();
    // "murovent" in $XDG_CACHE_HOME (else in $HOME/.cache), created when missing, of this user
    // and writable by nobody else; otherwise fallbackDir(). Empty when no such folder can be had.
    static std::string cacheDir();
    // "/tmp/murovent-<uid>", created with mode 0700. A folder of that name that is a link,
    // belongs to someone else or lets others in is refused (empty result): another user may
    // have made it to read or plant our files.
    static std::string fallbackDir();

    // Whether the descriptor is a regular file owned by this user.
    static bool isOwnRegularFile(int fd);

private:
    // A real folder (not a link) of this user without any of the forbidden permission bits.
    static bool isPrivateDir(const std::string& path, unsigned forbiddenModes);
    static bool makePrivateDir(const std::string& path, unsigned forbiddenModes);
};
