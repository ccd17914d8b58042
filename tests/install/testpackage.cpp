#include "testpackage.h"

#include "testfiles.h"

#include <windows.h>
#include <zlib.h>

#include <algorithm>
#include <stdexcept>

namespace testpackage {

std::string Deflate(const std::string& data, int level)
{
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                  static_cast<uLong>(data.size()), level) != Z_OK)
        throw std::runtime_error("compress2");
    out.resize(size);
    return out;
}

std::vector<std::string> SplitAt(const std::string& bytes, const std::vector<size_t>& offsets)
{
    std::vector<std::string> pieces;
    size_t from = 0;
    for (size_t offset : offsets) {
        pieces.push_back(bytes.substr(from, offset - from));
        from = offset;
    }
    pieces.push_back(bytes.substr(from));
    return pieces;
}

std::vector<std::string> SplitEvery(const std::string& bytes, size_t pieceSize)
{
    std::vector<std::string> pieces;
    for (size_t from = 0; from < bytes.size(); from += pieceSize)
        pieces.push_back(bytes.substr(from, pieceSize));
    return pieces;
}

void CutShort(const std::wstring& path, bool insideLastPage)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot open the package to cut it short");
    // The header's page count is made one SQLite does not trust (its
    // "valid for" number no longer matches the change counter), as with
    // packages of older writers: the file's own size then counts, and the
    // cut shows only where a missing page is reached.
    unsigned char counter[4] = {};
    DWORD done = 0;
    LARGE_INTEGER at = {};
    at.QuadPart = 24;
    bool cut = insideLastPage || (SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
                                  ReadFile(file, counter, 4, &done, nullptr) && done == 4);
    for (unsigned char& byte : counter)
        byte = static_cast<unsigned char>(~byte);
    at.QuadPart = 92;
    cut = cut && (insideLastPage || (SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
                                     WriteFile(file, counter, 4, &done, nullptr)));
    LARGE_INTEGER size = {};
    cut = cut && GetFileSizeEx(file, &size);
    size.QuadPart -= insideLastPage ? 1000 : size.QuadPart / 20;
    cut = cut && SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    if (!cut)
        throw std::runtime_error("cannot cut the package short");
}

Package::Package(const std::wstring& path, Layout layout, bool withPrice) : layout_(layout)
{
    DeleteFileW(path.c_str());
    if (sqlite3_open_v2(zeltest::Utf8(path).c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot create the package");
    Exec("begin");
    Exec(withPrice ? "create table games(id integer, ident text, name text, exec integer, icon integer, "
                     "release integer, price integer)"
                   : "create table games(id integer, ident text, name text, exec integer, icon integer, "
                     "release integer)");
    Exec("create table zeldir(id integer, n text, p integer)");
    Exec(layout == Layout::Current
             ? "create table zelfls(id integer, n text, s integer, d blob, chunk integer, compress text, p integer)"
             : "create table zelfls(id integer, n text, s integer, d blob, p integer)");
    Exec("create table chunks(data blob, next integer)");
}

Package::~Package()
{
    Exec("commit");
    sqlite3_close(db_);
}

void Package::Exec(const std::string& sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::string message = error ? error : "?";
        sqlite3_free(error);
        throw std::runtime_error(sql + ": " + message);
    }
}

void Package::Bind(sqlite3_stmt* stmt, int index, const OptionalBytes& value, bool asBlob)
{
    if (!value)
        sqlite3_bind_null(stmt, index);
    else if (asBlob)
        sqlite3_bind_blob(stmt, index, value->data(), static_cast<int>(value->size()), SQLITE_TRANSIENT);
    else
        sqlite3_bind_text(stmt, index, value->data(), static_cast<int>(value->size()), SQLITE_TRANSIENT);
}

namespace {

struct Stmt {
    Stmt(sqlite3* db, const char* sql)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string("prepare: ") + sql);
    }
    ~Stmt() { sqlite3_finalize(stmt); }
    void Run()
    {
        if (sqlite3_step(stmt) != SQLITE_DONE)
            throw std::runtime_error("step");
    }
    sqlite3_stmt* stmt = nullptr;
};

}  // namespace

