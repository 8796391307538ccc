// The summary information of a drawing: eight built-in texts and an ordered list of custom
// (key, value) properties. The object belongs to the host, one per database; callers borrow it
// and never release it.
#pragma once

#include "host/status_codes.h"
#include "host/host_string.h"
#include "host/host_port.h"

class AcDbDatabase;

class HOST_API_PORT AcDbDatabaseSummaryInfo {
  public:
    // Getters fill `value` with the text; setters copy `value` (nullptr means "").
    virtual Acad::ErrorStatus getTitle(AcString& value) const = 0;
    virtual Acad::ErrorStatus setTitle(const ACHAR* value) = 0;
    virtual Acad::ErrorStatus getSubject(AcString& value) const = 0;
    virtual Acad::ErrorStatus setSubject(const ACHAR* value) = 0;
    virtual Acad::ErrorStatus getAuthor(AcString& value) const = 0;
    virtual Acad::ErrorStatus setAuthor(const ACHAR* value) = 0;
    virtual Acad::ErrorStatus getKeywords(AcString& value) const = 0;
    virtual Acad::ErrorStatus setKeywords(const ACHAR* value) = 0;
    virtual Acad::ErrorStatus getComments(AcString& value) const = 0;
    virtual Acad::ErrorStatus setComments(const ACHAR* value) = 0;
    virtual Acad::ErrorStatus getLastSavedBy(AcString& value) const = 0;
    virtual Acad::ErrorStatus setLastSavedBy(const ACHAR* value) = 0;
    virtual Acad::ErrorStatus getRevisionNumber(AcString& value) const = 0;
    virtual Acad::ErrorStatus setRevisionNumber(const ACHAR* value) = 0;
    virtual Acad::ErrorStatus getHyperlinkBase(AcString& value) const = 0;
    virtual Acad::ErrorStatus setHyperlinkBase(const ACHAR* value) = 0;

    // Number of custom properties.
    virtual int numCustomInfo() const = 0;
    // Appends a custom property. An empty key or one already present: nonzero, nothing changed.
    virtual Acad::ErrorStatus addCustomSummaryInfo(const ACHAR* key, const ACHAR* value) = 0;
    // Removes the property at `index`; later ones move down by one. Out of range: nonzero.
    virtual Acad::ErrorStatus deleteCustomSummaryInfo(int index) = 0;
    // The value for `key`, matched exactly as stored. eOk when the key exists.
    virtual Acad::ErrorStatus getCustomSummaryInfo(const ACHAR* key, AcString& value) const = 0;
    // Key and value at `index`.
    virtual Acad::ErrorStatus getCustomSummaryInfo(int index, AcString& key,
                                                   AcString& value) const = 0;
    // Replaces the value for `key`, matched exactly as stored. A missing key: nonzero.
    virtual Acad::ErrorStatus setCustomSummaryInfo(const ACHAR* key, const ACHAR* value) = 0;

    // The database this summary information belongs to. Borrowed.
    virtual AcDbDatabase* database() const = 0;

  protected:
    AcDbDatabaseSummaryInfo() = default;
    ~AcDbDatabaseSummaryInfo() = default; // the host destroys it, never a caller
};

// The summary information of `database` in `info` (borrowed; the host owns it). eOk with
// info == nullptr means there is none.
HOST_API_PORT Acad::ErrorStatus acdbGetSummaryInfo(AcDbDatabase* database,
                                                   AcDbDatabaseSummaryInfo*& info);
// Stores `info` into `database`: what the next acdbGetSummaryInfo and the next save see.
HOST_API_PORT Acad::ErrorStatus acdbPutSummaryInfo(const AcDbDatabaseSummaryInfo* info,
                                                   AcDbDatabase* database);
