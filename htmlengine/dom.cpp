#include "dom.h"

#include "document.h"

#include <algorithm>
#include <array>
#include <cwctype>

namespace htmlengine {
namespace {

// Private interface id: answers with the Node itself.
const GUID kNodeIid = {0x5a454c00, 0x6e6f, 0x4465, {0x8a, 0x21, 0x3c, 0x41, 0x97, 0x55, 0x02, 0x11}};

std::wstring Lower(std::wstring_view s)
{
    std::wstring out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](wchar_t c) { return towlower(c); });
    return out;
}

std::wstring Upper(std::wstring_view s)
{
    std::wstring out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](wchar_t c) { return towupper(c); });
    return out;
}

// Script property names that stand for an attribute of the element.
std::wstring_view AttributeOfProperty(std::wstring_view property)
{
    static constexpr std::array<std::wstring_view, 10> kSame = {
        L"id", L"src", L"href", L"value", L"type", L"name", L"title", L"alt", L"width", L"height"};
    if (property == L"className") return L"class";
    for (auto name : kSame) {
        if (name == property) return name;
    }
    return {};
}

bool IsHandlerName(std::wstring_view name)
{
    return name.size() > 2 && name.starts_with(L"on");
}

void AppendEscaped(std::wstring& out, std::wstring_view text, bool attribute)
{
    for (wchar_t c : text) {
        switch (c) {
        case L'&': out += L"&amp;"; break;
        case L'<': out += attribute ? L"<" : L"&lt;"; break;
        case L'>': out += attribute ? L">" : L"&gt;"; break;
        case L'"': out += attribute ? L"&quot;" : L"\""; break;
        default: out += c; break;
        }
    }
}

bool IsRawTextElement(std::wstring_view tag)
{
    return tag == L"script" || tag == L"style" || tag == L"textarea" || tag == L"title";
}

// --- markup parsing ----------------------------------------------------------

std::wstring DecodeEntities(std::wstring_view s)
{
    std::wstring out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != L'&') {
            out += s[i];
            continue;
        }
        const size_t semi = s.find(L';', i);
        if (semi == std::wstring_view::npos || semi - i > 10) {
            out += s[i];
            continue;
        }
        const std::wstring_view name = s.substr(i + 1, semi - i - 1);
        unsigned long code = 0;
        if (name == L"amp") code = L'&';
        else if (name == L"lt") code = L'<';
        else if (name == L"gt") code = L'>';
        else if (name == L"quot") code = L'"';
        else if (name == L"apos") code = L'\'';
        else if (name == L"nbsp") code = 0xA0;
        else if (name.size() > 1 && name[0] == L'#') {
            const std::wstring digits(name.substr(name[1] == L'x' || name[1] == L'X' ? 2 : 1));
            const int base = digits.size() + 1 < name.size() ? 16 : 10;
            wchar_t* end = nullptr;
            code = wcstoul(digits.c_str(), &end, base);
            if (digits.empty() || *end) code = 0;
        }
        if (code == 0 || code > 0x10FFFF) {
            out += s[i];
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (code >> 10));
            out += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<wchar_t>(code);
        }
        i = semi;
    }
    return out;
}

class MarkupParser {
public:
    MarkupParser(std::wstring_view markup, Node& root, Document* owner)
        : s_(markup), owner_(owner)
    {
        open_.push_back(&root);
    }

