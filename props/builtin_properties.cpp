#include "props/builtin_properties.h"

// The last three rows run in the reverse of the host's own order of these operations.
const BuiltInProperty builtInProperties[kBuiltInPropertyCount] = {
    {L"Title", &AcDbDatabaseSummaryInfo::getTitle, &AcDbDatabaseSummaryInfo::setTitle},
    {L"Subject", &AcDbDatabaseSummaryInfo::getSubject, &AcDbDatabaseSummaryInfo::setSubject},
    {L"Author", &AcDbDatabaseSummaryInfo::getAuthor, &AcDbDatabaseSummaryInfo::setAuthor},
    {L"Keywords", &AcDbDatabaseSummaryInfo::getKeywords, &AcDbDatabaseSummaryInfo::setKeywords},
    {L"Comments", &AcDbDatabaseSummaryInfo::getComments, &AcDbDatabaseSummaryInfo::setComments},
    {L"HyperlinkBase", &AcDbDatabaseSummaryInfo::getHyperlinkBase,
     &AcDbDatabaseSummaryInfo::setHyperlinkBase},
    {L"RevisionNumber", &AcDbDatabaseSummaryInfo::getRevisionNumber,
     &AcDbDatabaseSummaryInfo::setRevisionNumber},
    {L"LastSavedBy", &AcDbDatabaseSummaryInfo::getLastSavedBy,
     &AcDbDatabaseSummaryInfo::setLastSavedBy},
};
