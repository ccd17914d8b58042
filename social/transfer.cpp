#include "social/transfer.h"

#include "net/download.h"
#include "shell/files.h"
#include "shell/text.h"

#include <windows.h>

namespace {

// A temporary file that is deleted when the holder goes.
class TempFile {
public:
    explicit TempFile(const wchar_t* prefix) : path_(MakeTempFileName(prefix)) {}
    ~TempFile()
    {
        if (path_)
            DeleteFileW(path_->c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    explicit operator bool() const { return path_.has_value(); }
    const wchar_t* path() const { return path_->c_str(); }

private:
    std::optional<std::wstring> path_;
};

}  // namespace

std::optional<std::string> DownloadText(const wchar_t* url, const wchar_t* tempPrefix)
{
    TempFile file(tempPrefix);
    if (!file || !DownloadUrlToFile(url, kAgentManager, file.path()))
        return std::nullopt;
    return ReadWholeFile(file.path());
}

std::optional<std::string> PostFormForText(const wchar_t* url, const wchar_t* body,
                                           const wchar_t* tempPrefix)
{
    TempFile file(tempPrefix);
    if (!file || !HttpPostForm(url, file.path(), body))
        return std::nullopt;
    return ReadWholeFile(file.path());
}
