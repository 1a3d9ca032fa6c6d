// COM for the worker thread, a single-threaded apartment, for the life of the object.
#pragma once

#include "framework/Afx.h"

class CComApartment {
public:
    // Anything but S_OK fails with "Can not initialize COM.": S_FALSE means COM was already
    // started on this thread, which the worker never expects.
    CComApartment();
    ~CComApartment();
    CComApartment(const CComApartment&) = delete;
    CComApartment& operator=(const CComApartment&) = delete;
};
