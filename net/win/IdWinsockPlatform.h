#pragma once

// The socket library's types on Windows: the library's own.

#include <winsock.h>

using TWSAData = WSADATA;
