#include "engine/CheckGpsTags.h"

#include "engine/CodestreamParser.h"
#include "engine/ContainerSecuring.h"
#include "engine/ExifGather.h"
#include "engine/FlirRecords.h"
#include "engine/MemStream.h"
#include "engine/OtherLocations.h"
#include "engine/PositionTags.h"
#include "engine/ResultCodes.h"
#include "engine/StdioFileStream.h"
#include "engine/Trace.h"
#include "engine/XmpPackets.h"

int CheckGpsTags(const char* path) {
    return CheckGpsTags(path, nullptr);
}

int CheckGpsTags(const char* path, std::vector<std::string>* otherLocations) {
    trace::Printf("\n\nCheckGpsTags: '%s'\n", path ? path : "(null)");
    if (!path)
        return checkcode::kNoPath;
    stdlib::StdioFileStream file(path, "rb");
    if (file.IsClosed()) {
        trace::Printf("Bad open for '%s'\n", path);
        return checkcode::kCannotOpen;
    }
    return CheckGpsTagsOf(file, otherLocations);
}

int CheckGpsTagsOf(stdlib::Stream& file, std::vector<std::string>* otherLocations) {
    layout::Layout container;
    switch (layout::ChooseReader(file, container)) {
    case layout::Reader::Container:
        return layout::CheckContainer(file, container, otherLocations);
    case layout::Reader::Unusable:
        return checkcode::kNotJpeg;
    case layout::Reader::Jpeg:
        break;
    }
    CodestreamParser codestream;
    stdlib::MemStream exif;
    std::vector<XmpSegment> xmp;
    if (!MapAndGather(file, codestream, exif, nullptr, &xmp))
        return checkcode::kNotJpeg;
    if (otherLocations)
        *otherLocations = FindOtherLocations(xmp);
    return CheckPhotoData(exif, xmp);
}

int CheckPhotoData(stdlib::MemStream& exif, const std::vector<XmpSegment>& xmp) {
    xmp::Findings inXmp = xmp::FindInSegments(xmp);
    flir::GpsRecords inFlir = flir::FindGpsRecords(xmp);
    int code;
    if (exif.GetSize() == 0) {
        trace::Printf("Exif is empty\n");
        code = checkcode::kNoExif;
    } else {
        code = CheckExifData(exif);
    }
    if (code == checkcode::kNeedsSecuring)
        return code;
    if (inXmp.nonZero) {
        trace::Printf("XmpGPSPosition\n");
        return checkcode::kNeedsSecuring;
    }
    if (inFlir.nonZero) {
        trace::Printf("FlirGPSPosition\n");
        return checkcode::kNeedsSecuring;
    }
    // Nothing left to clear, yet a position Norvane cannot clear is there:
    // never "already secure".
    if (inFlir.unrecognised) {
        trace::Printf("LocationKept\n");
        return checkcode::kLocationKept;
    }
    if (!inXmp.tags.empty()) {
        trace::Printf("XmpGPSAlreadyZero\n");
        return checkcode::kAlreadySecure;
    }
    if (inFlir.recognised) {
        trace::Printf("FlirGPSAlreadyZero\n");
        return checkcode::kAlreadySecure;
    }
    return code;
}

int CheckExifData(stdlib::Stream& exif, bool strict) {
    exif.Seek(0, 0);
    Parser parser(exif, 0, strict);
    if (!parser.Parse())
        return checkcode::kNoExif;
    ReadGpsDirectory(parser);

    bool found = false;
    bool allZero = !HasPositionValue(parser, &found);
    if (!found) {
        trace::Printf("ExifGPSTagsNotFound\n");
        return checkcode::kNoPositionTags;
    }
    if (allZero) {
        trace::Printf("ExifAllGPSTagsAlreadyAreZero\n");
        return checkcode::kAlreadySecure;
    }
    trace::Printf("Ok\n");
    return checkcode::kNeedsSecuring;
}