    void run()
    {
        while (pos_ < s_.size()) {
            const size_t lt = s_.find(L'<', pos_);
            if (lt == std::wstring_view::npos) {
                addText(s_.substr(pos_));
                break;
            }
            if (lt > pos_) addText(s_.substr(pos_, lt - pos_));
            pos_ = lt;
            if (s_.compare(pos_, 4, L"<!--") == 0) {
                const size_t end = s_.find(L"-->", pos_ + 4);
                pos_ = end == std::wstring_view::npos ? s_.size() : end + 3;
            } else if (s_.compare(pos_, 2, L"</") == 0) {
                endTag();
            } else if (pos_ + 1 < s_.size() && (s_[pos_ + 1] == L'!' || s_[pos_ + 1] == L'?')) {
                const size_t end = s_.find(L'>', pos_);
                pos_ = end == std::wstring_view::npos ? s_.size() : end + 1;
            } else if (pos_ + 1 < s_.size() && iswalpha(s_[pos_ + 1])) {
                startTag();
            } else {
                addText(s_.substr(pos_, 1));
                ++pos_;
            }
        }
    }

private:
    void addText(std::wstring_view raw)
    {
        if (raw.empty()) return;
        open_.back()->appendChild(MakeObject<Node>(Node::Kind::Text, DecodeEntities(raw), owner_));
    }

    std::wstring readName()
    {
        const size_t start = pos_;
        while (pos_ < s_.size() && !iswspace(s_[pos_]) && s_[pos_] != L'>' && s_[pos_] != L'/' &&
               s_[pos_] != L'=')
            ++pos_;
        return Lower(s_.substr(start, pos_ - start));
    }

    void skipSpace()
    {
        while (pos_ < s_.size() && iswspace(s_[pos_])) ++pos_;
    }

    void endTag()
    {
        pos_ += 2;
        const std::wstring name = readName();
        const size_t end = s_.find(L'>', pos_);
        pos_ = end == std::wstring_view::npos ? s_.size() : end + 1;
        // Closes the innermost open element of that name and everything
        // opened inside it; a stray end tag is ignored.
        for (size_t i = open_.size(); i-- > 1;) {
            if (open_[i]->tag() == name) {
                open_.resize(i);
                return;
            }
        }
    }

    void startTag()
    {
        ++pos_;
        auto element = MakeObject<Node>(Node::Kind::Element, readName(), owner_);
        bool selfClosing = false;
        for (;;) {
            skipSpace();
            if (pos_ >= s_.size()) break;
            if (s_[pos_] == L'>') {
                ++pos_;
                break;
            }
            if (s_[pos_] == L'/') {
                selfClosing = true;
                ++pos_;
                continue;
            }
            const std::wstring name = readName();
            if (name.empty()) {
                ++pos_;
                continue;
            }
            skipSpace();
            std::wstring value;
            if (pos_ < s_.size() && s_[pos_] == L'=') {
                ++pos_;
                skipSpace();
                if (pos_ < s_.size() && (s_[pos_] == L'"' || s_[pos_] == L'\'')) {
                    const wchar_t quote = s_[pos_++];
                    const size_t end = s_.find(quote, pos_);
                    const size_t stop = end == std::wstring_view::npos ? s_.size() : end;
                    value = DecodeEntities(s_.substr(pos_, stop - pos_));
                    pos_ = std::min(stop + 1, s_.size());
                } else {
                    const size_t start = pos_;
                    while (pos_ < s_.size() && !iswspace(s_[pos_]) && s_[pos_] != L'>') ++pos_;
                    value = DecodeEntities(s_.substr(start, pos_ - start));
                }
            }
            if (!element->hasAttribute(name)) element->setAttribute(name, value);
        }
        Node* node = element.get();
        open_.back()->appendChild(std::move(element));
        if (selfClosing || IsVoidElement(node->tag())) return;
        if (IsRawTextElement(node->tag())) {
            const std::wstring close = L"</" + node->tag();
            size_t end = pos_;
            for (;;) {
                end = s_.find(L"</", end);
                if (end == std::wstring_view::npos) break;
                if (Lower(s_.substr(end, close.size())) == close) break;
                end += 2;
            }
            const size_t stop = end == std::wstring_view::npos ? s_.size() : end;
            if (stop > pos_) {
                std::wstring_view raw = s_.substr(pos_, stop - pos_);
                node->appendChild(MakeObject<Node>(
                    Node::Kind::Text, node->tag() == L"script" || node->tag() == L"style"
                                          ? std::wstring(raw)
                                          : DecodeEntities(raw),
                    owner_));
            }
            pos_ = stop;
            if (end != std::wstring_view::npos) {
                const size_t gt = s_.find(L'>', end);
                pos_ = gt == std::wstring_view::npos ? s_.size() : gt + 1;
            }
            return;
        }
        open_.push_back(node);
    }

