// The run-list transforms that TransformPage dispatches to.  The page has
// been checked to be bilevel in run lists.
#pragma once

#include <cstdint>

#include "imaging/core/page.h"

namespace quillon::pixels {

int32_t RotateRunLists(PageRecord* page);
int32_t MirrorRunLists(PageRecord* page);
int32_t DoubleRunLines(PageRecord* page);

}  // namespace quillon::pixels
