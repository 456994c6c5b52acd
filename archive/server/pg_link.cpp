#include "archive/server/pg_link.h"

#include <libpq-fe.h>

#include <cstdlib>
#include <cstring>

#include "archive/run.h"

namespace vark::archive {
namespace {

std::string Trimmed(const char* text) {
    std::string s = text != nullptr ? text : "";
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) {
        s.pop_back();
    }
    return s;
}

int HexValue(char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c - 'A' + 10;
}

}  // namespace

Result<std::string> ServerDisplayName(const std::string& url) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(url.c_str(), &error);
    if (options == nullptr) {
        std::string why = Trimmed(error);
        PQfreemem(error);
        return Error{ErrorKind::Invalid, "the server's address cannot be read (" + why + ")"};
    }
    std::string host, port, db, user;
    bool password = false;
    for (PQconninfoOption* o = options; o->keyword != nullptr; ++o) {
        const std::string value = o->val != nullptr ? o->val : "";
        const std::string key = o->keyword;
        if (key == "password" && !value.empty()) {
            password = true;
        } else if (key == "host") {
            host = value;
        } else if (key == "hostaddr" && host.empty()) {
            host = value;
        } else if (key == "port") {
            port = value;
        } else if (key == "dbname") {
            db = value;
        } else if (key == "user") {
            user = value;
        } else if (key == "service" && !value.empty() && host.empty()) {
            host = "service " + value;
        }
    }
    PQconninfoFree(options);
    if (password) {
        return Error{ErrorKind::Invalid,
                     "the server's address holds a password; keep it in the password file "
                     "(~/.pgpass) or PGPASSWORD instead"};
    }
    std::string name = "postgresql://" + (user.empty() ? "" : user + "@") +
                       (host.empty() ? "localhost" : host) + (port.empty() ? "" : ":" + port);
    return name + (db.empty() ? "" : "/" + db);
}

PgRows::PgRows(pg_result* result) : result_(result) {}
PgRows::~PgRows() {
    if (result_ != nullptr) {
        PQclear(result_);
    }
}
PgRows::PgRows(PgRows&& other) noexcept : result_(other.result_) {
    other.result_ = nullptr;
}
int PgRows::Count() const {
    return result_ != nullptr ? PQntuples(result_) : 0;
}
bool PgRows::IsNull(int row, int col) const {
    return PQgetisnull(result_, row, col) != 0;
}
std::string PgRows::Text(int row, int col) const {
    return std::string(PQgetvalue(result_, row, col),
                       static_cast<std::size_t>(PQgetlength(result_, row, col)));
}
std::int64_t PgRows::Int(int row, int col) const {
    return std::strtoll(PQgetvalue(result_, row, col), nullptr, 10);
}
std::string PgRows::Bytes(int row, int col) const {
    const std::string hex = Text(row, col);
    std::string out;
    if (hex.size() < 2 || hex[0] != '\\' || hex[1] != 'x') {
        return out;
    }
    out.reserve((hex.size() - 2) / 2);
    for (std::size_t i = 2; i + 1 < hex.size(); i += 2) {
        out += static_cast<char>(HexValue(hex[i]) * 16 + HexValue(hex[i + 1]));
    }
    return out;
}

Result<std::unique_ptr<PgLink>> PgLink::Connect(const std::string& url, int timeoutSeconds,
                                                const std::string& purpose) {
    auto name = ServerDisplayName(url);
    if (!name) {
        return name.error();
    }
    // The URL is expanded last, so that its own settings (a longer
    // connect_timeout, sslmode) win over these defaults.
    const std::string timeout = std::to_string(timeoutSeconds);
    // Keepalives notice a network cut in the middle of a batch within a
    // minute, not the system's two hours.
    const char* keys[] = {"connect_timeout",
                          "application_name",
                          "keepalives_idle",
                          "keepalives_interval",
                          "keepalives_count",
                          "dbname",
                          nullptr};
    const char* values[] = {timeout.c_str(), purpose.c_str(), "30", "10", "3",
                            url.c_str(),     nullptr};
    pg_conn* conn = PQconnectdbParams(keys, values, 1);
    if (conn == nullptr) {
        return Error{ErrorKind::Io, "cannot reach the server " + *name + " (out of memory)"};
    }
    if (PQstatus(conn) != CONNECTION_OK) {
        const std::string why = Trimmed(PQerrorMessage(conn));
        PQfinish(conn);
        const bool refused = why.find("password authentication failed") != std::string::npos;
        return Error{refused ? ErrorKind::ReadOnly : ErrorKind::Io,
                     "cannot reach the server " + *name + ": " + why};
    }
    PQsetClientEncoding(conn, "UTF8");
    std::unique_ptr<PgLink> link(new PgLink(conn, *name));
    // Times travel in UTC, whatever the server's or the role's own setting.
    if (Status st = link->Exec("SET TIME ZONE 'UTC'"); !st) {
        return st.error();
    }
    return link;
}

