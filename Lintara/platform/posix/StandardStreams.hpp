// SPDX-License-Identifier: MIT
// The standard descriptors of a process that may be started with some closed.
#pragma once

namespace lintara::posix {

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed. A front
// end started with, say, `2>&-` would otherwise hand descriptor 2 to the next
// file it opens, and its own messages would go into that file. Call first
// thing in main(), before anything opens a file.
void openClosedStandardStreams();

} // namespace lintara::posix
