// The stand-in's AcDbDatabaseSummaryInfo: a working copy of one database's summary properties,
// owned by that database. acdbGetSummaryInfo refreshes it from what the database stores;
// acdbPutSummaryInfo stores it back. The copy is made lazily: a text is copied only when it is
// changed, so a property of many megabytes is not held twice.
#pragma once

#include <unordered_map>

#include "host/summary_info.h"
#include "minihost/runtime/fault.h"
#include "minihost/runtime/summary_data.h"

namespace minihost {

class SummaryInfo final : public AcDbDatabaseSummaryInfo {
  public:
    explicit SummaryInfo(AcDbDatabase* owner) : mOwner(owner) {}
    ~SummaryInfo() = default;

    Acad::ErrorStatus getTitle(AcString& v) const override { return get(kTitle, v); }
    Acad::ErrorStatus setTitle(const ACHAR* v) override { return set(kTitle, v); }
    Acad::ErrorStatus getSubject(AcString& v) const override { return get(kSubject, v); }
    Acad::ErrorStatus setSubject(const ACHAR* v) override { return set(kSubject, v); }
    Acad::ErrorStatus getAuthor(AcString& v) const override { return get(kAuthor, v); }
    Acad::ErrorStatus setAuthor(const ACHAR* v) override { return set(kAuthor, v); }
    Acad::ErrorStatus getKeywords(AcString& v) const override { return get(kKeywords, v); }
    Acad::ErrorStatus setKeywords(const ACHAR* v) override { return set(kKeywords, v); }
    Acad::ErrorStatus getComments(AcString& v) const override { return get(kComments, v); }
    Acad::ErrorStatus setComments(const ACHAR* v) override { return set(kComments, v); }
    Acad::ErrorStatus getLastSavedBy(AcString& v) const override { return get(kLastSavedBy, v); }
    Acad::ErrorStatus setLastSavedBy(const ACHAR* v) override { return set(kLastSavedBy, v); }
    Acad::ErrorStatus getRevisionNumber(AcString& v) const override {
        return get(kRevisionNumber, v);
    }
    Acad::ErrorStatus setRevisionNumber(const ACHAR* v) override { return set(kRevisionNumber, v); }
    Acad::ErrorStatus getHyperlinkBase(AcString& v) const override {
        return get(kHyperlinkBase, v);
    }
    Acad::ErrorStatus setHyperlinkBase(const ACHAR* v) override { return set(kHyperlinkBase, v); }

    int numCustomInfo() const override;
    Acad::ErrorStatus addCustomSummaryInfo(const ACHAR* key, const ACHAR* value) override;
    Acad::ErrorStatus deleteCustomSummaryInfo(int index) override;
    Acad::ErrorStatus getCustomSummaryInfo(const ACHAR* key, AcString& value) const override;
    Acad::ErrorStatus getCustomSummaryInfo(int index, AcString& key,
                                           AcString& value) const override;
    Acad::ErrorStatus setCustomSummaryInfo(const ACHAR* key, const ACHAR* value) override;
    AcDbDatabase* database() const override { return mOwner; }

    // Starts the working copy from `data` (the properties its database stores), which must stay
    // in place until the next load; nothing is copied.
    void load(const SummaryData& data);
    // Stores the working copy in `stored`, moving the texts changed since the load when `stored`
    // is what it was loaded from. Throws std::bad_alloc, leaving `stored` as it was.
    void storeInto(SummaryData& stored);
    // The working copy's texts.
    const std::wstring& text(BuiltInField field) const {
        return mOwn[field] ? mData.builtIn[field] : mBase->builtIn[field];
    }
    const decltype(SummaryData::custom)& custom() const {
        return mOwnCustom ? mData.custom : mBase->custom;
    }

  private:
    Acad::ErrorStatus get(BuiltInField field, AcString& value) const;
    Acad::ErrorStatus set(BuiltInField field, const ACHAR* value);
    // Index of `key` among the custom properties, or -1. Rebuilds the key index when a
    // removal has made it stale.
    long find(const ACHAR* key) const;
    // The opening of a lookup by key: the fault seam's operation `op` (eNotApplicable when it
    // fails), the key checked (eInvalidInput) and found at `at` (eKeyNotFound, or eOutOfMemory
    // when the index cannot be built).
    Acad::ErrorStatus lookUp(HostOp op, const ACHAR* key, long& at) const;

    // The custom list, copied from the base first when it has not been yet. Throws
    // std::bad_alloc.
    decltype(SummaryData::custom)& ownCustom();

    static const SummaryData kNothing;
    AcDbDatabase* mOwner;
    const SummaryData* mBase = &kNothing; // what was loaded; texts not changed since are read here
    SummaryData mData;                    // the texts changed since the load
    bool mOwn[kBuiltInCount] = {};
    bool mOwnCustom = false;
    mutable std::unordered_map<std::wstring, std::size_t> mIndex;
    mutable bool mIndexStale = true;
};

} // namespace minihost
