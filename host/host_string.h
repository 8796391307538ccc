// AcString: the host's wide string, used to hand text out of host objects. The storage is the
// host's; the text stays valid until the string is changed or destroyed.
#pragma once

#include "host/host_port.h"

class HOST_API_PORT AcString {
  public:
    AcString();
    explicit AcString(const ACHAR* text); // throws std::bad_alloc when out of memory
    AcString(const AcString& other);
    AcString& operator=(const AcString& other);
    ~AcString();

    // The text, NUL-terminated; "" for an empty string. Never nullptr.
    const ACHAR* kwszPtr() const;
    const ACHAR* constPtr() const { return kwszPtr(); }
    unsigned length() const { return mLength; }
    bool isEmpty() const { return mLength == 0; }

    // Replaces the text with a copy of `text` (nullptr means ""). Returns false, leaving the
    // string as it was, when no storage could be had.
    bool assign(const ACHAR* text);
    void setEmpty();

  private:
    ACHAR* mpBuffer; // nullptr while empty
    unsigned mLength;
};
