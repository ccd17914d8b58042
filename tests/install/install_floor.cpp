// The floor of the install benchmark: the least a program can do to turn
// the zlib streams of a game into its files. Each stream lies in a plain
// file; it is read, inflated and written through 64 KiB buffers.
//
//   install_floor <streams folder> <target> <files> <folders>
//
// Stream i is "<streams folder>\<i>.z"; its file is
// "<target>\dir<i % folders>\file<i>.dat". Exit code 0 when every stream
// was inflated whole.

#include <windows.h>
#include <zlib.h>

#include <cwchar>
#include <string>

namespace {

constexpr DWORD kBufferBytes = 65536;

bool WriteAll(HANDLE file, const Bytef* data, DWORD size)
{
    DWORD written = 0;
    return WriteFile(file, data, size, &written, nullptr) && written == size;
}

bool InflateFile(const std::wstring& from, const std::wstring& to, Bytef* in, Bytef* out)
{
    HANDLE source = CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (source == INVALID_HANDLE_VALUE)
        return false;
    HANDLE target = CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (target == INVALID_HANDLE_VALUE) {
        CloseHandle(source);
        return false;
    }
    z_stream stream = {};
    inflateInit(&stream);
    int rc = Z_OK;
    bool ok = true;
    while (ok && rc != Z_STREAM_END) {
        DWORD read = 0;
        if (!ReadFile(source, in, kBufferBytes, &read, nullptr) || read == 0)
            break;
        stream.next_in = in;
        stream.avail_in = read;
        do {
            stream.next_out = out;
            stream.avail_out = kBufferBytes;
            rc = inflate(&stream, Z_NO_FLUSH);
            ok = (rc == Z_OK || rc == Z_STREAM_END) && WriteAll(target, out, kBufferBytes - stream.avail_out);
        } while (ok && stream.avail_out == 0 && rc != Z_STREAM_END);
    }
    inflateEnd(&stream);
    CloseHandle(target);
    CloseHandle(source);
    return ok && rc == Z_STREAM_END;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 5)
        return 2;
    const std::wstring streams = argv[1];
    const std::wstring target = argv[2];
    const int files = _wtoi(argv[3]);
    const int folders = _wtoi(argv[4]);
    if (files <= 0 || folders <= 0)
        return 2;
    static Bytef in[kBufferBytes];
    static Bytef out[kBufferBytes];
    CreateDirectoryW(target.c_str(), nullptr);
    for (int folder = 0; folder < folders; ++folder)
        CreateDirectoryW((target + L"\\dir" + std::to_wstring(folder)).c_str(), nullptr);
    for (int i = 0; i < files; ++i) {
        std::wstring to = target + L"\\dir" + std::to_wstring(i % folders) + L"\\file" + std::to_wstring(i) + L".dat";
        if (!InflateFile(streams + L"\\" + std::to_wstring(i) + L".z", to, in, out))
            return 1;
    }
    return 0;
}
