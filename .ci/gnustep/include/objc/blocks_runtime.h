// SPDX-License-Identifier: MIT
// GNUstep's headers look for the blocks runtime under the name libobjc2 gives
// it. Debian's GNUstep is built on GCC's runtime instead, and the blocks
// runtime comes from libBlocksRuntime, which names its header Block.h.
#pragma once
#include <Block.h>
