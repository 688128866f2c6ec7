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

CddbTestServer::CddbTestServer(std::filesystem::path fixtures) : FFixtures(std::move(fixtures)) {
    std::filesystem::create_directories(FFixtures);
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    FPid = fork();
    if (FPid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        std::string script = std::string(BW_SOURCE_DIR) + "/tests/support/cddb_server.py";
        execlp("python3", "python3", script.c_str(), FFixtures.c_str(),
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    FILE* out = fdopen(fds[0], "r");
    if (!out || std::fscanf(out, "%d", &FPort) != 1) {
        if (out) std::fclose(out);
        kill(FPid, SIGKILL);
        waitpid(FPid, nullptr, 0);
        throw std::runtime_error("the CDDB test server did not start");
    }
    std::fclose(out);
}

CddbTestServer::~CddbTestServer() {
    if (FPid > 0) {
        kill(FPid, SIGKILL);
        waitpid(FPid, nullptr, 0);
    }
}

void CddbTestServer::Put(const std::string& name, const std::string& content) const {
    WriteFileText(FFixtures / name, content);
}

std::string CddbTestServer::Requests() const {
    auto log = FFixtures / "requests.log";
    return std::filesystem::exists(log) ? ReadFileText(log) : std::string();
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
