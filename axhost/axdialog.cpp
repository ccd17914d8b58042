#include "axhost/axdialog.h"

#include <cstring>
#include <string>

namespace {

// Reads a resource block with bounds checks; any read past the end marks
// the reader failed and yields zeros.
class BlockReader {
public:
    BlockReader(const void* data, size_t size) : data_(static_cast<const uint8_t*>(data)), size_(size) {}

    bool Ok() const { return ok_; }
    size_t Offset() const { return offset_; }
    void AlignTo4() { offset_ = (offset_ + 3) & ~size_t{3}; }

    template <typename T>
    T Read()
    {
        T value{};
        if (!Has(sizeof(T)))
            return value;
        std::memcpy(&value, data_ + offset_, sizeof(T));
        offset_ += sizeof(T);
        return value;
    }
    void Skip(size_t count)
    {
        if (Has(count))
            offset_ += count;
    }
    const uint8_t* Here() const { return data_ + offset_; }

    // A NUL-terminated UTF-16 string.
    std::wstring ReadString()
    {
        std::wstring text;
        for (;;) {
            wchar_t c = static_cast<wchar_t>(Read<uint16_t>());
            if (!ok_ || c == 0)
                return text;
            text += c;
        }
    }
    // A string, an ordinal (0xFFFF and a WORD) or nothing (0).
    struct NameOrOrdinal {
        bool isOrdinal = false;
        uint16_t ordinal = 0;
        std::wstring name;
    };
    NameOrOrdinal ReadNameOrOrdinal()
    {
        NameOrOrdinal result;
        if (!Has(2))
            return result;
        uint16_t first;
        std::memcpy(&first, data_ + offset_, 2);
        if (first == 0xFFFF) {
            offset_ += 2;
            result.isOrdinal = true;
            result.ordinal = Read<uint16_t>();
        } else {
            result.name = ReadString();
        }
        return result;
    }

private:
    bool Has(size_t count)
    {
        if (!ok_ || offset_ > size_ || size_ - offset_ < count)
            ok_ = false;
        return ok_;
    }

    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
    bool ok_ = true;
};

class TemplateWriter {
public:
    void Bytes(const void* data, size_t count)
    {
        const uint8_t* p = static_cast<const uint8_t*>(data);
        out_.insert(out_.end(), p, p + count);
    }
    void Word(uint16_t value) { Bytes(&value, sizeof(value)); }
    void String(const std::wstring& text)
    {
        for (wchar_t c : text)
            Word(static_cast<uint16_t>(c));
        Word(0);
    }
    void NameOrOrdinal(const BlockReader::NameOrOrdinal& value)
    {
        if (value.isOrdinal) {
            Word(0xFFFF);
            Word(value.ordinal);
        } else {
            String(value.name);
        }
    }
    void AlignTo4()
    {
        while (out_.size() % 4)
            out_.push_back(0);
    }
    std::vector<uint8_t>& Result() { return out_; }

private:
    std::vector<uint8_t> out_;
};

// The records of one control out of a dialog-initialisation block.
std::vector<uint8_t> InitRecordsFor(uint32_t controlId, const void* initData, size_t initSize)
{
    std::vector<uint8_t> records;
    if (!initData)
        return records;
    BlockReader reader(initData, initSize);
    for (;;) {
        size_t start = reader.Offset();
        uint16_t id = reader.Read<uint16_t>();
        if (!reader.Ok() || id == 0)
            break;
        reader.Read<uint16_t>();  // message
        uint32_t length = reader.Read<uint32_t>();
        reader.Skip(length);
        if (!reader.Ok())
            break;
        if (id == controlId) {
            const uint8_t* base = static_cast<const uint8_t*>(initData);
            records.insert(records.end(), base + start, base + reader.Offset());
        }
    }
    return records;
}

}  // namespace

