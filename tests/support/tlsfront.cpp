#include "tlsfront.h"

#include <windows.h>
#include <wincrypt.h>

#include <string>

namespace zeltest {

namespace {

std::string ReadAll(const std::wstring& path)
{
    std::string text;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return text;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0)
        text.append(buffer, read);
    CloseHandle(file);
    return text;
}

bool TrustCertificate(const std::string& pem)
{
    DWORD size = 0;
    if (!CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr))
        return false;
    std::string der(size, '\0');
    if (!CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, reinterpret_cast<BYTE*>(der.data()),
                              &size, nullptr, nullptr))
        return false;
    HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (!root)
        return false;
    BOOL added = CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                                  size, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    CertCloseStore(root, 0);
    return added != FALSE;
}

}  // namespace

TlsFront::TlsFront(uint16_t targetPort)
{
    std::string unixDir = "/tmp/zel-tls-" + std::to_string(GetCurrentProcessId()) + "-" +
                          std::to_string(GetTickCount64());
    workDir_ = L"Z:" + std::wstring(unixDir.begin(), unixDir.end());
    for (auto& c : workDir_)
        if (c == L'/')
            c = L'\\';
    if (!CreateDirectoryW(workDir_.c_str(), nullptr))
        return;
    std::string command = std::string("python3 ") + ZEL_TEST_SUPPORT_DIR "/tlsproxy.py " + unixDir + " " +
                          std::to_string(targetPort);
    std::wstring wideCommand(command.begin(), command.end());
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(L"Z:\\usr\\bin\\python3", wideCommand.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process))
        return;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::wstring portFile = workDir_ + L"\\port";
    for (int i = 0; i < 300 && GetFileAttributesW(portFile.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(50);
    std::string port = ReadAll(portFile);
    if (port.empty() || !TrustCertificate(ReadAll(workDir_ + L"\\cert.pem")))
        return;
    port_ = static_cast<uint16_t>(std::stoi(port));
}

TlsFront::~TlsFront()
{
    if (workDir_.empty())
        return;
    std::wstring stop = workDir_ + L"\\stop";
    HANDLE file = CreateFileW(stop.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    std::wstring portFile = workDir_ + L"\\port";
    for (int i = 0; i < 60 && GetFileAttributesW(portFile.c_str()) != INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(50);
    RemoveDirectoryW(workDir_.c_str());
}

std::wstring TlsFront::Origin() const
{
    return L"https://127.0.0.1:" + std::to_wstring(port_);
}

}  // namespace zeltest
