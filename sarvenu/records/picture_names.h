// Names of survey picture files in the picture directory: a saved picture is
// the work number, the slot letter (A, B or C) and the extension of the chosen
// file ("CYY-XX0001A.jpg"); a pending one, prepared but not yet settled with
// the record, has "_" in front ("_CYY-XX0001A.jpg"). Names here are in the
// file-system encoding.
#pragma once

#include <string>

namespace sarvenu {

struct TPictureName {
    bool pending = false;
    char slot = 0;  // 'A', 'B' or 'C'
};

// True when fileName is a picture file of exactly this work (a work whose
// number merely contains this one does not match); the parts go to *out.
bool MatchPictureName(const std::string& fileName, const std::string& workNumber,
                      TPictureName* out = nullptr);
// The file-name part of a path ("/" or "\" separated).
std::string FileNamePart(const std::string& path);
// ASCII case ignored, as file names are compared on the original platform.
bool SameFileName(const std::string& a, const std::string& b);

}  // namespace sarvenu
