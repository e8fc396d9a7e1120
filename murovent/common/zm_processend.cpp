// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_processend.h"

#include <cstdio>
#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace ZMProcessEnd {

void leave(int status)
{
    std::fflush(nullptr);
#if defined(__SANITIZE_ADDRESS__)
    __lsan_do_leak_check();
#endif
    std::_Exit(status);
}

} // namespace ZMProcessEnd
