// The browser's connection point for DWebBrowserEvents2.
#pragma once

#include "com.h"

#include <ocidl.h>

namespace htmlengine {

class EventPoint : public IConnectionPoint {
public:
    // `container` owns the point; the point lives as long as it does.
    explicit EventPoint(IConnectionPointContainer* container) : container_(container) {}

    // Calls every advised sink in turn; a sink advised or unadvised while
    // the event runs takes effect from the next event.
    void fire(DISPID id, DISPPARAMS& params);
    // Drops every sink (the control is closing).
    void clear() { sinks_.clear(); }

    // IUnknown: counted with the container.
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return container_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return container_->Release(); }

    // IConnectionPoint
    STDMETHODIMP GetConnectionInterface(IID* iid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** connections) override;

private:
    IConnectionPointContainer* container_;
    std::vector<std::pair<DWORD, ComRef<IDispatch>>> sinks_;
    DWORD nextCookie_ = 1;
};

}  // namespace htmlengine
