#pragma once

// Calling the global JavaScript functions of a page by name. The program
// pushes all its data into its pages this way; the members of the browser
// sinks (host/sinks.h) wrap one page function each, and every other part
// of the program goes through them.

#include "shell/com.h"

#include <windows.h>
#include <exdisp.h>
#include <oaidl.h>

#include <cstdint>

// The arguments of one page call, in the order of the function's
// parameters. Only three kinds ever reach a page: unsigned numbers
// (VT_UINT), texts (VT_BSTR; a null text reaches the page as an empty one)
// and booleans (VT_BOOL).
class PageArgs {
public:
    static constexpr UINT kMaxArgs = 16;

    PageArgs() = default;
    PageArgs(const PageArgs&) = delete;
    PageArgs& operator=(const PageArgs&) = delete;
    ~PageArgs();

    PageArgs& Uint(uint32_t value);
    PageArgs& Text(const wchar_t* text);
    PageArgs& Bool(bool value);

    // False when a text could not be copied or there were too many
    // arguments: the call must not be made.
    bool Ok() const { return ok_; }
    const VARIANT* Data() const { return values_; }
    UINT Count() const { return count_; }

private:
    VARIANT* Next();

    VARIANT values_[kMaxArgs] = {};
    UINT count_ = 0;
    bool ok_ = true;
};

// A VARIANT that clears itself.
class ScopedVariant {
public:
    ScopedVariant() { VariantInit(&value_); }
    ~ScopedVariant() { VariantClear(&value_); }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;
    VARIANT* get() { return &value_; }
    const VARIANT& operator*() const { return value_; }

private:
    VARIANT value_;
};

// Calls page function name with count arguments on the page shown by
// browser; result receives what it returns. script is the page's script
// object when the caller has it already, else null. True only when the
// function was invoked and the invocation answered S_OK. An argument of
// another kind than the three above refuses the call.
bool ExecuteScript(const wchar_t* name, const VARIANT* arguments, UINT count, IWebBrowser2* browser,
                   VARIANT* result, IDispatch* script);

// The script object of the document shown by browser; null when there is
// no document or it has none.
ComPtr<IDispatch> GetScriptObject(IWebBrowser2* browser);

// Property name of a page object as a 32-bit integer; true only when it
// was found and read.
bool GetIntProperty(IDispatch* object, const wchar_t* name, int32_t* value);