void Package::AddGame(int64_t id, const OptionalBytes& ident, const OptionalBytes& name, int64_t exec,
                      int64_t icon, int64_t release, int64_t price)
{
    Stmt insert(db_, "insert into games(id, ident, name, exec, icon, release) values(?,?,?,?,?,?)");
    sqlite3_bind_int64(insert.stmt, 1, id);
    Bind(insert.stmt, 2, ident, false);
    Bind(insert.stmt, 3, name, false);
    sqlite3_bind_int64(insert.stmt, 4, exec);
    sqlite3_bind_int64(insert.stmt, 5, icon);
    sqlite3_bind_int64(insert.stmt, 6, release);
    insert.Run();
    if (price) {
        Stmt update(db_, "update games set price=? where id=?");
        sqlite3_bind_int64(update.stmt, 1, price);
        sqlite3_bind_int64(update.stmt, 2, id);
        update.Run();
    }
}

void Package::AddDir(int64_t id, const OptionalBytes& name, int64_t parent)
{
    Stmt insert(db_, "insert into zeldir(id, n, p) values(?,?,?)");
    sqlite3_bind_int64(insert.stmt, 1, id);
    Bind(insert.stmt, 2, name, false);
    sqlite3_bind_int64(insert.stmt, 3, parent);
    insert.Run();
}

void Package::AddFile(int64_t id, const OptionalBytes& name, int64_t size, const OptionalBytes& data,
                      int64_t parent, int64_t chunk, const OptionalBytes& compress)
{
    if (layout_ == Layout::Older) {
        Stmt insert(db_, "insert into zelfls(id, n, s, d, p) values(?,?,?,?,?)");
        sqlite3_bind_int64(insert.stmt, 1, id);
        Bind(insert.stmt, 2, name, false);
        sqlite3_bind_int64(insert.stmt, 3, size);
        Bind(insert.stmt, 4, data, true);
        sqlite3_bind_int64(insert.stmt, 5, parent);
        insert.Run();
        return;
    }
    Stmt insert(db_, "insert into zelfls(id, n, s, d, chunk, compress, p) values(?,?,?,?,?,?,?)");
    sqlite3_bind_int64(insert.stmt, 1, id);
    Bind(insert.stmt, 2, name, false);
    sqlite3_bind_int64(insert.stmt, 3, size);
    Bind(insert.stmt, 4, data, true);
    sqlite3_bind_int64(insert.stmt, 5, chunk);
    Bind(insert.stmt, 6, compress, false);
    sqlite3_bind_int64(insert.stmt, 7, parent);
    insert.Run();
}

void Package::AddChunk(int64_t rowId, const OptionalBytes& data, int64_t next)
{
    Stmt insert(db_, "insert into chunks(rowid, data, next) values(?,?,?)");
    sqlite3_bind_int64(insert.stmt, 1, rowId);
    Bind(insert.stmt, 2, data, true);
    sqlite3_bind_int64(insert.stmt, 3, next);
    insert.Run();
}

int64_t Package::AddChain(const std::vector<OptionalBytes>& pieces, int64_t firstRowId, int64_t rowIdStep)
{
    if (pieces.empty())
        return 0;
    int64_t first = firstRowId ? firstRowId : nextChunk_;
    for (size_t i = 0; i < pieces.size(); ++i) {
        int64_t rowId = first + static_cast<int64_t>(i) * rowIdStep;
        int64_t next = i + 1 < pieces.size() ? rowId + rowIdStep : 0;
        AddChunk(rowId, pieces[i], next);
    }
    nextChunk_ = std::max(nextChunk_, first + static_cast<int64_t>(pieces.size()) * std::max<int64_t>(rowIdStep, 1)) + 10;
    return first;
}

void Package::AddStored(int64_t id, const std::string& name, const std::string& bytes, int64_t parent)
{
    AddFile(id, name, static_cast<int64_t>(bytes.size()), bytes, parent, 0, std::string("no"));
}

void Package::AddDeflated(int64_t id, const std::string& name, const std::string& bytes, int64_t parent)
{
    AddFile(id, name, static_cast<int64_t>(bytes.size()), Deflate(bytes), parent);
}

}  // namespace testpackage