    std::wstring_view s_;
    size_t pos_ = 0;
    Document* owner_;
    std::vector<Node*> open_;
};

}  // namespace

bool IsVoidElement(std::wstring_view tag)
{
    static constexpr std::array<std::wstring_view, 14> kVoid = {
        L"area", L"base", L"br", L"col", L"embed", L"hr", L"img",
        L"input", L"link", L"meta", L"param", L"source", L"track", L"wbr"};
    return std::find(kVoid.begin(), kVoid.end(), tag) != kVoid.end();
}

void ParseMarkup(std::wstring_view markup, Node& parent, Document* owner)
{
    MarkupParser(markup, parent, owner).run();
}

Node::Node(Kind kind, std::wstring nameOrText, Document* owner) : kind_(kind), owner_(owner)
{
    if (kind_ == Kind::Element) tag_ = Lower(nameOrText);
    else text_ = std::move(nameOrText);
}

STDMETHODIMP Node::QueryInterface(REFIID iid, void** out)
{
    if (out && iid == kNodeIid) {
        *out = this;
        AddRef();
        return S_OK;
    }
    return ScriptObject::QueryInterface(iid, out);
}

ComRef<Node> Node::From(IUnknown* object)
{
    ComRef<Node> node;
    if (object) object->QueryInterface(kNodeIid, node.putVoid());
    return node;
}

std::wstring Node::attribute(std::wstring_view name) const
{
    for (const auto& [key, value] : attributes_) {
        if (key == name) return value;
    }
    return {};
}

bool Node::hasAttribute(std::wstring_view name) const
{
    return std::any_of(attributes_.begin(), attributes_.end(),
                       [&](const auto& a) { return a.first == name; });
}

void Node::setAttribute(std::wstring_view name, std::wstring_view value)
{
    const std::wstring key = Lower(name);
    for (auto& [k, v] : attributes_) {
        if (k == key) {
            v = value;
            return;
        }
    }
    attributes_.emplace_back(key, value);
}

void Node::serialize(std::wstring& out) const
{
    if (kind_ == Kind::Text) {
        const bool raw = parent_ && (parent_->tag_ == L"script" || parent_->tag_ == L"style");
        if (raw) out += text_;
        else AppendEscaped(out, text_, false);
        return;
    }
    out += L'<';
    out += tag_;
    for (const auto& [name, value] : attributes_) {
        out += L' ';
        out += name;
        out += L"=\"";
        AppendEscaped(out, value, true);
        out += L'"';
    }
    out += L'>';
    if (IsVoidElement(tag_)) return;
    for (const auto& child : children_) child->serialize(out);
    out += L"</";
    out += tag_;
    out += L'>';
}

std::wstring Node::innerHtml() const
{
    std::wstring out;
    for (const auto& child : children_) child->serialize(out);
    return out;
}

std::wstring Node::innerText() const
{
    if (kind_ == Kind::Text) return text_;
    if (tag_ == L"script" || tag_ == L"style") return {};
    std::wstring out;
    for (const auto& child : children_) out += child->innerText();
    return out;
}

void Node::setInnerHtml(std::wstring_view markup)
{
    auto old = std::move(children_);
    children_.clear();
    for (auto& child : old) child->parent_ = nullptr;
    ParseMarkup(markup, *this, owner_);
}

void Node::setInnerText(std::wstring_view text)
{
    if (kind_ == Kind::Text) {
        text_ = text;
        return;
    }
    auto old = std::move(children_);
    children_.clear();
    for (auto& child : old) child->parent_ = nullptr;
    if (!text.empty()) appendChild(MakeObject<Node>(Kind::Text, std::wstring(text), owner_));
}

