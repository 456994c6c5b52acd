// One connection to the factory server through libpq: connecting with a
// time-out, statements with text parameters, COPY, and failures as the
// archive's errors. Passwords never pass through here as text of ours: they
// come from libpq's password file, service file or environment.
//
// One object is one connection: use it on one thread at a time.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/error.h"

struct pg_conn;
struct pg_result;
struct pg_cancel;

namespace vark::archive {

// Whether `url` names a server without a password in it, and how to show it
// ("postgresql://host:5432/db", no user's secrets); a URL that holds a
// password, or that libpq cannot read, is refused with the reason.
Result<std::string> ServerDisplayName(const std::string& url);

// A result's rows as text (NULL as nothing).
class PgRows {
  public:
    explicit PgRows(pg_result* result);
    ~PgRows();
    PgRows(PgRows&& other) noexcept;
    PgRows(const PgRows&) = delete;
    PgRows& operator=(const PgRows&) = delete;
    PgRows& operator=(PgRows&&) = delete;

    int Count() const;
    bool IsNull(int row, int col) const;
    std::string Text(int row, int col) const;
    std::int64_t Int(int row, int col) const;
    // A bytea column (read as text, "\x..."), as its bytes.
    std::string Bytes(int row, int col) const;

  private:
    pg_result* result_;
};

class PgLink {
  public:
    // Connects to `url` within `timeoutSeconds` (libpq's connect_timeout,
    // unless the URL sets one). `purpose` goes to the server as the
    // application's name.
    static Result<std::unique_ptr<PgLink>> Connect(const std::string& url, int timeoutSeconds,
                                                   const std::string& purpose = "VARK-u");
    ~PgLink();
    PgLink(const PgLink&) = delete;
    PgLink& operator=(const PgLink&) = delete;

    const std::string& Name() const { return name_; }

    // A statement without result rows (several, without parameters).
    Status Exec(const std::string& sql);
    // A statement with text parameters (nullopt: NULL), and its rows.
    Result<PgRows> Query(const std::string& sql,
                         const std::vector<std::optional<std::string>>& params = {});
    // COPY ... FROM STDIN with `data` in COPY's text format.
    Status Copy(const std::string& copySql, const std::string& data);

    // The SQLSTATE of the last failure ("23505"), empty when unknown.
    const std::string& LastState() const { return lastState_; }
    // Whether the connection still stands.
    bool Alive() const;
    // Asks the server to stop the statement under way (its transaction then
    // fails and rolls back). The one call that may come from another thread
    // while this one is in use.
    void Cancel() const;

  private:
    PgLink(pg_conn* conn, std::string name);
    Error Fail(pg_result* result, std::string_view doing);

    pg_conn* conn_;
    pg_cancel* cancel_;
    std::string name_;
    std::string lastState_;
};

// A value in COPY's text format: backslashes, tabs and line breaks escaped.
std::string CopyText(std::string_view value);
// Bytes as a bytea value in COPY's text format ("\\x0a1b...").
std::string CopyBytes(std::string_view bytes);
// UTC milliseconds as a timestamptz literal ("2026-12-08 10:42:00.123+00").
std::string PgTime(std::int64_t ms);

}  // namespace vark::archive
