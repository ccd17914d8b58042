#pragma once

// One executable serves several distribution brands; the brand is chosen
// once per process from the executable's own file name. Its configuration
// holds the names that must differ between brands installed side by side
// and the flags other parts of the program test.

class CWrapConfig {
public:
    virtual ~CWrapConfig() = default;

    // The manager's desktop shortcut target (theme string 9), or null.
    virtual const wchar_t* GetShortcutTarget();
    // The manager's programs-menu shortcut target (theme string 7), or null.
    virtual const wchar_t* GetMenuShortcutTarget();

    const wchar_t* databaseFileName = nullptr;
    const wchar_t* productName = nullptr;
    const wchar_t* windowClass = nullptr;
    const wchar_t* applicationName = nullptr;  // the autostart value's name
    const wchar_t* lockFileName = nullptr;     // begins with a backslash
    const wchar_t* selectGameMessageName = nullptr;

    bool updateTimer = false;
    bool importOlderProducts = false;
    bool perGameMenuFolders = false;
    bool renameOldMenuFolder = false;
    bool alwaysMakeShortcuts = false;
    bool trayNewsSubmenu = false;
    bool advertisements = false;
    bool trayIcon = false;
    bool machineWideOlderUninstall = false;
    bool shortcutsAfterInstall = false;
};

class CQuivmarkRu : public CWrapConfig {
public:
    CQuivmarkRu();
};

class CQuivmarkCom : public CWrapConfig {
public:
    CQuivmarkCom();
};

// Its shortcuts carry the affiliate number after theme string 9.
class CFendrakeRu : public CWrapConfig {
public:
    CFendrakeRu();
    const wchar_t* GetShortcutTarget() override;
    const wchar_t* GetMenuShortcutTarget() override;
};

class CMacQuivmarkRu : public CWrapConfig {
public:
    CMacQuivmarkRu();
};

class CSorvathRu : public CWrapConfig {
public:
    CSorvathRu();
};

class CPembrik : public CWrapConfig {
public:
    CPembrik();
};

// 0 to 5 from the executable's file name; 3 is never chosen by name.
int GetBrandId();
// Index of the brand whose executable is called exeFileName.
int BrandIdForExeName(const wchar_t* exeFileName);

// Builds the configuration of the process's brand once; it lives until the
// process exits.
void CreateWrapConfig();
void DestroyWrapConfig();
// The process-wide configuration; null before CreateWrapConfig.
CWrapConfig* GetWrapConfig();
