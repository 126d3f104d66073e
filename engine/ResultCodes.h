#pragma once
// The result codes of the check and of securing, by name. The numbers are an
// interface: the scanner and the monitor act on them, norvane-cli prints them
// and scripts read them, so a number never changes its meaning. The texts are
// what norvane-cli's help says about each code.

namespace checkcode {
enum : int {
    kNeedsSecuring = 0,  // a position value that is not zero, in EXIF or XMP data
    kNoPath = 1,         // no path given
    kNotJpeg = 2,        // not a usable JPEG codestream, nor a photo container Norvane reads
    kCannotOpen = 4,     // the file cannot be opened for reading
    kNoExif = 6,         // no EXIF data (or none readable) and no position in XMP
    kNoPositionTags = 7, // EXIF data without any position tag, and no position in XMP
    kAlreadySecure = 8,  // positions present, every value zero
    kLocationKept = 9,   // no position Norvane clears is left, but one it recognises and cannot clear is
};
} // namespace checkcode

namespace securecode {
enum : int {
    kSecured = 0,
    kNoPath = 1,
    kUnreadableJpeg = 2,  // not a usable JPEG codestream, or a segment cannot be read
    kWriteFailed = 3,     // the output could not be written in full (the photo is unchanged)
    kCannotOpen = 4,      // the source cannot be opened for reading
    kCannotOpenWrite = 5, // the output cannot be opened for writing
    kLocationLeft = 6,    // what could be cleared was, but a location Norvane cannot clear remains
    kChangedMeanwhile = 7, // another program changed the photo meanwhile: left as that program wrote it
    kBackupFailed = 8,     // the backup copy asked for could not be made: the photo is unchanged (the
                           // program with backups only; norvane-cli makes none)
};
} // namespace securecode

struct ResultCodeText {
    int code;
    const char* text;
};

// The codes a user meets, in order, with a short text each.
inline constexpr ResultCodeText kCheckCodeTexts[] = {
    {checkcode::kNeedsSecuring, "has a position (needs securing)"},
    {checkcode::kNotJpeg, "not a photo Norvane reads"},
    {checkcode::kCannotOpen, "cannot be opened"},
    {checkcode::kNoExif, "no EXIF data"},
    {checkcode::kNoPositionTags, "no position tags"},
    {checkcode::kAlreadySecure, "already secure"},
    {checkcode::kLocationKept, "holds a location Norvane cannot clear"},
};

inline constexpr ResultCodeText kSecureCodeTexts[] = {
    {securecode::kSecured, "secured"},
    {securecode::kUnreadableJpeg, "unreadable photo"},
    {securecode::kWriteFailed, "could not be written (the photo is unchanged)"},
    {securecode::kCannotOpen, "cannot be opened"},
    {securecode::kCannotOpenWrite, "cannot be opened for writing"},
    {securecode::kLocationLeft, "secured, but a location Norvane cannot clear remains"},
    {securecode::kChangedMeanwhile, "changed by another program meanwhile (left as it wrote it)"},
};
