#pragma once

// Game packages made for the tests straight with SQLite and zlib, never
// with the code under test.

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testpackage {

enum class Layout { Current, Older };

// zlib streams (header, deflate data, Adler-32 trailer).
std::string Deflate(const std::string& data, int level = 6);
// Cuts bytes into pieces at the given offsets (ascending).
std::vector<std::string> SplitAt(const std::string& bytes, const std::vector<size_t>& offsets);
// Cuts bytes into pieces of pieceSize (the last one shorter).
std::vector<std::string> SplitEvery(const std::string& bytes, size_t pieceSize);

using OptionalBytes = std::optional<std::string>;

// Cuts the last 5% off a package file, as a download that broke off would,
// and leaves its header without a page count SQLite trusts; or, inside its
// last page, 1000 bytes off a file whose header is left as it was.
void CutShort(const std::wstring& path, bool insideLastPage = false);

class Package {
public:
    // Creates the file afresh with the package tables of the layout.
    Package(const std::wstring& path, Layout layout = Layout::Current, bool withPrice = true);
    ~Package();
    Package(const Package&) = delete;
    Package& operator=(const Package&) = delete;

    void Exec(const std::string& sql);
    void AddGame(int64_t id, const OptionalBytes& ident, const OptionalBytes& name, int64_t exec, int64_t icon,
                 int64_t release, int64_t price = 0);
    void AddDir(int64_t id, const OptionalBytes& name, int64_t parent);
    // A file row; in the older layout chunk and compress are not written.
    void AddFile(int64_t id, const OptionalBytes& name, int64_t size, const OptionalBytes& data, int64_t parent,
                 int64_t chunk = 0, const OptionalBytes& compress = std::nullopt);
    // Writes the pieces as one chain (a null piece is a NULL data value)
    // and returns the first ROWID. Rows get ROWIDs from firstRowId on in
    // steps of rowIdStep, so chains need not be in ROWID order.
    int64_t AddChain(const std::vector<OptionalBytes>& pieces, int64_t firstRowId = 0, int64_t rowIdStep = 1);
    // One chunks row with an explicit next.
    void AddChunk(int64_t rowId, const OptionalBytes& data, int64_t next);

    // Convenience: a file stored inline, or one zlib stream inline.
    void AddStored(int64_t id, const std::string& name, const std::string& bytes, int64_t parent);
    void AddDeflated(int64_t id, const std::string& name, const std::string& bytes, int64_t parent);

private:
    void Bind(sqlite3_stmt* stmt, int index, const OptionalBytes& value, bool asBlob);

    sqlite3* db_ = nullptr;
    Layout layout_;
    int64_t nextChunk_ = 1000;
};

}  // namespace testpackage
