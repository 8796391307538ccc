// The stand-in's AcDbDatabaseSummaryInfo: a working copy of one database's summary properties,
// owned by that database. acdbGetSummaryInfo refreshes it from what the database stores;
// acdbPutSummaryInfo stores it back.
#pragma once

#include <unordered_map>

#include "host/summinfo.h"
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

    const SummaryData& data() const { return mData; }
    // Replaces the working copy. Throws std::bad_alloc.
    void load(const SummaryData& data);

  private:
    Acad::ErrorStatus get(BuiltInField field, AcString& value) const;
    Acad::ErrorStatus set(BuiltInField field, const ACHAR* value);
    // Index of `key` among the custom properties, or -1. Rebuilds the key index when a
    // removal has made it stale.
    long find(const ACHAR* key) const;

    AcDbDatabase* mOwner;
    SummaryData mData;
    mutable std::unordered_map<std::wstring, std::size_t> mIndex;
    mutable bool mIndexStale = true;
};

} // namespace minihost
