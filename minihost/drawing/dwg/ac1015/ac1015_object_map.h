// The object map of binary drawings of AC1015, AC1014 and AC1012: blocks of (handle, file
// address) pairs, each with its CRC. A lookup reads blocks from the first on only until the
// handle is found, and keeps their checked bytes for the next lookup, so that finding the two
// objects a read needs costs the blocks up to them, not the whole map. The pairs are decoded
// where they lie: a map of thousands of objects makes no list of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/status_codes.h"
#include "minihost/drawing/dwg/container/dwg_container.h"

namespace minihost {
namespace dwg {
namespace ac1015 {

class ObjectMap {
  public:
    // The map whose locator says [address, address + size) of a file of `fileSize` bytes, read
    // through `read`, which must outlive this.
    ObjectMap(const ReadBytes& read, std::uint64_t fileSize, std::uint64_t address,
              std::uint64_t size);

    // The file address of the object `handle`. eDwgCorrupt when the map ends without it or
    // contradicts itself (a block beyond the locator, a pair past its block, an address outside
    // the file, a map that does not end where the locator says); eDwgCRCError when a block's CRC
    // does not match; the statuses of `read`.
    Acad::ErrorStatus find(std::uint64_t handle, std::uint64_t& address);

  private:
    Acad::ErrorStatus readBlock(bool& last);
    // Looks for `handle` in the pairs of block `block`; eDwgCorrupt when they contradict
    // themselves or the file.
    Acad::ErrorStatus findInBlock(std::size_t block, std::uint64_t handle, bool& found,
                                  std::uint64_t& address) const;

    const ReadBytes& mRead;
    std::uint64_t mFileSize, mNext, mEnd; // the next block's address, the map's end
    bool mDone = false;
    std::string mPairs;                 // the pairs of the blocks read, one after the other
    std::vector<std::size_t> mBlockEnd; // where each block's pairs end in mPairs
};

} // namespace ac1015
} // namespace dwg
} // namespace minihost
