// Writing key/value pairs into a drawing's summary properties.
#pragma once

#include <string>
#include <vector>

#include "host/host_api.h"

struct PropertyPair {
    std::wstring key;
    std::wstring value;
};

// Writes `pairs` in order into the summary information of `database` (borrowed) and stores it.
// A key equal to a built-in key literal without regard to case sets that property; any other
// key names a custom property, added or replaced exactly as given. With `clearFirst`, every
// custom property is removed and every built-in one set to "" first. Everything is stored at
// once at the end, so when that store fails the drawing keeps the properties it had. Returns
// the status of getting the summary information when that failed, eOk when there is none
// (nothing done), and otherwise the status of the store.
Acad::ErrorStatus ApplyPropertyPairs(AcDbDatabase* database, const std::vector<PropertyPair>& pairs,
                                     bool clearFirst);
