#pragma once
// Checking and securing a photo whose container is not JPEG (HEIF, AVIF,
// CR3, PNG, WebP, TIFF and raw files), from the layout its reader gave
// (MetadataLayout.h). The same codes as for a JPEG (ResultCodes.h); what a
// reader reported as not clearable makes the check 9 and securing 6.
//
// Every payload is read and cleared in memory through the same TIFF reader
// and XMP rule as a JPEG's; a PNG chunk's CRC that covered a changed byte is
// worked out anew. Nothing in the file moves: only the changed bytes are
// written back, in place, after the photo was confirmed to still hold every
// byte read. The other routes copy the photo with those changes into the
// file beside it and swap it in, or into a distinct destination; every
// route gives the same bytes.

#include "engine/MetadataLayout.h"
#include "engine/SecureGpsTags.h"

#include <string>
#include <vector>

namespace stdlib {
class StdioFileStream;
}

namespace layout {

// Which reader a photo needs, by its content: the JPEG engine's (a JPEG, and
// anything of no known format, which its parser turns down as no JPEG), or a
// container's, whose layout is read into layout. Unusable: a known container
// whose structure cannot be read. The file is left at position 0.
enum class Reader { Jpeg, Container, Unusable };
Reader ChooseReader(stdlib::Stream& file, Layout& layout);

// The check of a photo open for reading; otherLocations, when given,
// receives what was reported.
int CheckContainer(stdlib::Stream& file, const Layout& layout, std::vector<std::string>* otherLocations);

// Secures the photo open for reading in file (at sourcePath): into
// destination when one is given, else in place.
int SecureContainer(stdlib::StdioFileStream& file, const Layout& layout, const char* sourcePath,
                    stdlib::Stream* destination, RemovedTags& removedTags, Vardle::Route route);

// The check and, when it gives 0, securing in place, on one reading (as
// SecureGpsTagsIfNeeded).
int SecureContainerIfNeeded(stdlib::StdioFileStream& file, const Layout& layout, const char* path,
                            int& checkCode, RemovedTags& removedTags, std::vector<std::string>* left);

} // namespace layout
