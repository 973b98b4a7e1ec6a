#pragma once

#include <cstdint>

namespace platform {

// The socket of a PostgreSQL client connection (a libpq PGconn*), asked of the client library
// the process has loaded for its database driver; -1 when there is none.
intptr_t DatabaseSocket(void* connection);

// Ends all traffic on a socket that stays open: a call blocked on it returns at once, as if the
// server had gone. For a server that has stopped answering without closing anything.
void ShutDownSocket(intptr_t socket);

} // namespace platform
