#pragma once

// A stand-in for the browser objects a theme's scripts touch: window,
// document, elements with their style, and window.external. It holds just
// enough state to run a page's scripts in the bare script engine and to see
// what the page did: the element tree it built, the handlers it set, the
// timers it armed and every call it made to the program.
//
// Objects are owned by the FakeDom and live until it is destroyed, so plain
// pointers between them stay valid. Lookups are strict where a typo would
// otherwise pass unseen: window knows only the names a page may use on it,
// external only the program's methods, and elements only standard methods.

#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

class FakeDom;

class FakeObject final : public IDispatch {
public:
    enum class Kind { Window, Document, Element, Text, Style, External };

    FakeObject(FakeDom& dom, Kind kind, std::wstring tag);
    ~FakeObject();
    FakeObject(const FakeObject&) = delete;
    FakeObject& operator=(const FakeObject&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT*) override;

    Kind kind() const { return kind_; }
    const std::wstring& tag() const { return tag_; }
    const std::vector<FakeObject*>& children() const { return children_; }
    FakeObject* parent() const { return parent_; }

    // A value the script stored, as text ("" when none or not text).
    std::wstring PropertyText(const std::wstring& name) const;
    // Whether style.display hides the element.
    bool Hidden() const;
    // The text of all text nodes below, in document order.
    std::wstring Text() const;
    // Runs the handler the script stored under name (onclick, ...); S_FALSE
    // when there is none.
    HRESULT Fire(const std::wstring& handler);
    // Drops stored values and children (releases the script's objects).
    void Drop();

private:
    bool KnowsName(const std::wstring& name) const;
    bool IsMethod(const std::wstring& name) const;
    HRESULT CallMethod(const std::wstring& name, DISPPARAMS* params, VARIANT* result);
    HRESULT GetProperty(const std::wstring& name, VARIANT* result);
    HRESULT PutProperty(const std::wstring& name, const VARIANT& value);
    void AppendChild(FakeObject* child);
    void RemoveChild(FakeObject* child);
    void ClearChildren();

    LONG refs_ = 1;
    FakeDom& dom_;
    Kind kind_;
    std::wstring tag_;
    std::map<std::wstring, VARIANT> properties_;
    std::vector<FakeObject*> children_;
    FakeObject* parent_ = nullptr;
    FakeObject* style_ = nullptr;
};

class FakeDom {
public:
    FakeDom();
    ~FakeDom();
    FakeDom(const FakeDom&) = delete;
    FakeDom& operator=(const FakeDom&) = delete;

    FakeObject* window() const { return window_; }
    FakeObject* document() const { return document_; }
    FakeObject* external() const { return external_; }

    // The element document.getElementById(id) gives (made on first use).
    FakeObject* ElementById(const std::wstring& id);
    FakeObject* Create(FakeObject::Kind kind, const std::wstring& tag);
    FakeObject* Find(IDispatch* object) const;

    DISPID IdOf(const std::wstring& name);
    const std::wstring* NameOf(DISPID id) const;

    // Calls the page made to window.external, each as name(arg,...) with
    // strings in double quotes and numbers and booleans as written.
    std::vector<std::wstring> calls;
    // External methods that answer with an error instead of S_OK.
    std::map<std::wstring, HRESULT> failing;
    // Runs inside each external call, after it was recorded.
    std::function<void(const std::wstring& name)> onCall;

    int SetTimer(IDispatch* callback);
    void ClearTimer(int id);
    size_t PendingTimers() const { return timers_.size(); }
    // Runs the timers armed so far (not those they arm); false when one of
    // them failed.
    bool RunTimers();

    // Releases everything the script handed over (before the engine closes).
    void Clear();

private:
    std::vector<FakeObject*> objects_;
    std::map<std::wstring, DISPID> ids_;
    std::vector<std::wstring> names_;
    std::map<std::wstring, FakeObject*> byId_;
    std::map<int, IDispatch*> timers_;
    int nextTimer_ = 1;
    FakeObject* window_ = nullptr;
    FakeObject* document_ = nullptr;
    FakeObject* external_ = nullptr;
};

// The value as text for the call record: "text" for strings, digits for
// numbers, true/false, null, undefined.
std::wstring DescribeVariant(const VARIANT& value);
