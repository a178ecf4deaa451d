#include "service-sim/socketdrop.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <system_error>

namespace sim {
namespace {

struct SocketAddress {
  std::string address;
  int port = -1;
};

bool Describe(const sockaddr_storage& ss, SocketAddress& out) {
  char text[INET6_ADDRSTRLEN] = {};
  if (ss.ss_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(&ss);
    inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
    out.port = ntohs(in->sin_port);
  } else if (ss.ss_family == AF_INET6) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&ss);
    inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
    out.port = ntohs(in6->sin6_port);
  } else {
    return false;
  }
  out.address = text;
  return true;
}

// Calls `visit` with every connected TCP socket of this process whose local port is `port`.
void ForEachConnection(int port, const std::function<bool(int fd, const SocketAddress& peer)>& visit) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
    char* end = nullptr;
    std::string name = entry.path().filename().string();
    long fd = std::strtol(name.c_str(), &end, 10);
    if (!end || *end != '\0') continue;
    sockaddr_storage local{}, remote{};
    socklen_t len = sizeof local;
    SocketAddress l, r;
    if (getsockname(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&local), &len) != 0) continue;
    if (!Describe(local, l) || l.port != port) continue;
    len = sizeof remote;
    if (getpeername(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&remote), &len) != 0) continue;
    if (!Describe(remote, r)) continue;
    if (!visit(static_cast<int>(fd), r)) return;
  }
}

}  // namespace

bool DropConnection(int localPort, const std::string& remoteAddr, int remotePort) {
  bool dropped = false;
  ForEachConnection(localPort, [&](int fd, const SocketAddress& peer) {
    if (peer.port != remotePort || peer.address != remoteAddr) return true;
    dropped = shutdown(fd, SHUT_RDWR) == 0;
    return false;
  });
  return dropped;
}

void DropAllConnections(int localPort) {
  ForEachConnection(localPort, [](int fd, const SocketAddress&) {
    shutdown(fd, SHUT_RDWR);
    return true;
  });
}

}  // namespace sim
