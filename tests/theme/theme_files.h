#pragma once

// Where the built themes are and how the tests read them: the modules are
// opened as the program's resources are read (FindResourceW with the custom
// type "HTML", LoadImageW, LoadStringW in place), and a page's scripts are
// collected in the order the page names them.

#include "files.h"

#include <windows.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

struct ThemeBuild {
    const wchar_t* name;  // theme name, column t, and file name stem
    bool probe;           // main page defines inTestQuivmarkSkin
    bool smallIcon;       // holds "small.ico"
    bool title;           // holds string 1
    bool recording;       // the recording theme
};

// For test names and messages.
void PrintTo(const ThemeBuild& theme, std::ostream* out);

// Every theme the build makes, in a fixed order.
const std::vector<ThemeBuild>& AllThemes();

// Full path of a file in the build's theme folder / the program's folder.
std::wstring ThemeFilePath(const std::wstring& fileName);
std::wstring ProgramFilePath(const std::wstring& fileName);

// A module opened for its resources only, as a test inspects it.
class ResourceModule {
public:
    explicit ResourceModule(const std::wstring& path);
    ~ResourceModule();
    ResourceModule(const ResourceModule&) = delete;
    ResourceModule& operator=(const ResourceModule&) = delete;
    HMODULE get() const { return module_; }

private:
    HMODULE module_ = nullptr;
};

// The bytes of resource name of type "HTML"; nothing when it is missing.
std::optional<std::string> HtmlResource(HMODULE module, const std::wstring& name);

// The page's script file names, in the order the page loads them; inline
// scripts come back as "<inline N>" with their text in inlineCode.
std::vector<std::wstring> PageScripts(const std::string& html,
                                      std::vector<std::wstring>* inlineCode);
// Every relative address the text refers to (src=, href=, CSS url()).
std::vector<std::wstring> RelativeReferences(const std::string& text);

class ScriptHost;
// Runs every script of page (a resource of the module) in the host.
bool LoadPage(ScriptHost& host, HMODULE module, const std::wstring& page);
