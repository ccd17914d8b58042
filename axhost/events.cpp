#include "axhost/events.h"

#include "shell/com.h"

#include <exdispid.h>
#include <ocidl.h>

namespace {

// The control sends the arguments last first; index counts from the first.
VARIANT* ArgumentAt(DISPPARAMS* params, UINT index)
{
    return &params->rgvarg[params->cArgs - 1 - index];
}

// A VARIANT* parameter arrives as a reference to a VARIANT; a control that
// sends the value itself is taken as it is.
VARIANT* VariantArgument(DISPPARAMS* params, UINT index)
{
    VARIANT* argument = ArgumentAt(params, index);
    if (V_VT(argument) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(argument))
        return V_VARIANTREF(argument);
    return argument;
}

IDispatch* DispatchArgument(DISPPARAMS* params, UINT index)
{
    VARIANT* argument = VariantArgument(params, index);
    if (V_VT(argument) == VT_DISPATCH)
        return V_DISPATCH(argument);
    if (V_VT(argument) == (VT_DISPATCH | VT_BYREF) && V_DISPATCHREF(argument))
        return *V_DISPATCHREF(argument);
    return nullptr;
}

// The cancel flag the control reads back; a control that sends none gets
// its answer written into a value nobody reads.
VARIANT_BOOL* BoolOutArgument(DISPPARAMS* params, UINT index, VARIANT_BOOL* spare)
{
    VARIANT* argument = ArgumentAt(params, index);
    if (V_VT(argument) == (VT_BOOL | VT_BYREF) && V_BOOLREF(argument))
        return V_BOOLREF(argument);
    return spare;
}

// The [default, source] interface among the class's implemented types.
HRESULT DefaultSourceOfClass(ITypeInfo* classInfo, IID* iid)
{
    TYPEATTR* attributes = nullptr;
    HRESULT hr = classInfo->GetTypeAttr(&attributes);
    if (FAILED(hr))
        return hr;
    const UINT implemented = attributes->cImplTypes;
    classInfo->ReleaseTypeAttr(attributes);
    for (UINT i = 0; i < implemented; ++i) {
        INT flags = 0;
        if (FAILED(classInfo->GetImplTypeFlags(i, &flags)))
            continue;
        const INT wanted = IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE;
        if ((flags & wanted) != wanted)
            continue;
        HREFTYPE reference = 0;
        ComPtr<ITypeInfo> source;
        if (FAILED(classInfo->GetRefTypeOfImplType(i, &reference)) ||
            FAILED(classInfo->GetRefTypeInfo(reference, source.out())) || !source)
            continue;
        TYPEATTR* sourceAttributes = nullptr;
        if (FAILED(source->GetTypeAttr(&sourceAttributes)))
            continue;
        *iid = sourceAttributes->guid;
        source->ReleaseTypeAttr(sourceAttributes);
        return S_OK;
    }
    return E_FAIL;
}

HRESULT FindSourceInterface(IUnknown* object, IID* iid)
{
    ComPtr<IProvideClassInfo2> classInfo2 = ComPtr<IUnknown>::Share(object).As<IProvideClassInfo2>(
        IID_IProvideClassInfo2);
    if (classInfo2 && SUCCEEDED(classInfo2->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, iid)))
        return S_OK;
    ComPtr<IProvideClassInfo> classInfo =
        ComPtr<IUnknown>::Share(object).As<IProvideClassInfo>(IID_IProvideClassInfo);
    if (!classInfo)
        return E_NOINTERFACE;
    ComPtr<ITypeInfo> info;
    HRESULT hr = classInfo->GetClassInfo(info.out());
    if (FAILED(hr) || !info)
        return FAILED(hr) ? hr : E_FAIL;
    return DefaultSourceOfClass(info.get(), iid);
}

void ReadLibraryOf(IUnknown* object, GUID* libId, WORD* major, WORD* minor)
{
    ComPtr<IDispatch> dispatch = ComPtr<IUnknown>::Share(object).As<IDispatch>(IID_IDispatch);
    ComPtr<ITypeInfo> info;
    if (!dispatch || FAILED(dispatch->GetTypeInfo(0, 0, info.out())) || !info)
        return;
    ComPtr<ITypeLib> library;
    UINT index = 0;
    if (FAILED(info->GetContainingTypeLib(library.out(), &index)) || !library)
        return;
    TLIBATTR* attributes = nullptr;
    if (FAILED(library->GetLibAttr(&attributes)))
        return;
    *libId = attributes->guid;
    *major = attributes->wMajorVerNum;
    *minor = attributes->wMinorVerNum;
    library->ReleaseTLibAttr(attributes);
}

}  // namespace

WebBrowserEvents::WebBrowserEvents() : libId_(GUID_NULL), eventIid_(DIID_DWebBrowserEvents2) {}

HRESULT WebBrowserEvents::BeforeNavigate2(IDispatch*, VARIANT*, VARIANT*, VARIANT*, VARIANT*, VARIANT*,
                                          VARIANT_BOOL*)
{
    return S_OK;
}

