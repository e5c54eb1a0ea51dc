#pragma once
// A CUPS server of the test's own: cupsd in the foreground over a folder of
// its own (configuration, spool, state, cache, logs, and a Unix socket it
// alone listens on), never the machine's CUPS. It holds one queue on a file
// device whose PPD (tests/e2e/data/ThreeTrays.ppd) offers three paper trays,
// and the print filters render each job there as PostScript through
// Ghostscript. While it lives, CUPS_SERVER names its socket, for this process
// and the programs it starts.
//
// The server is stopped by its process id when the object goes, and, should
// the test process die first, by the kernel (parent-death signal), so no
// cupsd outlives a test. Every instance has its own folder and socket, so
// tests may run in parallel.

#include "tests/e2e/E2ESupport.h"

#include <cups/cups.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace e2e {

// One job of the queue as the server records it.
struct CupsJob {
    int id = 0;
    int state = 0;            // ipp_jstate_t
    std::string mediaSource;  // the tray the job asked for ("media-source" of its "media-col")
};

class PrivateCupsServer {
public:
    static constexpr const char* kQueue = "SendoraTrays";

    PrivateCupsServer()
    {
        const std::string missing = MissingServerPrograms();
        if (!missing.empty()) {
            error_ = "missing tool(s): " + missing + " (scripts/install-deps.sh installs them)";
            return;
        }
        // The filters run as an unprivileged user and must reach the spool.
        std::filesystem::permissions(dir_.path(), std::filesystem::perms::owner_all |
                                                      std::filesystem::perms::group_read | std::filesystem::perms::group_exec |
                                                      std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
        for (const char* sub : {"conf", "spool", "spool/tmp", "cache", "state", "logs"})
            std::filesystem::create_directories(dir_ / sub);
        WriteConfiguration();
        if (!Launch() || !AwaitSocket()) return;
        setenv("CUPS_SERVER", Socket().c_str(), 1);
        cupsSetServer(Socket().c_str());
        const testsupport::CommandResult added =
            Admin("lpadmin -p " + std::string(kQueue) + " -E -v " + Quote("file://" + DeviceFile().string()) + " -P " +
                  Quote(std::string(SENDORA_SOURCE_DIR) + "/tests/e2e/data/ThreeTrays.ppd") + " && lpadmin -d " + kQueue);
        if (added.status != 0) error_ = "lpadmin failed: " + added.output + ServerLog();
    }

    ~PrivateCupsServer()
    {
        Stop();
        cupsSetServer(nullptr);
        unsetenv("CUPS_SERVER");
    }

    PrivateCupsServer(const PrivateCupsServer&) = delete;
    PrivateCupsServer& operator=(const PrivateCupsServer&) = delete;

    // Empty once the server runs with its queue; else why it does not.
    const std::string& Error() const { return error_; }
    std::string Socket() const { return (dir_ / "cups.sock").string(); }
    std::filesystem::path DeviceFile() const { return dir_ / "device.prn"; }
    pid_t Pid() const { return pid_; }

    // A shell command run against this server (CUPS_SERVER set, the admin
    // programs on PATH), killed after 30 s; stderr joins stdout.
    testsupport::CommandResult Admin(const std::string& command) const
    {
        return testsupport::RunCommand("export CUPS_SERVER=" + Quote(Socket()) +
                                       " PATH=\"$PATH:/usr/sbin:/sbin\"; timeout 30 sh -c " + Quote(command) + " 2>&1");
    }

    // Every job of the queue, done or not, oldest first.
    std::vector<CupsJob> Jobs() const
    {
        std::vector<CupsJob> jobs;
        http_t* http = httpConnect2(Socket().c_str(), ippPort(), nullptr, AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1, 10000,
                                    nullptr);
        if (http == nullptr) {
            ADD_FAILURE() << "cannot reach the private CUPS server at " << Socket();
            return jobs;
        }
        ipp_t* request = ippNewRequest(IPP_OP_GET_JOBS);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
                     (std::string("ipp://localhost/printers/") + kQueue).c_str());
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "all");
        static const char* const wanted[] = {"job-id", "job-state", "media-col"};
        ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3, nullptr, wanted);
        ipp_t* response = cupsDoRequest(http, request, "/");
        // Each job is a group of its own, its attributes in no set order.
        CupsJob job;
        const auto flush = [&jobs, &job] {
            if (job.id != 0) jobs.push_back(job);
            job = {};
        };
        for (ipp_attribute_t* attr = response != nullptr ? ippFirstAttribute(response) : nullptr; attr != nullptr;
             attr = ippNextAttribute(response)) {
            const char* name = ippGetName(attr);
            if (name == nullptr || ippGetGroupTag(attr) != IPP_TAG_JOB) {
                flush();
                continue;
            }
            const std::string n = name;
            if (n == "job-id") job.id = ippGetInteger(attr, 0);
            if (n == "job-state") job.state = ippGetInteger(attr, 0);
            if (n == "media-col") {
                ipp_attribute_t* source = ippFindAttribute(ippGetCollection(attr, 0), "media-source", IPP_TAG_ZERO);
                if (source != nullptr && ippGetString(source, 0, nullptr) != nullptr)
                    job.mediaSource = ippGetString(source, 0, nullptr);
            }
        }
        flush();
        ippDelete(response);
        httpClose(http);
        std::sort(jobs.begin(), jobs.end(), [](const CupsJob& a, const CupsJob& b) { return a.id < b.id; });
        return jobs;
    }

    // The jobs once none is pending or printing any more (60 s at most).
    std::vector<CupsJob> FinishedJobs() const
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (;;) {
            std::vector<CupsJob> jobs = Jobs();
            bool busy = false;
            for (const CupsJob& job : jobs) busy = busy || job.state < IPP_JSTATE_STOPPED;
            if (!busy || std::chrono::steady_clock::now() > until) return jobs;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }

    // The server's error log, for failure messages.
    std::string ServerLog() const
    {
        return "\n--- cupsd error_log ---\n" + testsupport::ReadFile(dir_ / "logs" / "error_log") +
               testsupport::ReadFile(dir_ / "logs" / "cupsd.out");
    }

    // Stops the server and waits for it: SIGTERM, then SIGKILL after 10 s.
    void Stop()
    {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (waitpid(pid_, nullptr, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > until) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        pid_ = -1;
    }

private:
    static std::string ServerProgram(const std::string& name)
    {
        for (const char* folder : {"/usr/sbin/", "/sbin/", "/usr/bin/"})
            if (access((folder + name).c_str(), X_OK) == 0) return folder + name;
        return {};
    }

    static std::string MissingServerPrograms()
    {
        std::string missing;
        for (const char* name : {"cupsd", "lpadmin", "cupsdisable", "cupsenable", "cupsreject", "cupsaccept", "gs"}) {
            if (!ServerProgram(name).empty()) continue;
            if (!missing.empty()) missing += ", ";
            missing += name;
        }
        return missing;
    }

    void WriteConfiguration() const
    {
        // As root the server drops to lp for the filters; otherwise it runs
        // them as the user who started it.
        std::string user = "lp", group = "lp", systemGroup = "root";
        if (geteuid() != 0) {
            const passwd* pw = getpwuid(geteuid());
            const struct group* gr = getgrgid(getegid());
            user = pw != nullptr ? pw->pw_name : std::to_string(geteuid());
            group = systemGroup = gr != nullptr ? gr->gr_name : std::to_string(getegid());
        }
        const std::filesystem::path& d = dir_.path();
        testsupport::WriteFile(d / "conf" / "cups-files.conf",
                               "ServerRoot " + (d / "conf").string() + "\nRequestRoot " + (d / "spool").string() +
                                   "\nTempDir " + (d / "spool" / "tmp").string() + "\nCacheDir " +
                                   (d / "cache").string() + "\nStateDir " + (d / "state").string() + "\nErrorLog " +
                                   (d / "logs" / "error_log").string() + "\nAccessLog " +
                                   (d / "logs" / "access_log").string() + "\nPageLog " +
                                   (d / "logs" / "page_log").string() + "\nFileDevice Yes\nUser " + user +
                                   "\nGroup " + group + "\nSystemGroup " + systemGroup + "\n");
        testsupport::WriteFile(d / "conf" / "cupsd.conf",
                               "Listen " + Socket() +
                                   "\nBrowsing No\nBrowseLocalProtocols none\nWebInterface No\nDefaultAuthType None\n"
                                   "LogLevel info\nPreserveJobHistory Yes\nPreserveJobFiles No\n"
                                   "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                   "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n");
    }

    bool Launch()
    {
        const std::string cupsd = ServerProgram("cupsd");
        const std::string conf = (dir_ / "conf" / "cupsd.conf").string();
        const std::string files = (dir_ / "conf" / "cups-files.conf").string();
        const std::string out = (dir_ / "logs" / "cupsd.out").string();
        // Everything the child needs is made before the fork: after it only
        // async-signal-safe calls are allowed in a threaded process.
        const char* const argv[] = {cupsd.c_str(), "-f", "-c", conf.c_str(), "-s", files.c_str(), nullptr};
        const pid_t parent = getpid();
        const int log = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent) _exit(127);
            if (log >= 0) {
                dup2(log, STDOUT_FILENO);
                dup2(log, STDERR_FILENO);
            }
            execv(argv[0], const_cast<char* const*>(argv));
            _exit(127);
        }
        if (log >= 0) close(log);
        if (pid_ < 0) error_ = "cannot start cupsd";
        return pid_ > 0;
    }

    // Waits (20 s at most) until the server answers on its socket.
    bool AwaitSocket()
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = Socket();
        if (path.size() >= sizeof address.sun_path) {
            error_ = "socket path too long: " + path;
            return false;
        }
        path.copy(address.sun_path, path.size());
        for (;;) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                error_ = "cupsd stopped at start (" +
                         (WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                            : "signal " + std::to_string(WTERMSIG(status))) +
                         ")" + ServerLog();
                return false;
            }
            const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const bool up = fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
            if (fd >= 0) close(fd);
            if (up) return true;
            if (std::chrono::steady_clock::now() > until) {
                error_ = "cupsd did not answer on " + path + " within 20 s" + ServerLog();
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    testsupport::TempDir dir_;
    pid_t pid_ = -1;
    std::string error_;
};

// The texts zbarimg reads from the pages of a printer's PostScript output,
// rendered through Ghostscript.
inline std::set<std::string> RenderedBarcodes(const std::filesystem::path& postscript,
                                              const std::filesystem::path& scratch)
{
    std::filesystem::create_directories(scratch);
    const testsupport::CommandResult rendered = testsupport::RunCommand(
        "gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pnggray -r300 -sOutputFile=" + Quote((scratch / "page-%d.png").string()) +
        " " + Quote(postscript.string()) + " 2>&1");
    EXPECT_EQ(rendered.status, 0) << rendered.output;
    std::set<std::string> decoded;
    for (const auto& entry : std::filesystem::directory_iterator(scratch)) {
        if (entry.path().extension() != ".png") continue;
        std::istringstream lines(
            testsupport::RunCommand("zbarimg --raw -q " + Quote(entry.path().string()) + " 2>/dev/null").output);
        for (std::string line; std::getline(lines, line);)
            if (!line.empty()) decoded.insert(line);
        std::filesystem::remove(entry.path());
    }
    return decoded;
}

}  // namespace e2e
