#pragma once
// Resetting one of the server's own connections from inside its answer: the
// HTTP library hands answers no socket, so the connection is found by its two
// ports among the process's descriptors.

namespace halvora::refserver {

// Waits (5 s at most) until the client has acknowledged every byte sent on
// the connection from `localPort` to `remotePort`, then aborts it with a
// reset. The descriptor stays valid (it then names an unconnected socket), so
// the library's own close later is harmless. False when no such connection
// was found.
bool ResetConnection(int localPort, int remotePort);

}  // namespace halvora::refserver
