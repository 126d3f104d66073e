#include "engine/CheckGpsTags.h"

#include "engine/CodestreamParser.h"
#include "engine/ExifGather.h"
#include "engine/MemStream.h"
#include "engine/PositionTags.h"
#include "engine/StdioFileStream.h"
#include "engine/Trace.h"

int CheckGpsTags(const char* path) {
    trace::Printf("\n\nCheckGpsTags: '%s'\n", path ? path : "(null)");
    if (!path)
        return 1;
    stdlib::StdioFileStream file(path, "rb");
    if (file.IsClosed()) {
        trace::Printf("Bad open for '%s'\n", path);
        return 4;
    }
    return CheckGpsTagsOf(file);
}

int CheckGpsTagsOf(stdlib::Stream& file) {
    CodestreamParser codestream;
    if (!codestream.BuildMap(file)) {
        trace::Printf("It isn't JPEG! (maybe bad jpeg)[%d]\n", int(codestream.map.GetCount()));
        return 2;
    }
    if (codestream.map[0].marker != 0xD8) {
        trace::Printf("Bad JPEG codestream\n");
        return 2;
    }
    stdlib::MemStream exif;
    GatherExif(file, codestream, exif);
    if (exif.GetSize() == 0) {
        trace::Printf("Exif is empty\n");
        return 6;
    }
    return CheckExifData(exif);
}

int CheckExifData(stdlib::MemStream& exif) {
    exif.Seek(0, 0);
    Parser parser(exif, 0, true);
    if (!parser.Parse())
        return 6;
    ReadGpsDirectory(parser);

    bool found = false;
    bool allZero = !HasPositionValue(parser, &found);
    if (!found) {
        trace::Printf("ExifGPSTagsNotFound\n");
        return 7;
    }
    if (allZero) {
        trace::Printf("ExifAllGPSTagsAlreadyAreZero\n");
        return 8;
    }
    trace::Printf("Ok\n");
    return 0;
}
