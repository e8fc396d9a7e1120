// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// The command-line recorder's last step, once everything of its own is finished and destroyed.
//
// Qt 6.4's PulseAudio back-end closes its server connection in a library destructor at exit
// while its event thread may still be handling a server event, which now and then aborts the
// process after the recording was finalised and reported: a failure status for a good file. The
// libraries' destructors hold nothing of the recorder's, so the process ends without them. (The
// panel keeps its normal exit: its cache store is written by a destructor at exit.)
namespace ZMProcessEnd {

// Flushes the standard streams and ends the process with `status`; never returns. In a build
// with the leak checker, checks for leaks first, as a normal exit would.
[[noreturn]] void leave(int status);

} // namespace ZMProcessEnd
