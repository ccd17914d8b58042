#pragma once

// Runs a page's scripts in the system's JScript engine (IActiveScript), with
// a FakeDom as the page's window: window's members are the script's global
// names, as in a browser. Page functions are called the way the program
// calls them: looked up on the engine's script object, invoked as methods
// with the arguments in reverse order.

#include "fake_dom.h"

#include <activscp.h>

#include <string>
#include <vector>

#include "shell/com.h"

class ScriptSite;

class ScriptHost {
public:
    explicit ScriptHost(FakeDom& dom);
    ~ScriptHost();
    ScriptHost(const ScriptHost&) = delete;
    ScriptHost& operator=(const ScriptHost&) = delete;

    // The engine is up and the window is attached.
    bool ready() const { return ready_; }
    // Script errors so far, each "source:line:column: description".
    const std::vector<std::wstring>& errors() const;

    // Runs a script in the global scope; false on a syntax or run-time error.
    bool Run(const std::wstring& code, const std::wstring& sourceName);
    // Evaluates an expression; false on an error.
    bool Eval(const std::wstring& expression, VARIANT* result);
    // The answer of the script object's GetIDsOfNames for a global name.
    HRESULT LookUp(const std::wstring& name, DISPID* id);
    // Calls a global function with the arguments in parameter order.
    HRESULT Call(const std::wstring& name, const std::vector<VARIANT>& args, VARIANT* result);

    // Internet Explorer's script engines hand unsigned automation numbers
    // (VT_UINT, VT_UI4) to the page as numbers; this engine leaves VT_UINT
    // as an opaque value the page cannot read. By default Call presents
    // them as IE does; switched off, they go in unchanged.
    void PresentUnsignedAsNumbers(bool on) { unsignedAsNumbers_ = on; }

private:
    FakeDom& dom_;
    ScriptSite* site_ = nullptr;
    ComPtr<IActiveScript> script_;
    ComPtr<IActiveScriptParse> parse_;
    bool ready_ = false;
    bool unsignedAsNumbers_ = true;
};

// Argument builders with the kinds the program sends.
VARIANT UintArg(unsigned value);
VARIANT TextArg(const wchar_t* text);
VARIANT BoolArg(bool value);
void ClearArgs(std::vector<VARIANT>& args);

// Reads an integer property of a returned object, as the program reads a
// balloon's size.
bool IntProperty(IDispatch* object, const wchar_t* name, int* value);
