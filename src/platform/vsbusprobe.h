#ifndef VESTRION_PLATFORM_VSBUSPROBE_H
#define VESTRION_PLATFORM_VSBUSPROBE_H

#include <QByteArray>
#include <QDeadlineTimer>

#include <functional>

// Asks a bus daemon whether it answers before the toolkit's D-Bus module
// connects to it. That module sets up every bus connection under one lock, so
// a bus that accepts and never answers would hold up every other bus of the
// process, the session bus of the accessibility bridge included, for good.
namespace vsBusProbe {

// The system bus address as libdbus reads it: the environment's, else the
// well-known socket.
QByteArray systemBusAddress();

// Connects to the first reachable Unix socket of address (a D-Bus address
// list), authenticates and says Hello, as libdbus would. True when the bus
// answers Hello before the deadline; false when there is no such socket, it
// refuses, it rejects us or stays silent, or when cancelled() turns true
// (asked a few times a second). An entry of another transport ends the
// search with false: this cannot vouch for it.
bool answers(const QByteArray &address, QDeadlineTimer deadline,
             const std::function<bool()> &cancelled = std::function<bool()>());

} // namespace vsBusProbe

#endif
