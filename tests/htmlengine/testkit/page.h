// Reaching a page shown by a WebBrowser control from a test, the way the
// program does: IWebBrowser2::get_Document, IHTMLDocument2::get_Script, and
// late-bound calls on the script object.
#pragma once

#include "htmlengine/com.h"

#include <exdisp.h>

#include <functional>

namespace testkit {

using htmlengine::Bstr;
using htmlengine::ComRef;
using htmlengine::Variant;

// Dispatches the thread's messages until `done` answers true (true) or the
// time runs out (false).
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000);
void PumpFor(DWORD milliseconds);

Variant UintArg(unsigned value);
Variant TextArg(std::wstring_view value);
Variant NullTextArg();
Variant BoolArg(bool value);

// The script object of the page the browser shows; null when there is none.
ComRef<IDispatch> PageScript(IWebBrowser2* browser);

// Looks `name` up (GetIDsOfNames, locale 0x800) and calls it as a method
// with `args` in parameter order (handed over in automation's reverse
// order). Answers what GetIDsOfNames or Invoke answered.
HRESULT CallMember(IDispatch* object, const wchar_t* name, const std::vector<Variant>& args, VARIANT* result);
// Property get of `name`.
HRESULT GetMember(IDispatch* object, const wchar_t* name, VARIANT* result);
// Property get converted to a 32-bit integer; false when either step failed.
bool GetIntMember(IDispatch* object, const wchar_t* name, long& value);

// window.document.getElementById(id)[property] as text; `found` tells
// whether the element exists.
std::wstring ElementProperty(IDispatch* script, const wchar_t* id, const wchar_t* property, bool* found = nullptr);

std::wstring TextOf(const VARIANT& value);

}  // namespace testkit
