// What the SQLite store's two halves, the file's lifecycle and the mirror,
// both say about a failing file. Only the store's own files include this.
#pragma once

#include <sqlite3.h>

#include <string>

namespace pw::sqlitestore {

inline std::string Damaged(const std::string& reason) {
  return "the file is damaged (" + reason + ")";
}

// The connection's last error in words, saying so when it means a damaged file.
inline std::string Explain(sqlite3* db) {
  int code = sqlite3_errcode(db) & 0xFF;
  if (code == SQLITE_CORRUPT || code == SQLITE_NOTADB) return Damaged(sqlite3_errmsg(db));
  return sqlite3_errmsg(db);
}

}  // namespace pw::sqlitestore
