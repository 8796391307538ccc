#include "props/property_list.h"

#include <cstdlib>

#include "props/builtin_properties.h"

namespace {

// Appends `chain` after `tail` and moves `tail` to its last node. A null chain (the host made
// no nodes) leaves the list well formed and the tail where it was.
void append(resbuf*& tail, resbuf* chain) {
    tail->rbnext = chain;
    while (tail->rbnext)
        tail = tail->rbnext;
}

} // namespace

resbuf* BuildPropertyList(AcDbDatabase* database) {
    resbuf* head = acutBuildList(RTLB, RTNONE);
    if (!head)
        return nullptr;
    resbuf* tail = head;

    AcDbDatabaseSummaryInfo* info = nullptr; // the host's; borrowed
    if (acdbGetSummaryInfo(database, info) != Acad::eOk || !info) {
        acutRelRb(head);
        return nullptr;
    }

    for (const BuiltInProperty& row : builtInProperties) {
        ACHAR* copy = nullptr;
        Acad::ErrorStatus status;
        {
            AcString text;
            status = (info->*row.get)(text);
            if (status == Acad::eOk)
                acutNewString(text.kwszPtr(), copy);
        }
        const ACHAR* value = (status == Acad::eOk && copy) ? copy : L"";
        append(tail, acutBuildList(RTLB, RTSTR, row.key, RTSTR, value, RTLE, RTNONE));
        std::free(copy);
    }

    const int count = info->numCustomInfo();
    for (int i = 0; i < count; ++i) {
        ACHAR* keyCopy = nullptr;
        ACHAR* valueCopy = nullptr;
        Acad::ErrorStatus status;
        {
            AcString key;
            AcString value;
            status = info->getCustomSummaryInfo(i, key, value);
            if (status == Acad::eOk) {
                acutNewString(key.kwszPtr(), keyCopy);
                acutNewString(value.kwszPtr(), valueCopy);
            }
        }
        if (status == Acad::eOk && keyCopy && valueCopy)
            append(tail, acutBuildList(RTLB, RTSTR, keyCopy, RTSTR, valueCopy, RTLE, RTNONE));
        std::free(valueCopy);
        std::free(keyCopy);
    }

    resbuf* closing = acutBuildList(RTLE, RTNONE);
    if (!closing) {
        acutRelRb(head); // a list without its closing bracket is no list
        return nullptr;
    }
    tail->rbnext = closing;
    return head;
}
