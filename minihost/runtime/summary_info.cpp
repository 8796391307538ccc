#include "minihost/runtime/summary_info.h"

#include <algorithm>
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

const SummaryData SummaryInfo::kNothing;

void SummaryInfo::load(const SummaryData& data) {
    mBase = &data;
    for (std::wstring& text : mData.builtIn)
        std::wstring().swap(text); // frees what the last working copy changed
    mData.custom.clear();
    std::fill(mOwn, mOwn + kBuiltInCount, false);
    mOwnCustom = false;
    mIndexStale = true;
}

void SummaryInfo::storeInto(SummaryData& stored) {
    if (mBase != &stored) {
        SummaryData copy;
        for (int i = 0; i < kBuiltInCount; ++i)
            copy.builtIn[i] = text(static_cast<BuiltInField>(i));
        copy.custom = custom();
        stored = std::move(copy);
        return;
    }
    for (int i = 0; i < kBuiltInCount; ++i) {
        if (mOwn[i]) {
            stored.builtIn[i].swap(mData.builtIn[i]);
            mData.builtIn[i] = std::wstring();
            mOwn[i] = false;
        }
    }
    if (mOwnCustom) {
        stored.custom.swap(mData.custom);
        mData.custom.clear();
        mOwnCustom = false;
    }
}

decltype(SummaryData::custom)& SummaryInfo::ownCustom() {
    if (!mOwnCustom) {
        mData.custom = mBase->custom;
        mOwnCustom = true;
    }
    return mData.custom;
}

Acad::ErrorStatus SummaryInfo::get(BuiltInField field, AcString& value) const {
    if (faultHit(kGetterOp[field]))
        return Acad::eNotApplicable;
    return value.assign(text(field).c_str()) ? Acad::eOk : Acad::eOutOfMemory;
}

Acad::ErrorStatus SummaryInfo::set(BuiltInField field, const ACHAR* value) {
    if (faultHit(HostOp::SetBuiltIn))
        return Acad::eNotApplicable;
    try {
        mData.builtIn[field] = value ? value : L"";
        mOwn[field] = true;
    } catch (const std::bad_alloc&) {
        return Acad::eOutOfMemory;
    }
    return Acad::eOk;
}

long SummaryInfo::find(const ACHAR* key) const {
    if (mIndexStale) {
        mIndex.clear();
        mIndex.reserve(custom().size());
        for (std::size_t i = 0; i < custom().size(); ++i)
            mIndex.emplace(custom()[i].first, i); // the first of duplicate keys wins
        mIndexStale = false;
    }
    auto found = mIndex.find(key);
    return found == mIndex.end() ? -1 : static_cast<long>(found->second);
}

int SummaryInfo::numCustomInfo() const {
    faultHit(HostOp::CountCustom); // counted, never fails: the count has no status
    return static_cast<int>(custom().size());
}

Acad::ErrorStatus SummaryInfo::addCustomSummaryInfo(const ACHAR* key, const ACHAR* value) {
    if (faultHit(HostOp::AddCustom))
        return Acad::eNotApplicable;
    if (!key || !*key)
        return Acad::eInvalidInput;
    try {
        if (find(key) >= 0)
            return Acad::eDuplicateKey;
        ownCustom().emplace_back(key, value ? value : L"");
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
    if (index < 0 || static_cast<std::size_t>(index) >= custom().size())
        return Acad::eInvalidIndex;
    try {
        ownCustom();
    } catch (const std::bad_alloc&) {
        return Acad::eOutOfMemory;
    }
    mData.custom.erase(mData.custom.begin() + index);
    mIndexStale = true;
    return Acad::eOk;
}

Acad::ErrorStatus SummaryInfo::lookUp(HostOp op, const ACHAR* key, long& at) const {
    if (faultHit(op))
        return Acad::eNotApplicable;
    if (!key)
        return Acad::eInvalidInput;
    try {
        at = find(key);
    } catch (const std::bad_alloc&) {
        mIndexStale = true;
        return Acad::eOutOfMemory;
    }
    return at < 0 ? Acad::eKeyNotFound : Acad::eOk;
}

Acad::ErrorStatus SummaryInfo::getCustomSummaryInfo(const ACHAR* key, AcString& value) const {
    long at = -1;
    Acad::ErrorStatus status = lookUp(HostOp::LookupCustom, key, at);
    if (status != Acad::eOk)
        return status;
    return value.assign(custom()[at].second.c_str()) ? Acad::eOk : Acad::eOutOfMemory;
}

Acad::ErrorStatus SummaryInfo::getCustomSummaryInfo(int index, AcString& key,
                                                    AcString& value) const {
    if (faultHit(HostOp::ReadCustomAt))
        return Acad::eNotApplicable;
    if (index < 0 || static_cast<std::size_t>(index) >= custom().size())
        return Acad::eInvalidIndex;
    const auto& entry = custom()[index];
    if (!key.assign(entry.first.c_str()) || !value.assign(entry.second.c_str()))
        return Acad::eOutOfMemory;
    return Acad::eOk;
}

Acad::ErrorStatus SummaryInfo::setCustomSummaryInfo(const ACHAR* key, const ACHAR* value) {
    long at = -1;
    Acad::ErrorStatus status = lookUp(HostOp::ReplaceCustom, key, at);
    if (status != Acad::eOk)
        return status;
    try {
        ownCustom()[at].second = value ? value : L"";
    } catch (const std::bad_alloc&) {
        mIndexStale = true;
        return Acad::eOutOfMemory;
    }
    return Acad::eOk;
}

} // namespace minihost
