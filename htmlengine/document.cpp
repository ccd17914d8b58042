#include "document.h"

#include "browser.h"
#include "load.h"
#include "script_host.h"
#include "trace.h"
#include "window.h"

#include <algorithm>
#include <array>
#include <cwctype>

namespace htmlengine {
namespace {

bool HasId(const Node& node, std::wstring_view id)
{
    return node.hasAttribute(L"id") && node.attribute(L"id") == id;
}

bool HasTag(const Node& node, std::wstring_view tag)
{
    return node.tag() == tag;
}

// Scripts in a language other than JScript are not ours to run.
bool IsJavaScript(const Node& script)
{
    std::wstring type = script.attribute(L"type") + script.attribute(L"language");
    std::transform(type.begin(), type.end(), type.begin(), [](wchar_t c) { return towlower(c); });
    return type.empty() || type.find(L"javascript") != std::wstring::npos ||
           type.find(L"jscript") != std::wstring::npos || type.find(L"ecmascript") != std::wstring::npos;
}

std::wstring HexCode(HRESULT hr)
{
    wchar_t code[16];
    swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return code;
}

}  // namespace

Document::Document(Browser* browser, std::wstring url)
    : browser_(browser), url_(std::move(url)),
      root_(MakeObject<Node>(Node::Kind::Element, L"#document", this)),
      window_(MakeObject<Window>(this))
{
    build(L"");
}

Document::~Document() = default;

STDMETHODIMP Document::QueryInterface(REFIID iid, void** out)
{
    if (out && (iid == __uuidof(IHTMLDocument2) || iid == __uuidof(IHTMLDocument))) {
        *out = static_cast<IHTMLDocument2*>(this);
        AddRef();
        return S_OK;
    }
    return ScriptObject::QueryInterface(iid, out);
}

STDMETHODIMP Document::get_Script(IDispatch** p)
{
    if (!p) return E_POINTER;
    return HandOut(window_ ? window_->dispatch() : nullptr, p);
}

STDMETHODIMP Document::get_title(BSTR* p)
{
    if (!p) return E_POINTER;
    Variant title;
    getMember(L"title", &title);
    *p = AllocText(VariantText(title.get()));
    return S_OK;
}

STDMETHODIMP Document::put_title(BSTR v)
{
    title_ = v ? v : L"";
    return S_OK;
}

STDMETHODIMP Document::get_readyState(BSTR* p)
{
    if (!p) return E_POINTER;
    Variant state;
    getMember(L"readyState", &state);
    *p = AllocText(VariantText(state.get()));
    return S_OK;
}

STDMETHODIMP Document::get_URL(BSTR* p)
{
    if (!p) return E_POINTER;
    *p = AllocText(url_);
    return *p ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP Document::toString(BSTR* p)
{
    if (!p) return E_POINTER;
    *p = AllocText(L"[object]");
    return S_OK;
}

IDispatch* Document::scriptGlobals() const
{
    return script_ ? script_->globals() : nullptr;
}

void Document::build(std::wstring_view markup)
{
    if (!root_) return;
    root_->setInnerHtml(markup);
    body_ = root_->findElement(HasTag, L"body");
    if (body_) return;
    if (Node* html = root_->findElement(HasTag, L"html")) {
        body_ = html;
        return;
    }
    // Markup without a body: all of it is the body.
    auto body = MakeObject<Node>(Node::Kind::Element, L"body", this);
    const auto children = root_->children();
    for (const auto& child : children) body->appendChild(child);
    body_ = body.get();
    root_->appendChild(std::move(body));
}

bool Document::startScripts()
{
    if (script_) return true;
    if (scriptFailed_ || !window_) return false;
    script_ = ComRef<ScriptHost>::adopt(new ScriptHost(this));
    if (!script_->start(window_->dispatch())) {
        script_->close();
        script_.reset();
        scriptFailed_ = true;
        Trace(L"error", L"the JScript engine cannot be started");
        return false;
    }
    return true;
}

void Document::runScripts()
{
    if (!root_ || !startScripts()) return;
    ComRef<Document> self(this);
    std::vector<Node*> scripts;
    root_->collectElements(L"script", scripts);
    std::vector<ComRef<Node>> held;
    for (Node* s : scripts) held.emplace_back(s);
    int index = 0;
    for (const auto& script : held) {
        ++index;
        if (!script_ || !IsJavaScript(*script.get())) continue;
        const std::wstring src = script->attribute(L"src");
        if (src.empty()) {
            execute(script->innerHtml(), url_ + L" script " + std::to_wstring(index));
            continue;
        }
        LoadRequest request;
        request.url = ResolveUrl(url_, src);
        const LoadResult code = Load(request);
        if (!code.ok()) {
            Trace(L"error", L"cannot load script " + request.url + L": " +
                                HexCode(static_cast<HRESULT>(code.navigateErrorCode())));
            continue;
        }
        execute(DecodePage(code.body, code.charset), request.url);
    }
}

std::vector<std::wstring> Document::frameAddresses() const
{
    std::vector<std::wstring> out;
    if (!root_) return out;
    std::vector<Node*> frames;
    root_->collectElements(L"iframe", frames);
    root_->collectElements(L"frame", frames);
    for (Node* frame : frames) {
        const std::wstring src = frame->attribute(L"src");
        if (!src.empty()) out.push_back(ResolveUrl(url_, src));
    }
    return out;
}

void Document::addFrame(ComRef<Browser> frame)
{
    frames_.push_back(std::move(frame));
}

void Document::runOnload()
{
    if (!window_ || !script_) return;
    ComRef<Document> self(this);
    if (const VARIANT* onload = window_->handler(L"onload");
        onload && V_VT(onload) == VT_DISPATCH && V_DISPATCH(onload)) {
        ComRef<IDispatch> function(V_DISPATCH(onload));
        enterScript();
        const HRESULT hr = CallFunction(function.get(), nullptr, window_->dispatch());
        leaveScript();
        if (FAILED(hr)) Trace(L"error", L"window.onload failed " + HexCode(hr));
        return;
    }
    if (body_ && body_->hasAttribute(L"onload")) execute(body_->attribute(L"onload"), url_ + L" onload");
}

void Document::unload()
{
    ComRef<Document> self(this);
    readyState_ = READYSTATE_UNINITIALIZED;
    auto timers = std::move(timers_);
    timers_.clear();
    if (HWND w = timerWindow()) {
        for (const auto& timer : timers) KillTimer(w, timer.first);
    }
    timers.clear();
    auto frames = std::move(frames_);
    frames_.clear();
    for (auto& frame : frames) frame->closeFrame();
    frames.clear();
    browser_ = nullptr;
    // The host may close the control from inside a call the page made
    // (window.external): the engine is not closed under running script.
    if (scriptDepth_ > 0) {
        unloadPending_ = true;
        return;
    }
    finishUnload();
}

void Document::leaveScript()
{
    if (--scriptDepth_ == 0 && unloadPending_) {
        ComRef<Document> self(this);
        unloadPending_ = false;
        finishUnload();
    }
}

void Document::finishUnload()
{
    if (script_) {
        script_->close();
        script_.reset();
    }
    if (window_) {
        window_->detach();
        window_.reset();
    }
    if (root_) {
        root_->dispose();
        root_.reset();
        body_ = nullptr;
    }
    clearExpandos();
}

bool Document::execute(std::wstring_view code, std::wstring_view source)
{
    if (!startScripts()) return false;
    ComRef<Document> self(this);
    ComRef<ScriptHost> script(script_);
    enterScript();
    const HRESULT hr = script->run(code, source, 0);
    leaveScript();
    return SUCCEEDED(hr);
}

HRESULT Document::evaluate(std::wstring_view code, VARIANT* result)
{
    if (!startScripts()) return E_UNEXPECTED;
    ComRef<Document> self(this);
    ComRef<ScriptHost> script(script_);
    enterScript();
    const HRESULT hr = script->evaluate(code, result);
    leaveScript();
    return hr;
}

HRESULT Document::compileHandler(std::wstring_view code, VARIANT* function)
{
    return evaluate(L"(function (event) {\n" + std::wstring(code) + L"\n})", function);
}

HWND Document::timerWindow() const
{
    return browser_ ? browser_->hookWindow() : nullptr;
}

UINT_PTR Document::setTimer(const VARIANT& callback, UINT delay, bool repeat)
{
    HWND w = timerWindow();
    if (!w) return 0;
    const UINT_PTR id = nextTimer_++;
    if (!SetTimer(w, id, std::max<UINT>(delay, USER_TIMER_MINIMUM), nullptr)) return 0;
    Timer& timer = timers_[id];
    timer.callback = Variant(callback);
    timer.repeat = repeat;
    return id;
}

void Document::clearTimer(UINT_PTR id)
{
    if (timers_.erase(id) && timerWindow()) KillTimer(timerWindow(), id);
}

void Document::runTimer(UINT_PTR id)
{
    auto it = timers_.find(id);
    if (it == timers_.end()) {
        if (timerWindow()) KillTimer(timerWindow(), id);
        return;
    }
    ComRef<Document> self(this);
    const Variant callback = it->second.callback;
    if (!it->second.repeat) {
        timers_.erase(it);
        KillTimer(timerWindow(), id);
    }
    if (callback.type() == VT_DISPATCH && V_DISPATCH(&callback.get())) {
        enterScript();
        const HRESULT hr = CallFunction(V_DISPATCH(&callback.get()), nullptr);
        leaveScript();
        if (FAILED(hr)) Trace(L"error", L"timer callback failed " + HexCode(hr));
    } else {
        execute(VariantText(callback.get()), url_ + L" timer");
    }
}

bool Document::isMember(std::wstring_view name) const
{
    static constexpr std::array<std::wstring_view, 12> kMembers = {
        L"getElementById", L"getElementsByTagName", L"createElement", L"createTextNode",
        L"body", L"documentElement", L"title", L"URL", L"location", L"readyState",
        L"parentWindow", L"defaultView"};
    return std::find(kMembers.begin(), kMembers.end(), name) != kMembers.end();
}

HRESULT Document::getMember(std::wstring_view name, VARIANT* result)
{
    if (name == L"body") return SetObjectResult(result, body_ ? body_->dispatch() : nullptr);
    if (name == L"documentElement") {
        Node* html = root_ ? root_->findElement(HasTag, L"html") : nullptr;
        if (!html) html = body_;
        return SetObjectResult(result, html ? html->dispatch() : nullptr);
    }
    if (name == L"title") {
        if (!title_.empty() || !root_) return SetTextResult(result, title_);
        Node* title = root_->findElement(HasTag, L"title");
        return SetTextResult(result, title ? title->innerHtml() : std::wstring());
    }
    if (name == L"URL") return SetTextResult(result, url_);
    if (name == L"location") return SetObjectResult(result, window_ ? window_->location() : nullptr);
    if (name == L"parentWindow" || name == L"defaultView")
        return SetObjectResult(result, window_ ? window_->dispatch() : nullptr);
    if (name == L"readyState") {
        switch (readyState_) {
        case READYSTATE_COMPLETE: return SetTextResult(result, L"complete");
        case READYSTATE_INTERACTIVE: return SetTextResult(result, L"interactive");
        case READYSTATE_UNINITIALIZED: return SetTextResult(result, L"uninitialized");
        default: return SetTextResult(result, L"loading");
        }
    }
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT Document::putMember(std::wstring_view name, const VARIANT& value)
{
    if (name == L"title") {
        title_ = VariantText(value);
        return S_OK;
    }
    if (name == L"location") {
        Window::NavigateFrom(this, VariantText(value));
        return S_OK;
    }
    return isMember(name) ? S_OK : DISP_E_MEMBERNOTFOUND;
}

HRESULT Document::callMember(std::wstring_view name, const Args& args, VARIANT* result)
{
    if (name == L"getElementById") {
        Node* found = root_ ? root_->findElement(HasId, ArgText(args, 0)) : nullptr;
        return SetObjectResult(result, found ? found->dispatch() : nullptr);
    }
    if (name == L"createElement") {
        const std::wstring tag = ArgText(args, 0);
        if (tag.empty()) return E_INVALIDARG;
        auto element = MakeObject<Node>(Node::Kind::Element, tag, this);
        return SetObjectResult(result, element->dispatch());
    }
    if (name == L"createTextNode") {
        auto text = MakeObject<Node>(Node::Kind::Text, ArgText(args, 0), this);
        return SetObjectResult(result, text->dispatch());
    }
    if (name == L"getElementsByTagName") {
        // Answered as a JScript array so that scripts can index it.
        std::vector<Node*> found;
        if (root_) {
            std::wstring tag = ArgText(args, 0);
            std::transform(tag.begin(), tag.end(), tag.begin(), [](wchar_t c) { return towlower(c); });
            root_->collectElements(tag, found);
        }
        Variant array;
        if (FAILED(evaluate(L"[]", &array)) || array.type() != VT_DISPATCH) return E_FAIL;
        IDispatch* list = V_DISPATCH(&array.get());
        for (size_t i = 0; i < found.size(); ++i) {
            Bstr index(std::to_wstring(i));
            DISPID id = DISPID_UNKNOWN;
            auto ex = ComRef<IDispatch>(list).query<IDispatchEx>();
            if (!ex || FAILED(ex->GetDispID(index.get(), fdexNameEnsure, &id))) return E_FAIL;
            VARIANT value;
            V_VT(&value) = VT_DISPATCH;
            V_DISPATCH(&value) = found[i]->dispatch();
            DISPID put = DISPID_PROPERTYPUT;
            DISPPARAMS params{&value, &put, 1, 1};
            ex->InvokeEx(id, LOCALE_SYSTEM_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
        }
        array.detachTo(result);
        return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
}

}  // namespace htmlengine