std::optional<std::vector<uint8_t>> SplitAxDialogTemplate(const void* dialogTemplate, size_t size,
                                                          const void* initData, size_t initSize)
{
    if (!dialogTemplate)
        return std::nullopt;
    BlockReader reader(dialogTemplate, size);
    if (reader.Read<uint16_t>() != 1 || reader.Read<uint16_t>() != 0xFFFF)
        return std::nullopt;
    reader.Read<uint32_t>();  // help id
    reader.Read<uint32_t>();  // extended style
    uint32_t style = reader.Read<uint32_t>();
    uint16_t itemCount = reader.Read<uint16_t>();
    reader.Skip(4 * sizeof(int16_t));
    reader.ReadNameOrOrdinal();  // menu
    reader.ReadNameOrOrdinal();  // class
    reader.ReadString();         // title
    if (style & (DS_SETFONT | DS_SHELLFONT)) {
        reader.Skip(2 * sizeof(uint16_t) + 2);
        reader.ReadString();
    }
    if (!reader.Ok())
        return std::nullopt;

    TemplateWriter writer;
    writer.Bytes(dialogTemplate, reader.Offset());
    for (uint16_t i = 0; i < itemCount; ++i) {
        reader.AlignTo4();
        writer.AlignTo4();
        const uint8_t* fixed = reader.Here();
        reader.Skip(3 * sizeof(uint32_t) + 4 * sizeof(int16_t));  // help id, styles, position
        uint32_t id = reader.Read<uint32_t>();
        BlockReader::NameOrOrdinal itemClass = reader.ReadNameOrOrdinal();
        BlockReader::NameOrOrdinal title = reader.ReadNameOrOrdinal();
        uint16_t extraCount = reader.Read<uint16_t>();
        const uint8_t* extra = reader.Here();
        reader.Skip(extraCount);
        if (!reader.Ok())
            return std::nullopt;

        writer.Bytes(fixed, 4 * sizeof(uint32_t) + 4 * sizeof(int16_t));
        if (!itemClass.isOrdinal && !itemClass.name.empty() && itemClass.name[0] == L'{') {
            writer.String(kAxHostWindowClass);
            writer.String(itemClass.name);
            std::vector<uint8_t> records = InitRecordsFor(id, initData, initSize);
            if (records.size() > 0xFFFF)
                return std::nullopt;
            writer.Word(static_cast<uint16_t>(records.size()));
            writer.Bytes(records.data(), records.size());
        } else {
            writer.NameOrOrdinal(itemClass);
            writer.NameOrOrdinal(title);
            writer.Word(extraCount);
            writer.Bytes(extra, extraCount);
        }
    }
    return std::move(writer.Result());
}

INT_PTR AxDialogBox(HINSTANCE instance, const wchar_t* templateName, HWND owner, DLGPROC dialogProc,
                    LPARAM initParam)
{
    // The host window classes must exist before the dialog makes its items.
    AxWinInit();
    HRSRC found = FindResourceW(instance, templateName, MAKEINTRESOURCEW(5) /* RT_DIALOG */);
    HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
    const void* dialogTemplate = loaded ? LockResource(loaded) : nullptr;
    if (!dialogTemplate)
        return -1;
    const void* initData = nullptr;
    size_t initSize = 0;
    if (HRSRC init = FindResourceW(instance, templateName, MAKEINTRESOURCEW(kDialogInitResourceType))) {
        if (HGLOBAL initLoaded = LoadResource(instance, init)) {
            initData = LockResource(initLoaded);
            initSize = initData ? SizeofResource(instance, init) : 0;
        }
    }
    std::optional<std::vector<uint8_t>> split =
        SplitAxDialogTemplate(dialogTemplate, SizeofResource(instance, found), initData, initSize);
    if (!split)
        return -1;
    return DialogBoxIndirectParamW(instance, reinterpret_cast<LPCDLGTEMPLATEW>(split->data()), owner,
                                   dialogProc, initParam);
}
