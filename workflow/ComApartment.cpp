#include "workflow/ComApartment.h"

#include "platform/Platform.h"
#include "services/InstallerException.h"

CComApartment::CComApartment()
{
    const HRESULT result = Platform().InitializeCom(COINIT_APARTMENTTHREADED);
    if (result != S_OK) {
        if (SUCCEEDED(result)) Platform().UninitializeCom();
        ThrowInstallerException(L"Can not initialize COM.");
    }
}

CComApartment::~CComApartment() { Platform().UninitializeCom(); }
