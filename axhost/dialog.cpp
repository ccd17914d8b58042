#include "axhost/dialog.h"

#include "axhost/axhost.h"

#include <cstring>
#include <cwchar>
#include <vector>

namespace {

constexpr WORD kExtendedSignature = 0xFFFF;

// Reads a template walking forward over its WORDs; every read is checked
// against the end, so a damaged template is refused, not overrun.
class TemplateReader {
public:
    TemplateReader(const BYTE* data, size_t size) : data_(data), size_(size) {}

    bool Ok() const { return ok_; }
    size_t Offset() const { return offset_; }

    bool Take(void* out, size_t bytes)
    {
        if (!ok_ || bytes > size_ - offset_) {
            ok_ = false;
            return false;
        }
        memcpy(out, data_ + offset_, bytes);
        offset_ += bytes;
        return true;
    }
    WORD Word()
    {
        WORD value = 0;
        Take(&value, sizeof(value));
        return value;
    }
    // A name or ordinal: 0 (none), 0xFFFF with an ordinal, or a string.
    // Returns the raw WORDs including the terminator.
    std::vector<WORD> NameOrOrdinal()
    {
        std::vector<WORD> words;
        WORD first = Word();
        words.push_back(first);
        if (!ok_ || first == 0)
            return words;
        if (first == 0xFFFF) {
            words.push_back(Word());
            return words;
        }
        for (WORD next = Word(); ok_; next = Word()) {
            words.push_back(next);
            if (next == 0)
                break;
        }
        return words;
    }
    void AlignToDword()
    {
        const size_t aligned = (offset_ + 3) & ~static_cast<size_t>(3);
        if (aligned > size_)
            offset_ = size_;
        else
            offset_ = aligned;
    }

private:
    const BYTE* data_;
    size_t size_;
    size_t offset_ = 0;
    bool ok_ = true;
};

class TemplateWriter {
public:
    void Put(const void* data, size_t bytes)
    {
        const BYTE* from = static_cast<const BYTE*>(data);
        bytes_.insert(bytes_.end(), from, from + bytes);
    }
    void Words(const std::vector<WORD>& words) { Put(words.data(), words.size() * sizeof(WORD)); }
    void Text(const wchar_t* text) { Put(text, (wcslen(text) + 1) * sizeof(wchar_t)); }
    void AlignToDword()
    {
        while (bytes_.size() % 4)
            bytes_.push_back(0);
    }
    const std::vector<BYTE>& Bytes() const { return bytes_; }

private:
    std::vector<BYTE> bytes_;
};

bool IsClassIdName(const std::vector<WORD>& name)
{
    return name.size() > 2 && name[0] == L'{';
}

// The extended template with each class-id item made a host window whose
// text is that class id; false when the template is not an extended one
// or is damaged.
bool RewriteTemplate(const BYTE* data, size_t size, std::vector<BYTE>& rewritten)
{
    TemplateReader in(data, size);
    TemplateWriter out;
#pragma pack(push, 2)
    struct Header {
        WORD version;
        WORD signature;
        DWORD helpId;
        DWORD exStyle;
        DWORD style;
        WORD items;
        short x, y, cx, cy;
    } header = {};
#pragma pack(pop)
    static_assert(sizeof(header) == 26, "the template's header is packed");
    if (!in.Take(&header, sizeof(header)) || header.signature != kExtendedSignature)
        return false;
    out.Put(&header, sizeof(header));
    out.Words(in.NameOrOrdinal());  // menu
    out.Words(in.NameOrOrdinal());  // class
    out.Words(in.NameOrOrdinal());  // title
    if (header.style & (DS_SETFONT | DS_SHELLFONT)) {
        struct Font {
            WORD points;
            WORD weight;
            BYTE italic;
            BYTE charset;
        } font = {};
        in.Take(&font, sizeof(font));
        out.Put(&font, sizeof(font));
        out.Words(in.NameOrOrdinal());  // typeface
    }
    for (WORD i = 0; i < header.items && in.Ok(); ++i) {
        in.AlignToDword();
        out.AlignToDword();
        struct Item {
            DWORD helpId;
            DWORD exStyle;
            DWORD style;
            short x, y, cx, cy;
            DWORD id;
        } item = {};
        in.Take(&item, sizeof(item));
        std::vector<WORD> itemClass = in.NameOrOrdinal();
        std::vector<WORD> itemTitle = in.NameOrOrdinal();
        WORD extra = in.Word();
        std::vector<BYTE> extraBytes(extra);
        if (extra)
            in.Take(extraBytes.data(), extra);
        out.Put(&item, sizeof(item));
        if (IsClassIdName(itemClass)) {
            // The host creates the control its text names; the item's
            // creation data is not a host's.
            out.Text(kAxHostWindowClass);
            out.Words(itemClass);
            const WORD none = 0;
            out.Put(&none, sizeof(none));
        } else {
            out.Words(itemClass);
            out.Words(itemTitle);
            out.Put(&extra, sizeof(extra));
            if (extra)
                out.Put(extraBytes.data(), extra);
        }
    }
    if (!in.Ok())
        return false;
    rewritten = out.Bytes();
    return true;
}

}  // namespace

INT_PTR AxDialogBox(HINSTANCE instance, const wchar_t* templateName, HWND owner, DLGPROC dialogProc, LPARAM param)
{
    AxWinInit();
    HRSRC resource = FindResourceW(instance, templateName, MAKEINTRESOURCEW(5));  // RT_DIALOG
    if (!resource)
        return -1;
    HGLOBAL loaded = LoadResource(instance, resource);
    const auto* data = static_cast<const BYTE*>(loaded ? LockResource(loaded) : nullptr);
    const DWORD size = SizeofResource(instance, resource);
    if (!data || size == 0)
        return -1;
    std::vector<BYTE> rewritten;
    if (!RewriteTemplate(data, size, rewritten))
        return DialogBoxIndirectParamW(instance, reinterpret_cast<LPCDLGTEMPLATEW>(data), owner, dialogProc,
                                       param);
    // The dialog manager wants the template DWORD-aligned.
    std::vector<DWORD> aligned((rewritten.size() + 3) / 4);
    memcpy(aligned.data(), rewritten.data(), rewritten.size());
    return DialogBoxIndirectParamW(instance, reinterpret_cast<LPCDLGTEMPLATEW>(aligned.data()), owner,
                                   dialogProc, param);
}