bool Node::isAncestorOf(const Node* node) const
{
    for (; node; node = node->parent_) {
        if (node == this) return true;
    }
    return false;
}

void Node::appendChild(ComRef<Node> child)
{
    if (!child || child->isAncestorOf(this)) return;
    if (child->parent_) child->parent_->removeChild(child.get());
    child->parent_ = this;
    children_.push_back(std::move(child));
}

void Node::removeChild(Node* child)
{
    auto it = std::find_if(children_.begin(), children_.end(),
                           [&](const ComRef<Node>& c) { return c.get() == child; });
    if (it == children_.end()) return;
    ComRef<Node> keep = *it;
    children_.erase(it);
    keep->parent_ = nullptr;
}

Node* Node::findElement(bool (*match)(const Node&, std::wstring_view), std::wstring_view arg)
{
    if (kind_ == Kind::Element && match(*this, arg)) return this;
    for (const auto& child : children_) {
        if (Node* found = child->findElement(match, arg)) return found;
    }
    return nullptr;
}

void Node::collectElements(std::wstring_view tag, std::vector<Node*>& out)
{
    if (kind_ == Kind::Element && tag_ == tag) out.push_back(this);
    for (const auto& child : children_) child->collectElements(tag, out);
}

void Node::dispose()
{
    clearExpandos();
    if (style_) style_->clearExpandos();
    style_.reset();
    auto children = std::move(children_);
    children_.clear();
    for (auto& child : children) {
        child->parent_ = nullptr;
        child->dispose();
    }
    owner_ = nullptr;
}

bool Node::isMember(std::wstring_view name) const
{
    static constexpr std::array<std::wstring_view, 22> kMembers = {
        L"innerHTML", L"innerText", L"textContent", L"tagName", L"nodeName", L"nodeType",
        L"style", L"parentNode", L"firstChild", L"lastChild", L"data", L"nodeValue",
        L"ownerDocument", L"appendChild", L"removeChild", L"insertBefore", L"getAttribute",
        L"setAttribute", L"removeAttribute", L"hasChildNodes", L"click", L"outerHTML"};
    return !AttributeOfProperty(name).empty() ||
           std::find(kMembers.begin(), kMembers.end(), name) != kMembers.end();
}

HRESULT Node::handler(std::wstring_view name, VARIANT* result)
{
    if (const VARIANT* stored = expando(name)) return CopyValue(result, *stored);
    const std::wstring code = attribute(Lower(name));
    if (code.empty() || !owner_) return S_OK;
    // An inline handler attribute becomes a function when first read.
    Variant function;
    if (SUCCEEDED(owner_->compileHandler(code, &function)) && function.type() == VT_DISPATCH) {
        setExpando(name, function.get());
        return VariantCopy(result, &function.get());
    }
    return S_OK;
}

