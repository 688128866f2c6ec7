// Test HTTP servers on 127.0.0.1, each a Python script of tests/support run for the lifetime
// of the object.
#pragma once

#include <arpa/inet.h>
#include <filesystem>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace bwtest {

class CdImage;

// The CDDB disc id of an image's disc as eight hexadecimal digits, as libcddb computes it
// (an oracle independent of ours); the id our queries must send.
std::string CddbDiscIdOf(const CdImage& image);

class CddbTestServer {
public:
    // Serves the fixture files of the folder (see cddb_server.py for their names).
    explicit CddbTestServer(std::filesystem::path fixtures);
    ~CddbTestServer();
    CddbTestServer(const CddbTestServer&) = delete;
    CddbTestServer& operator=(const CddbTestServer&) = delete;

    int Port() const { return FPort; }
    std::string HostPort() const { return "127.0.0.1:" + std::to_string(FPort); }
    // Writes a fixture file.
    void Put(const std::string& name, const std::string& content) const;
    // The request log: one "target<TAB>cmd" line a request.
    std::string Requests() const;
    // The base URL of its MusicBrainz web service.
    std::string MusicBrainzUrl() const { return "http://" + HostPort(); }
    // A MusicBrainz reply for a lookup kind (a disc id, or "toc"); with n > 0 only for the
    // n-th request of that kind.
    void PutMusicBrainz(const std::string& kind, int status, const std::string& body,
                        const std::string& headers = "Content-Type: application/json",
                        int n = 0) const;
    // One line a MusicBrainz request: time in seconds, target, User-Agent.
    std::vector<std::vector<std::string>> MusicBrainzRequests() const;

private:
    std::filesystem::path FFixtures;
    pid_t FPid = -1;
    int FPort = 0;
};

// Serves the files under a folder as they are (tests/support/file_server.py); a missing
// file gives HTTP 404.
class FileHttpServer {
public:
    explicit FileHttpServer(std::filesystem::path root);
    ~FileHttpServer();
    FileHttpServer(const FileHttpServer&) = delete;
    FileHttpServer& operator=(const FileHttpServer&) = delete;

    std::string HostPort() const { return "127.0.0.1:" + std::to_string(FPort); }
    // Writes a file to be served at /<path>, creating its folders.
    void Put(const std::string& path, const std::string& content) const;
    // The paths requested, one a line.
    std::string Requests() const;

private:
    std::filesystem::path FRoot;
    pid_t FPid = -1;
    int FPort = 0;
};

// A server on 127.0.0.1 that takes connections and never answers: a request to it waits
// until its time limit or until it is stopped.
class SilentHttpServer {
public:
    SilentHttpServer() {
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t size = sizeof address;
        bind(FSocket, reinterpret_cast<sockaddr*>(&address), size);
        listen(FSocket, 4);
        getsockname(FSocket, reinterpret_cast<sockaddr*>(&address), &size);
        FPort = ntohs(address.sin_port);
    }
    ~SilentHttpServer() { close(FSocket); }
    SilentHttpServer(const SilentHttpServer&) = delete;
    SilentHttpServer& operator=(const SilentHttpServer&) = delete;
    std::string HostPort() const { return "127.0.0.1:" + std::to_string(FPort); }

private:
    int FSocket = socket(AF_INET, SOCK_STREAM, 0);
    int FPort = 0;
};

} // namespace bwtest
