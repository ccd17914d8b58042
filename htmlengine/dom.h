// The page's document tree: elements and text, as the markup gave them and
// as scripts changed them. Nothing is laid out; the tree only records.
#pragma once

#include "script_object.h"

namespace htmlengine {

class Document;

// A script object with no built-in members: only what scripts store in it
// (an element's style).
class PropertyBag : public ScriptObject {
public:
    PropertyBag() = default;
    using ScriptObject::clearExpandos;
};

class Node : public ScriptObject {
public:
    enum class Kind { Element, Text };

    Node(Kind kind, std::wstring nameOrText, Document* owner);

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;

    // The Node behind a script value, or null when it is not one of ours.
    static ComRef<Node> From(IUnknown* object);

    Kind kind() const { return kind_; }
    const std::wstring& tag() const { return tag_; }  // lower case
    const std::vector<ComRef<Node>>& children() const { return children_; }
    Node* parent() const { return parent_; }

    std::wstring attribute(std::wstring_view name) const;
    bool hasAttribute(std::wstring_view name) const;
    void setAttribute(std::wstring_view name, std::wstring_view value);

    // The markup of the children, and the text of all text below.
    std::wstring innerHtml() const;
    std::wstring innerText() const;
    void setInnerHtml(std::wstring_view markup);
    void setInnerText(std::wstring_view text);

    void appendChild(ComRef<Node> child);
    void removeChild(Node* child);
    // The first element below (this one included) that matches.
    Node* findElement(bool (*match)(const Node&, std::wstring_view), std::wstring_view arg);
    // Every element below in document order.
    void collectElements(std::wstring_view tag, std::vector<Node*>& out);

    // Drops the whole subtree's script values and links (page unload).
    void dispose();

protected:
    bool isMember(std::wstring_view name) const override;
    HRESULT getMember(std::wstring_view name, VARIANT* result) override;
    HRESULT putMember(std::wstring_view name, const VARIANT& value) override;
    HRESULT callMember(std::wstring_view name, const Args& args, VARIANT* result) override;

private:
    bool isAncestorOf(const Node* node) const;
    void serialize(std::wstring& out) const;
    HRESULT handler(std::wstring_view name, VARIANT* result);

    Kind kind_;
    std::wstring tag_;   // elements
    std::wstring text_;  // text nodes
    std::vector<std::pair<std::wstring, std::wstring>> attributes_;
    std::vector<ComRef<Node>> children_;
    Node* parent_ = nullptr;
    Document* owner_;
    ComRef<PropertyBag> style_;
};

// Builds the nodes of `markup` as children of `parent`.
void ParseMarkup(std::wstring_view markup, Node& parent, Document* owner);

bool IsVoidElement(std::wstring_view tag);

}  // namespace htmlengine
