#include "zm_global.h"

#include "md5.h"

#include <cstdio>

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

}  // namespace gFunc
