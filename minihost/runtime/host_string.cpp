#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>

#include "host/host_string.h"
#include "minihost/runtime/text/text_copy.h"

AcString::AcString() : mpBuffer(nullptr), mLength(0) {}

AcString::AcString(const ACHAR* text) : AcString() {
    if (!assign(text))
        throw std::bad_alloc();
}

AcString::AcString(const AcString& other) : AcString(other.kwszPtr()) {}

AcString& AcString::operator=(const AcString& other) {
    if (this != &other && !assign(other.kwszPtr()))
        throw std::bad_alloc();
    return *this;
}

AcString::~AcString() {
    std::free(mpBuffer);
}

const ACHAR* AcString::kwszPtr() const {
    return mpBuffer ? mpBuffer : L"";
}

bool AcString::assign(const ACHAR* text) {
    if (!text || !*text) {
        setEmpty();
        return true;
    }
    ACHAR* copy = minihost::copyText(text);
    if (!copy)
        return false;
    std::free(mpBuffer);
    mpBuffer = copy;
    mLength = static_cast<unsigned>(std::wcslen(copy));
    return true;
}

void AcString::setEmpty() {
    std::free(mpBuffer);
    mpBuffer = nullptr;
    mLength = 0;
}
