#include "CddbTestServer.h"

#include <csignal>
#include <cstdio>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

#include "TestSupport.h"

namespace bwtest {

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

} // namespace bwtest
