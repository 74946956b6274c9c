// Everything a program that uses the Quillon imaging library includes:
// the page record and codes, files and identification, extraction and
// conversion, run lists, pixel operations, writers and the codecs.
#pragma once

#include "imaging/codecs/codecs.h"
#include "imaging/core/core.h"
#include "imaging/core/files.h"
#include "imaging/core/page.h"
#include "imaging/core/runlist.h"
#include "imaging/pixels/pixels.h"
#include "imaging/writers/writers.h"
