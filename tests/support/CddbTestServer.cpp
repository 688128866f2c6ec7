#include "CddbTestServer.h"

#include <csignal>
#include <cstdio>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

#include "CdImage.h"
#include "TestSupport.h"

#include <cddb/cddb.h>

namespace bwtest {

std::string CddbDiscIdOf(const CdImage& image) {
    cddb_disc_t* disc = cddb_disc_new();
    for (int t = 1; t <= image.TrackCount(); ++t) {
        cddb_track_t* track = cddb_track_new();
        cddb_track_set_frame_offset(track, image.TrackStartSector(t) + 150);
        cddb_disc_add_track(disc, track);
    }
    cddb_disc_set_length(disc, (image.TotalSectors() + 150) / 75);
    cddb_disc_calc_discid(disc);
    char id[9];
    std::snprintf(id, sizeof id, "%08x", cddb_disc_get_discid(disc));
    cddb_disc_destroy(disc);
    return id;
}

namespace {

// Starts a server script with its folder and reads the port it prints.
pid_t StartServer(const char* script, const std::filesystem::path& folder, int& port) {
    std::filesystem::create_directories(folder);
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        std::string path = std::string(BW_SOURCE_DIR) + "/tests/support/" + script;
        execlp("python3", "python3", path.c_str(), folder.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    FILE* out = fdopen(fds[0], "r");
    if (!out || std::fscanf(out, "%d", &port) != 1) {
        if (out) std::fclose(out);
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        throw std::runtime_error(std::string("the test server ") + script + " did not start");
    }
    std::fclose(out);
    return pid;
}

void StopServer(pid_t pid) {
    if (pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

std::string LogOf(const std::filesystem::path& folder) {
    auto log = folder / "requests.log";
    return std::filesystem::exists(log) ? ReadFileText(log) : std::string();
}

} // namespace

CddbTestServer::CddbTestServer(std::filesystem::path fixtures) : FFixtures(std::move(fixtures)) {
    FPid = StartServer("cddb_server.py", FFixtures, FPort);
}

CddbTestServer::~CddbTestServer() {
    StopServer(FPid);
}

void CddbTestServer::Put(const std::string& name, const std::string& content) const {
    WriteFileText(FFixtures / name, content);
}

std::string CddbTestServer::Requests() const {
    return LogOf(FFixtures);
}

FileHttpServer::FileHttpServer(std::filesystem::path root) : FRoot(std::move(root)) {
    FPid = StartServer("file_server.py", FRoot, FPort);
}

FileHttpServer::~FileHttpServer() {
    StopServer(FPid);
}

void FileHttpServer::Put(const std::string& path, const std::string& content) const {
    std::filesystem::create_directories((FRoot / path).parent_path());
    WriteFileText(FRoot / path, content);
}

std::string FileHttpServer::Requests() const {
    return LogOf(FRoot);
}

void CddbTestServer::PutMusicBrainz(const std::string& kind, int status, const std::string& body,
                                    const std::string& headers, int n) const {
    std::string name = "mb-" + kind + ".reply" + (n > 0 ? "." + std::to_string(n) : "");
    Put(name,
        std::to_string(status) + "\n" + headers + (headers.empty() ? "" : "\n") + "\n" + body);
}

std::vector<std::vector<std::string>> CddbTestServer::MusicBrainzRequests() const {
    std::vector<std::vector<std::string>> requests;
    auto log = FFixtures / "mb-requests.log";
    if (!std::filesystem::exists(log)) return requests;
    std::string text = ReadFileText(log);
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        std::vector<std::string> fields;
        std::size_t field = begin;
        while (true) {
            std::size_t tab = text.find('\t', field);
            if (tab == std::string::npos || tab > end) tab = end;
            fields.push_back(text.substr(field, tab - field));
            if (tab == end) break;
            field = tab + 1;
        }
        requests.push_back(std::move(fields));
        begin = end + 1;
    }
    return requests;
}

} // namespace bwtest
