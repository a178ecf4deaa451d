#pragma once
// The HTTP library hides the accepted sockets from handlers. To end a connection without an
// answer (an injected drop) or to end idle keep-alive waits at shutdown, the simulator finds
// the socket among its own descriptors by its addresses and shuts it down; the library then
// notices the dead connection and closes the descriptor itself.
#include <string>

namespace sim {

// Shuts down the connection from `remoteAddr`:`remotePort` to local port `localPort`.
// Returns false when no such connection is open.
bool DropConnection(int localPort, const std::string& remoteAddr, int remotePort);

// Shuts down every connection accepted on `localPort`.
void DropAllConnections(int localPort);

}  // namespace sim
