#include "testing/pg_server.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

#include "testing/process.h"

namespace vark::test {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;
constexpr const char* kBin = "/usr/lib/postgresql/15/bin";

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The processes whose parent is `pid`.
std::vector<pid_t> Children(pid_t pid) {
    std::vector<pid_t> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/proc", ec)) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        const std::string stat = ReadFile(e.path() / "stat");
        const auto close = stat.rfind(')');
        if (close == std::string::npos) {
            continue;
        }
        std::istringstream rest(stat.substr(close + 2));
        char state = 0;
        pid_t parent = 0;
        rest >> state >> parent;
        if (parent == pid) {
            out.push_back(static_cast<pid_t>(std::stol(name)));
        }
    }
    return out;
}

}  // namespace

std::string PgServer::AsOwner(const std::string& command) const {
    // PostgreSQL refuses root: as root, the server's programs run as nobody.
    const std::string env = "env -i PATH=/usr/bin:/bin LANG=C.UTF-8 ";
    if (::geteuid() == 0) {
        return "setpriv --reuid=" + std::to_string(kNobody) +
               " --regid=" + std::to_string(kNobody) + " --clear-groups " + env + command;
    }
    return env + command;
}

std::unique_ptr<PgServer> PgServer::Start(std::string& why, const Options& options) {
    std::unique_ptr<PgServer> s(new PgServer(options.base));
    s->folder_ = s->dir_.path().string();
    s->bin_ = kBin;
    s->tls_ = options.tls;
    if (s->folder_.empty()) {
        why = "no private folder";
        return nullptr;
    }
    if (::geteuid() == 0 && ::chown(s->folder_.c_str(), kNobody, kNobody) != 0) {
        why = "cannot give the folder to nobody";
        return nullptr;
    }
    std::random_device device;
    s->port_ = 20000 + static_cast<int>(device() % 30000);
    const std::string data = s->folder_ + "/data";
    ProcessResult r = RunShell(s->AsOwner(s->bin_ + "/initdb -D " + ShellQuote(data) +
                                          " -U postgres --auth=trust --no-locale -E UTF8 "
                                          "--no-sync 2>&1"));
    if (r.status != 0) {
        why = "initdb failed: " + r.out;
        return nullptr;
    }
    // Who may log in how: one role with a password, the rest trusted on
    // the private socket; over TCP only with TLS.
    std::ofstream(data + "/pg_hba.conf") << "local all vark_pw scram-sha-256\n"
                                         << "local all all trust\n"
                                         << "hostssl all vark_pw 127.0.0.1/32 scram-sha-256\n"
                                         << "hostssl all all 127.0.0.1/32 trust\n";
    std::string conf = "listen_addresses = '" + std::string(options.tls ? "127.0.0.1" : "") +
                       "'\nport = " + std::to_string(s->port_) + "\nunix_socket_directories = '" +
                       s->folder_ + "'\nfsync = " + (options.durable ? "on" : "off") +
                       "\nsynchronous_commit = on" +
                       "\nfull_page_writes = " + (options.durable ? "on" : "off") +
                       "\nmax_connections = 60\nshared_buffers = 64MB\n";
    if (options.tls) {
        // A certificate authority, the server's certificate for 127.0.0.1
        // signed by it, and another authority that signed nothing here.
        const std::string f = ShellQuote(s->folder_);
        r = RunShell(
            "cd " + f +
            " && openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=vark-test-ca "
            "-keyout ca.key -out ca.crt 2>&1"
            " && openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=vark-wrong-ca "
            "-keyout wrong.key -out wrong.crt 2>&1"
            " && openssl req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout server.key "
            "-out server.csr 2>&1"
            " && printf 'subjectAltName=IP:127.0.0.1\\n' > san.ext"
            " && openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial "
            "-days 2 -extfile san.ext -out server.crt 2>&1"
            " && chmod 600 server.key && chmod 644 ca.crt wrong.crt");
        if (r.status != 0) {
            why = "cannot make the certificates: " + r.out;
            return nullptr;
        }
        if (::geteuid() == 0) {
            for (const char* file : {"server.key", "server.crt"}) {
                if (::chown((s->folder_ + "/" + file).c_str(), kNobody, kNobody) != 0) {
                    why = "cannot give the key to nobody";
                    return nullptr;
                }
            }
        }
        conf += "ssl = on\nssl_cert_file = '" + s->folder_ + "/server.crt'\nssl_key_file = '" +
                s->folder_ + "/server.key'\n";
    }
    std::ofstream(data + "/postgresql.auto.conf", std::ios::app) << conf;
    if (!s->StartAgain(&why)) {
        return nullptr;
    }
    // The roles the tests log in as: stations, a reader, a station with a
    // password.
    if (!s->Sql("postgres",
                "DO $$ BEGIN CREATE ROLE vark_station NOLOGIN; CREATE ROLE vark_reader NOLOGIN; "
                "END $$; CREATE ROLE station LOGIN IN ROLE vark_station; CREATE ROLE reader LOGIN "
                "IN ROLE vark_reader; CREATE ROLE vark_pw LOGIN PASSWORD 'right-one' IN ROLE "
                "vark_station;",
                nullptr, &why)) {
        return nullptr;
    }
    return s;
}

