// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_global.h"

#include "md5.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

namespace gFunc {

bool isFileExist(const char* path)
{
    FILE* file = fopen(path, "rb");
    if (!file)
        return false;
    fclose(file);
    return true;
}

std::string fileMd5(const char* path)
{
    return md5File(path);
}

bool replaceFile(const std::string& path, const char* bytes, size_t length)
{
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