PgLink::PgLink(pg_conn* conn, std::string name)
    : conn_(conn), cancel_(PQgetCancel(conn)), name_(std::move(name)) {}

PgLink::~PgLink() {
    if (cancel_ != nullptr) {
        PQfreeCancel(cancel_);
    }
    PQfinish(conn_);
}

void PgLink::Cancel() const {
    if (cancel_ != nullptr) {
        char why[256];
        (void)PQcancel(cancel_, why, sizeof why);
    }
}

bool PgLink::Alive() const {
    return PQstatus(conn_) == CONNECTION_OK;
}

Error PgLink::Fail(pg_result* result, std::string_view doing) {
    const char* state = result != nullptr ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    lastState_ = state != nullptr ? state : "";
    std::string why = Trimmed(result != nullptr ? PQresultErrorMessage(result) : nullptr);
    if (why.empty()) {
        why = Trimmed(PQerrorMessage(conn_));
    }
    if (result != nullptr) {
        PQclear(result);
    }
    ErrorKind kind = ErrorKind::Io;
    if (lastState_ == "42501") {
        kind = ErrorKind::ReadOnly;  // insufficient privilege
    } else if (lastState_.rfind("23", 0) == 0) {
        kind = ErrorKind::Invalid;  // a constraint
    }
    return Error{kind, std::string(doing.empty() ? "the server " : std::string(doing) + ": ") +
                           name_ + ": " + why};
}

Status PgLink::Exec(const std::string& sql) {
    pg_result* r = PQexec(conn_, sql.c_str());
    const ExecStatusType s = PQresultStatus(r);
    if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK) {
        return Fail(r, "");
    }
    PQclear(r);
    return Done{};
}

Result<PgRows> PgLink::Query(const std::string& sql,
                             const std::vector<std::optional<std::string>>& params) {
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const auto& p : params) {
        values.push_back(p ? p->c_str() : nullptr);
    }
    pg_result* r = PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                                values.data(), nullptr, nullptr, 0);
    const ExecStatusType s = PQresultStatus(r);
    if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK) {
        return Fail(r, "");
    }
    return PgRows(r);
}

Status PgLink::Copy(const std::string& copySql, const std::string& data) {
    pg_result* r = PQexec(conn_, copySql.c_str());
    if (PQresultStatus(r) != PGRES_COPY_IN) {
        return Fail(r, "");
    }
    PQclear(r);
    if (PQputCopyData(conn_, data.data(), static_cast<int>(data.size())) != 1 ||
        PQputCopyEnd(conn_, nullptr) != 1) {
        return Fail(nullptr, "");
    }
    Status out = Done{};
    while ((r = PQgetResult(conn_)) != nullptr) {
        if (PQresultStatus(r) != PGRES_COMMAND_OK) {
            if (out) {
                out = Fail(r, "");
            } else {
                PQclear(r);
            }
        } else {
            PQclear(r);
        }
    }
    return out;
}

std::string CopyText(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string CopyBytes(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\\\\x";
    out.reserve(3 + bytes.size() * 2);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
    return out;
}

std::string PgTime(std::int64_t ms) {
    char millis[8];
    std::snprintf(millis, sizeof millis, ".%03d+00", static_cast<int>((ms % 1000 + 1000) % 1000));
    return FormatTime(ms, "%Y-%m-%d %H:%M:%S", false) + millis;
}

}  // namespace vark::archive
