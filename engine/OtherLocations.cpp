#include "engine/OtherLocations.h"

#include "engine/FlirRecords.h"

std::vector<std::string> FindOtherLocations(const std::vector<XmpSegment>& segments) {
    std::vector<std::string> found;
    if (flir::FindGpsRecords(segments).unrecognised)
        found.push_back("FLIR GPS record");
    return found;
}