HRESULT WebBrowserEvents::NavigateComplete2(IDispatch*, VARIANT*)
{
    return S_OK;
}

HRESULT WebBrowserEvents::DocumentComplete(IDispatch*, VARIANT*)
{
    return S_OK;
}

HRESULT WebBrowserEvents::NavigateError(IDispatch*, VARIANT*, VARIANT*, VARIANT*, VARIANT_BOOL*)
{
    return S_OK;
}

STDMETHODIMP WebBrowserEvents::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP WebBrowserEvents::GetTypeInfo(UINT, LCID, ITypeInfo** info)
{
    if (info)
        *info = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowserEvents::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return E_NOTIMPL;
}

// The overrides of subclasses may allocate; an exception stops here rather
// than in the control's frames.
STDMETHODIMP WebBrowserEvents::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                      EXCEPINFO*, UINT*)
try {
    UINT needed = 0;
    switch (id) {
    case DISPID_BEFORENAVIGATE2:
        needed = 7;
        break;
    case DISPID_NAVIGATECOMPLETE2:
    case DISPID_DOCUMENTCOMPLETE:
        needed = 2;
        break;
    case DISPID_NAVIGATEERROR:
        needed = 5;
        break;
    default:
        return S_OK;
    }
    if (!params || params->cArgs < needed || !params->rgvarg)
        return DISP_E_BADPARAMCOUNT;
    VARIANT_BOOL spare = VARIANT_FALSE;
    switch (id) {
    case DISPID_BEFORENAVIGATE2:
        return BeforeNavigate2(DispatchArgument(params, 0), VariantArgument(params, 1),
                               VariantArgument(params, 2), VariantArgument(params, 3),
                               VariantArgument(params, 4), VariantArgument(params, 5),
                               BoolOutArgument(params, 6, &spare));
    case DISPID_NAVIGATECOMPLETE2:
        return NavigateComplete2(DispatchArgument(params, 0), VariantArgument(params, 1));
    case DISPID_DOCUMENTCOMPLETE:
        return DocumentComplete(DispatchArgument(params, 0), VariantArgument(params, 1));
    default:
        return NavigateError(DispatchArgument(params, 0), VariantArgument(params, 1),
                             VariantArgument(params, 2), VariantArgument(params, 3),
                             BoolOutArgument(params, 4, &spare));
    }
} catch (...) {
    return E_OUTOFMEMORY;
}

HRESULT WebBrowserEvents::ReadSourceInterface(IUnknown* control)
{
    if (!control)
        return E_POINTER;
    return GetObjectSourceInterface(control, &libId_, &eventIid_, &libMajor_, &libMinor_);
}

HRESULT WebBrowserEvents::AdviseTo(IUnknown* control)
{
    // A connection point may write its cookie even when it refuses: only an
    // accepted connection replaces "not advised".
    DWORD cookie = kNotAdvised;
    HRESULT hr = AdviseConnection(control, EventDispatch(), eventIid_, &cookie);
    if (SUCCEEDED(hr))
        cookie_ = cookie;
    return hr;
}

HRESULT WebBrowserEvents::UnadviseFrom(IUnknown* control)
{
    HRESULT hr = UnadviseConnection(control, DIID_DWebBrowserEvents2, cookie_);
    cookie_ = kNotAdvised;
    return hr;
}

HRESULT GetObjectSourceInterface(IUnknown* object, GUID* libId, IID* iid, WORD* major, WORD* minor)
{
    if (!object || !libId || !iid || !major || !minor)
        return E_POINTER;
    IID found = IID_NULL;
    HRESULT hr = FindSourceInterface(object, &found);
    if (FAILED(hr))
        return hr;
    *iid = found;
    ReadLibraryOf(object, libId, major, minor);
    return S_OK;
}

namespace {

// The container's connection point for iid.
HRESULT FindConnectionPoint(IUnknown* container, REFIID iid, ComPtr<IConnectionPoint>& point)
{
    ComPtr<IConnectionPointContainer> points =
        ComPtr<IUnknown>::Share(container).As<IConnectionPointContainer>(IID_IConnectionPointContainer);
    if (!points)
        return E_NOINTERFACE;
    HRESULT hr = points->FindConnectionPoint(iid, point.out());
    if (FAILED(hr) || !point)
        return FAILED(hr) ? hr : E_FAIL;
    return S_OK;
}

}  // namespace

HRESULT AdviseConnection(IUnknown* container, IUnknown* sink, REFIID iid, DWORD* cookie)
{
    if (!container || !sink || !cookie)
        return E_POINTER;
    ComPtr<IConnectionPoint> point;
    HRESULT hr = FindConnectionPoint(container, iid, point);
    return FAILED(hr) ? hr : point->Advise(sink, cookie);
}

HRESULT UnadviseConnection(IUnknown* container, REFIID iid, DWORD cookie)
{
    if (!container)
        return E_POINTER;
    ComPtr<IConnectionPoint> point;
    HRESULT hr = FindConnectionPoint(container, iid, point);
    return FAILED(hr) ? hr : point->Unadvise(cookie);
}