PgServer::~PgServer() {
    if (!folder_.empty()) {
        RunShell(AsOwner(bin_ + "/pg_ctl -D " + ShellQuote(folder_ + "/data") +
                         " -m immediate -w stop >/dev/null 2>&1"));
    }
}

bool PgServer::StartAgain(std::string* why) {
    const ProcessResult r =
        RunShell(AsOwner(bin_ + "/pg_ctl -D " + ShellQuote(folder_ + "/data") + " -l " +
                         ShellQuote(folder_ + "/log") + " -w -t 60 start 2>&1"));
    if (r.status != 0 && why != nullptr) {
        *why = "the server did not start: " + r.out + ReadFile(folder_ + "/log");
    }
    return r.status == 0;
}

bool PgServer::Stop() {
    return RunShell(AsOwner(bin_ + "/pg_ctl -D " + ShellQuote(folder_ + "/data") +
                            " -m fast -w stop 2>&1"))
               .status == 0;
}

void PgServer::Kill() {
    const std::string pidFile = ReadFile(folder_ + "/data/postmaster.pid");
    const pid_t pid = static_cast<pid_t>(std::atol(pidFile.c_str()));
    if (pid <= 0) {
        return;
    }
    std::vector<pid_t> all = Children(pid);
    ::kill(pid, SIGKILL);
    for (const pid_t child : all) {
        ::kill(child, SIGKILL);
    }
    // Gone when /proc no longer has them (they are not our children: the
    // init process reaps them).
    all.push_back(pid);
    for (int i = 0; i < 500; ++i) {
        bool any = false;
        for (const pid_t p : all) {
            const std::string stat = ReadFile("/proc/" + std::to_string(p) + "/stat");
            any = any || (!stat.empty() && stat.find(") Z") == std::string::npos);
        }
        if (!any) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // A killed server's processes may linger unreaped (as zombies) where
    // nothing reaps orphans; they hold nothing, but the server would take the
    // lock files' process for a live one.
    std::error_code ec;
    fs::remove(folder_ + "/data/postmaster.pid", ec);
    const std::string socket = folder_ + "/.s.PGSQL." + std::to_string(port_);
    fs::remove(socket + ".lock", ec);
    fs::remove(socket, ec);
}

std::string PgServer::Url(const std::string& db, const std::string& user) const {
    return "postgresql:///" + db + "?host=" + folder_ + "&port=" + std::to_string(port_) +
           "&user=" + user;
}

std::string PgServer::TlsUrl(const std::string& db, const std::string& rootCert,
                             const std::string& user) const {
    return "postgresql://127.0.0.1:" + std::to_string(port_) + "/" + db + "?user=" + user +
           "&sslmode=verify-full&sslrootcert=" + rootCert;
}

std::string PgServer::RootCert() const {
    return folder_ + "/ca.crt";
}

std::string PgServer::WrongRootCert() const {
    return folder_ + "/wrong.crt";
}

bool PgServer::Sql(const std::string& db, const std::string& sql, std::string* out,
                   std::string* why) const {
    const ProcessResult r = RunShell(bin_ + "/psql -X -q -A -t -v ON_ERROR_STOP=1 -d " +
                                     ShellQuote(Url(db)) + " -c " + ShellQuote(sql) + " 2>&1");
    if (out != nullptr) {
        *out = r.out;
    }
    if (r.status != 0 && why != nullptr) {
        *why = r.out;
    }
    return r.status == 0;
}

bool PgServer::CreateDatabase(const std::string& db) const {
    return Sql("postgres", "CREATE DATABASE " + db);
}

}  // namespace vark::test
