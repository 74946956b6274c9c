// What every test file of the library's suite includes: GoogleTest, the
// library's interfaces and the support library, with their names in scope.
#pragma once

#include <tiff.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <tuple>

#include "imaging/codecs/codecs.h"
#include "imaging/core/runlist.h"
#include "imaging/pixels/pixels.h"
#include "imaging/writers/writers.h"
#include "support/support.h"  // GoogleTest, <array>, <string>, <vector>, the library's core

using namespace quillon;
using namespace testutil;
using testpix::Image;
using testpix::Mirrored;
using testpix::Pattern;
using testpix::SameImage;
using testpix::Turned;
