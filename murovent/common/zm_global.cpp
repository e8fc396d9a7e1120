#include "zm_global.h"

#include "md5.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

namespace gFunc {

bool isFileExist(const char* path)
{
    const int fd = openRegularFile(path);
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

int openRegularFile(const char* path)
{
    // Non-blocking, so that opening a FIFO without a writer returns at once.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || fcntl(fd, F_SETFL, 0) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

std::string fileMd5(const char* path)
{
    return md5File(path);
}

bool replaceFile(const std::string& path, const char* bytes, size_t length)
{
    // No path (no private folder could be had): nothing to write, not a file in the working folder.
    if (path.empty())
        return false;
    std::vector<char> temporary(path.begin(), path.end());
    const char suffix[] = ".XXXXXX";
    temporary.insert(temporary.end(), suffix, suffix + sizeof suffix);
    const int fd = mkstemp(temporary.data());
    if (fd < 0)
        return false;
    bool ok = true;
    for (size_t done = 0; ok && done < length;) {
        const ssize_t n = write(fd, bytes + done, length - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        done += ok ? size_t(n) : 0;
    }
    ok = fsync(fd) == 0 && ok;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(temporary.data(), path.c_str()) == 0;
    if (!ok)
        unlink(temporary.data());
    return ok;
}

}  // namespace gFunc
