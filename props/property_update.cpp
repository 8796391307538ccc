#include "props/property_update.h"

#include "props/builtin_properties.h"

namespace {

const BuiltInProperty* findBuiltIn(const std::wstring& key) {
    for (const BuiltInProperty& row : builtInProperties)
        if (_wcsicmp(key.c_str(), row.key) == 0)
            return &row;
    return nullptr;
}

void clearAll(AcDbDatabaseSummaryInfo* info) {
    // Removing at index 0 as many times as there were properties removes them all, in order,
    // whatever a single removal reports.
    const int count = info->numCustomInfo();
    for (int i = 0; i < count; ++i)
        info->deleteCustomSummaryInfo(0);
    for (const BuiltInProperty& row : builtInProperties)
        (info->*row.set)(L"");
    // Not stored here: the clearing and the pairs reach the drawing together in the one final
    // store, so a store that fails leaves the drawing's properties as they were.
}

void applyPair(AcDbDatabaseSummaryInfo* info, const PropertyPair& pair) {
    if (const BuiltInProperty* row = findBuiltIn(pair.key)) {
        (info->*row->set)(pair.value.c_str());
        return;
    }
    Acad::ErrorStatus found;
    {
        AcString existing;
        found = info->getCustomSummaryInfo(pair.key.c_str(), existing);
    }
    if (found == Acad::eOk)
        info->setCustomSummaryInfo(pair.key.c_str(), pair.value.c_str());
    else
        info->addCustomSummaryInfo(pair.key.c_str(), pair.value.c_str());
}

} // namespace

Acad::ErrorStatus ApplyPropertyPairs(AcDbDatabase* database, const std::vector<PropertyPair>& pairs,
                                     bool clearFirst) {
    AcDbDatabaseSummaryInfo* info = nullptr; // the host's; borrowed
    const Acad::ErrorStatus status = acdbGetSummaryInfo(database, info);
    if (status != Acad::eOk)
        return status;
    if (!info)
        return Acad::eOk;
    if (clearFirst)
        clearAll(info);
    for (const PropertyPair& pair : pairs)
        applyPair(info, pair);
    return acdbPutSummaryInfo(info, info->database());
}
