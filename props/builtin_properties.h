// The eight built-in summary properties, in the order of the property list: the order in which
// they are listed, cleared and matched against keys.
#pragma once

#include "host/host_api.h"

struct BuiltInProperty {
    const ACHAR* key; // the literal that names the property in the list and in keys
    Acad::ErrorStatus (AcDbDatabaseSummaryInfo::*get)(AcString& value) const;
    Acad::ErrorStatus (AcDbDatabaseSummaryInfo::*set)(const ACHAR* value);
};

constexpr int kBuiltInPropertyCount = 8;
extern const BuiltInProperty builtInProperties[kBuiltInPropertyCount];
