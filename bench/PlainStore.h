// The benchmarks' floors of the event-log store: plain SQLite calls and no
// project code, doing what a writer and a reader of the store least must.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>

namespace plainstore {

// A connection as the store's writers keep one; nullptr when the file does not open.
sqlite3* Open(const std::string& file);

// The key's id, walked down from the root by upper-cased names; 0 when missing.
sqlite3_int64 KeyId(sqlite3* db, const std::string& path);

// As a one-record writer does: the write-ahead log is emptied once it holds 64 pages.
void EmptyLogAt64Pages(sqlite3* db);

// Appends records over one connection with its statements prepared once:
// BEGIN IMMEDIATE, the record's next number, the insert, COMMIT.
class Writer {
public:
    explicit Writer(sqlite3* db);
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // The record's number, 0 on failure.
    sqlite3_int64 Append(const std::string& log, const std::string& source, const std::string& message);

private:
    bool Step(sqlite3_stmt* statement);

    sqlite3* db_;
    sqlite3_stmt* begin_ = nullptr;
    sqlite3_stmt* last_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
    sqlite3_stmt* commit_ = nullptr;
    sqlite3_stmt* rollback_ = nullptr;
};

// The doorbell rung as the writers ring it.
void Ring(const std::string& hostFolder);

// The record's columns read back, as the subscription reads a new record; false when it is not there.
bool ReadRecord(sqlite3* db, const std::string& log, sqlite3_int64 number);

// A copy of a store file, so that a floor's records stay out of the store it copies.
bool CopyStore(const std::string& from, const std::string& to);

}  // namespace plainstore
