// The names a save makes beside a drawing: hidden names for the moment of the replace
// (.<stem>.<pid>-<n>.tmp and .old) and the backup (<name without its extension>.bak), each
// within the folder's limit on a name's length, and which hidden names a killed save left.
#pragma once

#include <string>

namespace minihost {

class SaveNames {
  public:
    // For the drawing named `name` in a folder whose names hold at most `nameMax` bytes. The
    // stem is `name`, or, where a hidden name could pass the limit, its start (whole
    // characters) and a hash of all of it, so that long names stay apart and recognisable.
    SaveNames(const std::string& name, long nameMax);

    // A hidden name no other save of this process uses; `what` is ".tmp" or ".old".
    std::string hidden(const char* what) const;
    // Whether `entry` is a hidden name a save of this drawing, in any process, makes.
    bool isHidden(const std::string& entry) const;
    // The backup's name; the drawing's own name when that ends in .bak (then none is kept).
    const std::string& backup() const { return mBackup; }

  private:
    std::string mStem, mBackup;
};

} // namespace minihost
