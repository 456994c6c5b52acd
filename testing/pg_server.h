// A PostgreSQL server of the test's own: initdb and pg_ctl (Debian's 15) run
// as an unprivileged user (PostgreSQL refuses root) in a private folder, the
// server listening on a Unix socket in that folder (and on 127.0.0.1 with TLS
// when asked), stopped and removed when the object goes. Nothing of the
// machine's own servers is touched.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "testing/temp_dir.h"

namespace vark::test {

class PgServer {
  public:
    struct Options {
        bool durable = false;  // fsync; off for tests, on for measuring
        bool tls = false;      // also TCP on 127.0.0.1 with a certificate made here
        std::string base;      // the folder to make its own in; empty: the temporary one
    };

    // Null, with the reason in `why`, when it could not be started.
    static std::unique_ptr<PgServer> Start(std::string& why, const Options& options);
    static std::unique_ptr<PgServer> Start(std::string& why) { return Start(why, Options{}); }
    ~PgServer();
    PgServer(const PgServer&) = delete;
    PgServer& operator=(const PgServer&) = delete;

    // A connection string for `user` (on the socket) to `db`.
    std::string Url(const std::string& db, const std::string& user = "postgres") const;
    // The same over TCP with sslmode=verify-full against `rootCert`.
    std::string TlsUrl(const std::string& db, const std::string& rootCert,
                       const std::string& user = "postgres") const;
    // The certificate authority that signed the server's certificate, and
    // one that did not.
    std::string RootCert() const;
    std::string WrongRootCert() const;

    // Runs SQL as the superuser in `db` (psql, stopping at the first error);
    // psql's output, or its failure in `why`.
    bool Sql(const std::string& db, const std::string& sql, std::string* out = nullptr,
             std::string* why = nullptr) const;
    // A new database, empty.
    bool CreateDatabase(const std::string& db) const;

    // SIGKILL to the server and every process of it, as a crash would.
    void Kill();
    // A clean stop, and a start after a stop or a kill (crash recovery).
    bool Stop();
    bool StartAgain(std::string* why = nullptr);

    const std::string& Folder() const { return folder_; }

  private:
    explicit PgServer(const std::string& base)
        : dir_(base.empty() ? std::filesystem::temp_directory_path()
                            : std::filesystem::path(base)) {}
    std::string AsOwner(const std::string& command) const;

    TempDir dir_;
    std::string folder_;
    std::string bin_;
    int port_ = 0;
    bool tls_ = false;
};

}  // namespace vark::test
