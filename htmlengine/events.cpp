#include "events.h"

#include <exdisp.h>
#include <olectl.h>

#include <algorithm>

namespace htmlengine {

void EventPoint::fire(DISPID id, DISPPARAMS& params)
{
    const auto sinks = sinks_;
    for (const auto& sink : sinks) {
        EXCEPINFO exception{};
        UINT argError = 0;
        sink.second->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                            &exception, &argError);
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
    }
}

STDMETHODIMP EventPoint::QueryInterface(REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IConnectionPoint) {
        *out = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP EventPoint::GetConnectionInterface(IID* iid)
{
    if (!iid) return E_POINTER;
    *iid = __uuidof(DWebBrowserEvents2);
    return S_OK;
}

STDMETHODIMP EventPoint::GetConnectionPointContainer(IConnectionPointContainer** container)
{
    return HandOut(container_, container);
}

STDMETHODIMP EventPoint::Advise(IUnknown* sink, DWORD* cookie)
{
    if (!sink || !cookie) return E_POINTER;
    *cookie = 0;
    ComRef<IDispatch> events;
    if (FAILED(sink->QueryInterface(__uuidof(DWebBrowserEvents2), events.putVoid())) &&
        FAILED(sink->QueryInterface(IID_IDispatch, events.putVoid())))
        return CONNECT_E_CANNOTCONNECT;
    *cookie = nextCookie_++;
    sinks_.emplace_back(*cookie, std::move(events));
    return S_OK;
}

STDMETHODIMP EventPoint::Unadvise(DWORD cookie)
{
    auto it = std::find_if(sinks_.begin(), sinks_.end(), [&](const auto& s) { return s.first == cookie; });
    if (it == sinks_.end()) return CONNECT_E_NOCONNECTION;
    // Released after unlinking: the release may re-enter.
    ComRef<IDispatch> sink = std::move(it->second);
    sinks_.erase(it);
    return S_OK;
}

STDMETHODIMP EventPoint::EnumConnections(IEnumConnections** connections)
{
    if (connections) *connections = nullptr;
    return E_NOTIMPL;
}

}  // namespace htmlengine
