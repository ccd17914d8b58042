#pragma once

// A recording stand-in for the page: every call of the three hook slots is
// written down as one line of text, in order.

#include "catalog/catalog.h"
#include "testdb.h"

#include <string>
#include <vector>

namespace testing_catalog {

inline std::vector<std::string>& HookCalls()
{
    static std::vector<std::string> calls;
    return calls;
}

inline std::string Show(const wchar_t* text)
{
    return text ? Utf8(text) : "<null>";
}

inline void RecordOptionRow(const wchar_t* var, const wchar_t* val)
{
    HookCalls().push_back("opt " + Show(var) + "=" + Show(val));
}

inline void RecordGameRow(uint32_t id, int32_t afl, const wchar_t* name, const wchar_t* desc,
                          const char* statusWords, int32_t release, int32_t rating, int32_t inst,
                          int32_t runs, const wchar_t* custom, const wchar_t* itunesId,
                          const wchar_t* itunesIdFree, const wchar_t* itunesIdIpad,
                          const wchar_t* itunesIdIpadFree, int32_t track, const wchar_t* utm)
{
    HookCalls().push_back("game " + std::to_string(id) + " afl=" + std::to_string(afl) + " name=" +
                          Show(name) + " desc=" + Show(desc) + " words=[" +
                          (statusWords ? statusWords : "<null>") + "] release=" +
                          std::to_string(release) + " rating=" + std::to_string(rating) + " inst=" +
                          std::to_string(inst) + " runs=" + std::to_string(runs) + " custom=" +
                          Show(custom) + " itunes=" + Show(itunesId) + "," + Show(itunesIdFree) + "," +
                          Show(itunesIdIpad) + "," + Show(itunesIdIpadFree) + " track=" +
                          std::to_string(track) + " utm=" + Show(utm));
}

inline void RecordGamePicture(uint32_t id, const void* data, uint32_t size)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (uint32_t i = 0; i < size; ++i) {
        unsigned char byte = static_cast<const unsigned char*>(data)[i];
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
    }
    HookCalls().push_back("pic " + std::to_string(id) + " " + hex);
}

// Installs the recorders (opening the catalog) and forgets earlier calls.
inline bool RecordHooks()
{
    HookCalls().clear();
    return InstallCatalogHooks(RecordOptionRow, RecordGameRow, RecordGamePicture);
}

// The recorded calls that start with prefix.
inline std::vector<std::string> CallsStartingWith(const std::string& prefix)
{
    std::vector<std::string> found;
    for (const std::string& call : HookCalls()) {
        if (call.rfind(prefix, 0) == 0)
            found.push_back(call);
    }
    return found;
}

}  // namespace testing_catalog
