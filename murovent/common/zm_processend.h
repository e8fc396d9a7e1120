// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// The programs' last step, once everything of their own is finished, saved and destroyed.
//
// Qt 6.4's PulseAudio back-end closes its server connection in a library destructor at exit
// while its event thread may still be handling a server event, which now and then aborts the
// process after the recording was finalised and reported: a failure status for a good file, and
// in the panel the loss of what later destructors would have saved. The libraries' destructors
// hold nothing of the programs', so the process ends without them.
namespace ZMProcessEnd {

// Flushes the standard streams and ends the process with `status`; never returns. In a build
// with the leak checker, checks for leaks first, as a normal exit would.
[[noreturn]] void leave(int status);

} // namespace ZMProcessEnd
