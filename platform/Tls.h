#pragma once

// True when HTTPS requests to panels can be made: libcurl was built with TLS and OpenSSL
// initialises. Nothing is extracted or loaded by hand on Linux.
bool detectTlsAvailable();
