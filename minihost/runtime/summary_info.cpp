#include "minihost/runtime/summary_info.h"

#include <new>

#include "minihost/runtime/fault.h"

namespace minihost {
namespace {

const HostOp kGetterOp[kBuiltInCount] = {
    HostOp::GetTitle,          HostOp::GetSubject,       HostOp::GetAuthor,
    HostOp::GetKeywords,       HostOp::GetComments,      HostOp::GetLastSavedBy,
    HostOp::GetRevisionNumber, HostOp::GetHyperlinkBase,
};

} // namespace

void SummaryInfo::load(const SummaryData& data) {
    mData = data;
    mIndexStale = true;
}

Acad::ErrorStatus SummaryInfo::get(BuiltInField field, AcString& value) const {
    if (faultHit(kGetterOp[field]))
        return Acad::eNotApplicable;
    return value.assign(mData.builtIn[field].c_str()) ? Acad::eOk : Acad::eOutOfMemory;
}

Acad::ErrorStatus SummaryInfo::set(BuiltInField field, const ACHAR* value) {
    if (faultHit(HostOp::SetBuiltIn))
        return Acad::eNotApplicable;
    try {
        mData.builtIn[field] = value ? value : L"";
    } catch (const std::bad_alloc&) {
        return Acad::eOutOfMemory;
    }
    return Acad::eOk;
}

long SummaryInfo::find(const ACHAR* key) const {
    if (mIndexStale) {
        mIndex.clear();
        mIndex.reserve(mData.custom.size());
        for (std::size_t i = 0; i < mData.custom.size(); ++i)
            mIndex.emplace(mData.custom[i].first, i); // the first of duplicate keys wins
        mIndexStale = false;
    }
    auto found = mIndex.find(key);
    return found == mIndex.end() ? -1 : static_cast<long>(found->second);
}

int SummaryInfo::numCustomInfo() const {
    faultHit(HostOp::CountCustom); // counted, never fails: the count has no status
    return static_cast<int>(mData.custom.size());
}

Acad::ErrorStatus SummaryInfo::addCustomSummaryInfo(const ACHAR* key, const ACHAR* value) {
    if (faultHit(HostOp::AddCustom))
        return Acad::eNotApplicable;
    if (!key || !*key)
        return Acad::eInvalidInput;
    try {
        if (find(key) >= 0)
            return Acad::eDuplicateKey;
        mData.custom.emplace_back(key, value ? value : L"");
        try {
            mIndex.emplace(key, mData.custom.size() - 1);
        } catch (const std::bad_alloc&) {
            mIndexStale = true;
        }
    } catch (const std::bad_alloc&) {
        mIndexStale = true;
        return Acad::eOutOfMemory;
    }
    return Acad::eOk;
}

Acad::ErrorStatus SummaryInfo::deleteCustomSummaryInfo(int index) {
    if (faultHit(HostOp::RemoveCustom))
        return Acad::eNotApplicable;
    if (index < 0 || static_cast<std::size_t>(index) >= mData.custom.size())
        return Acad::eInvalidIndex;
    mData.custom.erase(mData.custom.begin() + index);
    mIndexStale = true;
    return Acad::eOk;
}

Acad::ErrorStatus SummaryInfo::getCustomSummaryInfo(const ACHAR* key, AcString& value) const {
    if (faultHit(HostOp::LookupCustom))
        return Acad::eNotApplicable;
    if (!key)
        return Acad::eInvalidInput;
    try {
        long at = find(key);
        if (at < 0)
            return Acad::eKeyNotFound;
        return value.assign(mData.custom[at].second.c_str()) ? Acad::eOk : Acad::eOutOfMemory;
    } catch (const std::bad_alloc&) {
        mIndexStale = true;
        return Acad::eOutOfMemory;
    }
}

Acad::ErrorStatus SummaryInfo::getCustomSummaryInfo(int index, AcString& key,
                                                    AcString& value) const {
    if (faultHit(HostOp::ReadCustomAt))
        return Acad::eNotApplicable;
    if (index < 0 || static_cast<std::size_t>(index) >= mData.custom.size())
        return Acad::eInvalidIndex;
    const auto& entry = mData.custom[index];
    if (!key.assign(entry.first.c_str()) || !value.assign(entry.second.c_str()))
        return Acad::eOutOfMemory;
    return Acad::eOk;
}

Acad::ErrorStatus SummaryInfo::setCustomSummaryInfo(const ACHAR* key, const ACHAR* value) {
    if (faultHit(HostOp::ReplaceCustom))
        return Acad::eNotApplicable;
    if (!key)
        return Acad::eInvalidInput;
    try {
        long at = find(key);
        if (at < 0)
            return Acad::eKeyNotFound;
        mData.custom[at].second = value ? value : L"";
    } catch (const std::bad_alloc&) {
        mIndexStale = true;
        return Acad::eOutOfMemory;
    }
    return Acad::eOk;
}

} // namespace minihost
