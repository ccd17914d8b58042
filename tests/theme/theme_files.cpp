#include "theme_files.h"

#include "script_host.h"

#include <algorithm>
#include <cctype>
#include <regex>

#ifndef ZEL_THEME_DIR_FROM_TEST
#error "ZEL_THEME_DIR_FROM_TEST: the theme folder relative to the test executable"
#endif
#ifndef ZEL_PROGRAM_DIR_FROM_TEST
#error "ZEL_PROGRAM_DIR_FROM_TEST: the program's folder relative to the test executable"
#endif

namespace {

std::wstring ExecutableDirectory()
{
    wchar_t path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, n);
    size_t slash = dir.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : dir.substr(0, slash);
}

std::wstring Join(const std::wstring& dir, const std::wstring& relative, const std::wstring& name)
{
    std::wstring path = dir + L"\\" + relative + L"\\" + name;
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool IsRelative(const std::string& address)
{
    static const std::regex absolute("^([a-zA-Z][a-zA-Z0-9+.-]*:|/|#)");
    return !address.empty() && !std::regex_search(address, absolute);
}

}  // namespace

const std::vector<ThemeBuild>& AllThemes()
{
    static const std::vector<ThemeBuild> themes = {
        {L"default", true, true, true, false},
        {L"testing", true, true, true, true},
        {L"testing-noprobe", false, true, true, true},
        {L"testing-nosmall", true, false, true, true},
        {L"testing-notitle", true, true, false, true},
    };
    return themes;
}

void PrintTo(const ThemeBuild& theme, std::ostream* out)
{
    *out << zeltest::Utf8(theme.name);
}

std::wstring ThemeFilePath(const std::wstring& fileName)
{
    return Join(ExecutableDirectory(), L"" ZEL_THEME_DIR_FROM_TEST, fileName);
}

std::wstring ProgramFilePath(const std::wstring& fileName)
{
    return Join(ExecutableDirectory(), L"" ZEL_PROGRAM_DIR_FROM_TEST, fileName);
}

ResourceModule::ResourceModule(const std::wstring& path)
    : module_(LoadLibraryExW(path.c_str(), nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE))
{
}

ResourceModule::~ResourceModule()
{
    if (module_)
        FreeLibrary(module_);
}

std::optional<std::string> HtmlResource(HMODULE module, const std::wstring& name)
{
    HRSRC found = FindResourceW(module, name.c_str(), L"HTML");
    if (!found)
        return std::nullopt;
    HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes)
        return std::nullopt;
    return std::string(static_cast<const char*>(bytes), SizeofResource(module, found));
}

std::vector<std::wstring> PageScripts(const std::string& html, std::vector<std::wstring>* inlineCode)
{
    static const std::regex srcAttribute("\\bsrc\\s*=\\s*[\"']([^\"']*)[\"']", std::regex::icase);
    std::vector<std::wstring> scripts;
    const std::string lower = Lower(html);
    size_t at = 0;
    while ((at = lower.find("<script", at)) != std::string::npos) {
        size_t tagEnd = lower.find('>', at);
        if (tagEnd == std::string::npos)
            break;
        size_t close = lower.find("</script", tagEnd);
        if (close == std::string::npos)
            close = lower.size();
        std::string tag = html.substr(at, tagEnd - at);
        std::smatch match;
        if (std::regex_search(tag, match, srcAttribute)) {
            scripts.push_back(zeltest::Wide(match[1].str()));
        } else {
            std::string code = html.substr(tagEnd + 1, close - tagEnd - 1);
            if (code.find_first_not_of(" \t\r\n") != std::string::npos) {
                scripts.push_back(L"<inline " + std::to_wstring(scripts.size()) + L">");
                if (inlineCode)
                    inlineCode->push_back(zeltest::Wide(code));
            }
        }
        at = close;
    }
    return scripts;
}

std::vector<std::wstring> RelativeReferences(const std::string& text)
{
    static const std::regex reference(
        "\\b(?:src|href)\\s*=\\s*[\"']([^\"']*)[\"']|\\burl\\(\\s*[\"']?([^\"')]*)[\"']?\\s*\\)",
        std::regex::icase);
    std::vector<std::wstring> found;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), reference);
         it != std::sregex_iterator(); ++it) {
        std::string address = (*it)[1].matched ? (*it)[1].str() : (*it)[2].str();
        if (IsRelative(address))
            found.push_back(zeltest::Wide(address));
    }
    return found;
}

bool LoadPage(ScriptHost& host, HMODULE module, const std::wstring& page)
{
    std::optional<std::string> html = HtmlResource(module, page);
    if (!html)
        return false;
    std::vector<std::wstring> inlineCode;
    size_t nextInline = 0;
    bool ok = true;
    for (const std::wstring& script : PageScripts(*html, &inlineCode)) {
        if (script.rfind(L"<inline", 0) == 0) {
            ok = host.Run(inlineCode[nextInline++], page + L" " + script) && ok;
            continue;
        }
        std::optional<std::string> code = HtmlResource(module, script);
        if (!code)
            return false;
        ok = host.Run(zeltest::Wide(*code), script) && ok;
    }
    return ok;
}
