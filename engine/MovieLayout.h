#pragma once
// A movie's "moov" box, read for where it was filmed (MovieLayout.cpp).

#include "engine/BoxWalk.h"
#include "engine/MetadataLayout.h"

namespace layout {

void ReadMovieBox(stdlib::Stream& file, const Box& moov, Layout& layout);

} // namespace layout