HRESULT Node::getMember(std::wstring_view name, VARIANT* result)
{
    const bool element = kind_ == Kind::Element;
    if (element) {
        if (const auto attr = AttributeOfProperty(name); !attr.empty())
            return SetTextResult(result, attribute(attr));
        if (IsHandlerName(name)) return handler(name, result);
    }
    if (name == L"innerHTML") return SetTextResult(result, element ? innerHtml() : text_);
    if (name == L"outerHTML") {
        std::wstring out;
        serialize(out);
        return SetTextResult(result, out);
    }
    if (name == L"innerText" || name == L"textContent") return SetTextResult(result, innerText());
    if (name == L"data" || name == L"nodeValue") {
        if (element) {
            V_VT(result) = VT_NULL;
            return S_OK;
        }
        return SetTextResult(result, text_);
    }
    if (name == L"tagName" || name == L"nodeName")
        return SetTextResult(result, element ? Upper(tag_) : L"#text");
    if (name == L"nodeType") {
        V_VT(result) = VT_I4;
        V_I4(result) = element ? 1 : 3;
        return S_OK;
    }
    if (name == L"style") {
        if (!element) return S_OK;
        if (!style_) style_ = MakeObject<PropertyBag>();
        return SetObjectResult(result, style_->dispatch());
    }
    if (name == L"parentNode") return SetObjectResult(result, parent_ ? parent_->dispatch() : nullptr);
    if (name == L"firstChild")
        return SetObjectResult(result, children_.empty() ? nullptr : children_.front()->dispatch());
    if (name == L"lastChild")
        return SetObjectResult(result, children_.empty() ? nullptr : children_.back()->dispatch());
    if (name == L"ownerDocument")
        return SetObjectResult(result, owner_ ? owner_->dispatch() : nullptr);
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT Node::putMember(std::wstring_view name, const VARIANT& value)
{
    const bool element = kind_ == Kind::Element;
    if (element) {
        if (const auto attr = AttributeOfProperty(name); !attr.empty()) {
            setAttribute(attr, VariantText(value));
            return S_OK;
        }
    }
    if (name == L"innerHTML") {
        if (element) setInnerHtml(VariantText(value));
        else text_ = VariantText(value);
        return S_OK;
    }
    if (name == L"innerText" || name == L"textContent" || name == L"data" || name == L"nodeValue") {
        setInnerText(VariantText(value));
        return S_OK;
    }
    if (name == L"style") return S_OK;  // the style object itself stays
    if (isMember(name)) return S_OK;    // read-only members ignore writes
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT Node::callMember(std::wstring_view name, const Args& args, VARIANT* result)
{
    if (name == L"appendChild" || name == L"insertBefore") {
        ComRef<Node> child = Node::From(ArgObject(args, 0));
        if (!child || kind_ != Kind::Element || child->isAncestorOf(this)) return E_INVALIDARG;
        ComRef<Node> before = name == L"insertBefore" ? Node::From(ArgObject(args, 1)) : ComRef<Node>();
        if (before && before->parent_ == this && before.get() != child.get()) {
            if (child->parent_) child->parent_->removeChild(child.get());
            auto at = std::find_if(children_.begin(), children_.end(),
                                   [&](const ComRef<Node>& c) { return c.get() == before.get(); });
            child->parent_ = this;
            children_.insert(at, child);
        } else {
            appendChild(child);
        }
        return SetObjectResult(result, child->dispatch());
    }
    if (name == L"removeChild") {
        ComRef<Node> child = Node::From(ArgObject(args, 0));
        if (!child || child->parent_ != this) return E_INVALIDARG;
        removeChild(child.get());
        return SetObjectResult(result, child->dispatch());
    }
    if (name == L"getAttribute") {
        const std::wstring attr = Lower(ArgText(args, 0));
        if (!hasAttribute(attr)) {
            V_VT(result) = VT_NULL;
            return S_OK;
        }
        return SetTextResult(result, attribute(attr));
    }
    if (name == L"setAttribute") {
        if (kind_ == Kind::Element) setAttribute(ArgText(args, 0), ArgText(args, 1));
        return S_OK;
    }
    if (name == L"removeAttribute") {
        const std::wstring attr = Lower(ArgText(args, 0));
        std::erase_if(attributes_, [&](const auto& a) { return a.first == attr; });
        return S_OK;
    }
    if (name == L"hasChildNodes") {
        V_VT(result) = VT_BOOL;
        V_BOOL(result) = children_.empty() ? VARIANT_FALSE : VARIANT_TRUE;
        return S_OK;
    }
    if (name == L"click") {
        Variant onclick;
        handler(L"onclick", &onclick);
        if (onclick.type() == VT_DISPATCH && V_DISPATCH(&onclick.get()))
            return CallFunction(V_DISPATCH(&onclick.get()), nullptr, dispatch());
        return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
}

}  // namespace htmlengine
