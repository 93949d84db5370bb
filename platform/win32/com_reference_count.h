// The reference count of a COM object of ours: AddRef and Release of every interface it has come
// here, and the last Release deletes the object.
#ifndef BRINDLE_PLATFORM_WIN32_COM_REFERENCE_COUNT_H
#define BRINDLE_PLATFORM_WIN32_COM_REFERENCE_COUNT_H

#include "platform/win32/windows_api.h"

template<typename Object> class ComReferenceCount {
protected:
    ComReferenceCount() = default;
    ~ComReferenceCount() = default;

    ULONG Acquire() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG Drop()
    {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0)
            delete static_cast<Object*>(this);
        return static_cast<ULONG>(left);
    }

    // QueryInterface's common end: the interface found, counted, or none.
    HRESULT Hand(void* found, void** object)
    {
        *object = found;
        if (!found)
            return E_NOINTERFACE;
        Acquire();
        return S_OK;
    }

private:
    LONG references_ = 1; // the creator's
};

// An out-parameter refused when null and cleared otherwise, as every COM method of ours starts.
template<typename Out> bool Cleared(Out** result)
{
    if (!result)
        return false;
    *result = nullptr;
    return true;
}

#endif
