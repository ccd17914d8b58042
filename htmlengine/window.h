// The page's `window`: the global object of its scripts, and the script
// object hosts get from IHTMLDocument2::get_Script (page functions are
// found and called through it).
#pragma once

#include "script_object.h"

namespace htmlengine {

class Document;

class Location : public ScriptObject {
public:
    explicit Location(Document* document) : document_(document) {}
    void detach() { document_ = nullptr; }

protected:
    bool isMember(std::wstring_view name) const override;
    HRESULT getMember(std::wstring_view name, VARIANT* result) override;
    HRESULT putMember(std::wstring_view name, const VARIANT& value) override;
    HRESULT callMember(std::wstring_view name, const Args& args, VARIANT* result) override;
    HRESULT defaultValue(VARIANT* result) override;

private:
    Document* document_;
};

class Window : public ScriptObject {
public:
    explicit Window(Document* document);
    // The page is gone: the window answers nothing more.
    void detach();
    IDispatch* location();
    // The handler a script stored under `name` (window.onload), if any.
    const VARIANT* handler(std::wstring_view name) const { return expando(name); }

    // Makes the page go to `url` (relative to the page), as assigning
    // window.location does.
    static void NavigateFrom(Document* document, std::wstring_view url);

protected:
    bool isMember(std::wstring_view name) const override;
    HRESULT getMember(std::wstring_view name, VARIANT* result) override;
    HRESULT putMember(std::wstring_view name, const VARIANT& value) override;
    HRESULT callMember(std::wstring_view name, const Args& args, VARIANT* result) override;
    bool createsOnLookup() const override { return false; }
    HRESULT findOutside(std::wstring_view name, DISPID* id) override;
    HRESULT invokeOutside(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO* exception) override;

private:
    struct OutsideName {
        std::wstring name;
        DISPID scriptId;
    };

    Document* document_;
    ComRef<Location> location_;
    std::vector<OutsideName> outside_;
    bool finding_ = false;
};

}  // namespace htmlengine
