#include "zm_userdirs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

std::string absoluteEnv(const char* name)
{
    const char* value = std::getenv(name);
    return value && value[0] == '/' ? std::string(value) : std::string();
}

}  // namespace

std::string ZMUserDirs::runtimeDir()
{
    const std::string dir = absoluteEnv("XDG_RUNTIME_DIR");
    return !dir.empty() && isPrivateDir(dir, 077) ? dir : fallbackDir();
}

std::string ZMUserDirs::cacheDir()
{
    std::string base = absoluteEnv("XDG_CACHE_HOME");
    if (base.empty()) {
        const std::string home = absoluteEnv("HOME");
        if (!home.empty())
            base = home + "/.cache";
    }
    if (!base.empty()) {
        const std::string dir = base + "/murovent";
        // Only our own folder has to be private; the cache tree above it is the user's business.
        if ((::mkdir(base.c_str(), 0700) == 0 || errno == EEXIST) && makePrivateDir(dir, 022))
            return dir;
    }
    return fallbackDir();
}

std::string ZMUserDirs::fallbackDir()
{
    const std::string dir = "/tmp/murovent-" + std::to_string(::geteuid());
    return makePrivateDir(dir, 077) ? dir : std::string();
}

bool ZMUserDirs::isOwnRegularFile(int fd)
{
    struct stat st;
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
}

bool ZMUserDirs::isPrivateDir(const std::string& path, unsigned forbiddenModes)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid()
        && (st.st_mode & forbiddenModes) == 0;
}

// Creates the folder with mode 0700, or accepts an existing one that passes isPrivateDir.
bool ZMUserDirs::makePrivateDir(const std::string& path, unsigned forbiddenModes)
{
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    return isPrivateDir(path, forbiddenModes);
}
